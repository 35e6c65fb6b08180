// SPDX-License-Identifier: GPL-3.0-or-later
// LiveProcessing: the corrections of processing/processor.h on a run's
// sample stream, as the run goes: the same Processor that sondrix-cli
// process and File > Process... run over the recording afterwards, fed the
// same way (InputOf), so that what the window shows live and what the
// Level-2 file holds come from one implementation.
//
// It follows the session's stream (session/sample_stream.h) with a queue
// of its own during a live run: it takes the lines when the run has time,
// and a line it missed is a lost line to the processor (the samples next
// to it are flagged "not evaluated"). A replay of a stored file loses
// nothing by waiting: there it keeps up with every line. Its own views draw
// a corrected line when the run has time, as they draw the measured ones. Each line comes out again on its own stream as a corrected
// line, in order: the line as the run read it with its values replaced,
// each absorption trace by a corrected for temperature, salinity and
// scattering, each attenuation trace by c corrected for temperature and
// salinity, every other trace not a number. A line waits until the
// processor gives its sample (kSpikeHalfWindow lines and the longest lag
// later); a line it never had (missed, or not a good line) is passed on
// (SampleStream::Pass) in its place in the order. The run's Finish gives
// the samples still held.
//
// With the underway processing (processing/underway.h) the lines carry the
// particulate values instead: each absorption trace a_p (corrected for
// scattering), each attenuation trace c_p, on whole water after flushing
// and against the last completed filtered period (provisional), not a
// number on filtered and flushing water. The valve's state at a line is
// the run's schedule at the line's UTC, else its ship's data sources' last
// valve reading while fresh.
//
// The water's temperature and salinity are the user's values, else the
// run's ship's data sources' latest readings while they are fresh, else
// (temperature) the meter's external temperature: what is known at the
// moment. The file processed after the run interpolates the ship's
// readings to each sample's time instead; the live values are the
// provisional ones.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "processing/processor.h"
#include "processing/underway.h"
#include "session/sample_stream.h"
#include "source/source.h"

namespace sondrix {

class Acquisition;

class LiveProcessing final : public SampleConsumer {
 public:
  // The processing of `source`'s lines with `settings` (T_cal found beside
  // the source's device file when the settings give none); null with
  // `error` saying why the settings cannot work for this meter.
  static std::unique_ptr<LiveProcessing> Make(Source& source, ProcessingSettings settings,
                                              std::optional<UnderwaySettings> underway, std::string& error);

  // A new run (null: none) whose ship's data the processing reads: the
  // processor starts afresh.
  void Begin(const Acquisition* run);
  // The end of the run: the samples still held go out, and the run is
  // forgotten (what it showed stays).
  Status Finish();

  Status Take(const SourceLine& line) override;
  void Missed(const SourceLine& line) override;

  // The corrected lines.
  SampleStream& stream() { return stream_; }
  const Processor& processor() const { return *processor_; }
  // The latest sample given out, none before the first of the run.
  const std::optional<CorrectedSample>& last() const { return last_; }
  // Whether the latest sample's temperature or salinity is not yet what
  // the final file would take (none yet, stale, the meter's temperature in
  // place of the ship's), or none came yet.
  bool Provisional() const;
  // The methods, a line each (short enough for a value axis along the
  // height of the smallest window): "T/S: Röttgers et al. 2014, T_cal
  // 18.50 °C", "scattering: proportional at 715 nm".
  std::string Caption() const;

  // --- Underway -----------------------------------------------------------
  bool underway() const { return underway_.has_value(); }
  const LiveUnderway* liveUnderway() const { return live_ ? &*live_ : nullptr; }
  // The particulate read-outs, a line each: "gamma 1.02, line height
  // 0.0031 1/m", "dissolved: the filtered period of 05:06 UTC", with the
  // alarm first when there is one.
  std::string UnderwayCaption() const;
 private:
  LiveProcessing() = default;
  // The run's ship's temperature and salinity now, while fresh.
  void ShipValues(std::optional<double>& temperature, std::optional<double>& salinity) const;
  // Whether the valve was on filter at the line stamped `timeMs` (none:
  // not known).
  std::optional<bool> ValveAt(std::int64_t timeMs) const;
  // Gives out the lines at the front whose samples are ready.
  Status Release();

  struct Held {
    SourceLine line;
    long sequence = -1;  // -1: not the processor's (passed on as missed)
    std::optional<bool> filtered;
  };

  std::unique_ptr<Processor> processor_;
  ProcessorChannels channels_;
  ProcessingSettings settings_;
  const Acquisition* run_ = nullptr;
  Source* source_ = nullptr;  // the session's, whose MustRead says whether the run is behind
  SampleStream stream_;
  std::deque<Held> held_;
  std::vector<CorrectedSample> ready_;
  std::deque<CorrectedSample> samples_;
  std::optional<CorrectedSample> last_;
  long sequence_ = 0;
  bool lostBefore_ = false;
  std::optional<UnderwaySettings> underway_;
  std::optional<LiveUnderway> live_;
  // UTC less the run's time stamps, as the run last told it.
  std::optional<std::int64_t> utcOffsetMs_;
  // The latest particulate sample (given out when particulateGiven_).
  ParticulateSample particulate_;
  bool particulateGiven_ = false;
};

}  // namespace sondrix
