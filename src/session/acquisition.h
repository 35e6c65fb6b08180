// SPDX-License-Identifier: GPL-3.0-or-later
// One acquisition run, for the window and the tools alike (a Session,
// session/session.h, sets it up and owns it). Binned lines are read from a
// source while it gives them, each recorded into the run's data file first
// and then published on the session's sample stream (session/sample_stream.h:
// the history, the graphs, ...), until the user stops the run, a stored file ends, the source is
// silent too long, a line limit is reached or an error ends it. After a stop
// by the user, the lines that had already arrived on a serial line are still
// recorded. The end of the run closes the recording and sums the run up;
// saving it and telling the user are the caller's.
//
// Between reads the run looks at its user (RunUser): the window's event
// loop, a terminal's signals. While the source has nothing, that look
// sleeps on the serial line (SourceWait), never in a busy loop.
//
// A live run keeps its recording safe: about once a second (kSyncSeconds)
// the recording and the raw capture are written out and synced to the disk,
// and again when the run ends, so that a power cut loses at most the last
// second. A replay syncs nothing of its recording (its companion, written
// twice, is synced as every companion is).
//
// With reconnection on, a serial line that goes away (unplugged, hung up)
// does not end the run: the run says so once, keeps its recording open and
// looks for the same device every kReopenSeconds until it is back, then
// finds the packets again and goes on; the samples missed are counted lost
// by the instrument's counter. The silence time-out does not run meanwhile;
// the user's stop ends the run at once. Another instrument on the line ends
// the run (-1030) without a line of it recorded.
//
// Every sample's UTC is when it was measured, not when it arrived: the
// source's clock map (Source::GetClock, io/clock_map.h) is stored in the
// companion as it grows (at least once a minute) and at the end, with the
// time zero it gives. A live run's raw capture gets the same companion
// beside it ("NAME.meta.json" for "NAME.raw"), so that a recording made
// again from the capture has the original UTC: a replay of a capture adopts
// its companion's map and events. A capture without one has no measured
// UTC unless the UTC of its first sample is given (SetStartUtc); its
// recording then says so and carries no time zero. A replayed data file is
// placed by its own companion likewise.
//
// A run may read a GPS receiver beside its instrument (SetPosition): between
// lines it takes the fixes that have arrived, without waiting for them, and
// appends them to the recording's track (TrackPathFor), synced with the
// recording within kSyncSeconds of the fix's arrival, as a line is. A
// receiver that falls silent or fails never ends the run: the view shows
// how old the last fix is, the log says when it has given none for longer
// than kMaxFixGapSeconds and when it gives fixes again, and the summary how
// long it was silent. The run also marks events (its start
// and end, and the operator's) in its companion, each with its UTC time.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/status.h"
#include "datafile/ancillary_file.h"
#include "datafile/companion.h"
#include "datafile/run_log.h"
#include "datafile/track.h"
#include "io/ancillary.h"
#include "io/nmea.h"
#include "io/position_source.h"
#include "session/network_output.h"
#include "session/run_health.h"
#include "session/sample_stream.h"
#include "source/source.h"
#include "source/source_line.h"
#include "source/source_wait.h"

