// SPDX-License-Identifier: GPL-3.0-or-later
// How the user interface dresses its windows: a colour scheme (the day's,
// the night's) and the rules that keep what the program colours readable
// in it. The schemes and their rules are the program's (display/
// color_scheme.h); a backend applies the look it is given (Ui::
// SetColorScheme) to its windows, graphs, trace colours and coloured texts.
#pragma once

namespace sondrix::platform {

enum class ColorScheme {
  Day = 0,    // the desktop's own palette, graphs on white
  Night = 1,  // dark and red-tinted
};

// The colours a scheme gives what the user interface draws itself.
struct SchemeColors {
  int graphBackground;  // the plot area and the space around it
  int graphAxis;        // axis lines, ticks, tick labels and captions
  int graphGrid;        // the dotted grid
  int graphZeroLine;    // the grid line at zero
  // The window's own colours (the night scheme replaces the desktop's
  // palette with these; the day scheme keeps the desktop's).
  int window;           // panel background
  int windowText;       // captions and read-outs
  int base;             // input fields and lists
  int text;             // text in them
  int button;           // button faces
  int buttonText;
  int highlight;        // the selection
  int highlightedText;
  int disabledText;     // dimmed controls
};

// The colours of a user interface before it is given a look: the
// desktop's palette (these stand for Qt's usual one) and graphs on white.
inline constexpr SchemeColors kPlainColors = {
    .graphBackground = 0xFFFFFF,
    .graphAxis = 0x000000,
    .graphGrid = 0xD8D8D8,
    .graphZeroLine = 0xA0A0A0,
    .window = 0xEFEFEF,
    .windowText = 0x000000,
    .base = 0xFFFFFF,
    .text = 0x000000,
    .button = 0xEFEFEF,
    .buttonText = 0x000000,
    .highlight = 0x308CC6,
    .highlightedText = 0xFFFFFF,
    .disabledText = 0x808080,
};

// A scheme and how it draws the colours the program gives (0xRRGGBB).
class ColorLook {
 public:
  virtual ~ColorLook() = default;
  virtual ColorScheme scheme() const = 0;
  virtual const SchemeColors& colors() const = 0;
  // A trace of colour `rgb` on the scheme's graphs.
  virtual int TraceColor(int rgb) const = 0;
  // A coloured text (a trace label) on `background`.
  virtual int TextColor(int rgb, int background) const = 0;
  // A button's coloured face (the start button's state colour).
  virtual int FaceColor(int rgb) const = 0;
};

// The look of a user interface given none: the day, plain colours, every
// colour drawn as given.
const ColorLook& PlainLook();

}  // namespace sondrix::platform
