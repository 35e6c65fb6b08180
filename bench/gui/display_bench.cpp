// SPDX-License-Identifier: GPL-3.0-or-later
// The display on the Qt backend: how fast a recording replays through
// Display::Plot into the graphs, what a live run at the instrument's rate
// costs, whether memory stays flat over a day, and a window to look at.
//
//   display_bench replay FILE.dat [--whole]      lines/s and real-time ratio per graph
//   display_bench live FILE.dat [--seconds S] [--rate HZ] [--graph N] [--prefill H] [--whole]
//   display_bench day [FILE.dat] [--graph N]      24 h of lines as fast as possible
//   display_bench show FILE.dat --graph N [--lines N] [--hold S] [--shot OUT.png] [--zoom]
//
// replay, live and day run on Qt's offscreen platform unless QT_QPA_PLATFORM
// says otherwise; show needs a display (e.g. Xvfb). Graph numbers: 1 XY,
// 2 strip chart, 3 temperature, 4 depth, 5 spectrum bars, 6 A and C curves.
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "common/panels.h"
#include "display/color_scheme.h"
#include "display/display.h"
#include "display/xy_graph.h"
#include "meter/source_factory.h"
#include "platform/qt/qt_plot.h"
#include "platform/qt/qt_ui.h"
#include "source/source_line.h"

namespace {

using namespace sondrix;
namespace pq = sondrix::platform::qt;

struct Options {
  std::string mode;
  std::string file;
  int graph = graph_type::kXY;
  int lines = 0;
  double seconds = 600.0;
  double rate = 6.0;
  double hold = 0.0;
  double prefill = 0.0;  // hours of run drawn before the live part
  std::string shot;
  bool whole = false;
  bool zoom = false;
};

[[noreturn]] void Usage() {
  std::fputs(
      "usage: display_bench replay FILE.dat [--whole]\n"
      "       display_bench live FILE.dat [--seconds S] [--rate HZ] [--graph N] [--prefill H] [--whole]\n"
      "       display_bench day [FILE.dat] [--graph N]\n"
      "       display_bench show FILE.dat --graph N [--lines N] [--hold S] [--shot OUT.png] [--zoom]\n",
      stderr);
  std::exit(2);
}

Options Parse(int argc, char** argv) {
  Options o;
  if (argc < 2) Usage();
  o.mode = argv[1];
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    auto next = [&]() -> std::string {
      if (i + 1 >= argc) Usage();
      return argv[++i];
    };
    if (a == "--graph") o.graph = std::atoi(next().c_str());
    else if (a == "--lines") o.lines = std::atoi(next().c_str());
    else if (a == "--seconds") o.seconds = std::atof(next().c_str());
    else if (a == "--rate") o.rate = std::atof(next().c_str());
    else if (a == "--hold") o.hold = std::atof(next().c_str());
    else if (a == "--prefill") o.prefill = std::atof(next().c_str());
    else if (a == "--shot") o.shot = next();
    else if (a == "--whole") o.whole = true;
    else if (a == "--zoom") o.zoom = true;
    else if (!a.empty() && a[0] != '-' && o.file.empty()) o.file = a;
    else Usage();
  }
  return o;
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double ResidentMB() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

// Every good line of a recording, in memory.
std::vector<SourceLine> ReadLines(Source& source) {
  std::vector<SourceLine> lines;
  SourceLine line(source.GetTraceCount());
  for (int idle = 0; idle < 10;) {
    if (source.CanRead() == 0) {
      ++idle;
      continue;
    }
    const Status result = source.Read(line);
    if (result == status::kUnexpectedEof) break;
    if (result != status::kOk) continue;
    idle = 0;
    if (line.status == status::kOk) lines.push_back(line);
  }
  return lines;
}

struct Bench {
  explicit Bench(const Options& options) : ui(), scoped(ui) {
    // The day scheme's contrast rules, as the program applies them at start.
    ui.SetColorScheme(sondrix::SchemeLook(platform::ColorScheme::Day));
    panel = ui.LoadPanel(0, panels::kMain);
    if (panel <= 0) {
      std::fprintf(stderr, "display_bench: cannot build the main panel: %s\n", ui.resourceError().c_str());
      std::exit(1);
    }
    if (sondrix::Display::New(display, panel, session) != status::kOk) std::exit(1);
    if (!options.file.empty()) {
      std::unique_ptr<Source> source;
      if (NewSource(source, kSourceKindFile, options.file, "") != status::kOk ||
          source->Open() != status::kOk) {
        std::fprintf(stderr, "display_bench: cannot open %s\n", options.file.c_str());
        std::exit(1);
      }
      Source* raw = source.get();
      display->Attach(std::move(source));
      if (display->source() != raw) std::exit(1);
    }
  }

  // Puts a graph on show for a fresh run; with `whole` the XY graph's axes
  // cover the whole run, so that every point is drawn.
  void Start(int type, bool whole, double minutes) {
    display->ShowGraph(type);
    if (whole && type == graph_type::kXY) {
      auto& xy = static_cast<XYGraph&>(*display->graph(type));
      XYSettings s = xy.settings();
      s.xMin = -0.2;
      s.xMax = 0.6;
      s.yMin = 0.0;
      s.yMax = minutes;
      xy.set_settings(s);
      xy.SetConfig(1);
    }
    display->InitPlot();
  }

