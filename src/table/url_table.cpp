#include "table/url_table.h"

#include <QCoreApplication>
#include <QLabel>
#include <QMetaObject>
#include <QPointer>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <limits>
#include <memory>
#include <mutex>
#include <utility>

#include "platform/no_destructor.h"
#include "table/display_text.h"
#include "table/url_table_model.h"

namespace velmora {
namespace {

// Rows are numbered by 32-bit signed integers; rows past the last number are not
// added.
constexpr int kMaxRows = std::numeric_limits<int>::max();

bool ValidRow(int row, int rowCount) { return row >= 0 && row < rowCount; }
bool ValidColumn(int column) { return column >= 0 && column < kUrlTableColumns; }

// Carries out the table operations on the main thread. Created once by the first
// attachment and never destroyed (NoDestructor): a worker may still be waiting on
// it while the process ends, and a queued call to a deleted object is undefined.
class Dispatcher final : public QObject {
 public:
  explicit Dispatcher(QThread* mainThread) : mainThread_(mainThread) {}

  [[nodiscard]] bool OnMainThread() const { return QThread::currentThread() == mainThread_; }

  // Main thread only.
  QPointer<UrlTableModel> model;
  QPointer<QLabel> countLabel;

 private:
  QThread* const mainThread_;
};

std::atomic<Dispatcher*> g_dispatcher{nullptr};

// The hand-over between a waiting worker and the main thread. The worker posts its
// call and waits here rather than in a blocking queued call: the same wait, but
// built on a mutex that race checkers can follow, so the arguments written by the
// worker and the result written by the main thread are visibly ordered. Recursive
// because a call that cannot be posted is finished on the posting thread itself.
std::recursive_mutex g_handoff;
std::condition_variable_any g_served;

template <typename R>
struct PendingCall {
  bool finished = false;
  R result;
};

// Owned by the posted call alone: when the call is destroyed, whether it ran or was
// discarded unrun, the waiting worker is released (with the fallback if unrun).
template <typename R>
struct Ticket {
  explicit Ticket(std::shared_ptr<PendingCall<R>> pending) : call(std::move(pending)) {}
  ~Ticket() {
    std::lock_guard lock(g_handoff);
    call->finished = true;
    g_served.notify_all();
  }
  std::shared_ptr<PendingCall<R>> call;
};

// Runs `op` on the main thread and hands back its result; `fallback` when no table
// was ever attached or the call could not be carried out. A worker waits until the
// main thread processes events; the main thread itself runs `op` directly, since
// waiting for itself would hang.
template <typename R, typename Op>
R OnMainThread(R fallback, Op op) {
  Dispatcher* dispatcher = g_dispatcher.load(std::memory_order_acquire);
  if (dispatcher == nullptr) return fallback;
  if (dispatcher->OnMainThread()) return op(*dispatcher);

  auto pending = std::make_shared<PendingCall<R>>();
  pending->result = std::move(fallback);
  std::unique_lock lock(g_handoff);
  QMetaObject::invokeMethod(
      dispatcher,
      [ticket = std::make_shared<Ticket<R>>(pending), &op, dispatcher] {
        // Captures are read only once the hand-over lock is held.
        std::lock_guard served(g_handoff);
        PendingCall<R>& call = *ticket->call;
        if (call.finished) return;
        call.result = op(*dispatcher);
        call.finished = true;
        g_served.notify_all();
      },
      Qt::QueuedConnection);
  g_served.wait(lock, [&pending] { return pending->finished; });
  return std::move(pending->result);
}

}  // namespace

UrlTableModel::UrlTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void UrlTableModel::Clear() {
  if (rows_.Size() == 0) return;
  beginRemoveRows(QModelIndex(), 0, Rows() - 1);
  rows_.Clear();
  endRemoveRows();
}

int UrlTableModel::Insert(int position, const Text& text) {
  const int count = Rows();
  if (count >= kMaxRows) return -1;
  const int row = (position < 0 || position > count) ? count : position;
  beginInsertRows(QModelIndex(), row, row);
  rows_.Insert(static_cast<std::size_t>(row), text);
  endInsertRows();
  return row;
}

void UrlTableModel::Append(const std::vector<std::string_view>& texts) {
  const int count = Rows();
  const int added =
      static_cast<int>(std::min(texts.size(), static_cast<std::size_t>(kMaxRows - count)));
  if (added <= 0) return;
  beginInsertRows(QModelIndex(), count, count + added - 1);
  for (int i = 0; i < added; ++i) rows_.Append(texts[static_cast<std::size_t>(i)]);
  endInsertRows();
}

int UrlTableModel::Rows() const { return static_cast<int>(rows_.Size()); }

Text UrlTableModel::Cell(int row, int column) const { return Text(CellView(row, column)); }

std::string_view UrlTableModel::CellView(int row, int column) const {
  if (!ValidRow(row, Rows()) || !ValidColumn(column)) return {};
  const auto at = static_cast<std::size_t>(row);
  return column == kUrlColumn ? rows_.Address(at) : rows_.Summary(at);
}

void UrlTableModel::SetCell(int row, int column, const Text& text) {
  if (!ValidRow(row, Rows()) || !ValidColumn(column)) return;
  const auto at = static_cast<std::size_t>(row);
  if (column == kUrlColumn) {
    rows_.SetAddress(at, text);
  } else {
    rows_.SetSummary(at, text);
  }
  const QModelIndex changed = index(row, column);
  emit dataChanged(changed, changed, {Qt::DisplayRole});
}

int UrlTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : Rows();
}

int UrlTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kUrlTableColumns;
}

QVariant UrlTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.parent().isValid()) return {};
  if (!ValidRow(index.row(), Rows()) || !ValidColumn(index.column())) return {};
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
  // Read in place: a copy of a 50 MB cell for every paint would cost more than the
  // capped conversion.
  return ToShownText(CellView(index.row(), index.column()));
}

QVariant UrlTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || !ValidColumn(section)) return {};
  if (role == Qt::TextAlignmentRole) {
    return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
  }
  if (role != Qt::DisplayRole) return {};
  return QString::fromUtf8(section == kUrlColumn ? kUrlColumnTitle : kSummaryColumnTitle);
}

Qt::ItemFlags UrlTableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  // Selectable but never editable in place.
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void AttachUrlTable(UrlTableModel* model, QLabel* countLabel) {
  // The first attachment runs on the main thread, whose thread the dispatcher keeps.
  static platform::NoDestructor<Dispatcher> theDispatcher(QThread::currentThread());
  Dispatcher* dispatcher = theDispatcher.get();
  g_dispatcher.store(dispatcher, std::memory_order_release);
  dispatcher->model = model;
  dispatcher->countLabel = countLabel;
}

void ClearRows() {
  OnMainThread(0, [](Dispatcher& d) {
    if (d.model) d.model->Clear();
    return 0;
  });
}

int InsertRow(int position, const Text& text) {
  return OnMainThread(-1, [&text, position](Dispatcher& d) {
    return d.model ? d.model->Insert(position, text) : -1;
  });
}

void AppendRows(const std::vector<std::string_view>& texts) {
  OnMainThread(0, [&texts](Dispatcher& d) {
    if (d.model) d.model->Append(texts);
    return 0;
  });
}

int RowCount() {
  return OnMainThread(0, [](Dispatcher& d) { return d.model ? d.model->Rows() : 0; });
}

Text GetCellText(int row, int column) {
  return OnMainThread(Text(), [row, column](Dispatcher& d) {
    return d.model ? d.model->Cell(row, column) : Text();
  });
}

void SetCellText(int row, int column, const Text& text) {
  OnMainThread(0, [&text, row, column](Dispatcher& d) {
    if (d.model) d.model->SetCell(row, column, text);
    return 0;
  });
}

void SetCountLabelText(const Text& text) {
  OnMainThread(0, [&text](Dispatcher& d) {
    if (d.countLabel) d.countLabel->setText(ToDisplayText(text));
    return 0;
  });
}

}  // namespace velmora
