// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/panel_state.h"

#include <charconv>
#include <cstdio>
#include <map>
#include <utility>

#include "platform/file_replacement.h"
#include "platform/paths.h"

namespace sondrix::platform {
namespace {

constexpr std::string_view kHeader = "Sondrix panel state 1";

void AppendNumber(std::string& out, double value) {
  char buffer[32];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  if (ec != std::errc{}) {
    out += "nan";
    return;
  }
  out.append(buffer, end);
}

void AppendQuoted(std::string& out, std::string_view text) {
  out += '"';
  for (char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': break;
      default: out += c; break;
    }
  }
  out += '"';
}

void AppendHex(std::string& out, int value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%06X", static_cast<unsigned>(value) & 0xFFFFFFu);
  out += buffer;
}

// Reads the words of one line: bare words and quoted texts.
class Words {
 public:
  explicit Words(std::string_view line) : rest_(line) {}

  bool Word(std::string& out) {
    Skip();
    if (rest_.empty()) return false;
    if (rest_.front() == '"') return Quoted(out);
    std::size_t end = rest_.find_first_of(" \t");
    out = std::string(rest_.substr(0, end));
    rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end);
    return true;
  }

  bool Int(int& out) {
    std::string word;
    if (!Word(word) || word.empty()) return false;
    std::string_view text = word;
    int base = 10;
    bool negative = false;
    if (text.front() == '-') {
      negative = true;
      text.remove_prefix(1);
    }
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
      base = 16;
      text.remove_prefix(2);
    }
    long long value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc{} || end != text.data() + text.size()) return false;
    if (value > 0xFFFFFFFFLL) return false;
    out = static_cast<int>(negative ? -value : value);
    return true;
  }

  bool Double(double& out) {
    std::string word;
    if (!Word(word) || word.empty()) return false;
    auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), out);
    return ec == std::errc{} && end == word.data() + word.size();
  }

  bool AtEnd() {
    Skip();
    return rest_.empty();
  }

 private:
  void Skip() {
    while (!rest_.empty() && (rest_.front() == ' ' || rest_.front() == '\t')) rest_.remove_prefix(1);
  }

  bool Quoted(std::string& out) {
    out.clear();
    std::size_t i = 1;
    while (i < rest_.size()) {
      char c = rest_[i++];
      if (c == '"') {
        rest_.remove_prefix(i);
        return true;
      }
      if (c == '\\' && i < rest_.size()) {
        char e = rest_[i++];
        out += e == 'n' ? '\n' : e == 't' ? '\t' : e;
        continue;
      }
      out += c;
    }
    return false;
  }

  std::string_view rest_;
};

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

// The state blocks of a file by index, as text; nothing when the file is
// not a panel state file.
std::optional<std::map<int, std::string>> SplitStates(const std::string& text) {
  std::vector<std::string> lines = SplitLines(text);
  if (lines.empty() || lines[0] != kHeader) return std::nullopt;
  std::map<int, std::string> blocks;
  std::optional<int> open;
  std::string block;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (!open) {
      if (line.empty()) continue;
      Words words(line);
      std::string keyword;
      int index = 0;
      if (!words.Word(keyword) || keyword != "state" || !words.Int(index)) return std::nullopt;
      open = index;
      block = line + "\n";
      continue;
    }
    block += line + "\n";
    if (line == "end") {
      blocks[*open] = std::move(block);
      block.clear();
      open.reset();
    }
  }
  if (open) return std::nullopt;
  return blocks;
}

bool ParseValue(Words& words, CtrlValue& value) {
  std::string kind;
  if (!words.Word(kind)) return false;
  if (kind == "int") {
    int i = 0;
    if (!words.Int(i)) return false;
    value = i;
  } else if (kind == "double") {
    double d = 0;
    if (!words.Double(d)) return false;
    value = d;
  } else if (kind == "text") {
    std::string text;
    if (!words.Word(text)) return false;
    value = std::move(text);
  } else {
    return false;
  }
  return true;
}

