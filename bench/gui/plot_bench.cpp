// SPDX-License-Identifier: GPL-3.0-or-later
// What the XY graph costs with a long run on screen, side by side with the
// same picture drawn the plain QCustomPlot way (one antialiased QCPGraph per
// trace with adaptive sampling, a double key and value per point, at most
// 100 000 points a trace), in one process, rounds interleaved, medians
// reported. The graph draws as the program's does: the run's points are
// kept once, in the run's history (RunHistory, bounded as the program
// bounds it, or to `--entries` entries), and the graph shows its curves on
// the trace canvas.
//
//   plot_bench [--traces 18,200] [--hours 8] [--rate 6] [--rounds 9] [--width 860 --height 560]
//              [--entries N] [--shots DIR]
//   plot_bench memory plain|canvas [--traces N] [--hours H] [--rate R] [--entries N]
//
// For each trace count it fills both graphs with `hours` of points at
// `rate` a second (a random walk per trace, a spike now and then), the whole
// run on screen, and times:
//   redraw      the whole plot after an axis change (everything drawn again)
//   line        one new point on every trace, put on screen as a live run does
// and, from `line`, the share of a core a live run at `rate` lines a second
// spends drawing. `memory` builds one graph alone and prints the resident
// memory it added (for the canvas: the history and the graph). Runs on Qt's offscreen platform unless QT_QPA_PLATFORM
// says otherwise.
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/qt/qt_plot.h"
#include "platform/uir.h"
#include "session/run_history.h"

namespace {

using namespace sondrix::platform;
using namespace sondrix::platform::qt;

struct Options {
  std::string mode = "compare";
  std::string kind;
  std::vector<int> traces{18, 200};
  double hours = 8.0;
  double rate = 6.0;
  int rounds = 9;
  int width = 860, height = 560;
  std::size_t entries = 0;  // the history's entries at most; 0: the program's bound
  std::string shots;  // a directory: pictures of both graphs after the run
};

double ResidentMB() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

// The run: one value per trace per line, a random walk with a spike now and
// then, lines at `rate` a second; time in minutes, as the XY graph draws it.
class Run {
 public:
  Run(int traces, double rate) : values_(static_cast<std::size_t>(traces)), rate_(rate), random_(20261210) {
    for (std::size_t k = 0; k < values_.size(); ++k) values_[k] = 0.1 + 0.002 * static_cast<double>(k);
  }
  double Next() {
    std::normal_distribution<double> step(0.0, 0.0004);
    for (double& v : values_) v += step(random_) + (random_() % 20000 == 0 ? 0.05 : 0.0);
    return static_cast<double>(line_++) / rate_ / 60.0;
  }
  const std::vector<double>& values() const { return values_; }

