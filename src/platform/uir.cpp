// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/uir.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <system_error>
#include <utility>

#include "platform/paths.h"

namespace sondrix::platform {
namespace {

constexpr std::array<std::pair<CtrlType, std::string_view>, 17> kTypeNames = {{
    {CtrlType::String, "string"},
    {CtrlType::TextBox, "textbox"},
    {CtrlType::TextMsg, "textmsg"},
    {CtrlType::Int, "int"},
    {CtrlType::Double, "double"},
    {CtrlType::Button, "button"},
    {CtrlType::Toggle, "toggle"},
    {CtrlType::CheckBox, "checkbox"},
    {CtrlType::ListBox, "listbox"},
    {CtrlType::CheckList, "checklist"},
    {CtrlType::Ring, "ring"},
    {CtrlType::Color, "color"},
    {CtrlType::Led, "led"},
    {CtrlType::StripChart, "stripchart"},
    {CtrlType::Graph, "graph"},
    {CtrlType::Decoration, "decoration"},
    {CtrlType::Progress, "progress"},
}};

const std::set<std::string, std::less<>> kPanelAttributes = {"title", "top",   "left",
                                                             "width", "height", "menubar"};
const std::set<std::string, std::less<>> kControlAttributes = {
    "label",  "top",       "left",  "width", "height", "value", "min",    "max",
    "precision", "mode",   "dimmed", "visible", "textcolor", "maxlength", "items", "traces",
    "points", "xmin",      "xmax",  "ymin",  "ymax",   "xlabel", "ylabel", "shortcut",
    "default", "backcolor", "fontsize", "accname"};
const std::set<std::string, std::less<>> kMenuAttributes = {"label", "shortcut", "dimmed",
                                                            "checked"};

std::string gUirPath;

// One logical line cut into words and attributes.
struct Token {
  std::string text;
  std::optional<std::string> value;  // set for key=value
};

class Parser {
 public:
  Parser(std::string_view text, std::string_view source) : text_(text), source_(source) {}

  std::optional<UirFile> Run(std::string& error) {
    if (!ParseAll()) {
      error = error_;
      return std::nullopt;
    }
    return std::move(file_);
  }

 private:
  enum class Block { Panel, MenuBar, Menu };

  bool Fail(int line, std::string message) {
    if (error_.empty()) {
      error_ = std::string(source_) + ":" + std::to_string(line) + ": " + std::move(message);
    }
    return false;
  }

  // Cuts the next logical line (joined over trailing '\') into tokens.
  // Returns false at the end of the text; `ok` is false on a lexical error.
  bool NextLine(std::vector<Token>& tokens, int& startLine, bool& ok) {
    tokens.clear();
    ok = true;
    bool more = true;
    bool any = false;
    while (more) {
      if (pos_ >= text_.size()) {
        if (!any) return false;
        ok = Fail(line_, "'\\' at the end of the file");
        return true;
      }
      std::size_t end = text_.find('\n', pos_);
      std::string_view physical = text_.substr(pos_, end == std::string_view::npos ? end : end - pos_);
      pos_ = end == std::string_view::npos ? text_.size() : end + 1;
      ++line_;
      if (!any) startLine = line_;
      any = true;
      if (!physical.empty() && physical.back() == '\r') physical.remove_suffix(1);
      more = false;
      if (!Tokenise(physical, tokens, more)) {
        ok = false;
        return true;
      }
    }
    return true;
  }