  pq::PlotWidget* Plot(int type) {
    static const int controls[] = {0, panels::kMainXYGraph, panels::kMainStripChart,
                                   panels::kMainTempGraph, panels::kMainDepthGraph,
                                   panels::kMainSpectGraph, panels::kMainSpect2Graph};
    return dynamic_cast<pq::PlotWidget*>(ui.Widget(panel, controls[type]));
  }

  int Replots(int type) {
    static const int controls[] = {0, panels::kMainXYGraph, panels::kMainStripChart,
                                   panels::kMainTempGraph, panels::kMainDepthGraph,
                                   panels::kMainSpectGraph, panels::kMainSpect2Graph};
    auto* plot = dynamic_cast<pq::PlotWidget*>(ui.Widget(panel, controls[type]));
    return plot == nullptr ? 0 : plot->replotCount();
  }

  pq::QtUi ui;
  platform::ScopedUi scoped;
  int panel = 0;
  sondrix::Session session;
  std::unique_ptr<sondrix::Display> display;
};

const char* GraphName(int type) {
  static const char* names[] = {"", "XY graph", "strip chart", "temperature graph", "depth graph",
                                "spectrum bars", "A and C curves"};
  return type >= 1 && type <= 6 ? names[type] : "?";
}

int Replay(const Options& o) {
  Bench bench(o);
  std::vector<SourceLine> lines = ReadLines(*bench.display->source());
  if (lines.size() < 2) return 1;
  bench.ui.DisplayPanel(bench.panel);
  const double runSeconds = (lines.back().time - lines.front().time) / 1000.0;
  std::printf("%zu lines, %.0f s of instrument time, %d traces visible, window %dx%d (%s)\n",
              lines.size(), runSeconds, bench.display->visibleCount(),
              bench.ui.Window(bench.panel)->width(), bench.ui.Window(bench.panel)->height(),
              QGuiApplication::platformName().toStdString().c_str());
  for (int type : {graph_type::kXY, graph_type::kStrip, graph_type::kSpect, graph_type::kSpect2}) {
    bench.Start(type, o.whole, runSeconds / 60.0);
    const int replotsBefore = bench.Replots(type);
    QElapsedTimer clock;
    clock.start();
    const double cpu0 = CpuSeconds();
    for (const SourceLine& line : lines) {
      bench.session.Publish(line);
      bench.ui.GetUserEvent(false);  // as the acquisition loop polls between lines
    }
    const double wall = clock.nsecsElapsed() / 1e9;
    const double cpu = CpuSeconds() - cpu0;
    std::printf("%-16s %9.0f lines/s  %7.0fx real time  %5d redraws in %.2f s (cpu %.2f s)\n",
                GraphName(type), lines.size() / wall, runSeconds / wall,
                bench.Replots(type) - replotsBefore, wall, cpu);
  }

  // The whole loop once more on the XY graph, reading the file as it goes.
  Source* source = bench.display->source();
  bench.Start(graph_type::kXY, o.whole, runSeconds / 60.0);
  SourceLine line(source->GetTraceCount());
  QElapsedTimer clock;
  clock.start();
  long count = 0;
  double first = -1, last = 0;
  for (int idle = 0; idle < 10;) {
    bench.ui.GetUserEvent(false);
    if (source->CanRead() == 0) {
      ++idle;
      continue;
    }
    const Status result = source->Read(line);
    if (result == status::kUnexpectedEof) break;
    if (result != status::kOk) continue;
    idle = 0;
    if (first < 0) first = line.time;
    last = line.time;
    bench.session.Publish(line);
    ++count;
  }
  const double wall = clock.nsecsElapsed() / 1e9;
  std::printf("%-16s %9.0f lines/s  %7.0fx real time  (reading the file as the acquisition loop does)\n",
              "XY, with reading", count / wall, (last - first) / 1000.0 / wall);
  std::printf("resident memory %.1f MB\n", ResidentMB());
  return 0;
}

// Lines of a recording, over and over, with time stamps that go on.
class Feeder {
 public:
  Feeder(std::vector<SourceLine> lines, double rate) : lines_(std::move(lines)), periodMs_(1000.0 / rate) {}
  SourceLine Next() {
    SourceLine line = lines_[next_ % lines_.size()];
    line.time = static_cast<std::int32_t>(static_cast<double>(next_) * periodMs_);
    ++next_;
    return line;
  }
  long count() const { return next_; }