bool ParseMode(Words& words, AxisMode& mode) {
  int number = 0;
  if (!words.Int(number) || number < -1 || number > 2) return false;
  mode = static_cast<AxisMode>(number);
  return true;
}

ControlState& ControlFor(PanelState& state, int id) {
  for (ControlState& control : state.controls) {
    if (control.id == id) return control;
  }
  state.controls.push_back(ControlState{});
  state.controls.back().id = id;
  return state.controls.back();
}

// Parses one block; false when it is damaged.
bool ParseBlock(const std::string& text, PanelState& state) {
  std::vector<std::string> lines = SplitLines(text);
  if (lines.empty()) return false;
  {
    Words header(lines[0]);
    std::string keyword;
    int index = 0;
    if (!header.Word(keyword) || !header.Int(index) || !header.Int(state.resourceId) ||
        !header.Word(state.name)) {
      return false;
    }
  }
  std::size_t i = 1;
  auto points = [&](std::size_t count, std::size_t perLine, std::vector<double>* a,
                    std::vector<double>* b) {
    for (std::size_t n = 0; n < count; ++n) {
      if (i >= lines.size()) return false;
      Words words(lines[i++]);
      for (std::size_t k = 0; k < perLine; ++k) {
        double value = 0;
        if (!words.Double(value)) return false;
        (k == 1 && b != nullptr ? b : a)->push_back(value);
      }
      if (!words.AtEnd()) return false;
    }
    return true;
  };
  for (; i < lines.size();) {
    const std::string& line = lines[i++];
    if (line == "end") return i == lines.size();
    Words words(line);
    std::string keyword;
    int id = 0;
    if (!words.Word(keyword) || !words.Int(id)) return false;
    ControlState& control = ControlFor(state, id);
    if (keyword == "value") {
      CtrlValue value;
      if (!ParseValue(words, value)) return false;
      control.value = std::move(value);
    } else if (keyword == "label") {
      std::string label;
      if (!words.Word(label)) return false;
      control.label = std::move(label);
    } else if (keyword == "axes") {
      AxisState axes;
      if (!ParseMode(words, axes.xMode) || !words.Double(axes.xMin) || !words.Double(axes.xMax) ||
          !ParseMode(words, axes.yMode) || !words.Double(axes.yMin) || !words.Double(axes.yMax)) {
        return false;
      }
      control.axes = axes;
    } else if (keyword == "plot") {
      int plotStyle = 0, pointStyle = 0, lineStyle = 0, count = 0;
      PlotState plot;
      if (!words.Int(plotStyle) || !words.Int(pointStyle) || !words.Int(lineStyle) ||
          !words.Int(plot.attributes.pointFrequency) || !words.Int(plot.attributes.color) ||
          !words.Int(count) || count < 1) {
        return false;
      }
      plot.attributes.plotStyle = static_cast<PlotStyle>(plotStyle);
      plot.attributes.pointStyle = static_cast<PointStyle>(pointStyle);
      plot.attributes.lineStyle = static_cast<LineStyle>(lineStyle);
      if (!points(static_cast<std::size_t>(count), 2, &plot.x, &plot.y)) return false;
      control.graph = true;
      control.plots.push_back(std::move(plot));
    } else if (keyword == "strip") {
      int traces = 0, count = 0;
      if (!words.Int(traces) || !words.Int(count) || traces < 1 || traces > kMaxStripTraces ||
          count < 0) {
        return false;
      }
      control.strip = true;
      control.stripTraces = traces;
      if (!points(static_cast<std::size_t>(count), static_cast<std::size_t>(traces),
                  &control.stripPoints, nullptr)) {
        return false;
      }
    } else if (keyword == "trace") {
      int trace = 0, color = 0, visible = 0;
      if (!words.Int(trace) || !words.Int(color) || !words.Int(visible) || trace < 0 ||
          trace >= kMaxStripTraces || color < 0 || color > 0xFFFFFF || visible < 0 || visible > 1) {
        return false;
      }
      if (control.stripStyles.size() <= static_cast<std::size_t>(trace)) {
        control.stripStyles.resize(static_cast<std::size_t>(trace) + 1);
      }
      control.stripStyles[static_cast<std::size_t>(trace)] = ControlState::Trace{color, visible != 0};
    } else {
      return false;
    }
    if (!words.AtEnd()) return false;
  }
  return false;  // no "end"
}

}  // namespace

