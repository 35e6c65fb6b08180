// SPDX-License-Identifier: GPL-3.0-or-later
// Display: the one object that owns everything shown on the main panel while
// data flows -- the six graphs, the twenty trace labels with their value
// read-outs (paged through the run's traces twenty at a time), the rate, lost-sample, bin-size, temperature, depth, status and
// time read-outs, and the start/stop button. It is a view of one Session
// (session/session.h), which owns the source, the scratch recording, the run
// and its history: the display follows the session's sample stream (a line
// the run has no time to draw is counted, not drawn), keeps which traces are
// visible, hands each line of a run to the graph on show, draws a graph put
// on show from the session's history, and keeps its own and every graph's
// settings in a display configuration file beside the source's file
// (extension "RTC").
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/progress.h"
#include "common/status.h"
#include "datafile/data_file.h"
#include "display/graph.h"
#include "display/graph_kinds.h"
#include "display/health_strip.h"
#include "display/line_rate.h"
#include "display/time_axis.h"
#include "processing/profiles.h"
#include "session/session.h"
#include "source/source.h"
#include "source/source_line.h"

namespace sondrix {

// Trace labels (and value read-outs) on the main panel.
inline constexpr int kLabelSlots = 20;
// Line time (ms) between refreshes of the value read-outs, and timer
// seconds between refreshes of the clock, rate and elapsed read-outs.
inline constexpr double kValueInterval = 500.0;
inline constexpr double kClockInterval = 1.0;
// Lines of an exported picture's legend at most.
inline constexpr int kLegendEntries = 40;
// The colours of the XY graph's filtered and flushing stretches while
// particulate values are shown.
inline constexpr int kFilteredBand = 0x2E7DD7;
inline constexpr int kFlushingBand = 0x9A9A9A;
// Graphs on show side by side at most (the split view: 1, 2 or 4).
inline constexpr int kMaxPanes = 4;

class Display final : public SampleConsumer {
 public:
  // Builds the display of `session` on the main panel `panel` (loaded with
  // its menu bar): six graphs, the idle start/stop button, no source, the
  // second spectrum graph on show; then displays the panel.
  static Status New(std::unique_ptr<Display>& out, int panel, Session& session);
  ~Display() override;  // detaches (the session closes the source)
  Display(const Display&) = delete;
  Display& operator=(const Display&) = delete;

  // Hands a source (null: none) to the session, which detaches the previous
  // one first and makes the source's scratch recording in the project
  // folder, and shows it. When that recording cannot be made, "Can't open
  // file" is reported, the source is closed and the display stays without
  // one (-1002).
  Status Attach(std::unique_ptr<Source> source);
  void Detach();
  void SetDefaults();
  // Puts graph `type` (1 ... 6) on show (in the first pane; a graph on show
  // in another pane changes places with the one it replaces).
  void ShowGraph(int type);

  // --- The split view: one graph, or two or four side by side --------------------
  // Each pane shows a graph of its own kind; the first is the graph on show
  // (current()), which the menus, the zoom and move buttons, the labels and
  // the exported picture belong to. Every graph on show follows the run.
  int paneCount() const { return paneCount_; }
  Graph* pane(int index) const { return index >= 0 && index < paneCount_ ? panes_[static_cast<std::size_t>(index)] : nullptr; }
  // The graph controls of the panes, in order.
  std::vector<int> PaneControls() const;
  // 1, 2 or 4 panes (another count is taken as the next of these); the
  // panes added show kinds not yet on show.
  void SetPaneCount(int count);
  // Pane `index` shows graph `type`; a kind on show in another pane changes
  // places with it.
  void SetPaneKind(int index, int type);

