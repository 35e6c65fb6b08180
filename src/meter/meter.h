// SPDX-License-Identifier: GPL-3.0-or-later
// Meter: the live source of the absorption/attenuation meters. It owns the
// instrument's configuration, its port and its packet decoder; it opens the
// port at the configured baud rate, synchronises with the stream, checks the
// instrument's serial number, hands out one sample per ReadData and turns
// each sample's signal and reference counts into calibrated absorption or
// attenuation values (offset, path length, temperature correction).
//
// The model classes supply trace counts, samples per packet, trace map and
// decoder. A meter is created with Meter::New<Model>(...), which builds the
// object and then its configuration through the virtual NewConfig (a model's
// NewConfig cannot run from a base constructor). The constructors take a
// token that only Meter can make, so no meter exists without a configuration.
//
// Virtual operations are declared in the order of the meter operation table;
// the destructor takes the place of Dispose.
#pragma once

#include <concepts>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "common/out_of_memory.h"
#include "common/status.h"
#include "config/config.h"
#include "config/meter_config.h"
#include "io/clock_map.h"
#include "io/data_buffer.h"
#include "io/dport.h"
#include "source/device.h"
#include "source/source.h"
#include "source/source_line.h"

namespace sondrix {

class DataFile;
class DiagWindow;
class MeterFile;

class Meter : public Device, public MadeWithConfig<Meter> {
 public:
  Meter(Token, std::string_view filename, std::string_view portname);

  Status Open() override;                                                  // 0
  Status Close() override;                                                 // 1
  Status Save() override;                                                  // 2
  Status Reset() override;                                                 // 3
  Status SaveRaw() override;                                               // 4
  int DataAvailable() override;                                            // 5
  int BufNearFull() override;                                              // 6
  Status ReadData(SourceLine& line) override;                              // 7
  Status ReadUnCorrData(SourceLine& line) override;                        // 8
  // Appends "\t%.5lf" of each input trace's reference value to `tail`
  // (kept within SourceLine::kTailMax characters); 0.
  virtual int WriteRefs(const RefBlock& refs, std::string& tail);          // 9
  // The instrument's status word of the last packet as it came (0 before
  // the first packet after Reset, and for packets without one).
  int GetStatus() override;                                                // 10
  int GetTraceCount() override;                                            // 11
  int GetInTraceCount() override;                                          // 12
  int GetPortType() override;                                              // 13
  Status GetHeading(int trace, std::string& heading) override;             // 14
  Status GetColors(std::span<int> colors) override;                        // 15
  Status GetWavelengths(std::span<double> wavelengths) override;           // 16
  // Creates the configuration (a MeterConfig of this model's counts).
  virtual Status NewConfig();                                              // 17
  Status WriteConfig(std::FILE* file) override;                            // 18
  Status ReadConfig(std::FILE* file) override;                             // 19
  Status EditConfig(int& changed) override;                                // 20
  Status SaveConfig() override;                                            // 21
  std::uint32_t GetSerialnum() override;                                   // 22
  double GetSampleRate() override;                                         // 23
  int HasDepth() override;                                                 // 24
  double GetDepth() override;                                              // 25
  int HasExtTemp() override;                                               // 26
  Status GetID(std::string& id) override;                                  // 27
  Status NewDataFile(std::unique_ptr<DataFile>& out,                       // 28
                     std::string_view filename) override;
  Status GetPort(DPort*& port) override;                                   // 29
  Status SetPort(std::unique_ptr<DPort>&& port) override;                  // 30
  ~Meter() override;                                                       // 31 Dispose
  int GetSamplesPerRec() override;                                         // 32
  int GetTraceMap(TraceMap& map) override;                                 // 33
  Status GetConfigInfo(ConfigInfo& info) override;                         // 34
  Status Diagnostics() override;                                           // 35
  int HasDiagnostics() override;                                           // 36
  // Calibrated values of the first n input traces: out[i] from signal[i]
  // and refs[i] at temperature T, for the traces whose map flag is set.
  virtual Status ComputeAbsorb(int n, std::span<double> out,               // 37
                               std::span<const double> signal, double temperature,
                               std::span<const double> refs, const TraceMap& map);
  // The same without the calibration offsets.
  virtual Status ComputeUnCorrAbsorb(int n, std::span<double> out,         // 38
                                     std::span<const double> signal, double temperature,
                                     std::span<const double> refs, const TraceMap& map);
  virtual int GetRefLineLen();                                             // 39
  virtual int GetDataLineLen();                                            // 40
  // The reference values of the last packet (GetInTraceCount of them).
  virtual Status ReadRefs(std::span<double> values);                       // 41
  // Creates the packet decoder over `port`.
  virtual Status NewBuffer(std::unique_ptr<DataBuffer>& out, DPort& port);  // 42
  virtual void DisposeBuffer(std::unique_ptr<DataBuffer>& buffer);         // 43