namespace sondrix {

class DataFile;

// Seconds without data, per line of a bin, after which a run ends (-1003).
inline constexpr double kTimeoutPerBinLine = 4.0;
// ...and never before this many of the instrument's packet spans (a slow
// meter's ten-sample packets come seconds apart: at 2 Hz one damaged packet
// is ten seconds without a line).
inline constexpr double kTimeoutPackets = 2.4;
// After a stop by the user, the lines already there are recorded for at most
// this long (seconds).
inline constexpr double kDrainSeconds = 1.0;
// A live recording and its raw capture are synced to the disk at most this
// long (seconds) after a line or a byte of capture was written: the most a
// power cut can take. The run's looks never sleep past the moment.
inline constexpr double kSyncSeconds = 1.0;
// While a serial line is away, its device is looked for this often (seconds).
inline constexpr double kReopenSeconds = 0.5;

// A position source is read this often at most (seconds): fixes come once
// a second, and a replay's lines come far faster.
inline constexpr double kPositionPollSeconds = 0.1;

class Acquisition;

// Where the run is, as far as its position source tells.
struct PositionState {
  std::string source;           // "udp:10110"; empty: the run has no position source
  std::optional<NmeaFix> last;  // the last usable fix
  double lastAt = 0.0;          // platform::Timer() when it arrived
  bool failed = false;          // the source failed for good (the run goes on)
  bool away = false;            // the receiver went away; the source looks for it
  int breaks = 0;               // times it went away
  long fixes = 0;               // usable fixes taken
  PositionCounts counts;        // what the source received and did not use
  std::string notice;           // what the source had to say of itself (PositionSource::Notice)
  // Stretches without a usable fix longer than kMaxFixGapSeconds (from the
  // start of the run, between fixes, up to its end): how many, their
  // seconds in all and the longest; `silent` while one goes on.
  double startedAt = 0.0;       // platform::Timer() when the run took the source
  int silences = 0;
  double silentSeconds = 0.0;
  double longestSilence = 0.0;
  bool silent = false;

  bool on() const { return !source.empty(); }
  // Seconds since the last fix arrived (< 0: none yet).
  double Age() const;
  // No fix for longer than kMaxFixGapSeconds (or none yet, or the source
  // failed or went away).
  bool Stale() const { return failed || away || !last || Age() > kMaxFixGapSeconds; }
};

// What the run knows of one ship's data source (one data id on a link).
struct AncillaryState {
  std::string name;  // "tsg1" (its id, else its link's text)
  std::string link;  // "udp:5001", "COM3 (/dev/ttyUSB2)"
  FieldMap map;
  // The last value of each quantity it gives, and when the last line with
  // readings arrived (platform::Timer()).
  std::array<std::optional<double>, kQuantityCount> last{};
  double lastAt = 0.0;
  bool any = false;
  bool away = false;    // its link went away; looked for again
  bool failed = false;  // its link failed for good (the run goes on)
  int breaks = 0;
  AncillaryCounts counts;
  std::string notice;