  // --- The health strip (display/health_strip.h) -----------------------------------
  // Shows the session's health, at most once a second unless `now`.
  void UpdateHealth(bool now = false);
  const HealthStrip& healthStrip() const { return health_; }
  // The settings dialog of the graph on show, applied when accepted.
  Status UserConfigure();
  // Prepares a run: the session's recording opened, the source reset, the
  // graphs and read-outs set up; the source's Reset result or an error.
  Status InitPlot();
  // One line of a run (after the session's history took it): the graph on
  // show and the read-outs.
  Status Plot(const SourceLine& line);
  // As a follower of the session's stream: a line drawn, or one the run had
  // no time to draw, counted.
  Status Take(const SourceLine& line) override { return Plot(line); }
  void Missed(const SourceLine& line) override { Count(line); }
  // A replay's progress: the bar of its file read and, whenever the bar
  // moves, the elapsed read-out at the record time of the last line. Plot
  // calls it; the run calls it once more at its end (`end`: the elapsed
  // read-out is brought up to date in any case), which shows 100 % when
  // the whole file was read. Nothing for a live source.
  void UpdateProgress(bool end = false);
  // The run is finished (its last lines handed over): the value axes'
  // captions and the shaded stretches show how it ended.
  void RunFinished() {
    if (correctedValues()) ShowValueCaptions();
  }
  // A line of the run that is recorded but not drawn (the source must be
  // read faster than the screen is drawn): it counts towards the samples
  // read, the elapsed time and the rate all the same.
  void Count(const SourceLine& line);
  // The rate the source's packets carry, else the rate of the run's lines
  // (LineRate); nothing when neither is known.
  std::optional<double> SampleRate() const;
  Status WriteConfig();
  Status ReadConfig();
  // The display configuration file of the attached source ("" without one).
  std::string ConfigPath() const;
  // What an exported picture of the graph on show carries besides the
  // graph: the meter, its serial number and the start of the run as the
  // title; a legend of the traces the graph draws (at most kLegendEntries
  // lines, the last telling how many more); the value axis named with its
  // unit, and the strip chart's time axis with the time it spans.
  platform::GraphPicture Picture() const;

  // Label slots: the run's labelled traces (the visible ones, or all when
  // none is visible) are paged twenty at a time in index order; the traces
  // of the page on show get a slot, the first slot 19, the next 18, ...;
  // the others get none. A page is kept while the labelled traces stay the
  // same; when they change, the page that holds the trace that was first on
  // show is taken (the first page when that trace is gone).
  void SortTraces();
  // --- Label pages -----------------------------------------------------------------
  int labelPage() const { return labelPage_; }
  // At least 1.
  int labelPageCount() const;
  // Puts page `page` (clamped to the pages there are) up: its traces take
  // the label slots, their labels and their latest read-outs are written.
  void SetLabelPage(int page);
  // "Traces 21–40 of 200" ("" with a single page).
  std::string LabelPageText() const;
  Status PutUpLabels();
  void UpdateValues(int count, const double* values, double temperature, double extTemperature,
                    double depth);
  // Writes each text that is given and differs (ignoring case) from what
  // its read-out shows.
  void UpdateTimeDate(const std::string* title, const std::string* date, const std::string* time,
                      const std::string* elapsed);
  void UpdateStatus(int statusWord);
  // A second of the clock passed (called by the main loop's wait of a
  // second and by the run between its lines; nothing more within the same
  // second): the date and time read-outs of a live source show it, and
  // during a run (`running`) the elapsed read-out goes on with the clock
  // while no line comes (a line that went away, a slow instrument). A
  // stored run's read-outs keep its record's times.
  void Tick(bool running);
  void AutoZoomChannel(int slot);
  void ZoomGraph(double factor);
  void MoveGraph(double fraction);