  // The configuration (never null for a meter made by New), and the same as
  // a MeterConfig when it is one (null for other configuration classes).
  Config* config() const { return config_.get(); }
  MeterConfig* meterConfig() const { return meterConfig_; }
  // The decoder while open, else null.
  DataBuffer* decoder() const { return decoder_.get(); }

  // Milliseconds since the first sample after the last ResetZero, from a
  // sample's place on its decoder's time line (hundredths of a second, the
  // instrument's counter unwrapped and never running backwards:
  // io/sample_clock.h); 64 bits, so a run of any length never wraps.
  std::int64_t ZeroBased(std::int64_t time);
  void ResetZero();

  // What the decoder noticed since the last Reset (a restarted clock, a
  // change of spacing, repeated packets).
  StreamEvents GetStreamEvents() override;
  Status Reopen() override;
  // Looks once two packets' worth of bytes wait, so that the search for a
  // sync pattern does not wait on the line; compares the serial number
  // with the one the run's Reset read.
  Status Resync() override;
  // The packet begun and what the decoder and the line hold are dropped.
  Status DiscardInput() override;
  // Fitted from the arrivals of a live line's packets; a replay's map is
  // adopted by whoever knows it (the capture's companion).
  ClockFit* GetClock() override { return &clock_; }

 protected:
  // Installs the configuration; NewConfig of every model ends here.
  void SetConfig(std::unique_ptr<Config> config);
  // What the models' NewBuffer does: a decoder of class B (BinBuffer,
  // BenthBuffer) over `port` for GetInTraceCount channels and
  // GetSamplesPerRec samples per packet; -1016 without memory.
  template <class B>
  Status NewDecoder(std::unique_ptr<DataBuffer>& out, DPort& port) {
    out.reset();
    std::unique_ptr<B> decoder;
    const Status result =
        CatchOutOfMemory([&] { return B::New(decoder, port, GetInTraceCount(), GetSamplesPerRec()); });
    out = std::move(decoder);
    return result;
  }
  // NewDecoder<BinBuffer>.
  Status NewBinBuffer(std::unique_ptr<DataBuffer>& out, DPort& port);
  // What the models' NewDataFile does with their file object: copies this
  // meter's configuration into it and hands it out (-1016 for a null file).
  Status HandOverDataFile(std::unique_ptr<MeterFile> file, std::unique_ptr<DataFile>& out);
  // The next sample of the decoder with its packet's reference block: a
  // packet is read when the samples of the last one are used up (its
  // failure is returned and nothing advances), then the sample index moves
  // on. `packetStart` tells the first of the packet's own samples (lost
  // samples the decoder counted in front of the packet come before it).
  Status NextSample(const RefBlock*& refs, const DataSample*& sample, bool& packetStart);
  // What every family's RefreshDiagnostics takes from the meter (defined
  // with the diagnostics, diag/meter_diag.cpp): the next sample, and when it
  // is good its first `channels` signal, reference and calibrated values
  // (ComputeAbsorb over `absorbChannels`), temperature and depth into row
  // `ring` of `window`. 1, -1022 for a lost sample, -1004 without a
  // configuration, or the decoder's failure.
  Status TakeDiagSample(DiagWindow& window, int channels, int absorbChannels, int& ring);

 private:
  // What ReadData and ReadUnCorrData share: `corrected` selects the depth
  // offset, the calibration offsets and the tail. A sample that yields a
  // value that is not a finite number is a lost line.
  Status ReadSample(SourceLine& line, bool corrected);

  std::unique_ptr<Config> config_;
  MeterConfig* meterConfig_ = nullptr;  // config_ when it is a MeterConfig
  int lastSample_ = -1;
  int currentSample_ = 0;
  // The port before the decoder: the decoder reads through the port and is
  // destroyed first.
  std::unique_ptr<DPort> port_;
  std::unique_ptr<DataBuffer> decoder_;
  std::int64_t firstTime_ = -1;
  // Each good packet of a live line is a bound of its last sample's UTC.
  void ObserveArrival(int last);
  ClockFit clock_;
  long long restartsSeen_ = 0;
  std::uint32_t statusWord_ = 0;
  std::uint32_t serialnum_ = 0;
  double sampleRate_ = 0.0;
  double depth_ = 0.0;
  TraceMap traceMap_{};
  ConfigInfo configInfo_{};
};

// Appends `separator` and "%.<decimals>lf" of `value` (decimals 0 to
// kMaxFixedDecimals) to a line's trailing text, keeping it within
// SourceLine::kTailMax characters. Allocates nothing when the text's
// capacity holds kTailMax characters.
void AppendTailNumber(std::string& tail, std::string_view separator, double value, int decimals);

}  // namespace sondrix
