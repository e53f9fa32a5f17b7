// The main window as data, for every toolkit that draws it: its controls with their
// captions and twips rectangles, the tab order, colours, fonts and tool tips, the
// focus rule of the settings boxes and where the window is placed on a screen.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "settings/settings.h"

namespace varnolt::form {

inline constexpr std::string_view kCaption = "Varnolt程序 V1.1";
inline constexpr std::string_view kFormName = "ConverterForm";
// The client area, in twips (1440 to an inch; 15 to a pixel at 96 dpi).
inline constexpr int kClientWidth = 7680;
inline constexpr int kClientHeight = 4095;

enum class Kind { kFrame, kOption, kCheck, kLabel, kText, kButton };
// Caption colours: blue for labels, options and the check box, purple for the two
// notes, red for the frame titles; text boxes and buttons keep the system's.
enum class Colour { kSystem, kBlue, kPurple, kRed };
// Text boxes are SimSun 10.5 pt, everything else SimSun 9 pt.
enum class Font { kText, kNormal };

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb&) const = default;
};
Rgb ColourOf(Colour colour);  // kSystem has none: {-1, -1, -1}
inline constexpr Rgb kFocusBackground{192, 255, 192};
double PointsOf(Font font);
inline constexpr std::string_view kFontFamily = "SimSun";
inline constexpr std::string_view kFontFamilyChinese = "宋体";

struct Rect {
  int left, top, width, height;
  bool operator==(const Rect&) const = default;
};

struct Control {
  std::string_view name;
  Kind kind;
  std::string_view container;  // kFormName or a frame's name
  std::string_view caption;    // a text box's is its default text
  Rect twips;                  // relative to the container
  int tabIndex;                // -1: never takes the focus
  std::string_view toolTip;
  Colour colour;
  Font font;
};

// Frames come before the controls they hold.
extern const std::array<Control, 28> kControls;
const Control* FindControl(std::string_view name);  // null for an unknown name

// The focusable controls in tab order (the three datum options count as one stop,
// entered at the selected one).
std::array<std::string_view, 16> TabOrder();
// The control the Tab key (forward) or Shift+Tab moves to from `from`, given which
// option is selected (1, 2 or 3; 0 for none, which enters at Option1).
std::string_view NextTabStop(std::string_view from, bool forward, int selectedOption);

// The seven settings boxes select their whole text and turn kFocusBackground on
// receiving the focus, and get their normal background back on losing it.
inline bool SelectsAllOnFocus(const Control& c) { return c.kind == Kind::kText; }

// Twips to device pixels at `dpi` dots per inch (96: twips / 15), rounded.
int ToPixels(int twips, int dpi);

// Where the window goes on a screen (any unit): horizontally centred, a third of the
// free height above it, computed in single precision as the placement always was.
std::pair<int, int> CenterPosition(int screenWidth, int screenHeight, int windowWidth,
                                   int windowHeight);

// The arcs check box: unchecked 0, checked 1, greyed 2 (only ever from a file).
// A click toggles 0 and 1 and takes a greyed box to checked.
inline int NextCheckState(int state) { return state == 1 ? 0 : 1; }

// What the controls show for a Settings value and back: the seven texts in the
// order Text1..Text7, the three datum options, the check box's state. The third,
// "2000国家" (CGCS2000), is the settings file's datum=cgcs2000 line, with lines 8
// and 9 both "0".
// The seven settings boxes, Text1..Text7, by index; the two corrections among them.
inline constexpr int kTextCount = 7;
inline constexpr int kLatCorrectionText = 4;  // Text5, minutes
inline constexpr int kLonCorrectionText = 5;  // Text6, minutes

struct Values {
  std::array<std::string, kTextCount> texts;
  bool option1 = false;
  bool option2 = false;
  bool option3 = false;
  int check1 = 0;
  // The opt-in settings the options dialog shows, carried through unchanged so that
  // saving the ten never drops them.
  std::vector<std::pair<std::string, std::string>> extra;
  bool operator==(const Values&) const = default;
};
// Both options selected in a file shows Option2 alone, as loading them one after
// the other would.
Values ValuesOf(const Settings& settings);
Settings SettingsOf(const Values& values);
// The control name of settings box i (0..kTextCount-1: "Text1".."Text7"), and the
// index of the box of that name (-1 for a name that is none).
std::string_view TextName(int i);
int TextIndex(std::string_view name);

}  // namespace varnolt::form