  bool Tokenise(std::string_view s, std::vector<Token>& tokens, bool& continued) {
    std::size_t i = 0;
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (i < s.size()) {
      while (i < s.size() && blank(s[i])) ++i;
      if (i >= s.size() || s[i] == '#') break;
      if (s[i] == '\\') {
        std::size_t j = i + 1;
        while (j < s.size() && blank(s[j])) ++j;
        if (j < s.size() && s[j] != '#') return Fail(line_, "stray '\\'");
        continued = true;
        break;
      }
      if (s[i] == '"') return Fail(line_, "a quoted text must follow 'name='");
      std::size_t start = i;
      while (i < s.size() && !blank(s[i]) && s[i] != '=' && s[i] != '"' && s[i] != '#') ++i;
      Token token{std::string(s.substr(start, i - start)), std::nullopt};
      if (i < s.size() && s[i] == '=') {
        if (token.text.empty()) return Fail(line_, "'=' without an attribute name");
        ++i;
        std::string value;
        if (i < s.size() && s[i] == '"') {
          ++i;
          bool closed = false;
          while (i < s.size()) {
            char c = s[i++];
            if (c == '"') {
              closed = true;
              break;
            }
            if (c == '\\') {
              if (i >= s.size()) break;
              char e = s[i++];
              switch (e) {
                case 'n': value += '\n'; break;
                case 't': value += '\t'; break;
                case '"': value += '"'; break;
                case '\\': value += '\\'; break;
                default: return Fail(line_, std::string("unknown escape '\\") + e + "'");
              }
              continue;
            }
            value += c;
          }
          if (!closed) return Fail(line_, "unterminated text for '" + token.text + "'");
          if (i < s.size() && !blank(s[i]) && s[i] != '#') {
            return Fail(line_, "missing blank after the text of '" + token.text + "'");
          }
        } else {
          std::size_t vs = i;
          while (i < s.size() && !blank(s[i]) && s[i] != '#') ++i;
          value = std::string(s.substr(vs, i - vs));
          if (value.empty()) return Fail(line_, "no value for '" + token.text + "'");
          if (value.find('"') != std::string::npos) {
            return Fail(line_, "unexpected '\"' in the value of '" + token.text + "'");
          }
        }
        token.value = std::move(value);
      } else if (i < s.size() && s[i] == '"') {
        return Fail(line_, "a quoted text must follow 'name='");
      }
      tokens.push_back(std::move(token));
    }
    return true;
  }