  // Seconds since its last readings arrived (< 0: none yet).
  double Age() const;
  // None for longer than kMaxAncillaryGapSeconds (or none yet).
  bool Stale() const { return !any || Age() > kMaxAncillaryGapSeconds; }
  bool Gone() const { return away || failed; }
};

// One source's read-out: "T 21.81 °C  S 36.59  C 5.1708 S/m (tsg1, 1.9 s
// ago)" (the quantities it gives, the valve as "Filtered" / "Whole water"),
// "No readings yet (tsg1)", "... (tsg1 gone, 40.0 s ago)". `brief` (the
// window's narrow read-out): only temperature and salinity when the source
// gives either, "(tsg1, 1.9 s)".
std::string AncillaryText(const AncillaryState& state, bool brief = false);
// The valve's read-out at `utcMs`: "Whole water; filtered in 9:25" (the
// state, the next and the minutes and seconds to the switch) from a
// schedule; from a source's last state "Whole water (valve1)"; empty
// without either.
std::string ValveText(const std::optional<ValveSchedule>& schedule, const std::vector<AncillaryState>& sources,
                      std::int64_t utcMs);

// The position as a read-out shows it, its two parts joined by `between`:
// "Position 43.12346° N  70.76543° W  (fix 1 s ago)", "No position fix yet
// (udp:10110)", "Position stale: last fix 14 s ago  (43.12346° N  ...)",
// "Position lost: last fix 20 s ago (receiver went away)  (43.12346° N ...)"
// (or "failed"). Empty when the run has no position source.
std::string PositionText(const PositionState& position, std::string_view between = "  ");

// What a run shows of its state (its lines go to the sample stream).
class RunView {
 public:
  virtual ~RunView() = default;
  // After every line and every look that found nothing.
  virtual void Progress(const Acquisition& /*run*/) {}
  // The serial line went away and the run waits for it (run.awayMessage()
  // says so, once, visibly); Progress goes on being called meanwhile, with
  // run.awaySeconds() the gap so far.
  virtual void Away(const Acquisition& /*run*/) {}
  // It is back and the run goes on (never called when it came back with
  // another instrument: that ends the run).
  virtual void Back(const Acquisition& /*run*/) {}
};

// What a run leaves behind, once its recording is closed.
struct RunSummary {
  Status result = status::kOk;  // as Acquisition::result()
  Status closed = status::kOk;  // closing the recording (1 without one)
  long recorded = 0;            // lines the recording holds whole
  long refused = 0;             // lines left out: values that are not numbers
  int lost = 0;                 // samples lost by the instrument's counter
  bool stoppedByUser = false;
  StreamEvents events;
  // The serial line: "COM1 (/dev/ttyUSB0)"; the times it went away, the
  // seconds the run waited for it in all, and whether it was still away
  // at the end.
  std::string line;
  int breaks = 0;
  double awaySeconds = 0.0;
  bool endedAway = false;
  // The companion that could not be written (empty when it was, or when
  // the run kept none).
  std::string companionFailed;
  // The position source's fixes and spoiled sentences (position.on():
  // the run had one), and the track that could not be written.
  PositionState position;
  std::string trackFailed;
  // The ship's data sources, and their file that could not be written.
  std::vector<AncillaryState> ancillary;
  std::string ancillaryFailed;
  // The network output's lines and datagrams (network.on(): the run had
  // one).
  NetworkState network;
  // The replayed capture or data file (its name) whose samples have no
  // measured UTC: no companion with their times and no start time given
  // (the window asked as it was opened; the tools say so).
  std::string withoutUtc;

  // A normal end: stopped (by the user or the line limit), or the end of a
  // stored file.
  bool NormalEnd() const { return result == status::kOk || result == status::kUnexpectedEof; }
  // What the run has to tell once it is over, beyond its result: the lines
  // left out, then what the stream showed (see DescribeStreamEvents), what
  // the position source did not give (spoiled sentences, invalid fixes, the
  // receiver gone away; nothing when every fix came).
  std::vector<std::string> Notes() const;
};

class Acquisition {
 public:
  // `recording` (may be null: nothing is recorded) is open for writing;
  // `view` may be null. `maxLines` > 0 ends the run, normally, once the
  // recording has taken that many lines.
  Acquisition(Source& source, DataFile* recording, RunUser& user, RunView* view = nullptr, long maxLines = 0);
  Acquisition(const Acquisition&) = delete;
  Acquisition& operator=(const Acquisition&) = delete;

  // 1, or -12 when there is no memory for the run's line (nothing was read).
  Status ready() const { return line_ ? status::kOk : status::kOutOfMemory; }

  // Where each line goes once it is recorded (not owned; null: nowhere).
  // A line read while the source's buffer is nearly full is published as
  // `behind` (SampleStream::Publish): it must be read before anything else
  // is done with it.
  void SetStream(SampleStream* stream) { stream_ = stream; }

  // Whether a serial line that goes away is waited for (off unless set),
  // and how often its device is looked for meanwhile.
  void SetReconnect(bool on, double retrySeconds = kReopenSeconds);