 private:
  std::vector<double> values_;
  double rate_;
  std::mt19937 random_;
  long line_ = 0;
};

// The graph as it was: QCustomPlot's own graphs.
struct Plain {
  explicit Plain(const Options& o, int traces) {
    widget.resize(o.width, o.height);
    widget.setPlottingHints(QCP::phCacheLabels | QCP::phFastPolylines);
    for (int k = 0; k < traces; ++k) {
      QCPGraph* graph = widget.addGraph(widget.yAxis, widget.xAxis);
      graph->setAdaptiveSampling(true);
      graph->setPen(QPen(QColor::fromHsv((k * 37) % 360, 200, 200), 1.0));
      graphs.push_back(graph);
    }
    widget.show();
  }
  void Add(double minutes, const std::vector<double>& values) {
    for (std::size_t k = 0; k < graphs.size(); ++k) {
      graphs[k]->addData(minutes, values[k]);
      if (graphs[k]->data()->size() > 100000 + 6250) {
        graphs[k]->data()->removeBefore((graphs[k]->data()->constBegin() + (graphs[k]->data()->size() - 100000))->key);
      }
    }
  }
  void Line() { widget.replot(QCustomPlot::rpImmediateRefresh); }
  void Whole() { widget.replot(QCustomPlot::rpImmediateRefresh); }
  QCustomPlot widget;
  std::vector<QCPGraph*> graphs;
};

// The graph as the program has it: the run's history, its curves on the
// canvas.
struct Canvas {
  explicit Canvas(const Options& o, int traces)
      : widget(nullptr, Spec(o)),
        history(o.entries > 0 ? o.entries * static_cast<std::size_t>(traces) : sondrix::RunHistory::kDefaultMaxValues,
                o.entries > 0 ? o.entries : sondrix::RunHistory::kDefaultMaxEntries) {
    widget.resize(o.width, o.height);
    history.Clear(traces);
    for (int k = 0; k < traces; ++k) {
      const PlotAttributes attributes{PlotStyle::ThinLine, PointStyle::SimpleDot, LineStyle::Solid, 0,
                                      static_cast<int>(QColor::fromHsv((k * 37) % 360, 200, 200).rgb() & 0xFFFFFF)};
      widget.DrawCurve(k + 1, history.TraceCurve(k, sondrix::RunHistory::Keys::Minutes), CurveKeys::OnY, attributes);
    }
    widget.show();
  }
  static ControlSpec Spec(const Options& o) {
    ControlSpec spec;
    spec.width = o.width;
    spec.height = o.height;
    return spec;
  }
  void Add(double minutes, const std::vector<double>& values) {
    // As the display adds a bin: once to the history, and the graph told.
    history.Add(std::llround(minutes * 60000.0), 20.0, 0.0, values);
    widget.CurvesChanged();
  }
  void Line() {
    widget.canvas()->ReplotLayer();
    widget.repaint();
  }
  void Whole() { widget.ReplotNow(); }
  GraphWidget widget;
  sondrix::RunHistory history;
};

template <typename Graph>
void Fill(Graph& graph, Run& run, long lines) {
  for (long i = 0; i < lines; ++i) {
    const double minutes = run.Next();
    graph.Add(minutes, run.values());
  }
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0.0 : v[v.size() / 2];
}

template <typename Graph>
void ShowWholeRun(Graph& graph, double minutes) {
  graph.widget.yAxis->setRange(0.0, minutes * 1.05);
  graph.widget.xAxis->setRange(-0.5, 1.5);
}

int Compare(const Options& o) {
  const long lines = static_cast<long>(o.hours * 3600.0 * o.rate);
  std::printf("%.1f h at %.1f lines/s (%ld lines), graph %dx%d, %s platform, load average %s\n", o.hours, o.rate,
              lines, o.width, o.height, QGuiApplication::platformName().toStdString().c_str(),
              [] {
                static char load[64] = "?";
                if (std::FILE* f = std::fopen("/proc/loadavg", "r")) {
                  if (std::fgets(load, sizeof load, f) == nullptr) std::strcpy(load, "?");
                  std::fclose(f);
                  load[std::strcspn(load, " ")] = '\0';
                }
                return load;
              }());
  std::printf("%7s  %-7s %12s %12s %14s\n", "traces", "graph", "redraw ms", "line ms", "live % core");
  for (const int traces : o.traces) {
    Run plainRun(traces, o.rate), canvasRun(traces, o.rate);
    Plain plain(o, traces);
    Canvas canvas(o, traces);
    Fill(plain, plainRun, lines);
    Fill(canvas, canvasRun, lines);
    const double minutes = static_cast<double>(lines) / o.rate / 60.0;
    ShowWholeRun(plain, minutes);
    ShowWholeRun(canvas, minutes);
    plain.Whole();
    canvas.Whole();
    std::vector<double> plainWhole, canvasWhole, plainLine, canvasLine;
    QElapsedTimer clock;
    for (int r = 0; r < o.rounds; ++r) {
      // An axis change: the value axis moves by a hair.
      const double shift = (r % 2 == 0 ? 1e-3 : -1e-3);
      for (QCustomPlot* w : {static_cast<QCustomPlot*>(&plain.widget), static_cast<QCustomPlot*>(&canvas.widget)}) {
        w->xAxis->setRange(w->xAxis->range().lower + shift, w->xAxis->range().upper + shift);
      }
      clock.start();
      plain.Whole();
      plainWhole.push_back(clock.nsecsElapsed() / 1e6);
      clock.start();
      canvas.Whole();
      canvasWhole.push_back(clock.nsecsElapsed() / 1e6);
      // A new line on every trace, on screen.
      clock.start();
      plain.Add(plainRun.Next(), plainRun.values());
      plain.Line();
      plainLine.push_back(clock.nsecsElapsed() / 1e6);
      clock.start();
      canvas.Add(canvasRun.Next(), canvasRun.values());
      canvas.Line();
      canvasLine.push_back(clock.nsecsElapsed() / 1e6);
    }
    if (!o.shots.empty()) {
      plain.widget.grab().save(QString::fromStdString(o.shots + "/plain-" + std::to_string(traces) + ".png"));
      canvas.widget.grab().save(QString::fromStdString(o.shots + "/canvas-" + std::to_string(traces) + ".png"));
    }
    for (int which = 0; which < 2; ++which) {
      const double whole = Median(which == 0 ? plainWhole : canvasWhole);
      const double line = Median(which == 0 ? plainLine : canvasLine);
      std::printf("%7d  %-7s %12.2f %12.3f %14.2f\n", traces, which == 0 ? "plain" : "canvas", whole, line,
                  line * o.rate / 10.0);
    }
    std::fflush(stdout);
  }
  return 0;
}

int Memory(const Options& o) {
  const long lines = static_cast<long>(o.hours * 3600.0 * o.rate);
  const int traces = o.traces.front();
  const double before = ResidentMB();
  Run run(traces, o.rate);
  if (o.kind == "plain") {
    Plain graph(o, traces);
    Fill(graph, run, lines);
    graph.Whole();
    std::printf("plain  %d traces, %.1f h: %.1f MB\n", traces, o.hours, ResidentMB() - before);
  } else {
    Canvas graph(o, traces);
    Fill(graph, run, lines);
    graph.Whole();
    std::printf("canvas %d traces, %.1f h: %.1f MB\n", traces, o.hours, ResidentMB() - before);
  }
  return 0;
}

[[noreturn]] void Usage() {
  std::fputs(
      "usage: plot_bench [--traces 18,200] [--hours H] [--rate R] [--rounds N] [--width W --height H]\n"
      "                  [--entries N] [--shots DIR]\n"
      "       plot_bench memory plain|canvas [--traces N] [--hours H] [--rate R] [--entries N]\n",
      stderr);
  std::exit(2);
}

Options Parse(int argc, char** argv) {
  Options o;
  int i = 1;
  if (argc > 1 && std::strcmp(argv[1], "memory") == 0) {
    if (argc < 3) Usage();
    o.mode = "memory";
    o.kind = argv[2];
    if (o.kind != "plain" && o.kind != "canvas") Usage();
    i = 3;
  }
  for (; i < argc; ++i) {
    const std::string a = argv[i];
    if (i + 1 >= argc) Usage();
    const std::string v = argv[++i];
    if (a == "--traces") {
      o.traces.clear();
      std::stringstream list(v);
      for (std::string n; std::getline(list, n, ',');) o.traces.push_back(std::max(1, std::atoi(n.c_str())));
    } else if (a == "--hours") {
      o.hours = std::atof(v.c_str());
    } else if (a == "--rate") {
      o.rate = std::atof(v.c_str());
    } else if (a == "--rounds") {
      o.rounds = std::max(1, std::atoi(v.c_str()));
    } else if (a == "--width") {
      o.width = std::atoi(v.c_str());
    } else if (a == "--entries") {
      o.entries = static_cast<std::size_t>(std::max(4L, std::atol(v.c_str())));
    } else if (a == "--shots") {
      o.shots = v;
    } else if (a == "--height") {
      o.height = std::atoi(v.c_str());
    } else {
      Usage();
    }
  }
  if (o.traces.empty() || !(o.hours > 0.0) || !(o.rate > 0.0)) Usage();
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = Parse(argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  return options.mode == "memory" ? Memory(options) : Compare(options);
}
