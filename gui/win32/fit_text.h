#pragma once
// Captions that fit their control. A dialog's face may be a substitute wider
// than the one its template was drawn for (Tahoma for "Microsoft Sans Serif"
// under wine, a larger face for "System"): a one-line static whose text would
// be wrapped and cut off gets a smaller size of the dialog's face instead,
// as the Qt dialogs do.

#include <windows.h>

#include <vector>

namespace kavlen::win32 {

// A font of the parent dialog's face in which `text` fits `control` on one
// line, or null when the dialog's own font fits it (or the control is not
// one line high). The caller owns the font.
HFONT FitFont(HWND control, const char* text);

// Fits every one-line static of `dialog` to its caption; the fonts made go
// to `owned`, for the caller to delete once the dialog is gone.
void FitStaticCaptions(HWND dialog, std::vector<HFONT>& owned);

}  // namespace kavlen::win32
