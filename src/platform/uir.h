// SPDX-License-Identifier: GPL-3.0-or-later
// The user-interface resource file: every panel, control and menu bar of the
// program described as data (resources/sondrix.uir). Both UI backends build
// their panels from these specs; the ids are named in common/panels.h.
//
// Format (one element per line, '#' starts a comment, a trailing '\' joins
// the next line, texts are double-quoted with \" \\ \n \t escapes):
//
//   panel <id> <Name> [attr=value ...]
//     control <id> <Name> <type> [attr=value ...]
//     ...
//   end
//
//   menubar <id> <Name>
//     menu <id> <Name> label="File"
//       item <id> <Name> label="Open..." [shortcut="Ctrl+O"] [dimmed=1] [checked=1]
//       separator [<id> <Name>]             (an id lets items be inserted before it)
//       menu <id> <Name> label="Recent"      (a submenu)
//         ...
//       end
//     end
//   end
//
// Panel attributes: title, top, left, width, height, menubar (a menu bar id).
// Control attributes: label, top, left, width, height, value, min, max,
// precision, mode (normal | indicator | hot), dimmed, visible, textcolor,
// maxlength, items ("A|B=5|C": labels with optional values, for list boxes
// and rings), traces, points, xmin, xmax, ymin, ymax, xlabel, ylabel,
// shortcut, default (1: the panel's default control), backcolor (0xRRGGBB
// face of buttons), fontsize (points; 0 the backend's usual size), accname
// (the control's name for assistive technology where it has no label).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui.h"

namespace sondrix::platform {

enum class CtrlType {
  String,      // one-line text entry                     value: text
  TextBox,     // several lines of text                   value: text
  TextMsg,     // a text shown on the panel (not edited)  value: text
  Int,         // numeric, integer                        value: int
  Double,      // numeric, floating point                 value: double
  Button,      // command button                          value: int (unused)
  Toggle,      // toggle button                           value: int 0/1
  CheckBox,    // check box                               value: int 0/1
  ListBox,     // list of items (label, value)            value: selected item's value
  CheckList,   // list box whose items carry check marks  value: selected item's value
  Ring,        // drop-down choice of items               value: selected item's value
  Color,       // colour chooser                          value: int 0xRRGGBB
  Led,         // indicator lamp                          value: int 0/1
  StripChart,  // scrolling chart of interleaved traces
  Graph,       // XY graph
  Decoration,  // frame, no value
  Progress,    // a bar showing how far a long task has come  value: int, min ... max (0 ... 100 unless given)
};

std::string_view CtrlTypeName(CtrlType type);

// Kinds of control as both backends treat them.
inline bool IsListType(CtrlType type) {
  return type == CtrlType::ListBox || type == CtrlType::CheckList || type == CtrlType::Ring;
}
inline bool IsTextType(CtrlType type) {
  return type == CtrlType::String || type == CtrlType::TextBox || type == CtrlType::TextMsg;
}
// Values 0/1 only.
inline bool IsSwitchType(CtrlType type) {
  return type == CtrlType::CheckBox || type == CtrlType::Toggle || type == CtrlType::Led;
}
inline bool HasNoValue(CtrlType type) {
  return type == CtrlType::StripChart || type == CtrlType::Graph || type == CtrlType::Decoration;
}
std::optional<CtrlType> CtrlTypeFromName(std::string_view name);

enum class CtrlMode { Normal, Indicator, Hot };

struct ListItemSpec {
  std::string label;
  int value = 0;
};

struct ControlSpec {
  int id = 0;
  std::string name;
  CtrlType type = CtrlType::TextMsg;
  std::string label;
  int top = 0;
  int left = 0;
  int width = 0;   // 0: the backend's natural size
  int height = 0;
  CtrlValue value;  // default value, of the type's kind
  std::optional<double> min;
  std::optional<double> max;
  int precision = 3;  // digits shown after the point (Double)
  CtrlMode mode = CtrlMode::Normal;
  bool dimmed = false;
  bool visible = true;
  bool isDefault = false;
  int textColor = 0x000000;
  std::optional<int> backColor;  // face colour of buttons; none: the desktop's
  int fontSize = 0;              // points; 0: the backend's usual size
  int maxLength = 0;  // 0: unlimited
  std::vector<ListItemSpec> items;
  int traces = 1;     // strip charts and graphs
  int points = 100;   // strip chart points per screen
  std::optional<double> xMin, xMax, yMin, yMax;
  std::string xLabel, yLabel;
  std::string shortcut;
  int line = 0;  // line of the resource file, for messages
  // Every attribute as written, for backends that want more than the above.
  std::map<std::string, std::string> attributes;
};

struct PanelSpec {
  int id = 0;
  std::string name;
  std::string title;
  int top = 0;
  int left = 0;
  int width = 400;
  int height = 300;
  int menuBar = 0;  // 0: none
  int line = 0;
  std::vector<ControlSpec> controls;
  std::map<std::string, std::string> attributes;

  const ControlSpec* FindControl(int controlId) const;
  const ControlSpec* FindControl(std::string_view controlName) const;
};

struct MenuEntrySpec {
  enum class Kind { Item, Separator, Menu };
  Kind kind = Kind::Item;
  int id = 0;
  std::string name;
  std::string label;
  std::string shortcut;
  bool dimmed = false;
  bool checked = false;
  int line = 0;
  std::vector<MenuEntrySpec> entries;  // Menu only
};

struct MenuBarSpec {
  int id = 0;
  std::string name;
  int line = 0;
  std::vector<MenuEntrySpec> menus;  // every entry is a Menu

  // Searches menus and submenus for an item, menu or named separator.
  const MenuEntrySpec* FindEntry(int entryId) const;
  const MenuEntrySpec* FindEntry(std::string_view entryName) const;
};

struct UirFile {
  std::vector<PanelSpec> panels;
  std::vector<MenuBarSpec> menuBars;

  const PanelSpec* FindPanel(int panelId) const;
  const PanelSpec* FindPanel(std::string_view panelName) const;
  const MenuBarSpec* FindMenuBar(int menuBarId) const;
  const MenuBarSpec* FindMenuBar(std::string_view menuBarName) const;
};

// Parses resource text. On a malformed file returns nothing and sets `error`
// to "<source>:<line>: <what is wrong>".
std::optional<UirFile> ParseUir(std::string_view text, std::string& error,
                                std::string_view sourceName = "sondrix.uir");
// Reads and parses a file; a file that cannot be read is an error too.
std::optional<UirFile> LoadUir(std::string_view path, std::string& error);

// The program's resource file (at UirPath()); no panels at all, and the
// reason in `error`, when it cannot be read. Both backends start from it.
UirFile LoadProgramUir(std::string& error);

// Where the resource file is looked for: the path set with SetUirPath, else
// $SONDRIX_UIR, else "sondrix.uir" beside the executable when present, else
// "../share/sondrix/sondrix.uir" from the executable's directory (an
// installed program) when present, else the source tree's resources
// directory.
std::string UirPath();
void SetUirPath(std::string_view path);  // empty: back to the default rule

}  // namespace sondrix::platform
