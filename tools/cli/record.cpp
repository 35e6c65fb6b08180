// SPDX-License-Identifier: GPL-3.0-or-later
// sondrix-cli record: the acquisition loop of the application without
// windows. A live meter (or the replay of a raw capture) is opened and reset
// as the application opens it, its binned lines are read exactly as the
// acquisition loop reads them and recorded through the data file's recording
// path, and the recording is saved under the chosen name.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

#include "cli_args.h"
#include "commands.h"
#include "live_source.h"
#include "common/errors.h"
#include "common/status.h"
#include "common/text_format.h"
#include "common/text_list.h"
#include "common/utils.h"
#include "datafile/companion.h"
#include "datafile/data_file.h"
#include "datafile/deployment_values.h"
#include "datafile/scratch_recording.h"
#include "datafile/track.h"
#include "io/ancillary.h"
#include "io/position_source.h"
#include "meter/source_factory.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "session/session.h"
#include "source/source.h"
#include "source/source_line.h"
#include "source/source_wait.h"

namespace sondrix::cli {
namespace {

constexpr std::string_view kCommand = "record";
// Progress refreshes at most this often (seconds).
constexpr double kProgressInterval = 0.25;
// The fastest serial receiver taken.
constexpr long kMaxPositionBaud = 921600;

constexpr const char* kUsage = R"(Usage: sondrix-cli record --device FILE.dev --port PORT --out FILE.dat
                          [--bin N] [--lines N] [--reconnect] [--ignore-serial]
                          [--force] [--meta KEY=VALUE]...
                          [--position SOURCE [--position-baud N]]
                          [--ancillary SOURCE --ancillary-fields MAP
                           [--ancillary-id ID] [--ancillary-baud N]]...
                          [--valve SOURCE [--valve-field N] |
                           --valve-schedule EVERY,FILTERED[,OFFSET]]
                          [--start-utc ISO-8601]
                          [--udp-out HOST:PORT [--udp-id ID] [--udp-every N]
                           [--udp-nmea]]

Records a meter into a data file. PORT is COM1 ... COM8 or a raw capture
file. The run ends at the end of a capture, after N recorded lines
(--lines), after 4 s x bin size without data (an error), on Ctrl+C (or
a closed terminal), or on an error; what was recorded is saved as FILE.dat
in every case. A live recording is synced to the disk about once a second,
so that a power cut loses at most the last second. A recording left behind
by a run that died is kept as Sondrix-recovered-<yymmdd_hhmmss>.dat beside
FILE.dat.

Beside FILE.dat the run keeps its companion FILE.meta.json: the map of the
instrument's counter to the UTC time at which each sample was measured
(fitted from the packets' arrivals), the zone's UTC offset, the program,
the port, the device, the serial number, the device file and the
deployment metadata. A live run's raw capture gets the same companion, so
that a recording made from the capture keeps the measured UTC times.
)";

constexpr const char* kFooter = R"(The companion also lists the run's events: its start and its end, with
their UTC times.

The ship's data (--ancillary, --valve, --valve-schedule): lines of a
thermosalinograph, CTD or valve controller, "ID TIME F1, F2, ..." or bare
"F1, F2, ...", read beside the run; every value goes to FILE.ancillary.csv
and the exports merge them on UTC (docs/ancillary.md). --ancillary-fields,
--ancillary-id and --ancillary-baud describe the --ancillary before them.

The ship's network (--udp-out): each recorded line, binned as the data file
has it, goes out as one UDP datagram, "ID 2026-12-10T04:00:00.123Z
V1,V2,...", the sample's UTC time and the values of its data file line; "ID
#fields time,c412[1/m],..." names the fields (docs/network.md). The run's end
tells how many went and how many were dropped.

At the end a line on standard output gives the lines recorded and the
samples lost.

Exit status 0 for a normal end, 1 for an error (its message on standard
error), 2 for wrong usage.
)";

struct Options {
  std::string device;
  std::string port;
  std::string out;
  long binsize = 1;
  long maxLines = 0;  // 0: no limit
  bool ignoreSerial = false;
  bool force = false;
  bool reconnect = false;
  Deployment deployment;
  std::string position;  // empty: none
  long positionBaud = kDefaultPositionBaud;
  std::optional<std::int64_t> startUtc;
  std::vector<AncillarySpec> ancillary;
  std::string valve;  // empty: none
  int valveField = 0;  // 0: the whole line
  std::optional<ValveSchedule> valveSchedule;
  NetworkSetting network;  // destination empty: none
};

// The ship's data options: --ancillary starts a source, the options after
// it describe it; --valve names a source (one of them, or another) whose
// field says the valve's state.
void AddAncillaryOptions(CLI::App& app, Options& options) {
  const auto last = [&options](const char* option) -> AncillarySpec& {
    if (options.ancillary.empty())
      throw tools::UsageError(std::string(option) + " describes the --ancillary before it, and there is none");
    return options.ancillary.back();
  };
  app.add_option_function<std::string>(
         "--ancillary",
         [&options](const std::string& source) {
           options.ancillary.push_back({source, kDefaultAncillaryBaud, "", {}});
         },
         "read the ship's data from SOURCE beside the run (repeatable): COM1 ... COM8 or a device path (a serial "
         "line), udp:PORT or udp:PORT:shared (datagrams of lines); every value goes to FILE.ancillary.csv")
      ->type_name("SOURCE")
      ->trigger_on_parse();
  app.add_option_function<std::string>(
         "--ancillary-fields",
         [last](const std::string& text) {
           std::string error;
           if (!ParseFieldMap(text, last("--ancillary-fields").map, error))
             throw tools::UsageError("--ancillary-fields: " + error);
         },
         "which field of the lines holds which quantity, QUANTITY=FIELD,... (temperature=1,salinity=3); QUANTITY "
         "is " + QuantityList() + " (degC ITS-90, PSS-78, S/m, dbar, 0/1 or total/filtered); fields count from 1 "
         "after the data id and the time")
      ->type_name("MAP")
      ->trigger_on_parse();
  app.add_option_function<std::string>(
         "--ancillary-id",
         [last](const std::string& id) {
           if (!IsDataId(id))
             throw tools::UsageError("--ancillary-id \"" + id + "\": a data id is one word");
           last("--ancillary-id").id = id;
         },
         "the data id the source's lines start with; lines of other ids are passed over")
      ->type_name("ID")
      ->trigger_on_parse();
  app.add_option_function<std::string>(
         "--ancillary-baud",
         [last](const std::string& text) {
           long baud = 0;
           if (!tools::ReadNumber(text, baud) || baud < 1 || baud > kMaxPositionBaud)
             throw tools::UsageError("--ancillary-baud \"" + text + "\": 1 ... 921600");
           last("--ancillary-baud").baud = baud;
         },
         "a serial source's speed (default 9600)")
      ->type_name("N")
      ->trigger_on_parse();
  CLI::Option* valve = app.add_option("--valve", options.valve,
                                      "the flow-through valve's state from SOURCE (one given with --ancillary, or "
                                      "another): 0/1 or total/filtered, any case")
                           ->type_name("SOURCE");
  app.add_option_function<std::string>(
         "--valve-field",
         [&options](const std::string& text) {
           if (!tools::ReadNumber(text, options.valveField) || options.valveField < 1 || options.valveField > 999)
             throw tools::UsageError("--valve-field \"" + text + "\": a field's number, 1 ... 999");
         },
         "the field of --valve's lines that says the state (default: the whole line)")
      ->type_name("N")
      ->needs(valve);
  app.add_option_function<std::string>(
         "--valve-schedule",
         [&options](const std::string& text) {
           ValveSchedule schedule;
           std::string error;
           if (!ParseValveSchedule(text, schedule, error)) throw tools::UsageError("--valve-schedule: " + error);
           options.valveSchedule = schedule;
         },
         "the valve switched by the clock when its controller sends nothing: every EVERY minutes from the hour "
         "(less OFFSET), filtered for the first FILTERED (60,10,0: filtered from :00 to :10 each hour)")
      ->type_name("EVERY,FILTERED[,OFFSET]")
      ->excludes(valve);
}

// The valve's source into the specs: a field of one given with --ancillary
// (the last on that source), else a source of its own. A spec without a
// field map is refused.
std::string ResolveAncillary(Options& options) {
  if (!options.valve.empty()) {
    AncillarySpec* into = nullptr;
    for (AncillarySpec& spec : options.ancillary) {
      if (spec.source == options.valve) into = &spec;
    }
    if (into == nullptr) {
      options.ancillary.push_back({options.valve, kDefaultAncillaryBaud, "", {}});
      into = &options.ancillary.back();
    }
    if (into->map.Has(Quantity::kValve)) return "--valve: " + options.valve + " has a valve field already";
    into->map.fields.emplace_back(Quantity::kValve, options.valveField);
  }
  for (const AncillarySpec& spec : options.ancillary) {
    if (spec.map.fields.empty()) return "--ancillary " + spec.source + " needs --ancillary-fields";
  }
  return {};
}

// Nothing to go on; else the exit status.
std::optional<int> ParseOptions(std::span<char*> args, Options& options) {
  CLI::App app(kUsage, "sondrix-cli record");
  tools::SetUp(app, kFooter);
  app.add_option("--device", options.device, "the instrument's device configuration file")->type_name("FILE.dev");
  app.add_option("--port", options.port, "COM1 ... COM8 or a raw capture file")->type_name("PORT");
  app.add_option("--out", options.out, "the data file to write")->type_name("FILE.dat");
  AddCount(app, "--bin", options.binsize, kMaxBinsize, "average N samples into each recorded line, at most 1000000");
  AddCount(app, "--lines", options.maxLines, LONG_MAX, "stop after N recorded lines");
  app.add_flag("--reconnect", options.reconnect,
               "when the serial device goes away (unplugged, hung up), wait for it instead of ending: the same "
               "port is opened again every 0.5 s and the same recording goes on (a different instrument ends "
               "the run); the samples missed count as lost");
  app.add_flag("--ignore-serial", options.ignoreSerial,
               "record even when the instrument's serial number differs from the device file's");
  app.add_flag("--force", options.force, "overwrite an existing FILE.dat (and its companion)");
  AddMeta(app, options.deployment,
          "deployment metadata for the companion, once per key; KEY is one of " + DeploymentKeyList() +
              " (latitude and longitude: the station's position in decimal degrees, both or neither)");
  app.add_option("--position", options.position,
                 "record the fixes of a GPS receiver beside the run, in FILE.track.csv: " + PositionSourceList() +
                     "; a receiver that falls silent never ends the run")
      ->type_name("SOURCE");
  AddCount(app, "--position-baud", options.positionBaud, kMaxPositionBaud, "the receiver's serial speed");
  AddAncillaryOptions(app, options);
  auto startUtc = [&options](const std::string& text) {
    options.startUtc = ParseIsoUtc(text);
    if (!options.startUtc)
      throw tools::UsageError("--start-utc \"" + text +
                              "\": an ISO 8601 UTC time such as 2026-12-10T04:00:00.120Z is needed");
  };
  app.add_option_function<std::string>("--start-utc", startUtc,
                                       "the UTC time of the first sample of a raw capture that has no companion "
                                       "with its time map (ISO 8601, e.g. 2026-12-10T04:00:00.120Z); without it "
                                       "such a capture's samples have no measured UTC time")
      ->type_name("TIME");
  AddNetworkOptions(app, options.network, "recorded line");
  if (const std::optional<int> status = ParseCommand(app, args)) return status;
  if (options.device.empty() || options.port.empty() || options.out.empty())
    return WrongUsage(app, "--device, --port and --out are needed");
  if (const std::string fault = CheckDeployment(options.deployment); !fault.empty())
    return WrongUsage(app, "--meta: " + fault);
  if (const std::string fault = ResolveAncillary(options); !fault.empty()) return WrongUsage(app, fault);
  return std::nullopt;
}

void Report(std::string_view what, Status code) { ReportOnPort(kCommand, what, code); }

// The progress line on a terminal: lines recorded, lines lost, time since
// the start; redrawn in place a few times a second.
class ProgressLine final : public RunView {
 public:
  explicit ProgressLine(bool shown) : shown_(shown), start_(platform::Timer()) {}

