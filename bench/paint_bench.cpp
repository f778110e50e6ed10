// Figure of the URL table's view with a huge cell: the time to paint the table
// when a row holds 50 MB in each cell (goal: under 30 ms), against painting the
// same table with short rows; the display conversion of such a cell; and a dropped
// file of one 200 MB line, imported and painted.
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTreeView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "app/imports.h"
#include "app/main_window.h"
#include "table/url_table.h"
#include "table/url_table_model.h"

namespace {

constexpr std::size_t kHugeBytes = 50u << 20;
constexpr int kPaints = 20;
// One line of a dropped file, as large as one that froze the window on every paint.
constexpr std::size_t kDroppedLineBytes = 200u << 20;

// Median milliseconds of a synchronous repaint of the table's rows.
double MedianPaintMs(QTreeView* view) {
  std::vector<double> ms;
  for (int i = 0; i < kPaints; ++i) {
    const auto start = std::chrono::steady_clock::now();
    view->viewport()->repaint();
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                     .count());
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  velmora::MainWindow window;
  window.show();
  QApplication::processEvents();
  QTreeView* view = window.TableView();

  velmora::ClearRows();
  for (int k = 1; k <= 5; ++k)
    velmora::InsertRow(k, "https://www.example.com/page" + std::to_string(k));
  QApplication::processEvents();
  const double shortMs = MedianPaintMs(view);

  // 中 repeated, and a summary of the same length.
  velmora::Text huge;
  huge.reserve(kHugeBytes);
  while (huge.size() < kHugeBytes) huge += "\xD6\xD0";
  velmora::SetCellText(0, velmora::kUrlColumn, huge);
  velmora::SetCellText(0, velmora::kSummaryColumn, huge);
  QApplication::processEvents();
  const double hugeMs = MedianPaintMs(view);

  QElapsedTimer clock;
  clock.start();
  const QVariant shown = window.Table()->data(window.Table()->index(0, 1), Qt::DisplayRole);
  const double dataMs = double(clock.nsecsElapsed()) / 1e6;

  std::printf(
      "paint of the table with a 50 MB row: median %.2f ms (goal < 30 ms); "
      "with short rows %.2f ms\n",
      hugeMs, shortMs);
  std::printf("display text of a 50 MB cell: %.3f ms, %lld characters shown\n", dataMs,
              static_cast<long long>(shown.toString().size()));

  // A dropped file of one 200 MB line (no line break): the import, then the view.
  const std::string path = "/tmp/velmora-paint-bench-" + std::to_string(::getpid()) + ".txt";
  {
    std::ofstream file(path, std::ios::binary);
    const std::string block(1u << 20, 'x');
    file << "http://one.example/";
    for (std::size_t written = 0; written < kDroppedLineBytes; written += block.size()) {
      file << block;
    }
  }
  clock.restart();
  velmora::ImportDroppedFile(path);
  const double importMs = double(clock.nsecsElapsed()) / 1e6;
  std::remove(path.c_str());
  QApplication::processEvents();
  const double lineMs = MedianPaintMs(view);
  std::printf(
      "dropped file of one 200 MB line: imported in %.0f ms (%d row); paint median %.2f ms "
      "(goal < 30 ms)\n",
      importMs, velmora::RowCount(), lineMs);
  return 0;
}