 private:
  std::vector<SourceLine> lines_;
  double periodMs_;
  long next_ = 0;
};

int Live(const Options& o) {
  Bench bench(o);
  Feeder feeder(ReadLines(*bench.display->source()), o.rate);
  bench.ui.DisplayPanel(bench.panel);
  if (o.whole) {
    // The time axis follows the whole run, the values autoscale.
    Graph& graph = *bench.display->graph(o.graph);
    FollowSettings follow = graph.follow();
    follow.axis = 1;
    follow.wholeRun = 1;
    follow.values = 1;
    graph.set_follow(follow);
  }
  bench.Start(o.graph, false, 0);
  // Hours of run drawn as fast as they come, as if the run had gone on so
  // long already.
  const long prefill = static_cast<long>(o.prefill * 3600.0 * o.rate);
  for (long i = 0; i < prefill; ++i) {
    bench.session.Publish(feeder.Next());
    if (i % 1000 == 0) bench.ui.GetUserEvent(false);
  }
  std::printf("live run: %s, %.1f lines/s for %.0f s after %.1f h drawn%s, %d traces visible, resident %.1f MB\n",
              GraphName(o.graph), o.rate, o.seconds, o.prefill, o.whole ? ", the whole run on screen" : "",
              bench.display->visibleCount(), ResidentMB());
  bench.ui.GetUserEvent(false);
  QTimer lines;
  lines.setTimerType(Qt::PreciseTimer);
  QObject::connect(&lines, &QTimer::timeout, [&] { bench.session.Publish(feeder.Next()); });
  lines.start(static_cast<int>(1000.0 / o.rate));
  QElapsedTimer clock;
  clock.start();
  double cpu0 = CpuSeconds();
  double wall0 = 0;
  int replots0 = 0;
  double drawing0 = 0;
  QTimer report;
  QObject::connect(&report, &QTimer::timeout, [&] {
    const double wall = clock.nsecsElapsed() / 1e9;
    const double cpu = CpuSeconds();
    pq::PlotWidget* plot = bench.Plot(o.graph);
    const int replots = plot->replotCount();
    const double drawing = plot->replotSeconds();
    std::printf("%6.0f s  cpu %5.2f %% of a core  resident %.1f MB  lines %ld  redraws %d of %.1f ms\n",
                wall, 100.0 * (cpu - cpu0) / (wall - wall0), ResidentMB(), feeder.count(),
                replots - replots0, replots > replots0 ? 1000.0 * (drawing - drawing0) / (replots - replots0) : 0.0);
    std::fflush(stdout);
    cpu0 = cpu;
    wall0 = wall;
    replots0 = replots;
    drawing0 = drawing;
    if (wall >= o.seconds - 0.5) QCoreApplication::exit(0);  // quit() would ask the windows first
  });
  report.start(60000 < o.seconds * 1000 ? 60000 : static_cast<int>(o.seconds * 1000));
  return QCoreApplication::exec();
}

int Day(const Options& o) {
  Bench bench(o);
  std::vector<SourceLine> lines;
  if (bench.display->source() != nullptr) lines = ReadLines(*bench.display->source());
  if (lines.empty()) {
    std::fputs("display_bench day needs a recording\n", stderr);
    return 1;
  }
  Feeder feeder(std::move(lines), o.rate);
  bench.ui.DisplayPanel(bench.panel);
  bench.Start(o.graph, false, 0);
  const long perHour = static_cast<long>(3600 * o.rate);
  std::printf("24 hours at %.1f lines/s into the %s, as fast as possible\n", o.rate, GraphName(o.graph));
  QElapsedTimer clock;
  clock.start();
  for (int hour = 1; hour <= 24; ++hour) {
    for (long i = 0; i < perHour; ++i) {
      bench.session.Publish(feeder.Next());
      bench.ui.GetUserEvent(false);
    }
    std::printf("hour %2d  resident %.1f MB  (%.1f s)\n", hour, ResidentMB(), clock.nsecsElapsed() / 1e9);
    std::fflush(stdout);
  }
  return 0;
}

int Show(const Options& o) {
  Bench bench(o);
  std::vector<SourceLine> lines = ReadLines(*bench.display->source());
  bench.ui.DisplayPanel(bench.panel);
  bench.display->HideStopButton();
  bench.Start(o.graph, false, 0);
  const std::size_t n = o.lines > 0 ? std::min<std::size_t>(lines.size(), static_cast<std::size_t>(o.lines))
                                    : lines.size();
  // Two seconds of replay, so that the clock, rate and elapsed read-outs
  // are written as in a real run.
  const auto pause = std::chrono::microseconds(n > 0 ? 2000000 / static_cast<long>(n) : 0);
  for (std::size_t i = 0; i < n; ++i) {
    bench.session.Publish(lines[i]);
    bench.ui.GetUserEvent(false);
    usleep(static_cast<useconds_t>(pause.count()));
  }
  if (o.zoom) AutoZoomChannel(*bench.display, -1);
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < 300 || clock.elapsed() < o.hold * 1000) {
    bench.ui.GetUserEvent(false);
    usleep(10000);
  }
  if (!o.shot.empty()) bench.ui.Window(bench.panel)->grab().save(QString::fromStdString(o.shot));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = Parse(argc, argv);
  if (options.mode != "show" && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  if (options.mode != "day" && options.file.empty()) Usage();
  // Display configuration files go beside the recording; nothing else is
  // written.
  pq::QtApplication application(argc, argv);
  if (options.mode == "replay") return Replay(options);
  if (options.mode == "live") return Live(options);
  if (options.mode == "day") return Day(options);
  if (options.mode == "show") return Show(options);
  Usage();
}
