#include "web/cookies.h"

#include "text/markers.h"

namespace velmora {
namespace {

void TerminateWithSemicolon(Text& cookies) {
  if (!cookies.empty() && cookies.back() != ';') cookies += ';';
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
    // An emptied cookie, or one the server deleted, is no cookie.
    if (member.ends_with("=") || member.ends_with("=deleted")) continue;
    base = JoinTexts(base, TrimSpaces(member), "; ");
  }
  base = TrimSpaces(base);
  return base;
}

}  // namespace velmora