  // --- Following the run (docs/display.md) ------------------------------------
  // The run's drawn points, from which a graph put on show is drawn.
  // (the measured lines' or the corrected ones', as the display shows).
  const RunHistory& history() const { return session_.history(values_); }
  // Display > Corrected Values: the graphs and read-outs show the run's
  // lines corrected live with `settings` (session/live_processing.h) from
  // now on, each graph's value axis naming the methods and "provisional"
  // while the water's temperature or salinity is not yet known; none
  // (nullopt) shows them as measured again. False with `error` when the
  // settings cannot work for the source: the measured lines are shown.
  // With `underway`, Display > Particulate Values: the particulate values
  // of whole water instead (session/live_processing.h), the value axes
  // naming gamma, the line height, the filtered period used and any alarm.
  bool ShowCorrected(std::optional<ProcessingSettings> settings, std::optional<UnderwaySettings> underway,
                     std::string& error);
  bool correctedValues() const { return values_ == Session::Values::kCorrected; }
  bool particulateValues() const {
    return correctedValues() && session_.processing() != nullptr && session_.processing()->underway();
  }
  // Display > Cast Profiles: the depth graph shows, in place of the run's
  // points, the down-cast going on binned by depth as it grows (each
  // visible trace's mean per bin, its spread a dotted line each side) over
  // the last completed cast's in grey (processing/profiles.h LiveCasts,
  // with `settings`); off (nullopt): the run's points again. The casts are
  // found from the run's lines from then on, and afresh each run and each
  // time corrected values are switched (a bin never mixes the two).
  void ShowCastProfiles(std::optional<ProfileSettings> settings);
  LiveCasts* liveCasts() { return casts_ ? &*casts_ : nullptr; }
  // A cast start or end marked at `utcMs` (Mark Event): from then on the
  // events decide the run's casts, as they do in the files.
  void MarkCast(std::int64_t utcMs, bool start);
  // The casts found so far, a line each ("cast 2  10:04:14Z to 10:07:46Z
  // deepest 29.99 m  1272 lines"; minutes of the run without its UTC), and
  // the one going on; "" without Cast Profiles.
  std::string CastList() const;
  // A value axis's caption: `measured` ("1/m") as it is, or while corrected
  // values are shown "Corrected 1/m" (with " — provisional" while they
  // are) over the methods, a line each ("T/S: ...", "scattering: ...").
  std::string ValueCaption(std::string_view measured) const;
  // The visible traces in index order, at most `limit` of them (and only
  // traces the history holds while it holds any).
  void VisibleTraces(std::vector<int>& out, int limit = kMaxTraces) const;
  // The "Follow" button: the graph on show follows the run again after the
  // user zoomed or moved it.
  void ResumeFollow();
  // "Whole Run": the graph on show shows the whole run, or the last minutes
  // again.
  // The time axes of the XY graph and the strip chart read UTC clock time
  // (on, the default) or the run's elapsed time (Display > Clock Time
  // (UTC)); kept in the display configuration file. Clock time needs the
  // run's UTC (time_axis.h); without it the axes read elapsed time.
  bool clockTime() const { return timeBase_->clock; }
  void SetClockTime(bool on);
  const TimeBase& timeBase() const { return *timeBase_; }
  void ToggleWholeRun();
  // The "Follow" button (dimmed unless following was suspended) and the
  // "Whole Run" item (checked while the graph shows the whole run, dimmed
  // without a source or for a graph without a time axis) as the graph on
  // show has them.
  void UpdateFollowControls();
  // The traces chosen changed: the labels of a run and the graph on show
  // follow at once.
  void TracesChanged();
  // Forgets the run's history (pictures recalled from a file are not the
  // run's, and no graph put on show is to replace them with it).
  void ForgetRun();

  // Read-out groups.
  void InitLabels();
  void HideLabels();
  void ShowLabels();
  void UpdateLabel(int slot, std::string_view text, int rgb);
  void InitValues();
  void HideValues();
  void ShowValues();
  void UpdateValue(int slot, double value);
  void InitRate();
  void HideRate();
  void ShowRate();
  void UpdateRate(double rate);
  void InitLost();
  void HideLost();
  void ShowLost();
  void UpdateLost();
  void InitBinsize();
  void HideBinsize();
  void ShowBinsize();
  void UpdateBinsize(int samplesPerBin, int samplesPerUpdate);
  void InitTemp();
  void HideTemp();
  void ShowTemp();
  void UpdateTemp(double temperature, double extTemperature);
  void InitDepth();
  void HideDepth();
  void ShowDepth();
  void UpdateDepth(double depth);
  void InitInfo();
  void HideInfo();
  void ShowInfo();

  // The start/stop button: running, idle with a source, no source.
  void ShowStopButton();
  void HideStopButton();
  void DisableStopButton();
  // Writes debug text into the lost-sample read-out and shows it.
  void DebugMsg(std::string_view text);