  static bool ParseIntText(std::string_view text, int& out) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
      negative = text.front() == '-';
      text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
      base = 16;
      text.remove_prefix(2);
    }
    if (text.empty()) return false;
    long long value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc{} || end != text.data() + text.size()) return false;
    if (negative) value = -value;
    // Colours and masks may be written as unsigned 32-bit hexadecimal.
    if (value < INT32_MIN || value > static_cast<long long>(UINT32_MAX)) return false;
    out = static_cast<int>(value > INT32_MAX ? value - 0x100000000LL : value);
    return true;
  }

  static bool ParseDoubleText(std::string_view text, double& out) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc{} && end == text.data() + text.size();
  }

  bool Int(int line, const std::string& key, const std::string& text, int& out) {
    if (!ParseIntText(text, out)) return Fail(line, "'" + key + "' needs an integer, not '" + text + "'");
    return true;
  }

  bool Double(int line, const std::string& key, const std::string& text, double& out) {
    if (!ParseDoubleText(text, out)) return Fail(line, "'" + key + "' needs a number, not '" + text + "'");
    return true;
  }

  bool Optional(int line, const std::string& key, const std::string& text,
                std::optional<double>& out) {
    double number = 0;
    if (!Double(line, key, text, number)) return false;
    out = number;
    return true;
  }

  bool Flag(int line, const std::string& key, const std::string& text, bool& out) {
    if (text == "0" || text == "1") {
      out = text == "1";
      return true;
    }
    return Fail(line, "'" + key + "' needs 0 or 1, not '" + text + "'");
  }

  // "<keyword> <id> <Name>" followed by attributes only.
  bool Header(int line, const std::vector<Token>& tokens, std::size_t words, int& id,
              std::string& name) {
    const std::string& keyword = tokens[0].text;
    if (tokens.size() < words) return Fail(line, "'" + keyword + "' needs an id and a name");
    for (std::size_t i = 1; i < words; ++i) {
      if (tokens[i].value) return Fail(line, "'" + keyword + "' needs an id and a name");
    }
    if (!ParseIntText(tokens[1].text, id) || id <= 0) {
      return Fail(line, "bad " + keyword + " id '" + tokens[1].text + "' (a positive integer)");
    }
    name = tokens[2].text;
    for (std::size_t i = words; i < tokens.size(); ++i) {
      if (!tokens[i].value) {
        return Fail(line, "unexpected word '" + tokens[i].text + "' (attributes are name=value)");
      }
    }
    return true;
  }

  bool Attributes(int line, const std::vector<Token>& tokens, std::size_t first,
                  const std::set<std::string, std::less<>>& allowed,
                  std::map<std::string, std::string>& out) {
    for (std::size_t i = first; i < tokens.size(); ++i) {
      const Token& t = tokens[i];
      if (!allowed.contains(t.text)) return Fail(line, "unknown attribute '" + t.text + "'");
      if (!out.emplace(t.text, *t.value).second) {
        return Fail(line, "attribute '" + t.text + "' given twice");
      }
    }
    return true;
  }

  bool ParsePanel(int line, const std::vector<Token>& tokens) {
    PanelSpec panel;
    panel.line = line;
    if (!Header(line, tokens, 3, panel.id, panel.name)) return false;
    if (!Attributes(line, tokens, 3, kPanelAttributes, panel.attributes)) return false;
    if (file_.FindPanel(panel.id)) return Fail(line, "panel id " + std::to_string(panel.id) + " used twice");
    if (file_.FindPanel(panel.name)) return Fail(line, "panel name '" + panel.name + "' used twice");
    for (const auto& [key, text] : panel.attributes) {
      bool ok = true;
      if (key == "title") panel.title = text;
      else if (key == "top") ok = Int(line, key, text, panel.top);
      else if (key == "left") ok = Int(line, key, text, panel.left);
      else if (key == "width") ok = Int(line, key, text, panel.width);
      else if (key == "height") ok = Int(line, key, text, panel.height);
      else if (key == "menubar") ok = Int(line, key, text, panel.menuBar);
      if (!ok) return false;
    }
    if (panel.width <= 0 || panel.height <= 0) return Fail(line, "a panel needs a positive size");
    file_.panels.push_back(std::move(panel));
    return true;
  }

  bool ParseItems(int line, const std::string& text, std::vector<ListItemSpec>& items) {
    std::string_view rest = text;
    int index = 0;
    while (true) {
      std::size_t bar = rest.find('|');
      std::string_view entry = rest.substr(0, bar);
      ListItemSpec item;
      std::size_t eq = entry.rfind('=');
      item.value = index;
      if (eq != std::string_view::npos) {
        if (!ParseIntText(entry.substr(eq + 1), item.value)) {
          return Fail(line, "bad item value in '" + std::string(entry) + "'");
        }
        entry = entry.substr(0, eq);
      }
      item.label = std::string(entry);
      items.push_back(std::move(item));
      ++index;
      if (bar == std::string_view::npos) break;
      rest.remove_prefix(bar + 1);
    }
    return true;
  }

  bool ParseControl(int line, const std::vector<Token>& tokens) {
    ControlSpec control;
    control.line = line;
    if (!Header(line, tokens, 4, control.id, control.name)) return false;
    std::optional<CtrlType> type = CtrlTypeFromName(tokens[3].text);
    if (!type) return Fail(line, "unknown control type '" + tokens[3].text + "'");
    control.type = *type;
    if (!Attributes(line, tokens, 4, kControlAttributes, control.attributes)) return false;
    PanelSpec& panel = file_.panels.back();
    if (panel.FindControl(control.id)) {
      return Fail(line, "control id " + std::to_string(control.id) + " used twice in panel " + panel.name);
    }
    if (panel.FindControl(control.name)) {
      return Fail(line, "control name '" + control.name + "' used twice in panel " + panel.name);
    }

    switch (control.type) {
      case CtrlType::String:
      case CtrlType::TextBox:
      case CtrlType::TextMsg:
        control.value = std::string();
        break;
      case CtrlType::Double:
        control.value = 0.0;
        break;
      default:
        control.value = 0;
        break;
    }

    for (const auto& [key, text] : control.attributes) {
      bool ok = true;
      if (key == "label") control.label = text;
      else if (key == "top") ok = Int(line, key, text, control.top);
      else if (key == "left") ok = Int(line, key, text, control.left);
      else if (key == "width") ok = Int(line, key, text, control.width);
      else if (key == "height") ok = Int(line, key, text, control.height);
      else if (key == "min") ok = Optional(line, key, text, control.min);
      else if (key == "max") ok = Optional(line, key, text, control.max);
      else if (key == "xmin") ok = Optional(line, key, text, control.xMin);
      else if (key == "xmax") ok = Optional(line, key, text, control.xMax);
      else if (key == "ymin") ok = Optional(line, key, text, control.yMin);
      else if (key == "ymax") ok = Optional(line, key, text, control.yMax);
      else if (key == "precision") ok = Int(line, key, text, control.precision);
      else if (key == "dimmed") ok = Flag(line, key, text, control.dimmed);
      else if (key == "visible") ok = Flag(line, key, text, control.visible);
      else if (key == "default") ok = Flag(line, key, text, control.isDefault);
      else if (key == "textcolor") ok = Int(line, key, text, control.textColor);
      else if (key == "backcolor") {
        int colour = 0;
        ok = Int(line, key, text, colour);
        if (ok) control.backColor = colour;
      }
      else if (key == "fontsize") ok = Int(line, key, text, control.fontSize);
      else if (key == "maxlength") ok = Int(line, key, text, control.maxLength);
      else if (key == "traces") ok = Int(line, key, text, control.traces);
      else if (key == "points") ok = Int(line, key, text, control.points);
      else if (key == "xlabel") control.xLabel = text;
      else if (key == "ylabel") control.yLabel = text;
      else if (key == "shortcut") control.shortcut = text;
      else if (key == "items") ok = ParseItems(line, text, control.items);
      else if (key == "mode") {
        if (text == "normal") control.mode = CtrlMode::Normal;
        else if (text == "indicator") control.mode = CtrlMode::Indicator;
        else if (text == "hot") control.mode = CtrlMode::Hot;
        else ok = Fail(line, "mode must be normal, indicator or hot, not '" + text + "'");
      }
      if (!ok) return false;
    }

    if (auto it = control.attributes.find("value"); it != control.attributes.end()) {
      const std::string& text = it->second;
      if (std::holds_alternative<std::string>(control.value)) {
        control.value = text;
      } else if (std::holds_alternative<double>(control.value)) {
        double d = 0;
        if (!Double(line, "value", text, d)) return false;
        control.value = d;
      } else {
        int i = 0;
        if (!Int(line, "value", text, i)) return false;
        control.value = i;
      }
    }

    if (control.type == CtrlType::Progress) {
      if (!control.min) control.min = 0.0;
      if (!control.max) control.max = 100.0;
    }
    if (control.min && control.max && *control.min > *control.max) {
      return Fail(line, "min is above max");
    }
    if (!std::holds_alternative<std::string>(control.value)) {
      double v = std::holds_alternative<int>(control.value) ? std::get<int>(control.value)
                                                           : std::get<double>(control.value);
      if ((control.min && v < *control.min) || (control.max && v > *control.max)) {
        return Fail(line, "default value outside min ... max");
      }
    }
    bool isList = control.type == CtrlType::ListBox || control.type == CtrlType::CheckList ||
                  control.type == CtrlType::Ring;
    if (!control.items.empty() && !isList) {
      return Fail(line, "items are only for listbox, checklist and ring controls");
    }
    if (control.traces < 1 || control.points < 1) return Fail(line, "traces and points must be positive");
    if (control.width < 0 || control.height < 0) return Fail(line, "negative size");
    panel.controls.push_back(std::move(control));
    return true;
  }

  bool ParseMenuEntry(int line, const std::vector<Token>& tokens, MenuEntrySpec& entry) {
    entry.line = line;
    if (!Header(line, tokens, 3, entry.id, entry.name)) return false;
    std::map<std::string, std::string> attributes;
    if (!Attributes(line, tokens, 3, kMenuAttributes, attributes)) return false;
    for (const auto& [key, text] : attributes) {
      bool ok = true;
      if (key == "label") entry.label = text;
      else if (key == "shortcut") entry.shortcut = text;
      else if (key == "dimmed") ok = Flag(line, key, text, entry.dimmed);
      else if (key == "checked") ok = Flag(line, key, text, entry.checked);
      if (!ok) return false;
    }
    if (!menuIds_.insert(entry.id).second) {
      return Fail(line, "menu id " + std::to_string(entry.id) + " used twice in menu bar " +
                            file_.menuBars.back().name);
    }
    return true;
  }

  // The list that new menu entries go to: the innermost open menu.
  std::vector<MenuEntrySpec>& OpenEntries() {
    std::vector<MenuEntrySpec>* list = &file_.menuBars.back().menus;
    for (std::size_t depth = 1; depth < blocks_.size(); ++depth) list = &list->back().entries;
    return *list;
  }

  bool ParseAll() {
    std::vector<Token> tokens;
    int line = 0;
    bool ok = true;
    while (NextLine(tokens, line, ok)) {
      if (!ok) return false;
      if (tokens.empty()) continue;
      const Token& head = tokens[0];
      if (head.value) return Fail(line, "a line must start with a keyword, not '" + head.text + "='");
      const std::string& keyword = head.text;
      Block* open = blocks_.empty() ? nullptr : &blocks_.back();

      if (keyword == "end") {
        if (tokens.size() != 1) return Fail(line, "'end' stands alone");
        if (!open) return Fail(line, "'end' without an open panel or menu");
        blocks_.pop_back();
      } else if (keyword == "panel") {
        if (open) return Fail(line, "'panel' inside another block (missing 'end'?)");
        if (!ParsePanel(line, tokens)) return false;
        blocks_.push_back(Block::Panel);
      } else if (keyword == "control") {
        if (!open || *open != Block::Panel) return Fail(line, "'control' outside a panel");
        if (!ParseControl(line, tokens)) return false;
      } else if (keyword == "menubar") {
        if (open) return Fail(line, "'menubar' inside another block (missing 'end'?)");
        MenuBarSpec bar;
        bar.line = line;
        if (!Header(line, tokens, 3, bar.id, bar.name)) return false;
        if (tokens.size() > 3) return Fail(line, "a menu bar has no attributes");
        if (file_.FindMenuBar(bar.id)) return Fail(line, "menu bar id " + std::to_string(bar.id) + " used twice");
        file_.menuBars.push_back(std::move(bar));
        menuIds_.clear();
        blocks_.push_back(Block::MenuBar);
      } else if (keyword == "menu") {
        if (!open || *open == Block::Panel) return Fail(line, "'menu' outside a menu bar");
        MenuEntrySpec menu;
        menu.kind = MenuEntrySpec::Kind::Menu;
        if (!ParseMenuEntry(line, tokens, menu)) return false;
        OpenEntries().push_back(std::move(menu));
        blocks_.push_back(Block::Menu);
      } else if (keyword == "item" || keyword == "separator") {
        if (!open || *open != Block::Menu) return Fail(line, "'" + keyword + "' outside a menu");
        MenuEntrySpec entry;
        if (keyword == "separator") {
          // A separator may carry an id and a name, so that items can be
          // inserted in front of it at run time.
          entry.kind = MenuEntrySpec::Kind::Separator;
          entry.line = line;
          if (tokens.size() != 1 && (tokens.size() != 3 || !ParseMenuEntry(line, tokens, entry))) {
            return error_.empty() ? Fail(line, "'separator' stands alone or has an id and a name")
                                  : false;
          }
          entry.kind = MenuEntrySpec::Kind::Separator;
        } else if (!ParseMenuEntry(line, tokens, entry)) {
          return false;
        }
        OpenEntries().push_back(std::move(entry));
      } else {
        return Fail(line, "unknown keyword '" + keyword + "'");
      }
    }
    if (!ok) return false;
    if (!blocks_.empty()) return Fail(line_, "missing 'end' at the end of the file");
    for (const PanelSpec& panel : file_.panels) {
      if (panel.menuBar != 0 && !file_.FindMenuBar(panel.menuBar)) {
        return Fail(panel.line, "panel " + panel.name + " names menu bar " +
                                    std::to_string(panel.menuBar) + ", which is not defined");
      }
    }
    return true;
  }

  std::string_view text_;
  std::string_view source_;
  std::size_t pos_ = 0;
  int line_ = 0;
  std::string error_;
  UirFile file_;
  std::vector<Block> blocks_;
  std::set<int> menuIds_;
};

