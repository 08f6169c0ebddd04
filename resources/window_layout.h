#pragma once

#include <cstddef>

namespace inkbinder {

// The main window's layout, in twips (1/1440 inch), read by the Win32 and the
// Qt window alike so the geometry exists once.
enum class ControlKind { kButton, kStaticText, kTextBox, kFileList };

struct ControlLayout {
  const char* name;
  ControlKind kind;
  const char* text;  // UTF-8, at start
  int left, top, width, height;
  int tab_index;     // controls that take no focus still carry one
};

inline constexpr char kWindowCaption[] = "Inkbinder";
inline constexpr int kClientWidthTwips = 5460;
inline constexpr int kClientHeightTwips = 5376;

extern const ControlLayout kFormLayout[];
extern const size_t kFormLayoutSize;

// Twips to device pixels at `dpi` dots per inch, rounded to the nearest pixel.
int TwipsToPixels(int twips, int dpi);

}  // namespace inkbinder