  // --- What the graphs read, and what the application reads and sets ----------
  Session& session() const { return session_; }
  Source* source() const { return session_.source(); }
  Graph* current() const { return current_; }
  Graph* graph(int type) const;
  int panel() const { return panel_; }
  int menuBar() const { return menuBar_; }
  // Shown: chosen by the user and on the source's trace map (a trace the
  // instrument does not send is never shown, but keeps the user's choice).
  bool visible(int trace) const { return InRange(trace) && visible_[trace] != 0 && traceMap_[trace] != 0; }
  void SetVisible(int trace, bool on);
  int visibleCount() const { return visibleCount_; }
  bool plotted(int trace) const { return InRange(trace) && plotted_[trace] != 0; }
  int labelSlot(int trace) const { return InRange(trace) ? labelSlot_[trace] : -1; }
  int traceCount() const { return traceCount_; }
  std::int32_t traceMap(int trace) const { return InRange(trace) ? traceMap_[trace] : 0; }
  // The RGB colour of a trace.
  int TraceRGB(int trace) const;
  int displayBinsize() const { return displayBinsize_; }
  // Lines averaged per plotted point; values below 1 are taken as 1.
  void SetDisplayBinsize(int binsize) { displayBinsize_ = binsize < 1 ? 1 : binsize; }
  // Good samples the run read (lost ones are the source's lost count).
  long long sampleCount() const { return sampleCount_; }
  std::int64_t elapsedMs() const { return elapsedMs_; }
  // Whether the run going on (or the last one) replays a stored file.
  bool replaying() const { return replaying_; }
  const ProgressBar& progress() const { return progress_; }
  double chanMin(int trace) const { return InRange(trace) ? chanMin_[trace] : 0.0; }
  double chanMax(int trace) const { return InRange(trace) ? chanMax_[trace] : 0.0; }

 private:
  Display(int panel, Session& session);
  static bool InRange(int trace) { return trace >= 0 && trace < kMaxTraces; }
  // Refreshes the trace map and count from the source and recounts the
  // visible traces (a trace the source does not have is never visible).
  void RecountVisible();
  // The graph type to show for `type`: the XY graph in place of the depth
  // graph for a source without depth.
  int ShownType(int type) const;
  // A run plots the visible traces, or every trace (labelled, not drawn)
  // when none is visible.
  void PlotVisibleTraces();
  // Every graph's InitPlot, the trace colours and the labels of a run.
  void InitGraphs();
  // The graph on show drawn afresh from the history and following it.
  void RedrawFromHistory();
  // `graph`, put on show in a pane beside the first: its own settings the
  // first time, drawn with the run so far.
  void ShowInPane(Graph* graph);
  // Every pane a kind of its own that the source can show, the ones beyond
  // the count hidden, and the kind choosers and View menu as they are.
  void CheckPanes();
  void UpdatePaneControls();
  bool OnShow(const Graph* graph) const;
  // Labels and read-outs of a run put up for the graph on show.
  void RelabelRun();
  // Gives the traces of the label page on show their slots.
  void AssignSlots();
  // The page buttons and the page read-out: shown with the labels when
  // there is more than one page.
  void ShowLabelPager(bool on);
  void SetText(int control, const std::string& text);
  void SetShown(int control, bool on);
  // The read-out and its unit (or both bin size lines) shown or hidden.
  void ShowRate(bool on);
  void ShowBinsize(bool on);
  void CheckMenu(Graph* graph, bool on);
  bool Spect2OnShow() const;
  bool HasExtTemp() const;
  bool HasDepth() const;
  // The title read-out's text for the attached source.
  std::string Title() const;
  // The elapsed read-out at the record time of the last line.
  void UpdateElapsed();
  // The elapsed read-out at `ms`, or where it is when that is earlier.
  void ShowElapsed(std::int64_t ms);
  // The date and time read-outs as the source tells them.
  void ShowClock();

  // The XY graph's shading of the filtered (kFilteredBand) and flushing
  // (kFlushingBand) stretches while particulate values are shown; none
  // otherwise.
  void ShowFlowBands();
  // The live underway processing whose values are on show (null: none).
  const LiveUnderway* ShownUnderway() const;
  // Whether the particulate read-outs and stretches are due to be shown
  // again (at most twice a second).
  bool UnderwayDue();
  // Follows the session's stream of `values` (and ticks the menu's item).
  void FollowValues(Session::Values values);
  // Every graph's value axis named for what the display shows.
  void ShowValueCaptions();
  // Puts the time scales on the XY graph and the strip chart (again when
  // their caption changes) and the menu's check.
  void ShowTimeAxes();
  // Takes the UTC of the run's time stamp 0 once it is known (a live run's
  // clock map, a replayed recording's companion), looked at once a second
  // of the run's time.
  void FindUtcZero(std::int64_t lineMs);