// The item of `items` whose `member` is `key`, or null.
template <class Item, class Member, class Key>
const Item* FindBy(const std::vector<Item>& items, Member Item::*member, const Key& key) {
  const auto found = std::ranges::find(items, key, member);
  return found == items.end() ? nullptr : &*found;
}

// The menu entry, at any depth, whose `member` is `key` (an entry without an
// id or a name is never found by it).
template <class Value, class Key>
const MenuEntrySpec* FindIn(const std::vector<MenuEntrySpec>& entries, Value MenuEntrySpec::*member, const Key& key) {
  if (key == Key{}) return nullptr;
  for (const MenuEntrySpec& entry : entries) {
    if (entry.*member == key) return &entry;
    if (const MenuEntrySpec* found = FindIn(entry.entries, member, key)) return found;
  }
  return nullptr;
}

}  // namespace

std::string_view CtrlTypeName(CtrlType type) {
  for (const auto& [t, name] : kTypeNames) {
    if (t == type) return name;
  }
  return "?";
}

std::optional<CtrlType> CtrlTypeFromName(std::string_view name) {
  for (const auto& [t, n] : kTypeNames) {
    if (n == name) return t;
  }
  return std::nullopt;
}

const ControlSpec* PanelSpec::FindControl(int controlId) const { return FindBy(controls, &ControlSpec::id, controlId); }

