// SPDX-License-Identifier: GPL-3.0-or-later
// NetworkOutput: the run's recorded lines on the ship's network, each as
// one UDP datagram (io/udp_sender.h) that the ship's loggers, displays and
// the science party's programs hear: the lines the data file gets (after
// binning; every N-th with `every`), each with the UTC time its sample was
// measured at and the data file's values, written by the data file's own
// code (source/line_record.h), then the run's ship's data and, while the
// live processing is on, its corrected (or particulate) values.
//
// It keeps the run's stream (session/sample_stream.h) as the recorder
// does: it takes every line at once, after the recording. A send never
// waits; a datagram the network does not take is dropped and counted, and
// the run is never slower or shorter for it (Take always gives 1).
//
// A record that names the fields goes out before the first line, again
// with the first line kHeaderMs of the samples' time after the last one
// (a listener may join at any time), and whenever the fields change (the
// live processing switched on or off). Every time is the run's UTC of the
// sample (Acquisition::UtcOf): by the clock map fitted so far during a
// live run, by the stored map in a replay; a line without one is not
// sent (counted).
//
// The ship's data are, during a live run, each quantity's latest reading
// from the first source that gives it while fresh (as the live processing
// takes them; empty when stale or gone) and the valve's state by its
// schedule at the sample's time; a replayed data file gives the readings
// it recorded beside it, merged on UTC as the exports merge them.
//
// The corrected values of a line come a few lines later (the processor's
// window and lags): the line waits for them, and goes without them when
// the processing missed it or is switched off.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "datafile/ancillary_file.h"
#include "io/ancillary.h"
#include "io/udp_sender.h"
#include "session/sample_stream.h"
#include "source/line_record.h"
#include "source/source.h"

namespace sondrix {

class Acquisition;
class LiveProcessing;

// The data id of the records when none is given.
inline constexpr std::string_view kDefaultNetworkId = "sondrix";
// Samples' time between two records of the fields (ms).
inline constexpr std::int64_t kHeaderMs = 60000;
// The most lines that wait for their corrected values.
inline constexpr std::size_t kMostHeldLines = 4096;

struct NetworkSetting {
  std::string destination;  // HOST:PORT
  std::string id = std::string(kDefaultNetworkId);
  long every = 1;           // every N-th recorded line
  bool nmea = false;        // $PSDRX sentences instead of "ID TIME VALUES"
  bool operator==(const NetworkSetting&) const = default;
};

// Whether `id` can be a data id: one word of printable characters, at most
// 63 (the ship's data ids' rule).
bool IsNetworkId(std::string_view id);

// What the output did, for the read-out and the run's notes.
struct NetworkState {
  std::string destination;  // "10.0.0.255:5005"; empty: no output
  UdpKind kind = UdpKind::kUnicast;
  bool nmea = false;
  long long linesSent = 0, linesDropped = 0;
  long long headersSent = 0, headersDropped = 0;
  long long withoutUtc = 0;  // lines not sent: their sample has no UTC time
  UdpCounts counts;          // every datagram, with why those dropped were
  std::size_t longest = 0;   // bytes of the longest datagram

  bool on() const { return !destination.empty(); }
};

// The read-out: "UDP 10.0.0.255:5005 (broadcast)\n1234 lines sent, 12
// dropped", `between` between the two parts.
std::string NetworkText(const NetworkState& state, std::string_view between = "\n");
// The run's note: "The network output to 127.0.0.1:5005 (unicast) sent
// 1200 lines and 21 records of the fields; 12 datagrams were dropped: 12
// refused (nothing listens on the port)".
std::string NetworkNote(const NetworkState& state);

class NetworkOutput final : public SampleConsumer {
 public:
  // The output that `setting` describes; null with `why` when its
  // destination is none or cannot be sent to.
  static std::unique_ptr<NetworkOutput> Open(const NetworkSetting& setting, std::string& why);
  ~NetworkOutput() override;

  // A run of `source` begins, whose time base and ship's data `run` has
  // (null: none; its lines then have no time and are not sent).
  void Begin(Source& source, const Acquisition* run);
  // The corrected lines of `processing` join the measured ones from now on
  // (null: none); the lines that wait for corrected values of an earlier
  // processing go without them.
  void SetProcessing(LiveProcessing* processing);
  // The run ends: the lines still waiting go, and the processing is left.
  void Finish();

  Status Take(const SourceLine& line) override;

  const NetworkState& state() const { return state_; }
  const NetworkSetting& setting() const { return setting_; }
  const LineRecord& record() const { return record_; }

 private:
  NetworkOutput() = default;
  // The corrected stream's lines, paired with the measured ones in order.
  class Corrected final : public SampleConsumer {
   public:
    explicit Corrected(NetworkOutput& owner) : owner_(owner) {}
    Status Take(const SourceLine& line) override;
    void Missed(const SourceLine& line) override;

   private:
    NetworkOutput& owner_;
  };
  struct Held {
    bool send = false;
    std::int64_t utcMs = 0;
    std::array<double, kQuantityCount> ship{};
    SourceLine line{0};
  };

  // The fields of the run as it stands (the processing on or off).
  void MakeFields();
  // The ship's data at a line of `utcMs` into `ship`.
  void ShipValues(std::int64_t utcMs, std::array<double, kQuantityCount>& ship);
  // A corrected line (null: none) for the oldest line that waits.
  void Pair(const SourceLine* corrected);
  // Sends the record of `line` (with its fields first when they are due),
  // with the time and ship's data `held` has and the values of
  // `corrected` (null: none).
  void Send(const SourceLine& line, const Held& held, const SourceLine* corrected);
  // The lines that wait go without corrected values.
  void SendAll();

  NetworkSetting setting_;
  UdpSender sender_;
  LineRecord record_;
  NetworkState state_;
  const Acquisition* run_ = nullptr;
  std::vector<TraceEntry> traces_;
  int binsize_ = 1;
  long stored_ = 0;  // recorded lines since the run began
  // The header last sent: its fields and the samples' UTC it went with.
  std::string headerFields_;
  std::optional<std::int64_t> headerUtc_;
  // The ship's quantities among the fields, in the table's order.
  std::vector<Quantity> quantities_;
  // A replayed file's ship's data, merged on UTC.
  std::optional<AncillarySeries> replayed_;
  // The processing whose corrected stream is followed, its channels (a
  // traces, then c traces) and whether they are particulate values.
  LiveProcessing* processing_ = nullptr;
  Corrected corrected_{*this};
  std::vector<int> correctedTraces_;
  // Measured lines that wait for their corrected ones, and corrected lines
  // (null: missed) that came before their measured ones.
  std::deque<Held> held_;
  std::deque<std::optional<SourceLine>> early_;
  // Corrected lines to pass over: their measured lines went without them.
  long long skip_ = 0;
  std::vector<double> extras_;
};

}  // namespace sondrix