  Session& session_;
  // The lines the display shows: as measured, or corrected.
  Session::Values values_ = Session::Values::kMeasured;
  // Display > Cast Profiles: its settings and the casts of the run.
  std::optional<ProfileSettings> castSettings_;
  std::optional<LiveCasts> casts_;
  // The casts found afresh (none without Cast Profiles).
  void RestartCasts();
  // Each graph's value axis caption from the resource file, by type, and
  // whether "provisional" is shown.
  std::array<std::string, kGraphKindCount + 1> measuredCaptions_;
  bool captionsRead_ = false;
  bool shownProvisional_ = false;
  // The particulate read-outs shown, and when they were last looked at.
  std::string shownUnderway_;
  double lastCaption_ = -1.0;
  std::shared_ptr<TimeBase> timeBase_ = std::make_shared<TimeBase>();
  std::int64_t utcLookedAt_ = -1;
  int panel_ = 0;
  int menuBar_ = 0;
  // One graph per row of GraphKinds(), by type (index 1 ... kGraphKindCount).
  std::array<std::unique_ptr<Graph>, kGraphKindCount + 1> graphs_;
  Graph* current_ = nullptr;
  // The graphs on show, pane by pane (panes_[0] is current_).
  std::array<Graph*, kMaxPanes> panes_{};
  int paneCount_ = 1;
  HealthStrip health_;
  double lastHealth_ = -1.0;
  // Graphs whose settings were applied to their control since the source was
  // attached.
  std::array<bool, kGraphKindCount + 1> configured_{};
  std::array<int, kMaxTraces> labelSlot_{};
  // The run's labelled traces and the label page on show.
  std::vector<int> labelled_;
  int labelPage_ = 0;
  // Each trace's latest read-out value of the run, for the page put up next.
  std::array<double, kMaxTraces> lastValue_{};
  std::array<bool, kMaxTraces> hasValue_{};
  Graph* infoGraph_ = nullptr;
  std::array<double, kMaxTraces> chanMin_{};
  std::array<double, kMaxTraces> chanMax_{};
  double allMin_ = 1.0e10;
  double allMax_ = -1.0e10;
  long long sampleCount_ = 0;
  LineRate lineRate_;
  // Record time of the last line, ms (64 bits, as the lines' time stamps:
  // runs longer than 24 days).
  std::int64_t elapsedMs_ = 0;
  // The session's history bins and thinnings the graph on show has seen.
  std::size_t seenBins_ = 0;
  long seenThinnings_ = 0;
  int binsSinceUpdate_ = 0;
  double lastValueTime_ = 0.0;
  double lastClockTime_ = 0.0;
  // Timer at the run's last line (or its start), the elapsed time shown
  // (-1: none yet this run) and the clock's second last shown.
  double lineClock_ = 0.0;
  std::int64_t shownElapsedMs_ = -1;
  std::int64_t tickSecond_ = -1;
  double valueInterval_ = kValueInterval;
  double clockInterval_ = kClockInterval;
  int traceCount_ = 0;
  int visibleCount_ = 0;
  std::array<int, kMaxTraces> visible_{};
  std::array<int, kMaxTraces> plotted_{};
  TraceMap traceMap_{};
  std::array<int, kMaxTraces> colors_{};
  int displayBinsize_ = 1;
  int lastStatus_ = 0;
  bool replaying_ = false;
  ProgressBar progress_;
  // The source's date and time when the last run began (empty before one).
  std::string runDate_;
  std::string runTime_;
};

// Zooms the graph on show to one trace (label slot 0 ... 19: the trace the
// label shows on the page on show) or to all
// traces (slot -1): the range of the run's values with half a span of
// margin, rounded outwards to a tidy step. Nothing happens before the run's
// first sample or for a slot no trace holds.
void AutoZoomChannel(Display& display, int slot);
// Zooms the value axis about its centre (0.5 in, 2.0 out).
void ZoomGraph(Display& display, double factor);
// Moves the value axis by a fraction of its span.
void MoveGraph(Display& display, double fraction);
// The split view's line of a display configuration file ("2\t6\t1\t; ..."):
// the pane count (1, 2 or 4), then each pane's graph type, every one a
// graph kind and none twice, the first `firstType` (the graph on show);
// empty when the line is not such a line.
std::vector<int> ParsePanesLine(std::string_view line, int firstType);
// step × floor(0.5 + x / step).
double RoundToNearest(double x, double step);

}  // namespace sondrix