  void Progress(const Acquisition& run) override {
    std::string beside = PositionText(run.position());
    for (const AncillaryState& state : run.ancillary()) beside += (beside.empty() ? "" : "; ") + AncillaryText(state);
    const std::string valve = ValveText(run.valveSchedule(), run.ancillary(), platform::UtcMs());
    if (!valve.empty()) beside += (beside.empty() ? "" : "; ") + valve;
    if (const NetworkState* network = run.network()) beside += (beside.empty() ? "" : "; ") + NetworkText(*network, " ");
    Update(run.recordedLines(), run.source().GetLostCount(), false, run.away() ? run.awaySeconds() : -1.0, beside);
  }

  // Said once, on a line of its own, whether or not the progress is shown.
  void Away(const Acquisition& run) override { Say(run.awayMessage()); }
  void Back(const Acquisition& run) override {
    Say(Format("%s is back after %.1f s; the recording goes on", run.lineName().c_str(),
               run.awaySeconds()));
  }

  void Finish(long lines, int lost) {
    if (!shown_) return;
    Update(lines, lost, true);
    if (drawn_) std::fputc('\n', stderr);
  }

 private:
  void Update(long lines, int lost, bool force = false, double away = -1.0, const std::string& position = {}) {
    if (!shown_) return;
    const double since = platform::SecondsSince(start_);
    if (!force && since - last_ < kProgressInterval) return;
    last_ = since;
    const long elapsed = static_cast<long>(since);
    std::fprintf(stderr, "\rrecording: %ld lines, %d lost, %02ld:%02ld:%02ld elapsed", lines, lost,
                 elapsed / 3600, elapsed / 60 % 60, elapsed % 60);
    if (away >= 0.0) std::fprintf(stderr, "; port away for %.0f s", away);
    if (!position.empty()) std::fprintf(stderr, "; %s", position.c_str());
    std::fputs("\x1b[K", stderr);
    std::fflush(stderr);
    drawn_ = true;
  }