  // Keeps `companion` (not owned; null: none) at `path` beside the
  // recording: what the source tells of itself (DescribeSource) and the
  // zone's offset are filled in and it is written at once; once the first
  // sample is recorded, its time zero is set and it is written again. 1, or
  // -1015 when it could not be written (the run records all the same; the
  // summary tells).
  Status SetCompanion(Companion* companion, std::string path);
  // The UTC of the first sample of a capture replayed without its map
  // (ms since 1970; call before SetCompanion). Its samples are then placed
  // by the instrument's own counter from there.
  void SetStartUtc(std::optional<std::int64_t> utcMs) { startUtc_ = utcMs; }
  // Whether the run's samples have a UTC time: measured by a live run, or
  // given by a replayed capture's map or start time. False for a capture
  // replayed without either (its recording has no time zero).
  bool HasUtc() const;
  // The UTC of time stamp `timeMs` of the run (empty: none).
  std::optional<std::int64_t> UtcOf(std::int64_t timeMs) const;

  // Reads fixes from `source` (not owned; null: none) between the lines,
  // and appends them to a track at `trackPath` (empty: kept for the view
  // only). Call after SetCompanion, whose companion then names the source.
  // 1, or -1015 when the track cannot be created (the run goes on without
  // it; the summary tells).
  Status SetPosition(PositionSource* source, std::string trackPath);
  const PositionState& position() const { return position_; }

  // Reads the ship's data from `sources` (not owned) between the lines and
  // appends every value to `path` (NAME.ancillary.csv; empty: kept for the
  // view only); the valve follows `schedule` when given. Call after
  // SetCompanion, whose companion then names the sources, their maps and
  // the schedule. 1, or -1015 when the file cannot be created (the run goes
  // on without it; the summary tells).
  Status SetAncillary(std::vector<AncillarySource*> sources, std::optional<ValveSchedule> schedule,
                      std::string path);
  const std::vector<AncillaryState>& ancillary() const { return ancillary_; }
  const std::optional<ValveSchedule>& valveSchedule() const { return valveSchedule_; }
  // The network output the session keeps on the run's stream (not owned;
  // null: none), whose state the views show and the summary tells.
  void SetNetwork(const NetworkOutput* output) { network_ = output; }
  const NetworkState* network() const { return network_ != nullptr ? &network_->state() : nullptr; }

  // Marks an event of `kind` (one of kEventKinds) with the operator's
  // `note` at `utcMs` (< 0: the UTC time now), in the companion, written at
  // once. The run marks its own start (SetCompanion) and end (Finish).
  // False when the run keeps no companion or it could not be written.
  bool MarkEvent(std::string_view kind, std::string_view note = {}, std::int64_t utcMs = -1);
  // Whether the run keeps a companion, in which events are marked.
  bool keepsCompanion() const { return companion_ != nullptr; }

  // The whole run: looks at the user and reads until the run ends; the
  // result (see result()).
  Status Run();

  // One line when the source has one: 1 (read, recorded and shown), -1022
  // (nothing yet; the next look at the user sleeps), or what ends the run.
  // For the run's own loop and for whoever waits on the run's behalf while
  // the user is busy elsewhere (a dialog): once the run has ended it reads
  // nothing more and returns its result.
  Status ReadOne();

  // Closes the recording (not saved) and sums the run up. Call once, after
  // the run has ended.
  RunSummary Finish();

  // The run has ended (by whatever), and how: 1 (stopped by the user or at
  // the line limit), -1017 (a stored file ended), -1003 (the source was
  // silent longer than kTimeoutPerBinLine s per line of a bin), or the
  // error (a write error of the recording among them).
  bool ended() const { return ended_; }
  Status result() const { return result_; }
  bool stoppedByUser() const { return stoppedByUser_; }

  // Lines the recording has taken (0 without one), and lines read.
  long recordedLines() const;
  long readLines() const { return readLines_; }
  Source& source() { return source_; }
  const Source& source() const { return source_; }
  // The wait between looks at the user, for a caller that looks on the
  // run's behalf.
  SourceWait& pace() { return pace_; }

