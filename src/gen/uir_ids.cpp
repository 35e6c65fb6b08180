// SPDX-License-Identifier: GPL-3.0-or-later
// sondrix_uir_ids: writes common/panels.h, the names of the ids of the
// resource file (resources/sondrix.uir), at build time. A host program of
// the build, linked from the resource file's reader alone (platform/uir.cpp,
// platform/paths.cpp): the ids it names are the ones the reader gives the
// program at run time.
//
//   sondrix_uir_ids RESOURCE.uir OUTPUT.h
//
// Every panel, control, menu bar, menu, item and named separator becomes
// `inline constexpr int k<Name> = <id>;` in namespace sondrix::panels:
// each panel followed by its controls and, after the first panel that
// names it, its menu bar with the bar's entries. Three or more controls of
// a panel named alike but for a closing number (MainLabel0 ... MainLabel19)
// are a row: their numbers and ids must run on without a gap, and only the
// first is named (the code counts from it). The output is rewritten only
// when its text changes, so that an edit of the layout alone recompiles
// nothing.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/uir.h"

namespace {

using sondrix::platform::ControlSpec;
using sondrix::platform::MenuBarSpec;
using sondrix::platform::MenuEntrySpec;
using sondrix::platform::PanelSpec;
using sondrix::platform::UirFile;

class HeaderWriter {
 public:
  bool Write(const UirFile& uir) {
    std::set<int> barsDone;
    for (const PanelSpec& panel : uir.panels) {
      if (!WritePanel(panel)) return false;
      if (panel.menuBar != 0 && barsDone.insert(panel.menuBar).second)
        WriteMenuBar(*uir.FindMenuBar(panel.menuBar), panel.name);
    }
    for (const MenuBarSpec& bar : uir.menuBars) {
      if (barsDone.insert(bar.id).second) WriteMenuBar(bar, "");
    }
    return error_.empty();
  }

  std::string Text() const { return out_.str(); }
  const std::string& Error() const { return error_; }

 private:
  bool Fail(const std::string& message) {
    if (error_.empty()) error_ = message;
    return false;
  }

  void Constant(const std::string& name, int id, const std::string& comment) {
    if (const auto [at, added] = names_.emplace(name, id); !added) {
      Fail("the name " + name + " is given twice (ids " + std::to_string(at->second) + " and " +
           std::to_string(id) + ")");
      return;
    }
    out_ << "inline constexpr int k" << name << " = " << id << ";";
    if (!comment.empty()) out_ << "  // " << comment;
    out_ << "\n";
  }

  // The controls of one row, keyed by their closing numbers.
  struct Row {
    std::map<int, const ControlSpec*> members;
  };

  // "MainLabel12" is "MainLabel" and 12; false for a name without a closing number.
  static bool SplitNumber(const std::string& name, std::string& stem, int& number) {
    std::size_t end = name.size();
    while (end > 0 && std::isdigit(static_cast<unsigned char>(name[end - 1])) != 0) --end;
    if (end == 0 || end == name.size() || name.size() - end > 4) return false;
    stem = name.substr(0, end);
    number = std::stoi(name.substr(end));
    return true;
  }