  void Say(const std::string& text) {
    if (drawn_) std::fputc('\n', stderr);
    drawn_ = false;
    std::fprintf(stderr, "sondrix-cli record: %s\n", text.c_str());
    std::fflush(stderr);
  }

  bool shown_;
  double start_;
  double last_ = -1.0;
  bool drawn_ = false;
};

// Locks the run's scratch recording; a recording a dead run left there is
// kept first and the user told where. False (with a message) when the run
// cannot record there.
bool LockScratch(ScratchLock& lock, const std::string& scratch) {
  std::string recovered;
  const ScratchLock::Result locked = lock.Acquire(scratch, recovered);
  if (!recovered.empty())
    std::fprintf(stderr, "sondrix-cli record: a recording left behind by an earlier run is kept as %s\n",
                 recovered.c_str());
  switch (locked) {
    case ScratchLock::Result::Ready:
      return true;
    case ScratchLock::Result::Busy:
      std::fprintf(stderr,
                   "sondrix-cli record: %s is the recording of another run; record into another "
                   "directory\n",
                   scratch.c_str());
      return false;
    case ScratchLock::Result::NotRegular:
      std::fprintf(stderr, "sondrix-cli record: %s is not a regular file; record into another directory\n",
                   scratch.c_str());
      return false;
    case ScratchLock::Result::Link:
      std::fprintf(stderr,
                   "sondrix-cli record: %s is a symbolic link; a run never records through a link. "
                   "Remove it, or record into another directory\n",
                   scratch.c_str());
      return false;
    case ScratchLock::Result::NotKept:
      std::fprintf(stderr,
                   "sondrix-cli record: %s holds a recording left behind by an earlier run that could "
                   "not be moved aside; save it, then record again\n",
                   scratch.c_str());
      return false;
  }
  return false;
}

}  // namespace