std::string FormatPanelState(const PanelState& state, int index) {
  std::string out = "state " + std::to_string(index) + " " + std::to_string(state.resourceId) + " ";
  AppendQuoted(out, state.name);
  out += '\n';
  for (const ControlState& control : state.controls) {
    const std::string id = std::to_string(control.id);
    if (control.value) {
      out += "value " + id + " ";
      if (const int* i = std::get_if<int>(&*control.value)) {
        out += "int " + std::to_string(*i);
      } else if (const double* d = std::get_if<double>(&*control.value)) {
        out += "double ";
        AppendNumber(out, *d);
      } else {
        out += "text ";
        AppendQuoted(out, std::get<std::string>(*control.value));
      }
      out += '\n';
    }
    if (control.label) {
      out += "label " + id + " ";
      AppendQuoted(out, *control.label);
      out += '\n';
    }
    if (control.axes) {
      const AxisState& a = *control.axes;
      out += "axes " + id + " " + std::to_string(static_cast<int>(a.xMode)) + " ";
      AppendNumber(out, a.xMin);
      out += ' ';
      AppendNumber(out, a.xMax);
      out += " " + std::to_string(static_cast<int>(a.yMode)) + " ";
      AppendNumber(out, a.yMin);
      out += ' ';
      AppendNumber(out, a.yMax);
      out += '\n';
    }
    for (const PlotState& plot : control.plots) {
      const std::size_t count = std::min(plot.x.size(), plot.y.size());
      if (count == 0) continue;
      const PlotAttributes& p = plot.attributes;
      out += "plot " + id + " " + std::to_string(static_cast<int>(p.plotStyle)) + " " +
             std::to_string(static_cast<int>(p.pointStyle)) + " " +
             std::to_string(static_cast<int>(p.lineStyle)) + " " +
             std::to_string(p.pointFrequency) + " ";
      AppendHex(out, p.color);
      out += " " + std::to_string(count) + "\n";
      for (std::size_t i = 0; i < count; ++i) {
        AppendNumber(out, plot.x[i]);
        out += ' ';
        AppendNumber(out, plot.y[i]);
        out += '\n';
      }
    }
    if (control.strip && control.stripTraces > 0) {
      const auto traces = static_cast<std::size_t>(control.stripTraces);
      const std::size_t count = control.stripPoints.size() / traces;
      out += "strip " + id + " " + std::to_string(traces) + " " + std::to_string(count) + "\n";
      for (std::size_t n = 0; n < count; ++n) {
        for (std::size_t k = 0; k < traces; ++k) {
          if (k > 0) out += ' ';
          AppendNumber(out, control.stripPoints[n * traces + k]);
        }
        out += '\n';
      }
    }
    for (std::size_t k = 0; k < control.stripStyles.size(); ++k) {
      const ControlState::Trace& trace = control.stripStyles[k];
      out += "trace " + id + " " + std::to_string(k) + " ";
      AppendHex(out, trace.color);
      out += trace.visible ? " 1\n" : " 0\n";
    }
  }
  out += "end\n";
  return out;
}