  // While the serial line is away: "COM1 (/dev/ttyUSB0) stopped answering;
  // waiting for it to come back — Stop ends the run", and the seconds since
  // it went. After it came back, awaySeconds() is the last gap.
  bool away() const { return away_; }
  double awaySeconds() const;
  const std::string& awayMessage() const { return awayMessage_; }
  int breaks() const { return breaks_; }
  // The run's serial line, "COM1 (/dev/ttyUSB0)" (empty for other sources).
  const std::string& lineName() const { return lineName_; }

  // --- How sound the run is (session/run_health.h) --------------------------------
  // The bytes free in a folder; none when it cannot be told.
  using FreeSpaceProbe = std::function<std::optional<std::uint64_t>(const std::string& folder)>;
  // How the recording's folder is asked for its free space (by default the
  // file system's space available to the program).
  void SetFreeSpaceProbe(FreeSpaceProbe probe) { freeSpace_ = std::move(probe); }
  // The line's state, the samples lost over the last minute, the GPS fix's
  // age and the hours the recording's disk has room for, now.
  RunHealth Health() const;

 private:
  void End(Status result);
  // After a stop: what had arrived on the serial line, until there is no
  // more, the line limit, kDrainSeconds, or the user insists; 1, or the
  // write error that ended it.
  Status Drain();
  // The line just recorded, to the stream; the first consumer's failure.
  Status Publish();
  bool AtLineLimit() const;
  // The line went away with `error`: whether the run waits for it.
  bool WaitsFor(Status error) const;
  void GoAway(Status error);
  // One look for the line while it is away (reopen, then resynchronise):
  // -1022 while it is not back, 1 once it is, or what ends the run.
  Status LookForLine();
  // Syncs the recording and the raw capture once what they hold unsynced is
  // nearly kSyncSeconds old (at once with `now`), and keeps the next look
  // from sleeping past that; 1 or the write error.
  Status KeepSafe(bool now = false);
  // Records a line just read; the first one recorded sets the companion's
  // time zero from the UTC clock as it arrives.
  Status Record(const SourceLine& line);
  void WriteCompanionNow();
  // A replay of a stored stream takes the clock its capture's companion
  // holds, or the start time given; a live run fits its own.
  void TakeReplayClock();
  // The clock map into the companion (written) when it grew an anchor, or
  // at once with `now`.
  void StoreClock(bool now);
  // Takes the fixes that have arrived (at most every kPositionPollSeconds).
  void PollPosition();
  // Takes the ship's data that has arrived (as often).
  void PollAncillary();
  // One fix that arrived (at `arrived` at the earliest, on the platform's
  // clock) at `now`: held back for the other sentences of its time, or, a
  // later sentence of a fix already in the track, written again amended.
  void TakeFix(const NmeaFix& fix, double arrived, double now);
  // Appends the fix held back (see pendingFix_) to the track.
  void AppendPending();
  // Appends `fix` to the track.
  void WriteFix(const NmeaFix& fix);
  // What arrived at `arrived` waits for a sync: the sync is due a second
  // after, however long the fix was held back.
  void NoteUnsynced(double arrived);
  // Whether the source has given no fix for longer than kMaxFixGapSeconds
  // (said once in the log), and the end of such a silence at `now` (a fix,
  // or the end of the run), counted for the summary.
  void WatchSilence(double now);
  void EndSilence(double now, bool runEnds = false);
  // The line just read into the loss window; the disk looked at every
  // kDiskProbeSeconds (at once with `now`).
  void WatchLoss();
  void WatchDisk(bool now = false);