int RunRecord(std::span<char*> args) {
  Options options;
  if (const std::optional<int> status = ParseOptions(args, options)) return *status;

  // A name the file system cannot take is told as what it is.
  if (!DataFile_NameFits(options.out, PATH_MAX - 1)) {
    std::fprintf(stderr,
                 "sondrix-cli record: %s: the name is too long; a file's name may have at most %zu "
                 "characters after its folder, %d in all\n",
                 options.out.c_str(), kMaxNameLength, PATH_MAX - 1);
    return 1;
  }
  // A recording replaces only a regular file, whatever --force says: never
  // a device, a pipe or a folder.
  if (!DataFile_IsSaveTarget(options.out)) {
    std::fprintf(stderr,
                 "sondrix-cli record: %s is not a regular file; a recording is saved only as a "
                 "regular file or under a new name\n",
                 options.out.c_str());
    return 1;
  }
  std::error_code error;
  if (std::filesystem::exists(options.out, error) && !options.force) {
    std::fprintf(stderr, "sondrix-cli record: %s exists; use --force to overwrite it\n",
                 options.out.c_str());
    return 1;
  }
  if (!SourceFilesUsable(kCommand, options.device, options.port)) return 1;

  const SignalScope signals;
  const int binsize = static_cast<int>(options.binsize);
  // The run starts now: its time stamps the raw capture's name.
  gStartTime = platform::clock().LocalTime();

  std::unique_ptr<Source> opened;
  Status result = NewSource(opened, kSourceKindDevice, options.device, options.port);
  if (result != status::kOk) {
    Report(options.device, result);
    return 1;
  }
  result = opened->Open();
  if (result == status::kOk) {
    result = opened->Reset();
    if (result == status::kSerialMismatch) {
      if (options.ignoreSerial) {
        result = status::kOk;
      } else {
        std::fprintf(stderr,
                     "sondrix-cli record: %s (instrument %08lX); --ignore-serial records anyway\n",
                     StatusText(result).c_str(), static_cast<unsigned long>(opened->GetSerialnum()));
        opened->Close();
        return 1;
      }
    }
    if (result != status::kOk) opened->Close();
  }
  if (result != status::kOk) {
    Report(options.port, result);
    return 1;
  }
  RunSetup setup;
  setup.reconnect = options.reconnect;
  setup.maxLines = options.maxLines;
  setup.startUtc = options.startUtc;
  setup.deployment = options.deployment;
  // The receiver after the meter, whose port it must not take: a run asked
  // to record positions does not start without them.
  if (!options.position.empty()) {
    std::string why;
    setup.position = OpenPositionSource(options.position, options.positionBaud, why);
    if (!setup.position) {
      std::fprintf(stderr, "sondrix-cli record: --position %s: %s\n", options.position.c_str(), why.c_str());
      opened->Close();
      return 1;
    }
  }

  if (!options.ancillary.empty()) {
    std::string why;
    setup.ancillary = OpenAncillarySources(options.ancillary, why);
    if (setup.ancillary.empty()) {
      std::fprintf(stderr, "sondrix-cli record: --ancillary %s\n", why.c_str());
      opened->Close();
      return 1;
    }
  }
  setup.valveSchedule = options.valveSchedule;

  if (!options.network.destination.empty()) {
    std::string why;
    setup.network = NetworkOutput::Open(options.network, why);
    if (!setup.network) {
      std::fprintf(stderr, "sondrix-cli record: --udp-out %s: %s\n", options.network.destination.c_str(), why.c_str());
      opened->Close();
      return 1;
    }
  }

  // The session records into a scratch file beside FILE.dat, saved under
  // its name at the end.
  const std::string scratch = ScratchRecordingBeside(options.out);
  Session session;
  result = opened->SetBinsize(binsize);
  if (result != status::kOk) {
    Report(options.port, result);
    opened->Close();
    return 1;
  }
  result = session.Attach(std::move(opened), scratch);
  ScratchLock scratchLock;
  if (result == status::kOk && !LockScratch(scratchLock, scratch)) return 1;
  if (result == status::kOk) {
    result = session.OpenRecording();
    if (result != status::kOk) {
      if (session.recording()->isOpen()) session.recording()->Close();
      session.recording()->Delete();
    }
  }
  if (result != status::kOk) {
    // A recording that cannot be created says why (no permission, a full disk).
    const DataFile* recording = session.recording();
    if (result == status::kCantOpenFile && recording != nullptr && recording->openError() != 0)
      std::fprintf(stderr, "sondrix-cli record: %s\n",
                   FileFailureText(result, scratch, recording->openError()).c_str());
    else
      Report(scratch, result);
    return 1;
  }
  Source& source = *session.source();
  DataFile& recording = *session.recording();

  // The acquisition run: Ctrl+C (or a polite kill, a closed terminal)
  // stops it as the window's stop button does.
  PollingUser user(StopSignalCount);
  ProgressLine progress(isatty(STDERR_FILENO) != 0);
  if (options.startUtc && source.GetReplayFraction() < 0.0) {
    std::fprintf(stderr, "sondrix-cli record: --start-utc is for a raw capture without its time map; a live "
                         "run measures its times\n");
  }
  Acquisition& run = session.Begin(user, &progress, std::move(setup));
  if (run.ready() != status::kOk) {
    Report("", run.ready());
    session.Finish();
    recording.Delete();
    return 1;
  }
  run.Run();
  // Close and keep what was written, whatever ended the run. The lines
  // told are those the file holds whole (after a write error, fewer than
  // were read).
  const RunSummary summary = session.Finish();
  // A write error of the last lines comes as the run is finished.
  result = summary.result;
  progress.Finish(summary.recorded, summary.lost);
  if (!summary.NormalEnd()) Report("", result);
  if (DataFile_CloseFailureIsNews(summary.closed, result)) Report(scratch, summary.closed);
  if (summary.recorded == 0) ReportNoLine(kCommand, binsize, "samples", "recorded");
  for (const std::string& note : summary.Notes()) std::fprintf(stderr, "sondrix-cli record: %s\n", note.c_str());
  if (!summary.withoutUtc.empty()) {
    std::fprintf(stderr, "sondrix-cli record: %s has no companion with the times of its samples (the time map of "
                         "its live run): the recording's samples have no measured UTC time, and export refuses it; "
                         "give --start-utc TIME, the UTC time of its first sample\n", summary.withoutUtc.c_str());
  }

  const Status saved = recording.SaveAs(options.out);
  if (saved != status::kOk) Report(options.out, saved);
  if (saved == status::kOk)
    std::printf("%ld lines recorded into %s; %d samples lost\n", summary.recorded, options.out.c_str(),
                summary.lost);
  source.SaveRaw();
  return summary.NormalEnd() && summary.closed == status::kOk && saved == status::kOk ? 0 : 1;
}

}  // namespace sondrix::cli
