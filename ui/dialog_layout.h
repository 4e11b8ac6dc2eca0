// The main dialog's layout in dialog units: a quarter of the dialog font's
// average character width across, an eighth of its height down. On Windows
// the resource script's template says it, and a test holds the two
// together; the Qt window lays itself out from here.
#pragma once

namespace zelt20::dialog_layout {

struct Rect {
  int x, y, width, height;
};

// A control: its id in the template and its place in the window.
struct Control {
  int id;
  Rect rect;
};

inline constexpr Rect kWindow{0, 0, 279, 129};
inline constexpr char kFontName[] = "MS Sans Serif";
inline constexpr int kFontPoints = 8;

inline constexpr Control kStart{1, {236, 7, 39, 15}};      // the OK button
inline constexpr Control kStopExit{2, {236, 26, 39, 15}};  // the Cancel button
inline constexpr Control kProgress{1000, {4, 119, 227, 7}};
inline constexpr Control kLogPane{1004, {4, 4, 227, 111}};
inline constexpr Control kPortBox{1005, {238, 58, 37, 50}};  // the height includes the dropped list
inline constexpr Control kComLabel{-1, {245, 48, 18, 8}};

}  // namespace zelt20::dialog_layout