int WritePanelStateFile(std::string_view path, int index, const PanelState& state) {
  // A pipe, a device or a folder in the file's place is not replaced.
  if (!IsSaveTarget(path)) return ui_status::kFileError;
  std::map<int, std::string> blocks;
  if (std::optional<std::string> existing = ReadRegularFile(path)) {
    if (auto split = SplitStates(*existing)) blocks = std::move(*split);
  }
  blocks[index] = FormatPanelState(state, index);

  std::string content(kHeader);
  content += '\n';
  for (const auto& [i, text] : blocks) content += text;
  // Written whole beside the file and moved over it: never half a state
  // file, never through a link.
  return ReplaceFileWith(std::string(path), content, ".tmp") == 0 ? 0 : ui_status::kFileError;
}

int ReadPanelStateFile(std::string_view path, int index, PanelState& state) {
  std::optional<std::string> text = ReadRegularFile(path);
  if (!text) return ui_status::kFileError;
  std::optional<std::map<int, std::string>> blocks = SplitStates(*text);
  if (!blocks) return ui_status::kBadStateFile;
  auto it = blocks->find(index);
  if (it == blocks->end()) return ui_status::kNoSuchState;
  PanelState parsed;
  if (!ParseBlock(it->second, parsed)) return ui_status::kBadStateFile;
  state = std::move(parsed);
  return 0;
}

int ApplyPanelState(Ui& ui, int panel, const PanelState& state) {
  int first = 0;
  auto note = [&](int result) {
    if (result < 0 && first == 0) first = result;
  };
  for (const ControlState& control : state.controls) {
    CtrlValue probe;
    // A control the panel no longer has is skipped.
    if (ui.GetCtrlAttribute(panel, control.id, Attr::Visible, probe) < 0) continue;
    if (control.value) note(ui.SetCtrlVal(panel, control.id, *control.value));
    if (control.label) note(ui.SetCtrlAttribute(panel, control.id, Attr::LabelText, *control.label));
    if (control.strip) {
      note(ui.ClearStripChart(panel, control.id));
      note(ui.SetCtrlAttribute(panel, control.id, Attr::NumTraces, control.stripTraces));
      // Colours before points: a chart never shows the points in other colours.
      for (std::size_t k = 0; k < control.stripStyles.size(); ++k) {
        if (k >= static_cast<std::size_t>(control.stripTraces)) break;
        const int trace = static_cast<int>(k);
        note(ui.SetTraceAttribute(panel, control.id, trace, Attr::TraceColor, control.stripStyles[k].color));
        note(ui.SetTraceAttribute(panel, control.id, trace, Attr::TraceVisible,
                                  control.stripStyles[k].visible ? 1 : 0));
      }
      if (!control.stripPoints.empty()) {
        note(ui.PlotStripChart(panel, control.id, control.stripPoints, control.stripTraces));
      }
    }
    if (control.graph) {
      note(ui.DeleteGraphPlot(panel, control.id, kAllPlots, DrawMode::Delayed));
      for (const PlotState& plot : control.plots) {
        int result = ui.PlotXY(panel, control.id, plot.x, plot.y, plot.attributes);
        note(result < 0 ? result : 0);
      }
    }
    if (control.axes) {
      const AxisState& a = *control.axes;
      const AxisMode xManual = control.strip ? AxisMode::NoChange : AxisMode::Manual;
      note(ui.SetAxisRange(panel, control.id, xManual, a.xMin, a.xMax, AxisMode::Manual, a.yMin,
                           a.yMax));
      const AxisMode xMode = control.strip ? AxisMode::NoChange : a.xMode;
      if (xMode == AxisMode::Autoscale || xMode == AxisMode::Lock ||
          a.yMode == AxisMode::Autoscale || a.yMode == AxisMode::Lock) {
        note(ui.SetAxisRange(panel, control.id,
                             xMode == AxisMode::Manual ? AxisMode::NoChange : xMode, a.xMin, a.xMax,
                             a.yMode == AxisMode::Manual ? AxisMode::NoChange : a.yMode, a.yMin,
                             a.yMax));
      }
    }
  }
  return first;
}

}  // namespace sondrix::platform
