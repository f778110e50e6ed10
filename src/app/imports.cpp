#include "app/imports.h"

#include <QInputDialog>
#include <QLineEdit>
#include <QString>
#include <utility>

#include "app/message_box.h"
#include "import/dropped_file.h"
#include "import/sitemap.h"
#include "table/display_text.h"
#include "table/search_results.h"
#include "table/url_table.h"

namespace velmora {
namespace {

// 请输入网址
constexpr std::string_view kDialogTitle = "\xc7\xeb\xca\xe4\xc8\xeb\xcd\xf8\xd6\xb7";
// 请输入XML格式地址：sitemap CR LF 请带http://
constexpr std::string_view kDialogPrompt =
    "\xc7\xeb\xca\xe4\xc8\xeb"
    "XML"
    "\xb8\xf1\xca\xbd\xb5\xd8\xd6\xb7\xa3\xba"
    "sitemap\r\n"
    "\xc7\xeb\xb4\xf8"
    "http://";
// 正则创建失败，请检查正则表达式语句是否有误！
constexpr std::string_view kPatternFailedMessage =
    "\xd5\xfd\xd4\xf2\xb4\xb4\xbd\xa8\xca\xa7\xb0\xdc\xa3\xac\xc7\xeb\xbc\xec\xb2\xe9\xd5\xfd"
    "\xd4\xf2\xb1\xed\xb4\xef\xca\xbd\xd3\xef\xbe\xe4\xca\xc7\xb7\xf1\xd3\xd0\xce\xf3\xa3\xa1";
// 匹配失败，请检检查正则语句是否有误，数量：0
constexpr std::string_view kNoMatchMessage =
    "\xc6\xa5\xc5\xe4\xca\xa7\xb0\xdc\xa3\xac\xc7\xeb\xbc\xec\xbc\xec\xb2\xe9\xd5\xfd\xd4\xf2"
    "\xd3\xef\xbe\xe4\xca\xc7\xb7\xf1\xd3\xd0\xce\xf3\xa3\xac\xca\xfd\xc1\xbf\xa3\xba"
    "0";
// 成功匹配:
constexpr std::string_view kCountPrefix = "\xb3\xc9\xb9\xa6\xc6\xa5\xc5\xe4:";
// 条
constexpr std::string_view kCountSuffix = "\xcc\xf5";

// A modal box with an OK button and no owner, so it blocks the whole program, wide
// enough that its caption shows in full.
void ShowMessage(std::string_view text, BoxIcon icon) { ShowMessageBox(text, kBoxCaption, icon); }

// The address typed in the dialog as a code page 936 text; "" when it was
// cancelled or closed.
Text AskAddress() {
  QInputDialog dialog;
  dialog.setWindowModality(Qt::ApplicationModal);
  dialog.setWindowTitle(ToDisplayText(kDialogTitle));
  // The label breaks lines at LF; the prompt's CR would show as a stray glyph.
  dialog.setLabelText(
      ToDisplayText(kDialogPrompt).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
  dialog.setInputMode(QInputDialog::TextInput);
  dialog.setTextEchoMode(QLineEdit::Normal);
  dialog.setTextValue(QString());
  if (dialog.exec() != QDialog::Accepted) return {};
  return FromDisplayText(dialog.textValue());
}

// Appends member k of `rows` at position k, past the k - 1 rows already there.
// Each member is given back once the table holds its copy, which keeps an import's
// peak near one copy of its rows.
void InsertEachRow(TextList& rows) {
  const int count = MemberCount(rows);
  for (int k = 1; k <= count; ++k) {
    InsertRow(k, Member(rows, k));
    Text().swap(rows[static_cast<std::size_t>(k - 1)]);
  }
}

}  // namespace

void ImportDroppedFile(const Text& fileName) {
  ClearRows();
  SetCountLabelText(NumberToText(0));
  // The rows go in a piece of the file at a time: the table and one piece are all
  // the import holds.
  const DroppedFileRead read = ReadDroppedFileLines(
      fileName, [](const std::vector<std::string_view>& lines) { AppendRows(lines); });
  // A file that cannot be read gives an empty table, even after some pieces.
  if (read == DroppedFileRead::kReadFailed) ClearRows();
}

int ExtractLocations(const Text& sitemapText) {
  ClearRows();
  LocationSearch search = FindLocations(sitemapText);
  if (search.outcome == LocationOutcome::kPatternFailed) {
    ShowMessage(kPatternFailedMessage, BoxIcon::kError);
    return 0;
  }
  ReplaceSearchResults(std::move(search.matches));
  if (search.outcome == LocationOutcome::kNoMatch) {
    ShowMessage(kNoMatchMessage, BoxIcon::kError);
    return 0;
  }
  const int count = MemberCount(search.locations);
  InsertEachRow(search.locations);
  return count;
}

void ImportSitemap() {
  const Text sitemapText = FetchSitemapText(AskAddress());
  const int count = ExtractLocations(sitemapText);
  ShowMessage(JoinTexts(kCountPrefix, NumberToText(count), kCountSuffix), BoxIcon::kNone);
}

}  // namespace velmora
