#include "import/sitemap.h"

#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QString>

#include "table/display_text.h"
#include "table/search_results.h"
#include "table/url_table.h"
#include "platform/ascii.h"
#include "platform/http_get.h"
#include "platform/pattern.h"

namespace velmora {
namespace {

// The content of a `loc` element: the shortest run, line breaks included, up to
// the first end tag after the start tag.
constexpr std::string_view kLocationPattern = "<loc>([\\s\\S]*?)</loc>";
constexpr std::string_view kLocationEndTag = "</loc>";
constexpr int kLocationGroup = 1;

// 信息：
constexpr std::string_view kCaption = "\xd0\xc5\xcf\xa2\xa3\xba";
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

enum class BoxIcon { kNone, kError };

// A modal box with an OK button and no owner, so it blocks the whole program.
void ShowMessage(std::string_view text, BoxIcon icon) {
  QMessageBox box(icon == BoxIcon::kError ? QMessageBox::Critical : QMessageBox::NoIcon,
                  ToDisplayText(kCaption), ToDisplayText(text), QMessageBox::Ok);
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
}

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

// End of the last `</loc>` (ASCII case ignored), 0 when there is none. Every match
// ends with that tag, so none lies past it; and a start tag after it can never
// match. Searching only up to there keeps the same matches while sparing the
// engine a run to the end of the text from each unclosed start tag, which made a
// text of many unclosed start tags quadratic (2 MB took seconds before the engine
// gave up).
std::size_t EndOfLastEndTag(std::string_view text) {
  const std::size_t tagLength = kLocationEndTag.size();
  if (text.size() < tagLength) return 0;
  for (std::size_t start = text.size() - tagLength + 1; start-- > 0;) {
    if (platform::EqualsIgnoringCase(text.substr(start, tagLength), kLocationEndTag)) {
      return start + tagLength;
    }
  }
  return 0;
}

}  // namespace

int ExtractLocations(const Text& sitemapText) {
  platform::Pattern pattern;
  ClearRows();
  if (!platform::PreparePattern(pattern, kLocationPattern, platform::PatternCase::kIgnore)) {
    ShowMessage(kPatternFailedMessage, BoxIcon::kError);
    return 0;
  }

  const std::string_view text(sitemapText);
  platform::MatchResults results =
      platform::FindAllMatches(pattern, text.substr(0, EndOfLastEndTag(text)));
  const int count = static_cast<int>(results.size());
  ReplaceSearchResults(std::move(results));
  if (count == 0) {
    ShowMessage(kNoMatchMessage, BoxIcon::kError);
    return 0;
  }

  // The list now belongs to the search results; nothing replaces it while the rows
  // go in, since only an import does and this one runs on the main thread.
  // Result k goes in at position k, past the k - 1 rows already there: appended.
  const platform::MatchResults& found = SearchResults();
  for (std::size_t i = 0; i < found.size(); ++i) {
    InsertRow(static_cast<int>(i) + 1, platform::MatchGroupText(*found[i], text, kLocationGroup));
  }
  return count;
}

void ImportSitemap() {
  Text sitemapText;
  {
    const Text address = AskAddress();
    // The body is only needed until its text is made; a sitemap can be large.
    const Bytes body = platform::HttpGetWhole(address);
    sitemapText = BytesToText(body);
  }
  const int count = ExtractLocations(sitemapText);
  ShowMessage(JoinTexts(kCountPrefix, NumberToText(count), kCountSuffix), BoxIcon::kNone);
}

}  // namespace velmora