const ControlSpec* PanelSpec::FindControl(std::string_view controlName) const {
  return FindBy(controls, &ControlSpec::name, controlName);
}

const MenuEntrySpec* MenuBarSpec::FindEntry(int entryId) const { return FindIn(menus, &MenuEntrySpec::id, entryId); }

const MenuEntrySpec* MenuBarSpec::FindEntry(std::string_view entryName) const {
  return FindIn(menus, &MenuEntrySpec::name, entryName);
}

const MenuBarSpec* UirFile::FindMenuBar(int menuBarId) const { return FindBy(menuBars, &MenuBarSpec::id, menuBarId); }

const MenuBarSpec* UirFile::FindMenuBar(std::string_view menuBarName) const {
  return FindBy(menuBars, &MenuBarSpec::name, menuBarName);
}

const PanelSpec* UirFile::FindPanel(int panelId) const { return FindBy(panels, &PanelSpec::id, panelId); }

const PanelSpec* UirFile::FindPanel(std::string_view panelName) const {
  return FindBy(panels, &PanelSpec::name, panelName);
}

std::optional<UirFile> ParseUir(std::string_view text, std::string& error,
                                std::string_view sourceName) {
  error.clear();
  return Parser(text, sourceName).Run(error);
}

std::optional<UirFile> LoadUir(std::string_view path, std::string& error) {
  const std::optional<std::string> text = ReadRegularFile(path);
  if (!text) {
    error = "cannot read the resource file " + std::string(path);
    return std::nullopt;
  }
  return ParseUir(*text, error, path);
}

UirFile LoadProgramUir(std::string& error) {
  error.clear();
  std::optional<UirFile> file = LoadUir(UirPath(), error);
  return file ? std::move(*file) : UirFile{};
}

std::string UirPath() {
  if (!gUirPath.empty()) return gUirPath;
  if (const char* env = std::getenv("SONDRIX_UIR"); env != nullptr && *env != '\0') return env;
  if (std::string dir = ExecutableDir(); !dir.empty()) {
    std::string beside = JoinPath(dir, "sondrix.uir");
    if (FileExists(beside)) return beside;
    // An installed program: <prefix>/bin/sondrix, <prefix>/share/sondrix/sondrix.uir.
    if (std::string installed = InstalledDataDir(); !installed.empty()) return JoinPath(installed, "sondrix.uir");
  }
  return SONDRIX_RESOURCE_DIR "/sondrix.uir";
}

void SetUirPath(std::string_view path) { gUirPath = std::string(path); }

}  // namespace sondrix::platform
