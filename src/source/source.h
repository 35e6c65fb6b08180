// SPDX-License-Identifier: GPL-3.0-or-later
// Source: everything that yields lines of values, a live instrument or a
// stored data file. Its virtual operations are declared in the order of the
// source operation table; each default returns the code that says the source
// does not offer the operation. Binning, bin size and lost count are the same
// for every source and are not virtual.
#pragma once

#include <array>
#include <concepts>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/out_of_memory.h"
#include "common/status.h"
#include "io/data_buffer.h"
#include "source/source_line.h"

namespace sondrix {

class ClockFit;
class DataFile;
class DPort;

// Per-trace arrays hold this many entries.
inline constexpr int kMaxTraces = 256;
// Kind code of each trace (0 none; bit 2 absorption, bit 4 attenuation).
using TraceMap = std::array<std::int32_t, kMaxTraces>;
using ConfigInfo = std::array<std::int32_t, 16>;

// Trace-map kinds the meters store.
inline constexpr std::int32_t kTraceA = 3;
inline constexpr std::int32_t kTraceC = 5;

template <class Base>
class MadeWithConfig;

// Proof of construction through Base::New, which alone can make one: a
// meter or a data file never exists without its configuration.
template <class Base>
class ConstructionToken {
  friend class MadeWithConfig<Base>;
  ConstructionToken() = default;
};

// The two steps that make a meter or a data file of class T: the object,
// then its configuration through its virtual NewConfig (which no base
// constructor could reach). Null without memory or when the configuration
// cannot be made.
template <class T, class... Args>
std::unique_ptr<T> NewWithConfig(Args&&... args) {
  std::unique_ptr<T> made;
  if (CatchOutOfMemory([&] { made = std::make_unique<T>(std::forward<Args>(args)...); }) != status::kOk) {
    return nullptr;
  }
  if (made->NewConfig() != status::kOk || !made->config()) return nullptr;
  return made;
}

// What a class of sources made with their configuration derives from
// (Meter, MeterFile): its constructors take a Token, which Base::New alone
// makes.
template <class Base>
class MadeWithConfig {
 protected:
  using Token = ConstructionToken<Base>;

 public:
  // Creates an object of class T and its configuration; null without memory
  // or when the configuration cannot be created.
  template <std::derived_from<Base> T>
  static std::unique_ptr<T> New(std::string_view filename, std::string_view portname) {
    return NewWithConfig<T>(Token{}, filename, portname);
  }
};

class Source {
 public:
  Source(std::string_view filename, std::string_view portname);
  Source(const Source&) = delete;
  Source& operator=(const Source&) = delete;

