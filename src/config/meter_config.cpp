// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/meter_config.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <memory>
#include <span>

#include "common/out_of_memory.h"
#include "common/errors.h"
#include "common/panels.h"
#include "common/utils.h"
#include "config/calibration.h"
#include "config/config_text.h"
#include "config/editor_fields.h"
#include "common/c_locale.h"
#include "io/bin_buffer.h"
#include "io/dport.h"
#include "platform/ui.h"
#include "source/factories.h"
#include "source/source.h"
#include "source/source_wait.h"
#include "source/source_line.h"

namespace sondrix {
namespace {

constexpr std::string_view kWrongTraceCount = "Trace count is wrong for device type";

// A bin temperature: finite, and not of the scale below the normal doubles,
// where the width of a bin would vanish in the interpolation.
bool ReadBinTemperature(std::FILE* file, double& value) {
  double read = 0.0;
  if (!ReadFinite(file, read) || std::fpclassify(read) == FP_SUBNORMAL) return false;
  value = read;
  return true;
}

std::int32_t ClampToInt32(long value) {
  return static_cast<std::int32_t>(std::clamp<long>(value, INT32_MIN, INT32_MAX));
}

bool NameStartsWith(const TraceCal& trace, char letter) {
  return !trace.name.empty() && trace.name.front() == letter;
}

// Whether a measured trace takes part in an A and/or C operation.
bool Selected(const TraceCal& trace, bool doA, bool doC) {
  return (doA && NameStartsWith(trace, 'a')) || (doC && NameStartsWith(trace, 'c'));
}

}  // namespace

MeterConfig::MeterConfig(int traceCount, int inTraceCount) : TraceConfig(traceCount, inTraceCount) {}

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
    WriteLimitsLine(file, limits, kLimitsLine);
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
  if (CatchOutOfMemory([&] { traces.assign(static_cast<std::size_t>(traceCount), TraceCal{}); }) != status::kOk) {
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
    limits = {};
    auxCapabilities = 0;
  } else {
    if (!ReadLimitsLine(file, limits, kLimitsLine)) return fail(status::kConfigTraceInfo);
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
  // Copies (a data file's header, the editor's working copy) keep the
  // capabilities word, so that writing a copy loses nothing.
  return CopyShared<MeterConfig>(to, [this](MeterConfig& copy) { copy.auxCapabilities = auxCapabilities; });
}

// The capabilities word and the temperature corrections of the bins are
// not compared.
int MeterConfig::CompConfig(const Config& other) const {
  const MeterConfig* b = SameShared<MeterConfig>(other);
  if (b == nullptr) return 0;
  for (std::size_t i = 0; i < traces.size(); ++i) {
    const TraceCal& x = traces[i];
    const TraceCal& y = b->traces[i];
    if (x.name != y.name || !Near(x.offset, y.offset) || !Near(x.refTemp, y.refTemp) ||
        !Near(x.tempSlope, y.tempSlope) || x.color != y.color) {
      return 0;
    }
  }
  return 1;
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
  const std::size_t measured = static_cast<std::size_t>(std::max(
      0, std::min({config.inTraceCount, valueCount, static_cast<int>(config.traces.size())})));
  std::vector<double> sums(measured, 0.0);
  CalibrationWater water;
  const Status result = SumUnCorrSamples(device, sampleCount, sums, &water);
  if (result == status::kOk) {
    config.calibrationWater = water;
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

  // A packet that failed its length or checksum test keeps the previous
  // packet's reference block: its depth is not taken again.
  double sum = 0.0;
  const Status result = SumPacketDepths(
      *decoder, PortInputs(port), sampleCount, config.depthScale,
      [](const RefBlock& refs, const DataSample& first) {
        return refs.status == 1 && first.status == 1;
      },
      sum);
  if (result == status::kOk) config.depthOffset = -(sum / sampleCount);
  return result;
}

// --- The editor ------------------------------------------------------------------------

namespace {

namespace pn = panels;

constexpr TraceEditorIds kEditorIds = {
    .common = {pn::kMcName, pn::kMcBaud, pn::kMcPathLength, pn::kMcDepthOffset, pn::kMcDepthScale, pn::kMcDevType,
               pn::kMcSerial},
    .traceList = pn::kMcTraceList, .traceName = pn::kMcTraceName, .color = pn::kMcColor,
    .preview = pn::kMcPreview, .ok = pn::kMcOk, .cancel = pn::kMcCancel};

class ConfigEditor final : public TraceEditor {
 public:
  ConfigEditor(MeterConfig& copy, Source& device, int panel)
      : TraceEditor(copy, panel, kEditorIds), copy_(copy), device_(device) {}

  void Fill();

 private:
  int Count() const override { return static_cast<int>(copy_.traces.size()); }
  void ShowTrace(int index) override;
  void StoreShownTrace() override;
  int ShownColor() const override { return Trace(shown_).color; }
  void Command(int control) override;
  bool Accept() override;

  TraceCal& Trace(int index) const { return copy_.traces[static_cast<std::size_t>(index)]; }
  bool Version0() const { return copy_.version < 1; }
  void ShowOffset();
  void ZeroOffsets();
  void Calibrate();
  void DepthCalibrate();

  MeterConfig& copy_;
  Source& device_;
};

void ConfigEditor::Fill() {
  FillList([this](int i) { return Trace(i).name; });
  const int visible = Version0() ? 1 : 0;
  ui().SetCtrlAttribute(panel_, pn::kMcRefTemp, platform::Attr::Visible, visible);
  ui().SetCtrlAttribute(panel_, pn::kMcTempSlope, platform::Attr::Visible, visible);
  Select(0);
}

void ConfigEditor::ShowTrace(int index) {
  if (index < 0 || index >= Count()) return;
  shown_ = index;
  const TraceCal& trace = Trace(index);
  ui().SetCtrlVal(panel_, pn::kMcOffset, trace.offset);
  if (Version0()) {
    ui().SetCtrlVal(panel_, pn::kMcRefTemp, trace.refTemp);
    ui().SetCtrlVal(panel_, pn::kMcTempSlope, trace.tempSlope);
  }
  ShowNameAndColor(trace.name, trace.color);
}

void ConfigEditor::StoreShownTrace() {
  if (!Shown()) return;
  TraceCal& trace = Trace(shown_);
  TakeName(trace.name, trace.wavelength, TraceCal::kNameMax);
  trace.offset = ui().GetCtrlDouble(panel_, pn::kMcOffset);
  TakeColor(trace.color);
  if (Version0()) {
    trace.refTemp = ui().GetCtrlDouble(panel_, pn::kMcRefTemp);
    trace.tempSlope = ui().GetCtrlDouble(panel_, pn::kMcTempSlope);
  }
}

void ConfigEditor::ShowOffset() {
  if (Shown()) ui().SetCtrlVal(panel_, pn::kMcOffset, Trace(shown_).offset);
}

void ConfigEditor::Command(int control) {
  if (control == pn::kMcZero) ZeroOffsets();
  if (control == pn::kMcCalibrate) Calibrate();
  if (control == pn::kMcDepthCal) DepthCalibrate();
}

void ConfigEditor::ZeroOffsets() {
  const bool doA = ui().GetCtrlInt(panel_, pn::kMcZeroA) != 0;
  const bool doC = ui().GetCtrlInt(panel_, pn::kMcZeroC) != 0;
  const int measured = std::min(copy_.inTraceCount, Count());
  for (int i = 0; i < measured; ++i) {
    if (Selected(Trace(i), doA, doC)) Trace(i).offset = 0.0;
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
  int samplesPerRec = 0;
  Status result = CalibrationPort(device_, port, samplesPerRec);
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
  int samplesPerRec = 0;
  Status result = CalibrationPort(device_, port, samplesPerRec);
  if (result == status::kOk) {
    result = MeterConfig_DepthCalibrate(device_, copy_, samplesPerRec, *port, kDepthSamples);
  }
  ui().SetCtrlVal(panel_, pn::kMcDepthOffset, copy_.depthOffset);
  ui().SetMouseCursor(platform::Cursor::Default);
  if (result != status::kOk) Error_Report(result);
}

bool ConfigEditor::Accept() {
  if (!TakeCommon()) return false;
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

}  // namespace

Status MeterConfig::EditConfig(Source& device, int& changed) {
  return EditConfigWith<MeterConfig, ConfigEditor>(*this, device, panels::kMeterConfig, changed);
}

TempCorrection::TempCorrection(const MeterConfig& config, double temperature)
    : linear_(config.version < 1),
      temperature_(temperature),
      bins_(config.tempBins, linear_ ? 0 : config.tempBinCount, temperature) {}

double TempCorrection::Term(const TraceCal& cal) const {
  if (linear_) return cal.tempSlope * (temperature_ - cal.refTemp);
  return -bins_.At(cal.tempCorr);
}

}  // namespace sondrix
