#include "config/meter_config.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <memory>
#include <new>
#include <span>

#include "common/errors.h"
#include "common/panels.h"
#include "common/utils.h"
#include "common/c_locale.h"
#include "io/bin_buffer.h"
#include "io/dport.h"
#include "platform/clock.h"
#include "platform/ui.h"
#include "source/factories.h"
#include "source/source.h"
#include "source/source_line.h"

namespace sondrix {
namespace {

constexpr double kTolerance = 1e-10;
// Colour words are kept to this many characters (names and numbers are far
// shorter); the rest of an overlong word is skipped.
constexpr std::size_t kColorWordMax = 63;
// "Black": what a colour word that is neither a name nor a number gives.
constexpr int kBlack = 254;

// Unrecognised samples (or packets) tolerated during a calibration; one more
// ends it with -1000.
constexpr int kMaxUnrecognised = 5;
// A calibration waiting for data gives up after this long without any
// (the serial line's own time-out), and waits this long between polls so
// that the wait does not burn a core.
constexpr double kNoDataTimeout = 10.0;
constexpr double kPollDelay = 0.002;
constexpr double kSecondsPerDay = 86400.0;

// Samples the editor's depth zeroing averages.
constexpr int kDepthSamples = 5;

constexpr std::string_view kCalibrationMessage = "\n   Reading data from meter...\n   Sample";
// The wait message holds at most this many characters.
constexpr std::size_t kMessageMax = 1023;

constexpr std::string_view kWrongTraceCount = "Trace count is wrong for device type";

// The colour preview's fixed curve.
constexpr double kPreviewCurve[] = {30, 40, 20, 45, 40, 54, 35, 45, 20, 50};

bool IsSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// One blank-separated word, the way "%s" reads it: leading white space
// (line ends included) is skipped, the word ends before white space or at
// the end of the file. At most `keep` characters are kept; the rest of the
// word is read and dropped. False when no word is left.
bool ReadWord(std::FILE* file, std::size_t keep, std::string& word) {
  word.clear();
  int c;
  do {
    c = std::getc(file);
  } while (c != EOF && IsSpace(c));
  if (c == EOF) return false;
  while (c != EOF && !IsSpace(c)) {
    if (word.size() < keep) word.push_back(static_cast<char>(c));
    c = std::getc(file);
  }
  if (c != EOF) std::ungetc(c, file);
  return true;
}

// A bin temperature: finite, and not of the scale below the normal doubles,
// where the width of a bin would vanish in the interpolation.
bool ReadBinTemperature(std::FILE* file, double& value) {
  double read = 0.0;
  if (!ReadFinite(file, read) || std::fpclassify(read) == FP_SUBNORMAL) return false;
  value = read;
  return true;
}

// The wavelength a trace name carries after its first character ("c676.5"
// is 676.5 nm); 0 when there is none.
double WavelengthFromName(const std::string& name) {
  char first[2] = {};
  double wavelength = 0.0;
  if (std::sscanf(name.c_str(), "%1s%lf", first, &wavelength) != 2) return 0.0;
  return wavelength;
}

// The palette index of a colour word: "default" follows the wavelength, a
// colour name or a number is taken as it is; anything else (and a number
// outside the palette) is black.
int ResolveColor(const std::string& word, double wavelength) {
  if (stricmp(word, "default") == 0) return WavelengthColor(wavelength);
  const int number = ColorNum(word);
  if (number < 0 || number >= kPaletteSize) return kBlack;
  return number;
}

std::int32_t ClampToInt32(long value) {
  return static_cast<std::int32_t>(std::clamp<long>(value, INT32_MIN, INT32_MAX));
}

// Seconds since `start` on the platform timer, which restarts at midnight.
double Elapsed(double start) {
  double now = platform::Timer();
  if (now < start) now += kSecondsPerDay;
  return now - start;
}

// Repeats `read` while it says that no data are there yet (-1022), for at
// most kNoDataTimeout seconds; then -1003.
template <typename Read>
Status ReadWaiting(Read read) {
  Status result = read();
  if (result != status::kNoData) return result;
  const double start = platform::Timer();
  while (result == status::kNoData) {
    if (Elapsed(start) > kNoDataTimeout) return status::kTimedOut;
    platform::Delay(kPollDelay);
    result = read();
  }
  return result;
}

class WaitMessage {
 public:
  explicit WaitMessage(std::string_view text) { Message_Show(text); }
  ~WaitMessage() { Message_Hide(); }
  WaitMessage(const WaitMessage&) = delete;
  WaitMessage& operator=(const WaitMessage&) = delete;
};

bool NameStartsWith(const TraceCal& trace, char letter) {
  return !trace.name.empty() && trace.name.front() == letter;
}

// Whether a measured trace takes part in an A and/or C operation.
bool Selected(const TraceCal& trace, bool doA, bool doC) {
  return (doA && NameStartsWith(trace, 'a')) || (doC && NameStartsWith(trace, 'c'));
}

// A trace name as the file can hold it: one word of at most 15 characters.
std::string CleanTraceName(const std::string& text) {
  std::string name;
  for (char c : text) {
    if (static_cast<unsigned char>(c) <= ' ') {
      if (!name.empty()) break;
      continue;
    }
    if (name.size() < TraceCal::kNameMax) name.push_back(c);
  }
  return name;
}

// A device name as the file's first line holds it: no control characters,
// at most 63 characters, no trailing blanks.
std::string CleanDeviceName(const std::string& text) {
  std::string name;
  for (char c : text) {
    if (static_cast<unsigned char>(c) < ' ') continue;
    if (name.size() == Config::kNameMax) break;
    name.push_back(c);
  }
  while (!name.empty() && static_cast<unsigned char>(name.back()) <= ' ') name.pop_back();
  return name;
}

}  // namespace

MeterConfig::MeterConfig(int traceCount, int inTraceCount) : Config(traceCount, inTraceCount) {}

MeterConfig::~MeterConfig() = default;

// --- The file ----------------------------------------------------------------------

Status MeterConfig::WriteConfig(std::FILE* file) const {
  if (file == nullptr) return status::kCantWriteConfig;
  Config::WriteConfig(file);
  const ScopedCLocale cLocale;
  const int bins = std::clamp(static_cast<int>(tempBinCount), 0, kMaxTempBins);

  if (version < 1) {
    for (const TraceCal& trace : traces) {
      std::fprintf(file, "%s\t%s\t%.5lf\t%.5lf\t%.5lf\n", trace.name.c_str(),
                   ColorName(trace.color).c_str(), trace.offset, trace.refTemp, trace.tempSlope);
    }
  } else {
    std::fprintf(file, "%d\t\t\t; number of temperature calibration bins\n", bins);
    std::fprintf(file, "\t\t\t\t");
    for (int k = 0; k < bins; ++k) std::fprintf(file, "%.5lf\t", tempBins[k]);
    std::fprintf(file, "; temperature bins\n");
    for (const TraceCal& trace : traces) {
      std::fprintf(file, "%s\t%s\t%.5lf\t\t", trace.name.c_str(), ColorName(trace.color).c_str(),
                   trace.offset);
      for (int k = 0; k < bins; ++k) std::fprintf(file, "%.5lf\t", trace.tempCorr[k]);
      std::fprintf(file, "\t; offset and temperature correction info\n");
    }
  }

  if (version >= 2) {
    std::fprintf(file, "%lf\t%lf\t%lf\t%lf\t%lf\t%lf\t%lf\t%lf\t%lf", maxANoise, maxCNoise,
                 maxADifference, maxCDifference, minACounts, minCCounts, minRCounts, maxTempSdev,
                 maxDepthSdev);
    std::fprintf(file,
                 "\t; maxANoise\tmaxCNoise\tmaxADifference\tmaxCDifference\tminACounts"
                 "\tminCCounts\tminRCounts\tmaxTempSdev\tmaxDepthSdev\n");
    std::fprintf(file, "%d\t\t\t; auxilliary capabilities\n", static_cast<int>(auxCapabilities));
  }
  return std::ferror(file) ? status::kCantWriteConfig : status::kOk;
}

Status MeterConfig::ReadConfig(std::FILE* file) {
  traces.clear();
  const Status header = Config::ReadConfig(file);
  if (header != status::kOk) return header;
  // The trace count comes from the device type; per-trace arrays hold at
  // most kMaxTraces entries.
  if (traceCount < 0 || traceCount > kMaxTraces) return status::kBadDeviceType;

  const ScopedCLocale cLocale;
  try {
    traces.assign(static_cast<std::size_t>(traceCount), TraceCal{});
  } catch (const std::bad_alloc&) {
    return status::kOutOfMemory;
  }
  auto fail = [this](Status code) {
    traces.clear();
    return code;
  };

  if (version >= 1) {
    long bins = 0;
    if (!ReadWhole(file, bins) || bins < 0 || bins > kMaxTempBins) {
      return fail(status::kConfigTempBinCount);
    }
    tempBinCount = static_cast<std::int32_t>(bins);
    ignore(file, 512, '\n');
    for (int k = 0; k < tempBinCount; ++k) {
      if (!ReadBinTemperature(file, tempBins[k])) return fail(status::kConfigTempBins);
    }
    ignore(file, 512, '\n');
  } else {
    tempBinCount = 0;
  }

  std::string colorWord;
  for (TraceCal& trace : traces) {
    trace.offset = 0.0;
    trace.refTemp = 0.0;
    trace.tempSlope = 0.0;
    bool ok = ReadWord(file, TraceCal::kNameMax, trace.name) &&
              ReadWord(file, kColorWordMax, colorWord) && ReadFinite(file, trace.offset);
    if (version < 1) {
      ok = ok && ReadFinite(file, trace.refTemp) && ReadFinite(file, trace.tempSlope);
    } else {
      for (int k = 0; ok && k < tempBinCount; ++k) ok = ReadFinite(file, trace.tempCorr[k]);
    }
    // A NUL byte ends the name, as it ends the word the writer puts out; a
    // trace left without a name could not be written readably.
    if (const std::size_t nul = trace.name.find('\0'); nul != std::string::npos) {
      trace.name.resize(nul);
    }
    if (!ok || trace.name.empty()) return fail(status::kConfigTraceInfo);
    trace.wavelength = WavelengthFromName(trace.name);
    trace.color = ResolveColor(colorWord, trace.wavelength);
    ignore(file, 512, '\n');
  }

  if (version < 2) {
    maxANoise = maxCNoise = maxADifference = maxCDifference = 0.0;
    minACounts = minCCounts = minRCounts = maxTempSdev = maxDepthSdev = 0.0;
    auxCapabilities = 0;
  } else {
    double* const limits[] = {&maxANoise,  &maxCNoise,  &maxADifference,
                              &maxCDifference, &minACounts, &minCCounts,
                              &minRCounts, &maxTempSdev, &maxDepthSdev};
    for (double* limit : limits) {
      if (!ReadFinite(file, *limit)) return fail(status::kConfigTraceInfo);
    }
    ignore(file, 512, '\n');
    long aux = 0;
    auxCapabilities = std::fscanf(file, "%ld", &aux) == 1 ? ClampToInt32(aux) : 0;
    ignore(file, 512, '\n');
  }

  if (std::ferror(file) && !std::feof(file)) return fail(status::kConfigPrematureEof);
  return status::kOk;
}

// --- Copying, comparing, what the displays ask ---------------------------------------

Status MeterConfig::CopyConfig(Config& to) const {
  Config::CopyConfig(to);
  auto* meter = dynamic_cast<MeterConfig*>(&to);
  if (meter == nullptr) return status::kOk;
  try {
    meter->traces = traces;
  } catch (const std::bad_alloc&) {
    meter->traces.clear();
    return status::kOutOfMemory;
  }
  meter->tempBinCount = tempBinCount;
  meter->tempBins = tempBins;
  meter->maxANoise = maxANoise;
  meter->maxCNoise = maxCNoise;
  meter->maxADifference = maxADifference;
  meter->maxCDifference = maxCDifference;
  meter->minACounts = minACounts;
  meter->minCCounts = minCCounts;
  meter->minRCounts = minRCounts;
  meter->maxTempSdev = maxTempSdev;
  meter->maxDepthSdev = maxDepthSdev;
  // Copies (a data file's header, the editor's working copy) keep the
  // capabilities word, so that writing a copy loses nothing.
  meter->auxCapabilities = auxCapabilities;
  return status::kOk;
}

int MeterConfig::CompConfig(const Config& other) const {
  const auto* b = dynamic_cast<const MeterConfig*>(&other);
  if (b == nullptr || !Config::CompConfig(other)) return 0;
  auto close = [](double x, double y) { return std::fabs(x - y) <= kTolerance; };

  if (tempBinCount != b->tempBinCount) return 0;
  const int bins = std::clamp(static_cast<int>(tempBinCount), 0, kMaxTempBins);
  for (int k = 0; k < bins; ++k) {
    if (!close(tempBins[k], b->tempBins[k])) return 0;
  }
  if (!close(maxANoise, b->maxANoise) || !close(maxCNoise, b->maxCNoise) ||
      !close(maxADifference, b->maxADifference) || !close(maxCDifference, b->maxCDifference) ||
      !close(minACounts, b->minACounts) || !close(minCCounts, b->minCCounts) ||
      !close(minRCounts, b->minRCounts) || !close(maxTempSdev, b->maxTempSdev) ||
      !close(maxDepthSdev, b->maxDepthSdev)) {
    return 0;
  }
  if (traces.size() != b->traces.size()) return 0;
  for (std::size_t i = 0; i < traces.size(); ++i) {
    const TraceCal& x = traces[i];
    const TraceCal& y = b->traces[i];
    if (x.name != y.name || !close(x.offset, y.offset) || !close(x.refTemp, y.refTemp) ||
        !close(x.tempSlope, y.tempSlope) || x.color != y.color) {
      return 0;
    }
  }
  return 1;
}

Status MeterConfig::GetColors(std::span<int> colors) const {
  const std::size_t n = std::min(colors.size(), traces.size());
  for (std::size_t i = 0; i < n; ++i) colors[i] = traces[i].color;
  return status::kOk;
}

Status MeterConfig::GetWavelengths(std::span<double> wavelengths) const {
  const std::size_t n = std::min(wavelengths.size(), traces.size());
  for (std::size_t i = 0; i < n; ++i) wavelengths[i] = traces[i].wavelength;
  return status::kOk;
}

Status MeterConfig::GetHeading(int index, std::string& heading) const {
  if (index < 0 || index >= traceCount || static_cast<std::size_t>(index) >= traces.size()) {
    heading = "unknown";
    return status::kNoSuchHeading;
  }
  heading = traces[static_cast<std::size_t>(index)].name;
  return status::kOk;
}

// --- Calibrations ----------------------------------------------------------------------

Status MeterConfig_Calibrate(Source& device, MeterConfig& config, int /*samplesPerRec*/,
                             DPort& /*port*/, int sampleCount, bool doA, bool doC) {
  if (sampleCount < 1) return status::kBadArgument;
  const int valueCount = device.GetTraceCount();
  if (valueCount < 0) return valueCount;
  std::unique_ptr<SourceLine> line = SourceLine_New(valueCount);
  if (!line) return status::kOutOfMemory;

  const std::size_t measured = static_cast<std::size_t>(std::max(
      0, std::min({config.inTraceCount, valueCount, static_cast<int>(config.traces.size())})));
  std::vector<double> sums(measured, 0.0);

  const WaitMessage message(kCalibrationMessage);
  std::string text(kCalibrationMessage);
  Status result = status::kOk;
  int unrecognised = 0;
  int good = 0;
  while (good < sampleCount) {
    std::string number = (good == 0 ? " " : ", ") + std::to_string(good + 1);
    if (text.size() + number.size() > kMessageMax) {
      text = std::string(kCalibrationMessage) + " ...";
    }
    text += number;
    Message_Update(text);

    // A lost sample is not averaged: it is counted, and another one is
    // read in its place.
    for (;;) {
      result = ReadWaiting([&] { return device.ReadUnCorrData(*line); });
      if (result != status::kOk || line->status != status::kLostLine) break;
      if (++unrecognised > kMaxUnrecognised) {
        result = status::kUnrecognisedData;
        break;
      }
    }
    if (result != status::kOk) break;
    for (std::size_t i = 0; i < measured; ++i) sums[i] += line->values[i];
    ++good;
  }

  if (result == status::kOk) {
    for (std::size_t i = 0; i < measured; ++i) {
      TraceCal& trace = config.traces[i];
      if (Selected(trace, doA, doC)) trace.offset = -(sums[i] / sampleCount);
    }
  }
  return result;
}

Status MeterConfig_DepthCalibrate(Source& device, MeterConfig& config, int samplesPerRec,
                                  DPort& port, int sampleCount) {
  (void)device;
  if (sampleCount < 1) return status::kBadArgument;
  std::unique_ptr<BinBuffer> decoder;
  const Status created = BinBuffer::New(decoder, port, config.inTraceCount, samplesPerRec);
  if (created != status::kOk) return created;
  if (!decoder) return status::kOutOfMemory;

  double sum = 0.0;
  int good = 0;
  int unrecognised = 0;
  Status result = status::kOk;
  while (good < sampleCount) {
    int last = 0;
    result = ReadWaiting([&] { return decoder->ReadRecord(last); });
    if (result != status::kOk) break;
    // A packet that failed its length or checksum test keeps the previous
    // packet's reference block: its depth is not taken again.
    const RefBlock* refs = decoder->GetRefp();
    const DataSample* first = decoder->GetDatap(0);
    if (refs != nullptr && refs->status == 1 && first != nullptr && first->status == 1) {
      sum += config.depthScale * refs->pressure;
      ++good;
    } else if (++unrecognised > kMaxUnrecognised) {
      result = status::kUnrecognisedData;
      break;
    }
  }
  if (result == status::kOk) config.depthOffset = -(sum / sampleCount);
  return result;
}

// --- The editor ------------------------------------------------------------------------

namespace {

namespace pn = panels;

class ConfigEditor {
 public:
  ConfigEditor(MeterConfig& copy, Source& device, int panel)
      : copy_(copy), device_(device), panel_(panel) {}

