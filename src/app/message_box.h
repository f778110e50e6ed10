// The program's message boxes: an OK button, no owner window, modal for the whole
// program, and wide enough that the window manager shows the caption in full.
#ifndef VELMORA_APP_MESSAGE_BOX_H_
#define VELMORA_APP_MESSAGE_BOX_H_

#include <string_view>

#include "text/text.h"

class QMessageBox;

namespace velmora {

enum class BoxIcon { kNone, kError };

// Room a title bar takes beside its caption: the window menu icon, the close box
// and the margins of common window managers (xfwm, mutter, kwin, Windows' own
// frame). A box narrower than caption + this shows its caption as "…".
inline constexpr int kTitleBarReserve = 160;

// 信息：, the caption of every box the program shows.
inline constexpr std::string_view kBoxCaption = "\xd0\xc5\xcf\xa2\xa3\xba";

// The least width (logical pixels, frame excluded) at which a box shows `caption`
// in full: its advance in the title font plus kTitleBarReserve.
[[nodiscard]] int MinimumBoxWidth(std::string_view caption);

// Builds the box: `text` and `caption` are code page 936 texts, `icon` none or the
// error icon, one OK button; no owner, application-modal, at least
// MinimumBoxWidth(caption) wide. For callers (and tests) that need the box before
// it runs; the caller owns it.
[[nodiscard]] QMessageBox* MakeMessageBox(std::string_view text, std::string_view caption,
                                          BoxIcon icon);

// Shows MakeMessageBox(text, caption, icon) and returns once the user closed it.
// Main thread only; needs the application object.
void ShowMessageBox(std::string_view text, std::string_view caption, BoxIcon icon);

}  // namespace velmora

#endif  // VELMORA_APP_MESSAGE_BOX_H_
