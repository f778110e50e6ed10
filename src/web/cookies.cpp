#include "web/cookies.h"

#include "text/markers.h"

namespace velmora {
namespace {

// The last character of `text`: its last two bytes when a two-byte character ends
// it (a byte of 0x80 or above at a character start, then one more byte), else its
// last byte; "" for the empty text. Found by walking from the start, since a byte
// alone cannot tell whether it is the second byte of a character.
std::string_view LastCharacter(std::string_view text) {
  std::size_t start = 0;
  std::size_t length = 0;
  for (std::size_t at = 0; at < text.size(); at += length) {
    start = at;
    length = static_cast<unsigned char>(text[at]) >= 0x80 && at + 1 < text.size() ? 2 : 1;
  }
  return text.substr(start);
}

void TerminateWithSemicolon(Text& cookies) {
  if (!cookies.empty() && LastCharacter(cookies) != ";") cookies += ';';
}

bool EndsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

}  // namespace

Text MergeCookies(Text& base, Text& update) {
  base = TrimSpaces(base);
  update = TrimSpaces(update);
  TerminateWithSemicolon(base);
  TerminateWithSemicolon(update);

  const TextList items = SplitText(update, ";");
  for (int k = 1; k <= MemberCount(items); ++k) {
    const Text& item = Member(items, k);
    int equals = FindText(item, "=");
    if (equals == -1) continue;
    Text name = LeftPart(item, equals - 1);
    if (FindText(base, name, 1, Case::kIgnore) == -1) {
      base = JoinTexts(base, item, ";");
      continue;
    }
    int position = 0;
    Text secondMarker;
    Text oldSegment = TextBetweenFrom(base, position, name, secondMarker, UseSecondMarker::kNo, ";",
                                      Case::kIgnore, KeepMarker::kYes);
    if (oldSegment.empty()) continue;
    base = ReplaceText(base, oldSegment, item, 1, std::nullopt, Case::kIgnore);
  }

  const TextList members = SplitText(base, ";");
  base.clear();
  for (int k = 1; k <= MemberCount(members); ++k) {
    const Text& member = Member(members, k);
    // An emptied cookie, or one the server deleted, is no cookie. The first test
    // looks at the last character, the second at the last eight bytes.
    if (LastCharacter(member) == "=" || EndsWith(member, "=deleted")) continue;
    base = JoinTexts(base, TrimSpaces(member), "; ");
  }
  base = TrimSpaces(base);
  return base;
}

}  // namespace velmora