  void Fill();
  // Runs the dialog; true when the user accepted.
  bool Run();

 private:
  platform::Ui& ui() { return platform::ui(); }
  int TraceCount() const { return static_cast<int>(copy_.traces.size()); }
  bool Version0() const { return copy_.version < 1; }

  void ShowTrace(int index);
  void StoreShownTrace();
  void ShowOffset();
  void Preview(int color);
  void ZeroOffsets();
  void Calibrate();
  void DepthCalibrate();
  bool Accept();

  MeterConfig& copy_;
  Source& device_;
  int panel_;
  int shown_ = -1;
};

void ConfigEditor::Fill() {
  ui().ClearListCtrl(panel_, pn::kMcTraceList);
  for (int i = 0; i < TraceCount(); ++i) {
    ui().InsertListItem(panel_, pn::kMcTraceList, -1, copy_.traces[i].name, i);
  }
  ui().SetCtrlVal(panel_, pn::kMcName, copy_.name);
  ui().SetCtrlVal(panel_, pn::kMcBaud, static_cast<int>(copy_.baudRate));
  ui().SetCtrlVal(panel_, pn::kMcPathLength, copy_.pathLength);
  ui().SetCtrlVal(panel_, pn::kMcDepthOffset, copy_.depthOffset);
  ui().SetCtrlVal(panel_, pn::kMcDepthScale, copy_.depthScale);
  ui().SetCtrlVal(panel_, pn::kMcDevType, copy_.deviceType());
  ui().SetCtrlVal(panel_, pn::kMcSerial, static_cast<int>(copy_.serialnum & 0xFFFFu));
  const int visible = Version0() ? 1 : 0;
  ui().SetCtrlAttribute(panel_, pn::kMcRefTemp, platform::Attr::Visible, visible);
  ui().SetCtrlAttribute(panel_, pn::kMcTempSlope, platform::Attr::Visible, visible);
  if (TraceCount() > 0) {
    ui().SetCtrlIndex(panel_, pn::kMcTraceList, 0);
    ShowTrace(0);
  }
}

void ConfigEditor::ShowTrace(int index) {
  if (index < 0 || index >= TraceCount()) return;
  shown_ = index;
  const TraceCal& trace = copy_.traces[static_cast<std::size_t>(index)];
  ui().SetCtrlVal(panel_, pn::kMcTraceName, trace.name);
  ui().SetCtrlVal(panel_, pn::kMcOffset, trace.offset);
  ui().SetCtrlVal(panel_, pn::kMcColor, static_cast<int>(VantorColorToRGB(trace.color)));
  if (Version0()) {
    ui().SetCtrlVal(panel_, pn::kMcRefTemp, trace.refTemp);
    ui().SetCtrlVal(panel_, pn::kMcTempSlope, trace.tempSlope);
  }
  Preview(trace.color);
}

void ConfigEditor::StoreShownTrace() {
  if (shown_ < 0 || shown_ >= TraceCount()) return;
  TraceCal& trace = copy_.traces[static_cast<std::size_t>(shown_)];

  const std::string name = CleanTraceName(ui().GetCtrlText(panel_, pn::kMcTraceName));
  if (name.empty()) {
    // A trace needs a name to be written; keep the old one.
    ui().SetCtrlVal(panel_, pn::kMcTraceName, trace.name);
  } else if (name != trace.name) {
    trace.name = name;
    trace.wavelength = WavelengthFromName(name);
    ui().ReplaceListItem(panel_, pn::kMcTraceList, shown_, name, shown_);
  }
  trace.offset = ui().GetCtrlDouble(panel_, pn::kMcOffset);
  // Palette entries may share an RGB value (black, light grey): only a
  // colour the user actually changed is converted back.
  const auto rgb = static_cast<std::uint32_t>(ui().GetCtrlInt(panel_, pn::kMcColor)) & 0xFFFFFFu;
  if (rgb != VantorColorToRGB(trace.color)) trace.color = RBGToVantorColor(rgb);
  if (Version0()) {
    trace.refTemp = ui().GetCtrlDouble(panel_, pn::kMcRefTemp);
    trace.tempSlope = ui().GetCtrlDouble(panel_, pn::kMcTempSlope);
  }
}

void ConfigEditor::ShowOffset() {
  if (shown_ < 0 || shown_ >= TraceCount()) return;
  ui().SetCtrlVal(panel_, pn::kMcOffset, copy_.traces[static_cast<std::size_t>(shown_)].offset);
}

void ConfigEditor::Preview(int color) {
  ui().ClearStripChart(panel_, pn::kMcPreview);
  ui().SetTraceAttribute(panel_, pn::kMcPreview, 0, platform::Attr::TraceColor,
                         static_cast<int>(VantorColorToRGB(color)));
  ui().PlotStripChart(panel_, pn::kMcPreview, kPreviewCurve, 1);
}

void ConfigEditor::ZeroOffsets() {
  const bool doA = ui().GetCtrlInt(panel_, pn::kMcZeroA) != 0;
  const bool doC = ui().GetCtrlInt(panel_, pn::kMcZeroC) != 0;
  const int measured = std::min(copy_.inTraceCount, TraceCount());
  for (int i = 0; i < measured; ++i) {
    TraceCal& trace = copy_.traces[static_cast<std::size_t>(i)];
    if (Selected(trace, doA, doC)) trace.offset = 0.0;
  }
  ShowOffset();
}

void ConfigEditor::Calibrate() {
  const int samples = ui().GetCtrlInt(panel_, pn::kMcCalSamples);
  const bool doA = ui().GetCtrlInt(panel_, pn::kMcCalA) != 0;
  const bool doC = ui().GetCtrlInt(panel_, pn::kMcCalC) != 0;
  if (!doA && !doC) return;

  ui().SetMouseCursor(platform::Cursor::HourGlass);
  DPort* port = nullptr;
  Status result = device_.GetPort(port);
  const int samplesPerRec = device_.GetSamplesPerRec();
  if (result == status::kOk && port == nullptr) result = status::kNotConnected;
  if (result == status::kOk && samplesPerRec < 0) result = samplesPerRec;
  if (result == status::kOk) {
    ui().RemovePopup(panel_);
    result = MeterConfig_Calibrate(device_, copy_, samplesPerRec, *port, samples, doA, doC);
    ui().InstallPopup(panel_);
  }
  ShowOffset();
  ui().SetMouseCursor(platform::Cursor::Default);
  if (result != status::kOk) Error_Report(result);
}

void ConfigEditor::DepthCalibrate() {
  ui().SetMouseCursor(platform::Cursor::HourGlass);
  copy_.depthScale = ui().GetCtrlDouble(panel_, pn::kMcDepthScale);
  DPort* port = nullptr;
  Status result = device_.GetPort(port);
  const int samplesPerRec = device_.GetSamplesPerRec();
  if (result == status::kOk && port == nullptr) result = status::kNotConnected;
  if (result == status::kOk && samplesPerRec < 0) result = samplesPerRec;
  if (result == status::kOk) {
    result = MeterConfig_DepthCalibrate(device_, copy_, samplesPerRec, *port, kDepthSamples);
  }
  ui().SetCtrlVal(panel_, pn::kMcDepthOffset, copy_.depthOffset);
  ui().SetMouseCursor(platform::Cursor::Default);
  if (result != status::kOk) Error_Report(result);
}

bool ConfigEditor::Accept() {
  // A file whose first line is empty cannot be read again: an emptied
  // device name keeps the old one.
  const std::string name = CleanDeviceName(ui().GetCtrlText(panel_, pn::kMcName));
  if (!name.empty()) copy_.name = name;
  ui().SetCtrlVal(panel_, pn::kMcName, copy_.name);
  copy_.baudRate = ui().GetCtrlInt(panel_, pn::kMcBaud);
  copy_.pathLength = ui().GetCtrlDouble(panel_, pn::kMcPathLength);
  copy_.depthOffset = ui().GetCtrlDouble(panel_, pn::kMcDepthOffset);
  copy_.depthScale = ui().GetCtrlDouble(panel_, pn::kMcDepthScale);
  const auto serial = static_cast<std::uint32_t>(ui().GetCtrlInt(panel_, pn::kMcSerial)) & 0xFFFFu;
  // The device type is shown only; bits 16-23, which the panel does not
  // show, are kept as they are.
  copy_.serialnum = (copy_.serialnum & 0xFFFF0000u) | serial;

  // A file with a baud rate outside the table could not be read again.
  if (!IsAcceptedBaudRate(copy_.baudRate)) {
    Error_Report(status::kInvalidBaudRate);
    return false;
  }
  const int expected = DeviceTraceCount(copy_.deviceType());
  if (expected < 0) {
    Error_Report(expected);
    return false;
  }
  if (copy_.traceCount != expected && copy_.inTraceCount != expected) {
    Error_Message(kWrongTraceCount);
    return false;
  }
  return true;
}

bool ConfigEditor::Run() {
  for (;;) {
    const platform::UserEvent event = ui().GetUserEvent(true);
    if (event.type == platform::EventType::None || event.panel != panel_) continue;

    StoreShownTrace();
    int selected = shown_;
    if (ui().GetCtrlIndex(panel_, pn::kMcTraceList, selected) >= 0 && selected != shown_) {
      ShowTrace(selected);
    }

    if (event.type == platform::EventType::Close) return false;
    if (event.type != platform::EventType::Commit) continue;
    switch (event.control) {
      case pn::kMcColor:
        if (shown_ >= 0) Preview(copy_.traces[static_cast<std::size_t>(shown_)].color);
        break;
      case pn::kMcZero:
        ZeroOffsets();
        break;
      case pn::kMcCalibrate:
        Calibrate();
        break;
      case pn::kMcDepthCal:
        DepthCalibrate();
        break;
      case pn::kMcOk:
        if (Accept()) return true;
        break;
      case pn::kMcCancel:
        return false;
      default:
        break;
    }
  }
}

}  // namespace

Status MeterConfig::EditConfig(Source& device, int& changed) {
  changed = 0;
  std::unique_ptr<MeterConfig> copy;
  try {
    copy = std::make_unique<MeterConfig>(traceCount, inTraceCount);
  } catch (const std::bad_alloc&) {
    return status::kOutOfMemory;
  }
  if (CopyConfig(*copy) != status::kOk) return status::kOutOfMemory;

  const int panel = platform::ui().LoadPanel(0, panels::kMeterConfig);
  if (panel < 0) return panel == status::kUiOutOfMemory ? status::kOutOfMemory : status::kPanelLoadFailed;

  ConfigEditor editor(*copy, device, panel);
  editor.Fill();
  platform::ui().InstallPopup(panel);
  const bool accepted = editor.Run();
  platform::ui().RemovePopup(panel);
  platform::ui().DiscardPanel(panel);

  if (!accepted) return status::kCancelled;
  changed = copy->CompConfig(*this) ? 0 : 1;
  return copy->CopyConfig(*this);
}

TempCorrection::TempCorrection(const MeterConfig& config, double temperature)
    : temperature_(temperature) {
  if (config.version < 1) {
    kind_ = Kind::Linear;
    return;
  }
  const int bins = std::clamp(config.tempBinCount, 0, kMaxTempBins);
  if (bins < 1) return;
  if (bins == 1) {
    // One bin says what the correction is at one temperature and nothing
    // about its slope: it applies as it stands.
    kind_ = Kind::Constant;
    return;
  }
  int k = 1;
  while (k < bins - 1 && temperature >= config.tempBins[static_cast<std::size_t>(k)]) ++k;
  const double lo = config.tempBins[static_cast<std::size_t>(k - 1)];
  const double hi = config.tempBins[static_cast<std::size_t>(k)];
  // Equal temperatures, or two so close that their distance vanishes in the
  // division, say nothing about the slope between them: no correction
  // rather than one that is not a number.
  const double fraction = (temperature - lo) / (hi - lo);
  if (hi == lo || !std::isfinite(fraction)) return;
  kind_ = Kind::Bins;
  k_ = static_cast<std::size_t>(k);
  fraction_ = fraction;
}

double TempCorrection::Term(const TraceCal& cal) const {
  switch (kind_) {
    case Kind::Linear:
      return cal.tempSlope * (temperature_ - cal.refTemp);
    case Kind::Constant:
      return -cal.tempCorr[0];
    case Kind::Bins: {
      const double below = cal.tempCorr[k_ - 1];
      return -(below + (cal.tempCorr[k_] - below) * fraction_);
    }
    case Kind::None:
      break;
  }
  return 0.0;
}

}  // namespace sondrix