  virtual ~Source();                                                      // 0 Dispose
  virtual int CanRead();                                                  // 1
  virtual int MustRead();                                                 // 2
  // Creates the data file that records this source into `filename`.
  virtual Status NewDataFile(std::unique_ptr<DataFile>& out,              // 3
                             std::string_view filename);
  virtual int GetTraceCount();                                            // 4
  virtual int GetInTraceCount();                                          // 5
  virtual int GetPortType();                                              // 6
  virtual Status GetHeading(int trace, std::string& heading);             // 7
  virtual Status GetColors(std::span<int> colors);                        // 8
  virtual Status GetWavelengths(std::span<double> wavelengths);           // 9
  virtual Status Open();                                                  // 10
  virtual Status Close();                                                 // 11
  virtual Status Save();                                                  // 12
  virtual Status SaveRaw();                                               // 13
  virtual Status Reset();                                                 // 14
  virtual Status WriteConfig(std::FILE* file);                            // 15
  virtual Status ReadConfig(std::FILE* file);                             // 16
  virtual Status EditConfig(int& changed);                                // 17
  virtual Status SaveConfig();                                            // 18
  virtual int DataAvailable();                                            // 19
  virtual int BufNearFull();                                              // 20
  virtual Status ReadData(SourceLine& line);                              // 21
  virtual Status ReadUnCorrData(SourceLine& line);                        // 22
  virtual int GetSamplesPerRec();                                         // 23
  virtual Status SetOrigBinsize(int binsize);                             // 24
  virtual int GetOrigBinsize();                                           // 25
  virtual Status GetDate(std::string& date, std::string& time);           // 26
  virtual std::uint32_t GetSerialnum();                                   // 27
  virtual double GetSampleRate();                                         // 28
  virtual int HasDepth();                                                 // 29
  virtual double GetDepth();                                              // 30
  virtual Status GetID(std::string& id);                                  // 31
  // The 16-bit device type of a configuration file (a negative status in
  // 16 bits when it cannot be read); fills the identification text.
  virtual std::int16_t GetDevType(std::string_view configFile, std::string& idText);  // 32
  virtual int GetTraceMap(TraceMap& map);                                 // 33
  virtual Status GetConfigInfo(ConfigInfo& info);                         // 34
  virtual Status PromptForDescr(std::string& filename, std::string* portname);  // 35
  Status GetFilename(std::string& out) const;                             // 36
  Status GetPortname(std::string& out) const;                             // 37
  // The port, borrowed (null when the source has none).
  virtual Status GetPort(DPort*& port);                                   // 38
  // Binds a port; the source takes it only when it returns 1.
  virtual Status SetPort(std::unique_ptr<DPort>&& port);                  // 39
  Status GetTemp(std::string& temperature, std::string& extTemperature) const;  // 40
  virtual int HasExtTemp();                                               // 41
  virtual int GetStatus();                                                // 42
  int GetLostCount() const;                                               // 43
  int GetBinsize() const;                                                 // 44
  Status SetBinsize(int binsize);                                         // 45
  Status Read(SourceLine& out);                                           // 46
  virtual Status Diagnostics();                                           // 47
  virtual int HasDiagnostics();                                           // 48
  // What the instrument's stream showed since the last Reset beyond lost
  // lines: a restarted clock, a change of spacing, repeated packets (none
  // for a data file).
  virtual StreamEvents GetStreamEvents();
  // How far a replay has come through its stored file (a data file, or the
  // raw capture under a meter): the share of the file's bytes read, 0 ... 1.
  // -1 for a source that reads no stored file: a live instrument, whose
  // lines take their time to come. By default the port's.
  virtual double GetReplayFraction();
  // A live instrument whose line went away (unplugged, hung up). Reopen
  // opens its port again: the same device at the configured rate; 1, or
  // the port's failure (-7 while the device is still away). Resync then,
  // once packets are arriving, finds them again: 1; -1022 while too few
  // bytes have come to look; -1030 when they carry another serial number
  // than the run's instrument (the run must end; nothing of them is read);
  // port errors. The samples missed in between come out as lost lines,
  // counted by the instrument's counter. -1029 from a source without a
  // line that could come back.
  virtual Status Reopen();
  virtual Status Resync();
  // Throws away what a live instrument sent before now, unread (the
  // samples of a packet begun, the decoder's bytes, the line's queue): what
  // is read next was measured after the user asked for it. A stored file
  // goes on where it is. 1, or the port's failure.
  virtual Status DiscardInput();
  // The map of a live instrument's counter to UTC, fitted from its
  // packets' arrivals (io/clock_map.h); null for a source whose lines
  // carry no instrument counter.
  virtual ClockFit* GetClock();

  const std::string& filename() const { return filename_; }
  const std::string& portname() const { return portname_; }

 protected:
  // Starts a new, empty bin (temperatures at -100, "none yet").
  Status InitBin();

 private:
  std::string filename_;
  std::string portname_;
  int binsize_ = 1;
  int binFill_ = 0;
  std::unique_ptr<SourceLine> binAccum_;
  std::unique_ptr<SourceLine> binScratch_;
  int lostCount_ = 0;
  // Temperatures of the last completed bin; -100 (none yet) after InitBin.
  double binTemperature_ = -100.0;
  double binExtTemperature_ = -100.0;
};

// What a run's summary says of the stream's events, one sentence each
// (nothing when there were none).
std::vector<std::string> DescribeStreamEvents(const StreamEvents& events);

// GetID of a source that cannot tell: "NoCanDo" and the class's own `code`.
Status NoID(std::string& id, Status code);

}  // namespace sondrix
