// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/display.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

#include "common/c_locale.h"
#include "common/errors.h"
#include "common/file.h"
#include "common/panels.h"
#include "common/text_format.h"
#include "common/utils.h"
#include "display/spect_graph.h"
#include "display/strip.h"
#include "display/temp_graph.h"
#include "display/xy_graph.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/ui.h"
#include "session/acquisition.h"

namespace sondrix {
namespace {

namespace p = panels;
using platform::Attr;

const char* Plural(int n) { return n == 1 ? "" : "s"; }

// A source's date and time ("MM-DD-YYYY", "HH:MM:SS", in the local zone, as
// its files have them) as the read-outs and pictures show them: the date
// in ISO 8601, the time labelled with its zone ("2026-12-10", "03:57:30
// local"). Another text is shown as it is.
std::string ShownDate(const std::string& date) {
  const auto digitOrDash = [](char c) { return c == '-' || std::isdigit(static_cast<unsigned char>(c)) != 0; };
  const bool us =
      date.size() == 10 && date[2] == '-' && date[5] == '-' && std::all_of(date.begin(), date.end(), digitOrDash);
  return us ? date.substr(6, 4) + "-" + date.substr(0, 2) + "-" + date.substr(3, 2) : date;
}
std::string ShownTime(const std::string& time) { return time.empty() ? time : time + " local"; }

std::string PanesLine(int count, const std::array<Graph*, kMaxPanes>& panes) {
  std::string line = std::to_string(count);
  for (int k = 0; k < count; ++k) line += "\t" + std::to_string(panes[static_cast<std::size_t>(k)]->GetType());
  return line + "\t; split view: panes, the graph of each";
}

}  // namespace

std::vector<int> ParsePanesLine(std::string_view line, int firstType) {
  int values[kMaxPanes + 1] = {};
  int n = 0;
  std::size_t at = 0;
  while (n <= kMaxPanes) {
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    if (at >= line.size() || line[at] == ';' || line[at] == '\r') break;
    const auto [end, error] = std::from_chars(line.data() + at, line.data() + line.size(), values[n]);
    if (error != std::errc()) return {};
    at = static_cast<std::size_t>(end - line.data());
    ++n;
  }
  const int count = values[0];
  if (n == 0 || (count != 1 && count != 2 && count != kMaxPanes) || n != count + 1) return {};
  std::vector<int> types(values + 1, values + 1 + count);
  // Each a graph kind, none twice, the first the graph on show.
  for (std::size_t k = 0; k < types.size(); ++k) {
    if (GraphKindOfType(types[k]) == nullptr || std::find(types.begin(), types.begin() + static_cast<long>(k), types[k]) !=
                                                     types.begin() + static_cast<long>(k))
      return {};
  }
  if (types[0] != firstType) return {};
  return types;
}

double RoundToNearest(double x, double step) { return step * std::floor(0.5 + x / step); }

Status Display::New(std::unique_ptr<Display>& out, int panel, Session& session) {
  std::unique_ptr<Display> display(new (std::nothrow) Display(panel, session));
  if (!display) return status::kOutOfMemory;
  display->HideStopButton();
  for (int type = graph_type::kXY; type <= kGraphKindCount; ++type) display->graphs_[type]->Hide();
  display->current_ = display->graphs_[graph_type::kStrip].get();
  display->ShowGraph(graph_type::kSpect2);
  display->Attach(nullptr);
  display->ShowTimeAxes();
  display->UpdateHealth(true);
  platform::ui().DisplayPanel(panel);
  out = std::move(display);
  return status::kOk;
}

Display::Display(int panel, Session& session)
    : session_(session),
      panel_(panel),
      menuBar_(platform::ui().GetPanelMenuBar(panel)),
      health_(panel, p::kMainHealth1),
      progress_(panel, p::kMainProgress) {
  if (menuBar_ < 0) menuBar_ = 0;
  for (const GraphKind& kind : GraphKinds()) graphs_[kind.type] = kind.make(panel, kind.control, kind.menuItem);
  labelSlot_.fill(-1);
  chanMin_.fill(1.0e10);
  chanMax_.fill(-1.0e10);
  // The display draws the lines the run has time for; the others it counts.
  session_.stream(values_).Follow(*this, 0);
}

Display::~Display() {
  Detach();
  session_.stream(values_).Unsubscribe(*this);
}

Graph* Display::graph(int type) const {
  return GraphKindOfType(type) != nullptr ? graphs_[type].get() : nullptr;
}

void Display::SetVisible(int trace, bool on) {
  if (InRange(trace)) visible_[trace] = on ? 1 : 0;
}

int Display::TraceRGB(int trace) const {
  return InRange(trace) ? static_cast<int>(VantorColorToRGB(colors_[trace])) : 0;
}

// --- Small helpers -------------------------------------------------------------------

void Display::SetText(int control, const std::string& text) {
  platform::ui().SetCtrlVal(panel_, control, text);
}

void Display::SetShown(int control, bool on) {
  platform::ui().SetCtrlAttribute(panel_, control, Attr::Visible, on ? 1 : 0);
}

void Display::CheckMenu(Graph* graph, bool on) {
  if (graph == nullptr || menuBar_ <= 0) return;
  platform::ui().SetMenuBarAttribute(menuBar_, graph->GetMenu(), Attr::Checked, on ? 1 : 0);
}

bool Display::Spect2OnShow() const {
  return current_ != nullptr && current_ == graphs_[graph_type::kSpect2].get();
}

bool Display::HasExtTemp() const { return session_.source() && session_.source()->HasExtTemp() != 0; }
bool Display::HasDepth() const { return session_.source() && session_.source()->HasDepth() != 0; }

void Display::RecountVisible() {
  traceMap_.fill(0);
  traceCount_ = 0;
  if (session_.source()) {
    const int count = session_.source()->GetTraceMap(traceMap_);
    traceCount_ = std::clamp(count, 0, kMaxTraces);
    if (count < 0) traceMap_.fill(0);
  }
  // A trace off the map keeps the user's choice for the time the
  // instrument sends it again (a meter set back to every wavelength).
  visibleCount_ = 0;
  for (int i = 0; i < traceCount_; ++i) {
    if (visible(i)) ++visibleCount_;
  }
}

std::string Display::Title() const {
  if (!session_.source()) return "(no source)";
  std::string name = NameFromPath(session_.source()->filename());
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  std::string id;
  session_.source()->GetID(id);
  return Format("%s: %s  (%08lX)", name.c_str(), id.c_str(),
                static_cast<unsigned long>(session_.source()->GetSerialnum()));
}

int Display::ShownType(int type) const {
  return type == graph_type::kDepth && (!session_.source() || session_.source()->HasDepth() == 0) ? graph_type::kXY : type;
}

std::string Display::ConfigPath() const {
  if (!session_.source()) return {};
  std::string path = session_.source()->filename();
  changeExt(path, "RTC");
  return path;
}

// --- Attaching a source -----------------------------------------------------------------

void Display::ForgetRun() { session_.ForgetHistory(); }

void Display::Detach() {
  ForgetRun();
  // Another source starts with every graph following.
  for (int type = graph_type::kXY; type <= kGraphKindCount; ++type) graphs_[type]->ResumeFollow();
  if (current_ != nullptr) {
    CheckMenu(current_, false);
    current_->DeletePlots();
    current_->Hide();
  }
  for (int k = 1; k < paneCount_; ++k) {
    panes_[static_cast<std::size_t>(k)]->DeletePlots();
    panes_[static_cast<std::size_t>(k)]->Hide();
  }
  // The processing was made for this source's channels; the view follows
  // the measured lines until it is asked for corrected ones again.
  FollowValues(Session::Values::kMeasured);
  session_.Detach();
  ShowValueCaptions();
}

void Display::SetDefaults() {
  for (int type = graph_type::kXY; type <= kGraphKindCount; ++type) {
    graphs_[type]->SetDefaults();
    graphs_[type]->set_follow(FollowSettings{});
  }
  displayBinsize_ = 1;
  SetClockTime(true);
  if (!session_.source()) {
    visible_.fill(0);
    return;
  }
  traceMap_.fill(0);
  traceCount_ = std::clamp(session_.source()->GetTraceMap(traceMap_), 0, kMaxTraces);
  for (int i = 0; i < kMaxTraces; ++i) visible_[i] = traceMap_[i] != 0 ? 1 : 0;
}

Status Display::Attach(std::unique_ptr<Source> source) {
  Detach();
  // A replay's bar belongs to its source.
  if (replaying_) progress_.Show(false);
  replaying_ = false;
  sampleCount_ = 0;
  infoGraph_ = nullptr;
  // Another source's traces: its labels begin on the first page.
  labelled_.clear();
  labelPage_ = 0;
  labelSlot_.fill(-1);
  hasValue_.fill(false);
  runDate_.clear();
  runTime_.clear();
  // Without its scratch recording a source cannot run: the session closes
  // it and the display shows no source rather than the previous one's title.
  const Status result =
      session_.Attach(std::move(source), platform::JoinPath(platform::GetProjectDir(), kRecordingFile));
  if (result != status::kOk) Error_Report(result);

  if (!session_.source()) {
    traceCount_ = 0;
    visibleCount_ = 0;
    traceMap_.fill(0);
    SetDefaults();
    const std::string empty;
    const std::string title = Title();
    UpdateTimeDate(&title, &empty, &empty, &empty);
    lastStatus_ = -1;
    UpdateStatus(0);
  } else {
    if (ReadConfig() != status::kOk) SetDefaults();
    // Without a configuration the graph on show stays; the previous
    // source's depth graph is no graph for a source without depth.
    current_ = graphs_[ShownType(current_->GetType())].get();
    RecountVisible();
    colors_.fill(0);
    session_.source()->GetColors(colors_);
    // The spectrum graphs show the source's wavelengths from the moment it
    // is open, not only once a run has begun.
    for (const int type : {graph_type::kSpect, graph_type::kSpect2}) graph(type)->InitPlot(*this, traceCount_);
    const std::string title = Title();
    const std::string empty;
    UpdateTimeDate(&title, nullptr, nullptr, &empty);
    ShowClock();
    UpdateStatus(session_.source()->GetStatus());
  }

  HideInfo();
  configured_.fill(false);
  current_->SetConfig(1);
  configured_[static_cast<std::size_t>(current_->GetType())] = true;
  current_->Show();
  ShowGraph(current_->GetType());
  CheckMenu(current_, true);
  // The other panes, as the configuration has them.
  CheckPanes();
  for (int k = 1; k < paneCount_; ++k) ShowInPane(panes_[static_cast<std::size_t>(k)]);
  UpdateFollowControls();
  return result;
}

// --- The graph on show ----------------------------------------------------------------------

void Display::ShowGraph(int type) {
  Graph* next = graph(type);
  if (next == nullptr) {
    if (current_ != nullptr) current_->Show();
    return;
  }
  const bool changed = next != current_;
  // A graph on show in another pane changes places with the first pane's,
  // which stays on show there.
  bool swapped = false;
  for (int k = 1; k < paneCount_ && changed; ++k) {
    if (panes_[static_cast<std::size_t>(k)] != next) continue;
    panes_[static_cast<std::size_t>(k)] = current_;
    swapped = true;
  }
  if (current_ != nullptr) {
    if (!swapped) current_->Hide();
    CheckMenu(current_, false);
  }
  if (changed) {
    // A bin begun while another graph was on show is not this graph's.
    session_.StartHistoryBin();
  }
  current_ = next;
  // A graph shows its own settings from the first time it is on show, not
  // whatever its control held before.
  if (!configured_[static_cast<std::size_t>(type)]) {
    current_->SetConfig(1);
    configured_[static_cast<std::size_t>(type)] = true;
  }
  const bool valueOnX = GraphKindOfType(type)->valuesOnX;
  platform::ui().SetCtrlAttribute(panel_, p::kMainMove1, Attr::LabelText,
                                  std::string(valueOnX ? "Right" : "Up"));
  platform::ui().SetCtrlAttribute(panel_, p::kMainMove2, Attr::LabelText,
                                  std::string(valueOnX ? "Left" : "Down"));
  if (type == graph_type::kSpect2) {
    for (int i = 0; i < traceCount_; ++i) plotted_[i] = 0;
  } else if (!labelled_.empty()) {
    // The A and C curves took two labels for their captions; the run's
    // trace labels and read-outs come back with any other graph.
    for (const int trace : labelled_) plotted_[static_cast<std::size_t>(trace)] = 1;
    PutUpLabels();
  }
  // A graph put on show during or after a run is drawn with the whole run
  // and follows it from there.
  if (changed && !history().empty()) {
    current_->ResetFollowState();
    RedrawFromHistory();
  }
  current_->Show();
  panes_[0] = current_;
  UpdatePaneControls();
  CheckMenu(current_, true);
  // The read-outs of a run go with the graph on show; before a run they
  // belong to no graph.
  if (infoGraph_ != nullptr && current_ != infoGraph_) RelabelRun();
  if (current_ == infoGraph_) {
    ShowInfo();
  } else {
    HideInfo();
  }
  UpdateFollowControls();
}

// --- The split view --------------------------------------------------------------------

std::vector<int> Display::PaneControls() const {
  std::vector<int> controls;
  for (int k = 0; k < paneCount_; ++k) {
    if (const GraphKind* kind = GraphKindOfType(panes_[static_cast<std::size_t>(k)]->GetType()))
      controls.push_back(kind->control);
  }
  return controls;
}

bool Display::OnShow(const Graph* graph) const {
  return std::find(panes_.begin(), panes_.begin() + paneCount_, graph) != panes_.begin() + paneCount_;
}

void Display::CheckPanes() {
  panes_[0] = current_;
  // The kinds a pane added takes first: a time series beside the spectrum,
  // then the profile and the others.
  const int preferred[] = {graph_type::kXY,    graph_type::kSpect2, graph_type::kDepth,
                           graph_type::kStrip, graph_type::kTemp,   graph_type::kSpect};
  for (int k = 1; k < paneCount_; ++k) {
    Graph*& at = panes_[static_cast<std::size_t>(k)];
    const bool taken = at == nullptr || std::find(panes_.begin(), panes_.begin() + k, at) != panes_.begin() + k;
    if (!taken && ShownType(at->GetType()) == at->GetType()) continue;
    at = nullptr;
    for (const int type : preferred) {
      Graph* candidate = graph(type);
      if (ShownType(type) == type && !OnShow(candidate)) {
        at = candidate;
        break;
      }
    }
  }
  // Graphs of panes no longer on show are hidden.
  for (int type = graph_type::kXY; type <= kGraphKindCount; ++type) {
    if (!OnShow(graph(type))) graph(type)->Hide();
  }
  UpdatePaneControls();
}

void Display::UpdatePaneControls() {
  platform::Ui& ui = platform::ui();
  for (int k = 0; k < kMaxPanes; ++k) {
    const int ring = p::kMainPaneKind1 + k;
    const bool shown = paneCount_ > 1 && k < paneCount_ && panes_[static_cast<std::size_t>(k)] != nullptr;
    if (shown) ui.SetCtrlVal(panel_, ring, panes_[static_cast<std::size_t>(k)]->GetType());
    SetShown(ring, shown);
  }
  if (menuBar_ <= 0) return;
  for (const auto& [item, count] : {std::pair{p::kMenuSingleGraph, 1}, std::pair{p::kMenuTwoGraphs, 2},
                                    std::pair{p::kMenuFourGraphs, 4}})
    ui.SetMenuBarAttribute(menuBar_, item, Attr::Checked, count == paneCount_ ? 1 : 0);
}

void Display::ShowInPane(Graph* graph) {
  const auto type = static_cast<std::size_t>(graph->GetType());
  if (!configured_[type]) {
    graph->SetConfig(1);
    configured_[type] = true;
  }
  if (!history().empty()) {
    graph->ResetFollowState();
    graph->Rebuild(*this);
    graph->Follow(*this);
  }
  graph->Show();
}

void Display::SetPaneCount(int count) {
  count = count <= 1 ? 1 : count <= 2 ? 2 : kMaxPanes;
  if (count == paneCount_) return;
  const int before = paneCount_;
  for (int k = count; k < before; ++k) panes_[static_cast<std::size_t>(k)] = nullptr;
  paneCount_ = count;
  CheckPanes();
  for (int k = before; k < paneCount_; ++k) ShowInPane(panes_[static_cast<std::size_t>(k)]);
}

void Display::SetPaneKind(int index, int type) {
  Graph* next = graph(ShownType(type));
  if (next == nullptr || index < 0 || index >= paneCount_) return;
  if (index == 0 || next == current_) {
    // The first pane's kind, or a kind that changes places with it.
    ShowGraph(index == 0 ? next->GetType() : panes_[static_cast<std::size_t>(index)]->GetType());
    return;
  }
  Graph*& at = panes_[static_cast<std::size_t>(index)];
  if (next == at) return;
  for (int k = 1; k < paneCount_; ++k) {
    if (panes_[static_cast<std::size_t>(k)] != next) continue;
    // Both stay on show, in each other's places.
    panes_[static_cast<std::size_t>(k)] = at;
    at = next;
    UpdatePaneControls();
    return;
  }
  at->Hide();
  at = next;
  ShowInPane(next);
  UpdatePaneControls();
}

// --- The health strip ---------------------------------------------------------------------

void Display::UpdateHealth(bool now) {
  const double at = platform::Timer();
  if (!now && lastHealth_ >= 0.0 && at >= lastHealth_ && at - lastHealth_ < kClockInterval) return;
  lastHealth_ = at;
  const LiveUnderway* live = ShownUnderway();
  health_.Show(session_.Health(), live != nullptr ? live->Alarm() : std::string());
}

// --- Following the run ------------------------------------------------------------------

void Display::VisibleTraces(std::vector<int>& out, int limit) const {
  out.clear();
  const int count = history().empty() ? traceCount_ : std::min(traceCount_, history().traceCount());
  for (int i = 0; i < count && static_cast<int>(out.size()) < limit; ++i) {
    if (visible(i)) out.push_back(i);
  }
}

void Display::RedrawFromHistory() {
  current_->Rebuild(*this);
  current_->Follow(*this);
}

// ShowGraph gave the run's labels back (or to the A and C captions); the
// values last shown come with them.
void Display::RelabelRun() {
  infoGraph_ = current_;
  InitValues();
  for (const int trace : labelled_) {
    const auto i = static_cast<std::size_t>(trace);
    if (hasValue_[i]) UpdateValue(labelSlot_[i], lastValue_[i]);
  }
}

void Display::ResumeFollow() {
  current_->ResumeFollow();
  if (!history().empty()) RedrawFromHistory();
  UpdateFollowControls();
}

void Display::ToggleWholeRun() {
  if (!current_->HasTimeAxis()) return;
  FollowSettings follow = current_->follow();
  const bool whole = !(follow.axis != 0 && follow.wholeRun != 0);
  follow.wholeRun = whole ? 1 : 0;
  if (whole) follow.axis = 1;
  current_->set_follow(follow);
  ResumeFollow();
}

// --- Time axes -----------------------------------------------------------------------------

void Display::SetClockTime(bool on) {
  timeBase_->clock = on;
  ShowTimeAxes();
}

bool Display::ShowCorrected(std::optional<ProcessingSettings> settings, std::optional<UnderwaySettings> underway,
                            std::string& error) {
  FollowValues(Session::Values::kMeasured);
  const bool ok = session_.SetProcessing(std::move(settings), error, std::move(underway));
  if (ok && session_.processing() != nullptr) FollowValues(Session::Values::kCorrected);
  // The cast profiles start afresh: a bin never mixes measured and corrected values.
  RestartCasts();
  // The graphs on show are drawn from the history of what they show now.
  seenBins_ = session_.historyBins(values_);
  seenThinnings_ = session_.historyThinnings(values_);
  chanMin_.fill(1.0e10);
  chanMax_.fill(-1.0e10);
  allMin_ = 1.0e10;
  allMax_ = -1.0e10;
  ShowTimeAxes();
  ShowValueCaptions();
  for (int k = 0; k < paneCount_; ++k) {
    Graph* shown = panes_[static_cast<std::size_t>(k)];
    if (shown == nullptr) continue;
    shown->ResetFollowState();
    shown->Rebuild(*this);
    if (!history().empty()) shown->Follow(*this);
  }
  return ok;
}

void Display::ShowCastProfiles(std::optional<ProfileSettings> settings) {
  castSettings_ = std::move(settings);
  RestartCasts();
  if (menuBar_ > 0) platform::ui().SetMenuBarAttribute(menuBar_, p::kMenuCastProfiles, Attr::Checked, castSettings_ ? 1 : 0);
  for (int k = 0; k < paneCount_; ++k) {
    Graph* shown = panes_[static_cast<std::size_t>(k)];
    if (shown != nullptr && shown->GetType() == graph_type::kDepth) shown->Rebuild(*this);
  }
}

void Display::RestartCasts() {
  if (castSettings_) casts_.emplace(*castSettings_, static_cast<std::size_t>(std::max(traceCount_, 0)));
  else casts_.reset();
}

void Display::MarkCast(std::int64_t utcMs, bool start) {
  if (casts_ && timeBase_->utcZeroMs) casts_->Event({utcMs - *timeBase_->utcZeroMs, start});
}

std::string Display::CastList() const {
  if (!casts_) return {};
  std::string text;
  // UTC when the run has it ("10:04:14Z"), else minutes of the run.
  const auto clock = [this](std::int64_t ms) {
    if (timeBase_->utcZeroMs) return IsoUtc(*timeBase_->utcZeroMs + ms, false).substr(11);
    return Format("%.1f min", static_cast<double>(ms) / 60000.0);
  };
  for (const Cast& cast : casts_->casts())
    text += Format("cast %d  ", cast.number) + clock(cast.startMs) + " to " + clock(cast.endMs) +
            Format("  deepest %.2f m  %ld lines\n", cast.maxDepth, cast.samples);
  if (casts_->currentCast() != 0) text += Format("cast %d going on\n", casts_->currentCast());
  if (text.empty())
    text = Format("No cast yet: a cast starts when the depth, smoothed over %g s, goes below %g m.\n",
                  castSettings_->casts.smoothSeconds, castSettings_->casts.surface);
  return text;
}

void Display::FollowValues(Session::Values values) {
  session_.stream(values_).Unsubscribe(*this);
  values_ = values;
  session_.stream(values_).Follow(*this, 0);
  if (menuBar_ <= 0) return;
  platform::Ui& ui = platform::ui();
  ui.SetMenuBarAttribute(menuBar_, p::kMenuCorrectedValues, Attr::Checked,
                         correctedValues() && !particulateValues() ? 1 : 0);
  ui.SetMenuBarAttribute(menuBar_, p::kMenuParticulateValues, Attr::Checked, particulateValues() ? 1 : 0);
}

std::string Display::ValueCaption(std::string_view measured) const {
  const LiveProcessing* live = session_.processing();
  if (!correctedValues() || live == nullptr) return std::string(measured);
  if (live->underway()) return "Particulate " + std::string(measured) + " — provisional\n" + live->UnderwayCaption();
  return "Corrected " + std::string(measured) + (live->Provisional() ? " — provisional" : "") + "\n" +
         live->Caption();
}

void Display::ShowValueCaptions() {
  platform::Ui& ui = platform::ui();
  const bool provisional = session_.processing() != nullptr && session_.processing()->Provisional();
  for (const GraphKind& kind : GraphKinds()) {
    const Attr axis = kind.valuesOnX ? Attr::XName : Attr::YName;
    std::string& measured = measuredCaptions_[static_cast<std::size_t>(kind.type)];
    if (!captionsRead_) measured = ui.TextAttribute(panel_, kind.control, axis);
    ui.SetCtrlAttribute(panel_, kind.control, axis, ValueCaption(measured));
  }
  captionsRead_ = true;
  ShowFlowBands();
  shownProvisional_ = provisional;
  shownUnderway_ = session_.processing() != nullptr ? session_.processing()->UnderwayCaption() : std::string();
}

void Display::ShowFlowBands() {
  // The XY graph's time runs along Y, in minutes of the run.
  std::vector<platform::KeyBand> bands;
  if (const LiveUnderway* live = ShownUnderway()) {
    for (const LiveUnderway::FlowSpan& span : live->spans()) {
      const bool filtered = span.period == FlowPeriod::kFiltered;
      bands.push_back({static_cast<double>(span.fromMs) / 60000.0, static_cast<double>(span.toMs) / 60000.0,
                       filtered ? kFilteredBand : kFlushingBand});
    }
  }
  platform::ui().SetKeyBands(panel_, p::kMainXYGraph, false, std::move(bands));
}

const LiveUnderway* Display::ShownUnderway() const {
  return particulateValues() ? session_.processing()->liveUnderway() : nullptr;
}

bool Display::UnderwayDue() {
  // The particulate read-outs and the stretches change with every line:
  // they are shown at the pace of the value read-outs.
  const double now = platform::Timer();
  if (now >= lastCaption_ && now - lastCaption_ < kValueInterval / 1000.0) return false;
  lastCaption_ = now;
  return true;
}

void Display::ShowTimeAxes() {
  platform::Ui& ui = platform::ui();
  const std::shared_ptr<const HistoryColumns> columns = history().columns();
  // The XY graph's caption is its time scale's.
  ui.SetCtrlAttribute(panel_, p::kMainXYGraph, Attr::YName, std::string());
  ui.SetTimeScale(panel_, p::kMainXYGraph, false,
                  std::make_shared<HistoryTimeScale>(columns, RunHistory::Keys::Minutes, timeBase_));
  ui.SetTimeScale(panel_, p::kMainStripChart, true,
                  std::make_shared<HistoryTimeScale>(columns, RunHistory::Keys::Index, timeBase_));
  if (menuBar_ > 0) ui.SetMenuBarAttribute(menuBar_, p::kMenuClockTime, Attr::Checked, timeBase_->clock ? 1 : 0);
}

void Display::FindUtcZero(std::int64_t lineMs) {
  if (utcLookedAt_ >= 0 && lineMs - utcLookedAt_ < 1000 && lineMs >= utcLookedAt_) return;
  utcLookedAt_ = lineMs;
  const Acquisition* run = session_.run();
  if (run == nullptr) return;
  const std::optional<std::int64_t> zero = run->UtcOf(0);
  if (!zero || zero == timeBase_->utcZeroMs) return;
  const bool known = timeBase_->utcZeroMs.has_value();
  timeBase_->utcZeroMs = zero;
  // The captions change once, when the run's UTC becomes known.
  if (!known && timeBase_->clock) ShowTimeAxes();
}

void Display::UpdateFollowControls() {
  platform::Ui& ui = platform::ui();
  ui.SetCtrlAttribute(panel_, p::kMainFollow, Attr::Dimmed, current_->CanResume() ? 0 : 1);
  if (menuBar_ <= 0) return;
  const bool timeAxis = current_->HasTimeAxis();
  const FollowSettings& follow = current_->follow();
  ui.SetMenuBarAttribute(menuBar_, p::kMenuWholeRun, Attr::Checked,
                         timeAxis && follow.axis != 0 && follow.wholeRun != 0 ? 1 : 0);
  ui.SetMenuBarAttribute(menuBar_, p::kMenuWholeRun, Attr::Dimmed, session_.source() && timeAxis ? 0 : 1);
}

void Display::TracesChanged() {
  RecountVisible();
  if (infoGraph_ != nullptr) {
    // The run's labels are the traces now shown (the A and C curves keep
    // their captions, and give the new labels back when another graph
    // comes).
    PlotVisibleTraces();
    InitLabels();
    SortTraces();
    if (Spect2OnShow()) {
      for (int i = 0; i < traceCount_; ++i) plotted_[i] = 0;
    }
    PutUpLabels();
    RelabelRun();
    ShowInfo();
  }
  if (history().empty()) return;
  // The bin in progress holds sums of the traces shown before.
  session_.StartHistoryBin();
  for (int k = 0; k < paneCount_; ++k) {
    Graph* shown = panes_[static_cast<std::size_t>(k)];
    shown->ResetFollowState();
    shown->Rebuild(*this);
    shown->Follow(*this);
  }
}

Status Display::UserConfigure() {
  Status result = current_->UserConfigure();
  if (result == status::kOk) {
    current_->SetConfig(0);
    // New settings: following starts afresh with them.
    current_->ResumeFollow();
    if (!history().empty()) RedrawFromHistory();
    UpdateFollowControls();
  }
  return result;
}

// The user's zoom or move stops the graph following the run.
void Display::ZoomGraph(double factor) {
  current_->SuspendFollow();
  current_->XZoom(factor);
  UpdateFollowControls();
}

void Display::MoveGraph(double fraction) {
  current_->SuspendFollow();
  current_->XMove(fraction);
  UpdateFollowControls();
}

void Display::AutoZoomChannel(int slot) {
  if (sampleCount_ == 0) return;
  double lo = 0.0, hi = 0.0;
  if (slot == -1) {
    lo = allMin_;
    hi = allMax_;
  } else {
    int trace = -1;
    for (int i = 0; i < traceCount_; ++i) {
      if (labelSlot_[i] == slot) trace = i;
    }
    if (trace < 0) return;
    lo = chanMin_[trace];
    hi = chanMax_[trace];
  }
  // No value seen yet (only lost lines): nothing to zoom on.
  if (!(hi >= lo)) return;
  const double span = std::clamp(hi - lo, 1.0e-5, 1.0e5);
  const double margin = span / 2.0;
  const double step = std::pow(10.0, std::floor(std::log10(span) + 0.5)) / 2.0;
  current_->SuspendFollow();
  current_->XBounds(RoundToNearest(lo - margin, step), RoundToNearest(hi + margin, step));
  UpdateFollowControls();
}

void AutoZoomChannel(Display& display, int slot) { display.AutoZoomChannel(slot); }
void ZoomGraph(Display& display, double factor) { display.ZoomGraph(factor); }
void MoveGraph(Display& display, double fraction) { display.MoveGraph(fraction); }

// --- Runs ---------------------------------------------------------------------------------------

Status Display::InitPlot() {
  if (!session_.source()) return status::kDisplayInitPlotNoSource;
  const int b = session_.source()->GetBinsize();
  const int o = std::max(session_.source()->GetOrigBinsize(), 1);
  if (Status result = session_.OpenRecording(); result != status::kOk) return result;
  HideInfo();
  infoGraph_ = current_;
  // A live source tells the time now, a stored run the time it began.
  session_.source()->GetDate(runDate_, runTime_);
  RecountVisible();
  PlotVisibleTraces();
  InitInfo();
  SortTraces();
  ShowInfo();
  UpdateBinsize(b * o, displayBinsize_ * b * o);

  chanMin_.fill(1.0e10);
  chanMax_.fill(-1.0e10);
  hasValue_.fill(false);
  allMin_ = 1.0e10;
  allMax_ = -1.0e10;
  sampleCount_ = 0;
  lineRate_.Clear();
  elapsedMs_ = 0;
  binsSinceUpdate_ = 0;
  lastValueTime_ = 0.0;
  lastClockTime_ = platform::Timer();
  lineClock_ = lastClockTime_;
  shownElapsedMs_ = -1;
  valueInterval_ = kValueInterval;
  clockInterval_ = kClockInterval;

  InitGraphs();
  // A stored recording's companion dates its samples; a live run's clock
  // map tells its UTC as the lines come.
  timeBase_->utcZeroMs.reset();
  utcLookedAt_ = -1;
  if (session_.source()->GetReplayFraction() >= 0.0) {
    Companion stored;
    std::string error;
    if (ReadReplayedCompanion(*session_.source(), stored, error) == status::kOk) {
      if (!stored.clock.Empty()) {
        timeBase_->utcZeroMs = stored.clock.Utc(0);
      } else {
        timeBase_->utcZeroMs = stored.timeZeroUtcMs;
      }
    }
  }
  ShowTimeAxes();
  const TraceMap mapBefore = traceMap_;
  const int countBefore = traceCount_;
  const Status result = session_.ResetSource();
  // A replay shows how much of its file it has read (after the reset,
  // which may start the file over).
  const bool replaying = session_.source()->GetReplayFraction() >= 0.0;
  if (replaying || replaying_) progress_.Show(replaying);
  replaying_ = replaying;
  // A meter may learn at its reset which of its traces the instrument sends
  // (the hyperspectral meter takes its skip value from the packets): the run
  // then draws and labels only those, never the 0.0 of a trace it does not
  // send.
  RecountVisible();
  if (traceCount_ != countBefore || traceMap_ != mapBefore) {
    PlotVisibleTraces();
    InitLabels();
    InitValues();
    SortTraces();
    ShowLabels();
    ShowValues();
    InitGraphs();
  }
  UpdateFollowControls();
  return result;
}

void Display::PlotVisibleTraces() {
  for (int i = 0; i < kMaxTraces; ++i) plotted_[i] = visibleCount_ == 0 ? 1 : (visible(i) ? 1 : 0);
}

void Display::InitGraphs() {
  // A run starts a history of its own, and every graph follows it afresh.
  session_.BeginHistory(traceCount_, displayBinsize_);
  RestartCasts();
  seenBins_ = 0;
  seenThinnings_ = 0;
  for (int type = graph_type::kXY; type <= kGraphKindCount; ++type) {
    graphs_[type]->InitPlot(*this, traceCount_);
    graphs_[type]->ResumeFollow();
  }
  colors_.fill(0);
  session_.source()->GetColors(colors_);
  PutUpLabels();
}

Status Display::Plot(const SourceLine& line) {
  if (!session_.source()) return status::kDisplayPlotNoSource;
  double now = platform::Timer();
  if (line.status == status::kOk) {
    elapsedMs_ = line.time;  // the graphs place the line by it
    FindUtcZero(line.time);
    // The session's history took the line before the display did.
    const bool binDone = session_.historyBins(values_) != seenBins_;
    const bool thinned = session_.historyThinnings(values_) != seenThinnings_;
    seenBins_ = session_.historyBins(values_);
    seenThinnings_ = session_.historyThinnings(values_);
    // "provisional" comes and goes with the water's temperature and
    // salinity.
    if (correctedValues() && session_.processing()->Provisional() != shownProvisional_) ShowValueCaptions();
    if (particulateValues() && UnderwayDue()) {
      // The captions bring the stretches with them.
      if (session_.processing()->UnderwayCaption() != shownUnderway_) ShowValueCaptions();
      else ShowFlowBands();
    }
    if (casts_) {
      const auto count = static_cast<std::size_t>(std::clamp(line.count, 0, kMaxTraces));
      casts_->Add(line.time, line.depth, std::span<const double>(line.values.data(), std::min(count, line.values.size())));
    }
    // Every graph on show takes the line (the user interface redraws each
    // at most once a frame); the others get nothing.
    for (int k = 0; k < paneCount_; ++k) {
      Graph* shown = panes_[static_cast<std::size_t>(k)];
      if (Status result = shown->Plot(*this, line); result != status::kOk) return result;
      if (binDone) {
        // Thinning left the graph's oldest points without an entry: it is drawn
        // from the history again, so that it keeps showing the whole run.
        if (thinned) shown->Rebuild(*this);
        shown->Follow(*this);
      }
    }
    const int count = std::min(line.count, kMaxTraces);
    for (int i = 0; i < count; ++i) {
      const double value = line.values[static_cast<std::size_t>(i)];
      if (value < allMin_) allMin_ = value;
      if (value > allMax_) allMax_ = value;
      if (value < chanMin_[i]) chanMin_[i] = value;
      if (value > chanMax_[i]) chanMax_[i] = value;
    }
    ++binsSinceUpdate_;
    if (line.time - lastValueTime_ >= valueInterval_) {
      UpdateValues(count, line.values.data(), line.temperature, line.extTemperature, line.depth);
      lastValueTime_ = line.time;
    }
  }
  Count(line);
  UpdateLost();
  UpdateStatus(session_.source()->GetStatus());

  // The timer passes midnight: a reading below the last one is a day later.
  if (now < lastClockTime_) now += 86400.0;
  if (now - lastClockTime_ >= clockInterval_) {
    ShowClock();
    UpdateElapsed();
    if (const std::optional<double> rate = SampleRate()) UpdateRate(*rate);
    lastClockTime_ = platform::Timer();
    binsSinceUpdate_ = 0;
  }
  UpdateProgress();
  return status::kOk;
}

void Display::UpdateElapsed() { ShowElapsed(elapsedMs_); }

void Display::ShowElapsed(std::int64_t ms) {
  // Never back during a run: a packet of several samples brings lines
  // older than the time the read-out went on to while it was awaited.
  ms = std::max(ms, shownElapsedMs_);
  shownElapsedMs_ = ms;
  const long long seconds = ms / 1000;
  const std::string elapsed =
      Format("        Elapsed %02lld:%02lld:%02lld", seconds / 3600, (seconds / 60) % 60, seconds % 60);
  UpdateTimeDate(nullptr, nullptr, nullptr, &elapsed);
}

void Display::ShowClock() {
  std::string date, time;
  session_.source()->GetDate(date, time);
  date = ShownDate(date);
  time = ShownTime(time);
  UpdateTimeDate(nullptr, &date, &time, nullptr);
}

void Display::Tick(bool running) {
  // A stored run's date and time are those of its record.
  if (!session_.source() || session_.source()->GetReplayFraction() >= 0.0) return;
  const std::int64_t second = platform::UtcMs() / 1000;
  if (second == tickSecond_) return;
  tickSecond_ = second;
  ShowClock();
  if (!running) return;
  double silent = platform::Timer() - lineClock_;
  if (silent < 0.0) silent += 86400.0;  // the timer passed midnight
  if (silent >= kClockInterval) ShowElapsed(elapsedMs_ + std::llround(silent * 1000.0));
}

void Display::UpdateProgress(bool end) {
  if (!replaying_ || !session_.source()) return;
  // The bar moves by whole percents; the record time with it, so that a
  // replay much faster than its record shows its time going by.
  if (progress_.Set(session_.source()->GetReplayFraction()) || end) UpdateElapsed();
}

void Display::Count(const SourceLine& line) {
  if (!session_.source()) return;
  const int binsize = std::max(session_.source()->GetBinsize(), 1);
  // A line of bin size 1 is one sample, good or lost (a lost one is in the
  // source's lost count); a completed bin holds `binsize` good samples
  // whatever its status says.
  if (binsize > 1 || line.status == status::kOk) sampleCount_ += binsize;
  if (line.status != status::kOk) return;
  elapsedMs_ = line.time;
  lineClock_ = platform::Timer();
  // A stored line stands for the samples the recording averaged into it.
  const long long perLine = std::max(session_.source()->GetOrigBinsize(), 1);
  lineRate_.Add(line.time, (sampleCount_ + std::max(session_.source()->GetLostCount(), 0)) * perLine);
}

std::optional<double> Display::SampleRate() const {
  if (!session_.source()) return std::nullopt;
  const double carried = session_.source()->GetSampleRate();
  if (carried > 0.0 && std::isfinite(carried)) return carried;
  return lineRate_.Estimate();
}

// --- Labels ----------------------------------------------------------------------------------------

void Display::SortTraces() {
  std::vector<int> labelled;
  for (int i = 0; i < traceCount_; ++i) {
    if (plotted_[i] != 0) labelled.push_back(i);
  }
  if (labelled != labelled_) {
    // The page that holds the trace first on show before, if it is still
    // labelled; else the first page.
    const std::size_t first = static_cast<std::size_t>(labelPage_) * kLabelSlots;
    const int kept = first < labelled_.size() ? labelled_[first] : -1;
    labelled_ = std::move(labelled);
    labelPage_ = 0;
    const auto at = std::find(labelled_.begin(), labelled_.end(), kept);
    if (at != labelled_.end()) labelPage_ = static_cast<int>((at - labelled_.begin()) / kLabelSlots);
  }
  labelPage_ = std::clamp(labelPage_, 0, labelPageCount() - 1);
  AssignSlots();
}

void Display::AssignSlots() {
  labelSlot_.fill(-1);
  const std::size_t first = static_cast<std::size_t>(labelPage_) * kLabelSlots;
  for (std::size_t k = 0; k < kLabelSlots && first + k < labelled_.size(); ++k) {
    labelSlot_[static_cast<std::size_t>(labelled_[first + k])] = kLabelSlots - 1 - static_cast<int>(k);
  }
}

int Display::labelPageCount() const {
  return std::max(1, static_cast<int>((labelled_.size() + kLabelSlots - 1) / kLabelSlots));
}

std::string Display::LabelPageText() const {
  if (labelPageCount() <= 1) return {};
  const int first = labelPage_ * kLabelSlots + 1;
  const int last = std::min(first + kLabelSlots - 1, static_cast<int>(labelled_.size()));
  return Format("Traces %d\u2013%d of %d", first, last, static_cast<int>(labelled_.size()));
}

void Display::SetLabelPage(int page) {
  page = std::clamp(page, 0, labelPageCount() - 1);
  if (page == labelPage_) return;
  labelPage_ = page;
  AssignSlots();
  if (!session_.source()) return;
  InitLabels();
  PutUpLabels();
  InitValues();
  for (const int trace : labelled_) {
    const auto i = static_cast<std::size_t>(trace);
    if (hasValue_[i]) UpdateValue(labelSlot_[i], lastValue_[i]);
  }
  // The read-outs are shown with the graph they were prepared for (before a
  // run, none: they show this page when a run puts them up).
  if (current_ != nullptr && current_ == infoGraph_) {
    ShowLabels();
    ShowValues();
  }
}

void Display::ShowLabelPager(bool on) {
  const bool paged = on && labelPageCount() > 1;
  platform::Ui& ui = platform::ui();
  if (paged) {
    SetText(p::kMainTracePage, LabelPageText());
    ui.SetCtrlAttribute(panel_, p::kMainTracePrev, Attr::Dimmed, labelPage_ > 0 ? 0 : 1);
    ui.SetCtrlAttribute(panel_, p::kMainTraceNext, Attr::Dimmed, labelPage_ + 1 < labelPageCount() ? 0 : 1);
  }
  for (const int control : {p::kMainTracePrev, p::kMainTracePage, p::kMainTraceNext}) SetShown(control, paged);
}

Status Display::PutUpLabels() {
  if (!session_.source()) return status::kDisplayLabelsNoSource;
  for (int i = 0; i < traceCount_; ++i) {
    if (plotted_[i] == 0 || labelSlot_[i] < 0) continue;
    std::string heading;
    session_.source()->GetHeading(i, heading);
    UpdateLabel(labelSlot_[i], heading, TraceRGB(i));
  }
  return 0;
}

void Display::InitLabels() {
  for (int slot = 0; slot < kLabelSlots; ++slot) {
    platform::ui().SetCtrlAttribute(panel_, p::kMainLabel0 + slot, Attr::LabelText, std::string());
    platform::ui().SetCtrlVal(panel_, p::kMainLabel0 + slot, 0);
  }
}

void Display::HideLabels() {
  for (int slot = 0; slot < kLabelSlots; ++slot) SetShown(p::kMainLabel0 + slot, false);
  SetShown(p::kMainAllTraces, false);
  ShowLabelPager(false);
}

void Display::ShowLabels() {
  HideLabels();
  if (Spect2OnShow()) {
    platform::Ui& ui = platform::ui();
    ui.SetCtrlAttribute(panel_, p::kMainLabel0 + 18, Attr::LabelText, std::string("Absorption (A)"));
    ui.SetCtrlAttribute(panel_, p::kMainLabel0 + 18, Attr::TextColor, kAbsorptionRGB);
    ui.SetCtrlAttribute(panel_, p::kMainLabel0 + 19, Attr::LabelText, std::string("Attenuation (C)"));
    ui.SetCtrlAttribute(panel_, p::kMainLabel0 + 19, Attr::TextColor, kAttenuationRGB);
    SetShown(p::kMainLabel0 + 18, true);
    SetShown(p::kMainLabel0 + 19, true);
    SetShown(p::kMainValue0 + 18, false);
    SetShown(p::kMainValue0 + 19, false);
  } else {
    for (int i = 0; i < traceCount_; ++i) {
      if (plotted_[i] != 0 && labelSlot_[i] >= 0) SetShown(p::kMainLabel0 + labelSlot_[i], true);
    }
    ShowLabelPager(true);
  }
  SetShown(p::kMainAllTraces, true);
}

void Display::UpdateLabel(int slot, std::string_view text, int rgb) {
  if (Spect2OnShow() || slot < 0 || slot >= kLabelSlots) return;
  platform::ui().SetCtrlAttribute(panel_, p::kMainLabel0 + slot, Attr::LabelText, std::string(text));
  platform::ui().SetCtrlAttribute(panel_, p::kMainLabel0 + slot, Attr::TextColor, rgb);
}

// --- Read-outs ---------------------------------------------------------------------------------------

void Display::InitValues() {
  for (int slot = 0; slot < kLabelSlots; ++slot) SetText(p::kMainValue0 + slot, "");
}

void Display::HideValues() {
  for (int slot = 0; slot < kLabelSlots; ++slot) SetShown(p::kMainValue0 + slot, false);
}

void Display::ShowValues() {
  HideValues();
  if (Spect2OnShow()) return;
  for (int i = 0; i < traceCount_; ++i) {
    if (plotted_[i] != 0 && labelSlot_[i] >= 0) SetShown(p::kMainValue0 + labelSlot_[i], true);
  }
}

void Display::UpdateValue(int slot, double value) {
  if (slot < 0 || slot >= kLabelSlots) return;
  // A value the line does not have (a corrected value not known, a
  // particulate value on filtered water) is a dash, not "nan".
  SetText(p::kMainValue0 + slot, std::isfinite(value) ? Format("%8.4lf", value) : std::string("       —"));
}

void Display::UpdateValues(int count, const double* values, double temperature,
                           double extTemperature, double depth) {
  // Every labelled trace's value is kept for the page put up next; only
  // the page on show is written.
  for (int i = 0; i < count && i < kMaxTraces; ++i) {
    if (plotted_[i] == 0) continue;
    lastValue_[i] = values[i];
    hasValue_[i] = true;
    UpdateValue(labelSlot_[i], values[i]);
  }
  UpdateTemp(temperature, extTemperature);
  if (HasDepth()) UpdateDepth(depth);
}

void Display::InitRate() { SetText(p::kMainRate, ""); }
void Display::HideRate() { ShowRate(false); }
void Display::ShowRate() { ShowRate(true); }
void Display::ShowRate(bool on) {
  for (const int control : {p::kMainRate, p::kMainRateUnit}) SetShown(control, on);
}
void Display::UpdateRate(double rate) { SetText(p::kMainRate, Format("%.1lf", rate)); }

void Display::InitLost() { SetText(p::kMainLost, ""); }
void Display::HideLost() { SetShown(p::kMainLost, false); }
void Display::ShowLost() { SetShown(p::kMainLost, true); }
void Display::UpdateLost() {
  if (!session_.source()) return;
  // Lost against every sample the run read: the good ones, drawn or only
  // recorded while the program caught up, and the lost ones themselves.
  const int lost = session_.source()->GetLostCount();
  if (lost > 0) SetText(p::kMainLost, Format("%d of %lld lost", lost, sampleCount_ + lost));
}

void Display::InitBinsize() {
  SetText(p::kMainBinsize1, "");
  SetText(p::kMainBinsize2, "");
}
void Display::HideBinsize() { ShowBinsize(false); }
void Display::ShowBinsize() { ShowBinsize(true); }
void Display::ShowBinsize(bool on) {
  for (const int control : {p::kMainBinsize1, p::kMainBinsize2}) SetShown(control, on);
}
void Display::UpdateBinsize(int samplesPerBin, int samplesPerUpdate) {
  const int n = samplesPerBin;
  const int m = n != 0 ? samplesPerUpdate / n : 0;
  SetText(p::kMainBinsize1, Format("Averaging %d sample%s / bin", n, Plural(n)));
  SetText(p::kMainBinsize2, Format("Plotting %d bin%s / update", m, Plural(m)));
}

void Display::InitTemp() {
  SetText(p::kMainTemp, "");
  SetText(p::kMainExtTemp, "");
}
void Display::HideTemp() {
  for (int control : {p::kMainTemp, p::kMainTempCaption, p::kMainExtTemp, p::kMainExtTempCaption})
    SetShown(control, false);
}
void Display::ShowTemp() {
  SetShown(p::kMainTemp, true);
  SetShown(p::kMainTempCaption, true);
  const bool ext = HasExtTemp();
  SetShown(p::kMainExtTemp, ext);
  SetShown(p::kMainExtTempCaption, ext);
}
void Display::UpdateTemp(double temperature, double extTemperature) {
  SetText(p::kMainTemp, Format("%6.1lf", temperature));
  if (HasExtTemp()) SetText(p::kMainExtTemp, Format("%6.1lf", extTemperature));
}

void Display::InitDepth() { SetText(p::kMainDepth, ""); }
void Display::HideDepth() {
  SetShown(p::kMainDepth, false);
  SetShown(p::kMainDepthCaption, false);
}
void Display::ShowDepth() {
  const bool depth = HasDepth();
  SetShown(p::kMainDepth, depth);
  SetShown(p::kMainDepthCaption, depth);
}
void Display::UpdateDepth(double depth) { SetText(p::kMainDepth, Format("%7.2lf", depth)); }

void Display::InitInfo() {
  InitLabels();
  InitValues();
  InitRate();
  InitLost();
  InitBinsize();
  InitTemp();
  InitDepth();
}

void Display::HideInfo() {
  HideLabels();
  HideValues();
  HideRate();
  HideLost();
  HideBinsize();
  HideTemp();
  HideDepth();
}

void Display::ShowInfo() {
  ShowLabels();
  ShowValues();
  ShowRate();
  ShowLost();
  ShowBinsize();
  ShowTemp();
  ShowDepth();
}

void Display::UpdateTimeDate(const std::string* title, const std::string* date,
                             const std::string* time, const std::string* elapsed) {
  platform::Ui& ui = platform::ui();
  auto update = [&](int control, const std::string* text) {
    if (text == nullptr) return;
    if (stricmp(ui.GetCtrlText(panel_, control), *text) != 0 ||
        ui.GetCtrlText(panel_, control).size() != text->size()) {
      SetText(control, *text);
    }
  };
  update(p::kMainTitle, title);
  update(p::kMainDate, date);
  update(p::kMainTime, time);
  update(p::kMainElapsed, elapsed);
}

void Display::UpdateStatus(int statusWord) {
  if (statusWord == lastStatus_) return;
  lastStatus_ = statusWord;
  SetText(p::kMainStatus,
          statusWord == 0 ? std::string()
                          : Format("Status: %08lX", static_cast<unsigned long>(
                                                        static_cast<std::uint32_t>(statusWord))));
}

// --- Start/stop button --------------------------------------------------------------------------------

namespace {

void SetStartStop(int panel, int rgb, const char* label, const char* key, bool running) {
  platform::Ui& ui = platform::ui();
  ui.SetCtrlAttribute(panel, p::kMainStartStop, Attr::BackColor, rgb);
  ui.SetCtrlAttribute(panel, p::kMainStartStop, Attr::LabelText, std::string(label));
  ui.SetCtrlAttribute(panel, p::kMainStartStop, Attr::Shortcut, std::string(key));
  ui.SetCtrlAttribute(panel, p::kMainStop, Attr::Visible, running ? 1 : 0);
}

}  // namespace

void Display::ShowStopButton() { SetStartStop(panel_, 0xFF0000, "F2 to stop", "F2", true); }
void Display::HideStopButton() { SetStartStop(panel_, 0x00FFFF, "F1 to start", "F1", false); }
void Display::DisableStopButton() { SetStartStop(panel_, 0x0088FF, "^O to Open", "Ctrl+O", false); }

void Display::DebugMsg(std::string_view text) {
  SetShown(p::kMainLost, true);
  SetText(p::kMainLost, std::string(text));
}

// --- Exported pictures ---------------------------------------------------------------------------------

platform::GraphPicture Display::Picture() const {
  platform::GraphPicture picture;
  if (!session_.source() || current_ == nullptr) return picture;
  std::string id;
  session_.source()->GetID(id);
  picture.title = Format("%s   Serial %08lX", id.c_str(), static_cast<unsigned long>(session_.source()->GetSerialnum()));
  if (!runDate_.empty() || !runTime_.empty()) {
    picture.title += Format("   Run started %s %s", ShownDate(runDate_).c_str(), ShownTime(runTime_).c_str());
  }

  const int type = current_->GetType();
  // The traces the graph draws: the visible ones (every one of them labelled
  // but none drawn when none is visible), the first 64 in the strip chart.
  std::vector<int> drawn;
  for (int i = 0; i < traceCount_; ++i) {
    if (visible(i)) drawn.push_back(i);
  }
  if (type == graph_type::kStrip && drawn.size() > static_cast<std::size_t>(platform::kMaxStripTraces)) {
    drawn.resize(static_cast<std::size_t>(platform::kMaxStripTraces));
  }
  bool anyA = false, anyC = false;
  for (const int i : drawn) {
    anyA = anyA || (traceMap_[i] & kTraceA & ~kTraceC) != 0;
    anyC = anyC || (traceMap_[i] & kTraceC & ~kTraceA) != 0;
  }
  if (type == graph_type::kSpect2) {
    if (anyA) picture.legend.push_back({"Absorption (A)", kAbsorptionRGB});
    if (anyC) picture.legend.push_back({"Attenuation (C)", kAttenuationRGB});
  } else {
    for (const int i : drawn) {
      if (picture.legend.size() + 1 == static_cast<std::size_t>(kLegendEntries) &&
          drawn.size() > static_cast<std::size_t>(kLegendEntries)) {
        const std::size_t more = drawn.size() - picture.legend.size();
        picture.legend.push_back({Format("and %zu more traces", more), -1});
        break;
      }
      std::string heading;
      session_.source()->GetHeading(i, heading);
      // The bars of absorption traces are hollow (spect_graph.cpp) while
      // the spectrum is not dense.
      const bool hollow = type == graph_type::kSpect && drawn.size() <= static_cast<std::size_t>(kDenseSpectrum) &&
                          (traceMap_[i] & kTraceA & ~kTraceC) != 0;
      picture.legend.push_back({heading, TraceRGB(i), hollow});
    }
  }

  const std::string value = anyA && !anyC   ? "Absorption (1/m)"
                            : anyC && !anyA ? "Attenuation (1/m)"
                                            : "Absorption, attenuation (1/m)";
  const bool valueOnX = GraphKindOfType(type)->valuesOnX;
  (valueOnX ? picture.xName : picture.yName) = value;
  if (type == graph_type::kTemp) picture.yName = "Temperature (\u00B0C)";
  if (type == graph_type::kStrip) {
    // The chart has no time scale of its own: its width in time.
    const auto* strip = static_cast<const Strip*>(graphs_[graph_type::kStrip].get());
    const std::optional<double> rate = SampleRate();
    const double samplesPerPoint = static_cast<double>(displayBinsize_) * std::max(session_.source()->GetBinsize(), 1) *
                                   std::max(session_.source()->GetOrigBinsize(), 1);
    if (rate && *rate > 0.0) {
      const double seconds = Strip::PointsPerScreen(strip->settings().scrollSpeed) * samplesPerPoint / *rate;
      picture.xName = seconds >= 120.0 ? Format("Time (%.1f min across the chart, newest at the right)", seconds / 60.0)
                                       : Format("Time (%.*f s across the chart, newest at the right)",
                                                seconds < 10.0 ? 1 : 0, seconds);
    } else {
      picture.xName = "Time (newest at the right)";
    }
  }
  return picture;
}

// --- The display configuration file -------------------------------------------------------------------

Status Display::WriteConfig() {
  if (!session_.source()) return status::kDisplayWriteConfigNoSource;
  // Written whole beside its name and put in place (never half a file,
  // never through a link).
  ReplacingFile file(ConfigPath());
  if (!file) return status::kCantWriteConfig;
  const ScopedCLocale cLocale;
  std::string id;
  session_.source()->GetID(id);
  std::fprintf(file.get(), "%s\n", id.c_str());
  std::fprintf(file.get(), "%0lx\n", static_cast<unsigned long>(session_.source()->GetSerialnum()));
  std::fprintf(file.get(), "%d\t\t\t\t; current display\n", current_->GetType());
  std::fprintf(file.get(), "%d\t\t\t\t; collect bin size\n", session_.source()->GetBinsize());
  std::fprintf(file.get(), "%d\t\t\t\t; display bin size\n", displayBinsize_);
  for (int i = 0; i < traceCount_; ++i) {
    if (visible_[i] != 0) std::fprintf(file.get(), "%d\t", i);
  }
  std::fprintf(file.get(), "\t; visible traces\n");
  Status result = status::kOk;
  for (int type = graph_type::kXY; type <= kGraphKindCount; ++type) {
    if (Status written = graphs_[type]->WriteConfig(file.get()); written != status::kOk) result = written;
  }
  // How each graph follows a run: lines after the graphs' own, which a
  // reader that knows only those never reaches.
  for (int type = graph_type::kXY; type <= kGraphKindCount; ++type) {
    if (std::fprintf(file.get(), "%s\n", FollowLine(graphs_[type]->follow()).c_str()) < 0)
      result = status::kCantWriteConfig;
  }
  // The split view last: the panes and each pane's graph.
  if (std::fprintf(file.get(), "%s\n", PanesLine(paneCount_, panes_).c_str()) < 0) result = status::kCantWriteConfig;
  // Time axes that read elapsed time say so last; a file without the line
  // reads as clock time, the default.
  if (!timeBase_->clock && std::fprintf(file.get(), "0\t; time axes: 1 UTC clock time, 0 elapsed time\n") < 0)
    result = status::kCantWriteConfig;
  if (result == status::kOk && !file.Commit()) result = status::kCantWriteConfig;
  return result;
}

Status Display::ReadConfig() {
  if (!session_.source()) return status::kDisplayReadConfigNoSource;
  const OwnedFile file(platform::OpenRegularFile(ConfigPath()));
  if (!file) return status::kDisplayConfigOpen;
  const ScopedCLocale cLocale;
  std::FILE* f = file.get();

  // Identification and serial number: information only.
  fgetline(f, 128);
  unsigned long serial = 0;
  std::fscanf(f, "%lx", &serial);
  eatComment(f);

  int type = 0;
  std::fscanf(f, "%d", &type);
  eatComment(f);
  if (GraphKindOfType(type) == nullptr) return status::kConfigGraphType;
  current_ = graphs_[ShownType(type)].get();

  int binsize = 0;
  if (std::fscanf(f, "%d", &binsize) == 1) session_.source()->SetBinsize(binsize);
  eatComment(f);
  int displayBinsize = 1;
  if (std::fscanf(f, "%d", &displayBinsize) == 1) SetDisplayBinsize(displayBinsize);
  // Only the rest of this line: with no trace visible the next line, the
  // list, is nothing but its comment, and skipping it as a comment line
  // would read the first graph line as the list.
  ignore(f, 512, '\n');

  // The list names every visible trace: a trace it leaves out is hidden, even
  // when the source attached before had a trace of that number on show.
  visible_.fill(0);
  for (int n = 0; n < kMaxTraces; ++n) {
    int index = 0;
    if (std::fscanf(f, "%d", &index) != 1) break;
    if (InRange(index)) visible_[index] = 1;
  }
  eatComment(f);

  for (int t = graph_type::kXY; t <= kGraphKindCount; ++t) graphs_[t]->ReadConfig(f);
  // A file written before graphs followed runs ends here: each graph then
  // follows as it does by default, as does one whose line cannot be read.
  for (int t = graph_type::kXY; t <= kGraphKindCount; ++t) {
    FollowSettings follow;
    if (const std::optional<std::string> line = fgetline(f, 256)) {
      if (const std::optional<FollowSettings> read = ParseFollowLine(*line)) follow = *read;
    }
    graphs_[t]->set_follow(follow);
  }
  // After the follow lines: the split view's panes (a file without the line,
  // or with one that cannot be read whole, shows the single graph), then,
  // when the time axes read elapsed time, their line (without it: clock
  // time, the default). Each is known by its comment.
  std::vector<int> types;
  bool clock = true;
  while (const std::optional<std::string> line = fgetline(f, 256)) {
    if (line->find("; time axes") != std::string::npos) {
      clock = !line->starts_with("0");
    } else if (types.empty()) {
      types = ParsePanesLine(*line, type);
    }
  }
  SetClockTime(clock);
  paneCount_ = types.empty() ? 1 : static_cast<int>(types.size());
  panes_.fill(nullptr);
  panes_[0] = current_;
  for (int k = 1; k < paneCount_; ++k) panes_[static_cast<std::size_t>(k)] = graph(types[static_cast<std::size_t>(k)]);
  if (std::ferror(f) && !std::feof(f)) return status::kConfigGraphInfo;
  return status::kOk;
}

}  // namespace sondrix