  Source& source_;
  DataFile* recording_;
  RunUser& user_;
  RunView* view_;
  SampleStream* stream_ = nullptr;
  long maxLines_;
  double timeout_;
  SourceWait pace_;
  RunLog log_;
  std::unique_ptr<SourceLine> line_;
  // When the source was last found silent after a line (or the run
  // started), and whether a line came since.
  double lastLine_;
  bool linesSinceQuiet_ = false;
  long readLines_ = 0;
  // Live runs only: the recording is synced.
  bool durable_ = false;
  // When the oldest line or capture byte not yet synced was written (< 0:
  // none), and what had been written at the last sync.
  double unsyncedSince_ = -1.0;
  long syncedLines_ = 0;
  long long syncedBytes_ = 0;
  // Reconnection.
  bool reconnect_ = false;
  double retrySeconds_ = kReopenSeconds;
  bool away_ = false;
  bool reopened_ = false;
  double awaySince_ = 0.0;
  double lastGap_ = 0.0;
  double awayTotal_ = 0.0;
  double lastTry_ = 0.0;
  int breaks_ = 0;
  std::string lineName_;
  std::string awayMessage_;
  Companion* companion_ = nullptr;
  std::string companionPath_;
  // The source's map of its counter to UTC (null: the source has none, and
  // a line's arrival stands for its time), and the anchors the companion
  // holds.
  ClockFit* clock_ = nullptr;
  // A replayed data file's map, from its companion.
  ClockFit storedClock_;
  std::size_t storedAnchors_ = 0;
  std::optional<std::int64_t> startUtc_;
  std::int64_t lastStamp_ = 0;
  Status companionWritten_ = status::kOk;
  PositionSource* positionSource_ = nullptr;
  PositionState position_;
  TrackWriter track_;
  std::string trackFailed_;
  long syncedFixes_ = 0;
  double lastPositionPoll_ = -1.0;
  std::vector<NmeaFix> fixes_;
  // A receiver tells one fix in several sentences (RMC, then GGA with the
  // quality and HDOP, or the other way round): a fix without GGA's part is
  // held back until GGA's comes, one of another time comes, its sync is
  // due (KeepSafe) or a second has passed, and the sentences of its time
  // are merged into it. A GGA that comes after its fix was written writes
  // it again, amended (the track's reader takes the last line of a time).
  std::optional<NmeaFix> pendingFix_;
  double pendingAt_ = 0.0;
  // The last fixes written (at most kRecentFixes), which a late GGA amends.
  static constexpr std::size_t kRecentFixes = 16;
  std::vector<NmeaFix> written_;
  // Health: the good samples read, the last minute's marks, the bytes the
  // recording's folder took and its free space.
  long long goodSamples_ = 0;
  LossWindow loss_;
  WriteRate folderBytes_;
  std::optional<std::uint64_t> diskFree_;
  double lastDiskLook_ = -1.0;
  FreeSpaceProbe freeSpace_;
  const NetworkOutput* network_ = nullptr;
  std::vector<AncillarySource*> ancillarySources_;
  std::vector<AncillaryState> ancillary_;  // source by source, spec by spec
  std::optional<ValveSchedule> valveSchedule_;
  std::optional<ValveSchedule> replaySchedule_;  // the replayed file's
  AncillaryWriter ancillaryFile_;
  std::string ancillaryFailed_;
  long syncedValues_ = 0;
  double lastAncillaryPoll_ = -1.0;
  std::vector<std::vector<AncillaryReading>> readings_;
  bool ended_ = false;
  bool stoppedByUser_ = false;
  bool finished_ = false;
  Status result_ = status::kOk;
};

// The companion of the stored file `source` replays (the raw capture under
// a meter, or the data file): 1, -1002 when it has none (or the source is
// live), -1000 with `error` when it cannot be read.
Status ReadReplayedCompanion(Source& source, Companion& out, std::string& error);
// Whether `source` replays a stored file whose samples have no measured
// UTC: no companion beside it with a clock map or a time zero.
bool ReplayLacksUtc(Source& source);

// What `source` tells of itself for a companion: the program, the port (or
// the capture replayed), the serial device behind it, the serial number as
// the window shows it ("%08lX"), the device file's name, and the zone's UTC
// offset now. The deployment and the time zero are left as they are.
void DescribeSource(Source& source, Companion& companion);

}  // namespace sondrix