  bool WritePanel(const PanelSpec& panel) {
    std::map<std::string, Row> rows;
    for (const ControlSpec& control : panel.controls) {
      std::string stem;
      int number = 0;
      if (SplitNumber(control.name, stem, number)) rows[stem].members[number] = &control;
    }
    std::erase_if(rows, [](const auto& row) { return row.second.members.size() < 3; });
    // The first of a row stands for it; the others are left out.
    std::map<const ControlSpec*, std::string> rowComments;
    std::set<const ControlSpec*> leftOut;
    for (const auto& [stem, row] : rows) {
      const auto& [first, head] = *row.members.begin();
      const int last = row.members.rbegin()->first;
      if (first > 1 || last - first + 1 != static_cast<int>(row.members.size()))
        return Fail("panel " + panel.name + ": the row " + stem + " must be numbered from 0 or 1 without a gap");
      for (const auto& [number, control] : row.members) {
        if (control->id != head->id + (number - first))
          return Fail("panel " + panel.name + ": " + control->name + " must have the id " +
                      std::to_string(head->id + (number - first)) + " (its row's ids run on without a gap)");
        if (control != head) leftOut.insert(control);
      }
      const std::string k = first == 0 ? "k" : "k - " + std::to_string(first);
      rowComments[head] = std::string(CtrlTypeName(head->type)) + ": k" + head->name + " + " + k + " is " + stem +
                          "<k>, k = " + std::to_string(first) + " ... " + std::to_string(last);
    }

    out_ << "\n// Panel " << panel.name << ".\n";
    Constant(panel.name, panel.id, "");
    std::vector<const ControlSpec*> controls;
    for (const ControlSpec& control : panel.controls) {
      if (!leftOut.contains(&control)) controls.push_back(&control);
    }
    std::stable_sort(controls.begin(), controls.end(),
                     [](const ControlSpec* a, const ControlSpec* b) { return a->id < b->id; });
    for (const ControlSpec* control : controls) {
      const auto row = rowComments.find(control);
      Constant(control->name, control->id,
               row != rowComments.end() ? row->second : std::string(CtrlTypeName(control->type)));
    }
    return error_.empty();
  }

  static void Gather(const std::vector<MenuEntrySpec>& entries, std::vector<const MenuEntrySpec*>& out) {
    for (const MenuEntrySpec& entry : entries) {
      if (!entry.name.empty()) out.push_back(&entry);
      Gather(entry.entries, out);
    }
  }

  void WriteMenuBar(const MenuBarSpec& bar, const std::string& panel) {
    out_ << "\n// Menu bar " << bar.name;
    if (!panel.empty()) out_ << " (loaded with panel " << panel << ")";
    out_ << ".\n";
    Constant(bar.name, bar.id, "");
    std::vector<const MenuEntrySpec*> entries;
    Gather(bar.menus, entries);
    std::stable_sort(entries.begin(), entries.end(),
                     [](const MenuEntrySpec* a, const MenuEntrySpec* b) { return a->id < b->id; });
    for (const MenuEntrySpec* entry : entries) {
      const char* kind = entry->kind == MenuEntrySpec::Kind::Menu        ? "menu"
                         : entry->kind == MenuEntrySpec::Kind::Separator ? "separator"
                                                                         : "item";
      Constant(entry->name, entry->id, kind);
    }
  }

  std::ostringstream out_;
  std::map<std::string, int> names_;
  std::string error_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: sondrix_uir_ids RESOURCE.uir OUTPUT.h\n");
    return 2;
  }
  std::string error;
  const std::optional<UirFile> uir = sondrix::platform::LoadUir(argv[1], error);
  if (!uir) {
    std::fprintf(stderr, "sondrix_uir_ids: %s\n", error.c_str());
    return 1;
  }
  HeaderWriter writer;
  if (!writer.Write(*uir)) {
    std::fprintf(stderr, "sondrix_uir_ids: %s: %s\n", argv[1], writer.Error().c_str());
    return 1;
  }
  const std::string text =
      "// SPDX-License-Identifier: GPL-3.0-or-later\n"
      "// The ids of the resource file resources/sondrix.uir, named as it names\n"
      "// them with a leading \"k\". Written by sondrix_uir_ids (src/gen/uir_ids.cpp)\n"
      "// at build time: edit the resource file, not this header.\n"
      "#pragma once\n\n"
      "namespace sondrix::panels {\n" +
      writer.Text() + "\n}  // namespace sondrix::panels\n";

  std::ifstream existing(argv[2], std::ios::binary);
  const std::string old((std::istreambuf_iterator<char>(existing)), std::istreambuf_iterator<char>());
  if (existing.is_open() && old == text) return 0;
  existing.close();
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) {
    std::fprintf(stderr, "sondrix_uir_ids: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
