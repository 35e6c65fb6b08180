// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/benth_meter_config.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>

#include "common/out_of_memory.h"
#include "common/c_locale.h"
#include "common/errors.h"
#include "common/panels.h"
#include "common/utils.h"
#include "config/calibration.h"
#include "config/config_text.h"
#include "config/editor_fields.h"
#include "io/benth_buffer.h"
#include "io/dport.h"
#include "platform/ui.h"
#include "source/factories.h"
#include "source/source.h"
#include "source/source_wait.h"

namespace sondrix {
namespace {

// Palette entries of the spectrum that "default" spreads the wavelengths over.
constexpr int kSpectralColors = 124;
constexpr int kDarkerHalf = 128;

double WavelengthAfterFirst(const std::string& name) {
  double wavelength = 0.0;
  if (std::sscanf(name.c_str(), "%*1s%lf", &wavelength) != 1) return 0.0;
  return wavelength;
}

// A NUL byte ends a name, as it ends the word the writer puts out.
void CutAtNul(std::string& word) {
  if (const std::size_t nul = word.find('\0'); nul != std::string::npos) word.resize(nul);
}

}  // namespace

int BenthSpacingCode(int percent) {
  switch (percent) {
    case 50:
      return 2;
    case 33:
      return 3;
    case 25:
      return 4;
    default:
      return 1;
  }
}

bool BenthCalibrationInQuestion(int oldSkip, int newSkip) {
  return oldSkip > 0 && newSkip > 0 && newSkip % oldSkip != 0;
}

// The palette's darker half repeats its first half 128 entries on; colours
// that are already in it (or named colours beyond it) stay as they are.
int BenthAColor(int cColor) { return cColor + kDarkerHalf < kPaletteSize ? cColor + kDarkerHalf : cColor; }

void FillBenthTraceMap(int n, int skip, std::span<std::int32_t> map) {
  std::fill(map.begin(), map.end(), 0);
  n = std::clamp(n, 0, static_cast<int>(map.size()) / 2);
  if (skip < 1 || skip > kMaxBenthSkip) return;
  const auto half = static_cast<std::size_t>(n);
  for (std::size_t i = 0; i < half; i += static_cast<std::size_t>(skip)) {
    map[i] = kTraceC;
    map[half + i] = kTraceA;
  }
  if (skip == 3 && n > 0) {
    map[half - 1] = 0;
    map[2 * half - 1] = 0;
  }
}

BenthMeterConfig::BenthMeterConfig(int traceCount, int inTraceCount)
    : TraceConfig(traceCount, inTraceCount) {}

BenthMeterConfig::~BenthMeterConfig() = default;

int BenthMeterConfig::Wavelengths() const {
  const int n = std::clamp(static_cast<int>(inTraceCount), 0, kMaxBenthWavelengths);
  return std::min(n, static_cast<int>(traces.size()) / 2);
}

bool BenthMeterConfig::HoldsSkip(int value) const {
  return value >= 1 && value <= kMaxBenthSkip && (version < 3 || value == 1);
}

Status BenthMeterConfig::SaveCopyWithSkip(int value, std::string& path) const {
  if (!HoldsSkip(value)) return status::kBadArgument;
  std::unique_ptr<BenthMeterConfig> copy;
  if (const Status copied = CopyOf(*this, copy); copied != status::kOk) return copied;
  copy->skip = static_cast<std::int8_t>(value);
  return copy->SaveConfigAs("Save a copy of the configuration to file:", path);
}

// --- The file ------------------------------------------------------------------------

Status BenthMeterConfig::WriteConfig(std::FILE* file) const {
  if (file == nullptr) return status::kCantWriteConfig;
  // The header goes out as at least structure version 2.
  Config header(traceCount, inTraceCount);
  Config::CopyConfig(header);
  header.version = std::max(version, 2);
  header.Config::WriteConfig(file);

  const ScopedCLocale cLocale;
  const int n = Wavelengths();
  const int bins = std::clamp(static_cast<int>(tempBinCount), 0, kMaxBenthTempBins);
  if (header.version < 3) {
    std::fprintf(file, "%d\t\t\t; skip value\n", static_cast<int>(skip));
  } else {
    std::fprintf(file, "%d\t\t\t; output wavelengths\n", n);
  }
  std::fprintf(file, "%d\t\t\t; number of temperature bins\n", bins);
  std::fprintf(file, "\t\t\t\t\t");
  for (int k = 0; k < bins; ++k) std::fprintf(file, "%lf\t", tempBins[static_cast<std::size_t>(k)]);
  if (bins == 0) std::fprintf(file, "0\t");
  std::fprintf(file, "; temperature bins\n");

  for (int i = 0; i < n; ++i) {
    const BenthTraceCal& t = traces[static_cast<std::size_t>(i)];
    if (header.version < 3) {
      std::fprintf(file, "%s\t%s\t%lf\t%lf\t", t.name.c_str(), ColorName(t.color).c_str(),
                   t.cOffset, t.aOffset);
    } else {
      std::fprintf(file, "%s\t%s\t%s\t%lf\t%lf\t", t.name.c_str(), ColorName(t.color).c_str(),
                   t.aName.c_str(), t.cOffset, t.aOffset);
    }
    std::fprintf(file, "\t");
    for (int k = 0; k < bins; ++k) std::fprintf(file, "%lf\t", t.cTempCorr[static_cast<std::size_t>(k)]);
    std::fprintf(file, "\t");
    for (int k = 0; k < bins; ++k) std::fprintf(file, "%lf\t", t.aTempCorr[static_cast<std::size_t>(k)]);
    std::fprintf(file, "\t; C and A offset, and C and A temperature correction info\n");
  }

  WriteLimitsLine(file, limits, kBenthLimitsLine);
  return std::ferror(file) ? status::kCantWriteConfig : status::kOk;
}

Status BenthMeterConfig::ReadConfig(std::FILE* file) {
  traces.clear();
  const Status header = Config::ReadConfig(file);
  if (header != status::kOk) return header;
  const ScopedCLocale cLocale;
  auto fail = [this](Status code) {
    traces.clear();
    return code;
  };

  // The skip value (before version 3) or the number of output wavelengths.
  long first = 0;
  if (!ReadWholeCount(file, LONG_MIN, LONG_MAX, first)) return fail(status::kConfigSkip);
  if (version < 3) {
    if (first < 1 || first > kMaxBenthSkip) return fail(status::kConfigSkip);
    skip = static_cast<std::int8_t>(first);
    // The wavelengths are the device type's: every trace count must fit.
    if (inTraceCount < 0 || inTraceCount > kMaxBenthWavelengths || traceCount != 2 * inTraceCount) {
      return fail(status::kBadDeviceType);
    }
  } else {
    if (first < 0 || first > kMaxBenthWavelengths) return fail(status::kConfigSkip);
    inTraceCount = static_cast<std::int32_t>(first);
    traceCount = 2 * inTraceCount;
    skip = 1;
  }
  eatComment(file);

  long bins = 0;
  if (!ReadWholeCount(file, 0, kMaxBenthTempBins, bins)) return fail(status::kConfigTempBinCount);
  tempBinCount = static_cast<std::int32_t>(bins);
  ignore(file, 512, '\n');
  for (int k = 0; k < tempBinCount; ++k) {
    if (!ReadFinite(file, tempBins[static_cast<std::size_t>(k)])) {
      return fail(status::kConfigTempBins);
    }
  }
  // The line holds as many bins as the count says (a file without bins
  // holds the writer's 0): a bin more would shift every trace's A
  // corrections by one.
  if (tempBinCount == 0 && !NothingMoreOnLine(file)) {
    double none = 0.0;
    if (!ReadFinite(file, none) || none != 0.0) return fail(status::kConfigTempBins);
  }
  if (!NothingMoreOnLine(file)) return fail(status::kConfigTempBins);
  ignore(file, 512, '\n');

  const auto n = static_cast<std::size_t>(inTraceCount);
  if (CatchOutOfMemory([&] { traces.assign(2 * n, BenthTraceCal{}); }) != status::kOk) {
    return fail(status::kOutOfMemory);
  }

  std::vector<std::string> colorWords(n);
  double shortest = 0.0;
  double longest = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    BenthTraceCal& t = traces[i];
    bool ok = ReadWord(file, BenthTraceCal::kNameMax, t.name) &&
              ReadWord(file, kColorWordMax, colorWords[i]);
    if (ok && version >= 3) ok = ReadWord(file, BenthTraceCal::kANameMax, t.aName);
    ok = ok && ReadFinite(file, t.cOffset) && ReadFinite(file, t.aOffset);
    for (int k = 0; ok && k < tempBinCount; ++k) {
      ok = ReadFinite(file, t.cTempCorr[static_cast<std::size_t>(k)]);
    }
    for (int k = 0; ok && k < tempBinCount; ++k) {
      ok = ReadFinite(file, t.aTempCorr[static_cast<std::size_t>(k)]);
    }
    // A correction more than the bins would have been taken for the
    // neighbour of every value read.
    ok = ok && NothingMoreOnLine(file);
    CutAtNul(t.name);
    CutAtNul(t.aName);
    if (!ok || t.name.empty() || (version >= 3 && t.aName.empty())) {
      return fail(status::kConfigTraceInfo);
    }
    t.wavelength = WavelengthFromName(t.name);
    traces[n + i].wavelength = version < 3 ? t.wavelength : WavelengthAfterFirst(t.aName);
    shortest = i == 0 ? t.wavelength : std::min(shortest, t.wavelength);
    longest = i == 0 ? t.wavelength : std::max(longest, t.wavelength);
    ignore(file, 512, '\n');
  }

  if (version < 2) {
    limits = {};
  } else {
    if (!ReadLimitsLine(file, limits, kBenthLimitsLine)) return fail(status::kConfigTraceInfo);
    ignore(file, 512, '\n');
  }

  // "default" spreads the file's wavelengths over the spectral palette;
  // when they are all the same the wavelength alone chooses.
  for (std::size_t i = 0; i < n; ++i) {
    BenthTraceCal& t = traces[i];
    if (IsDefaultColorWord(colorWords[i]) && longest > shortest) {
      t.color = static_cast<int>(
          std::lround(kSpectralColors * (t.wavelength - shortest) / (longest - shortest)));
    } else {
      t.color = ResolveColor(colorWords[i], t.wavelength);
    }
    traces[n + i].color = BenthAColor(t.color);
  }

  if (std::ferror(file) && !std::feof(file)) return fail(status::kConfigPrematureEof);
  return status::kOk;
}

// --- Copying, comparing, what the displays ask ----------------------------------------

Status BenthMeterConfig::CopyConfig(Config& to) const {
  return CopyShared<BenthMeterConfig>(to, [this](BenthMeterConfig& copy) { copy.skip = skip; });
}

int BenthMeterConfig::CompConfig(const Config& other) const {
  const BenthMeterConfig* b = SameShared<BenthMeterConfig>(other);
  if (b == nullptr || skip != b->skip) return 0;
  const auto n = static_cast<std::size_t>(Wavelengths());
  for (std::size_t i = 0; i < n; ++i) {
    if (traces[i].name != b->traces[i].name) return 0;
  }
  for (std::size_t i = 0; i < traces.size(); ++i) {
    const BenthTraceCal& x = traces[i];
    const BenthTraceCal& y = b->traces[i];
    if (!Near(x.cOffset, y.cOffset) || !Near(x.aOffset, y.aOffset) || x.color != y.color) return 0;
  }
  return 1;
}

Status BenthMeterConfig::GetHeading(int index, std::string& heading) const {
  const int n = Wavelengths();
  if (index < 0 || index >= traceCount || index >= 2 * n) {
    heading = "unknown";
    return status::kNoSuchHeading;
  }
  const BenthTraceCal& record = traces[static_cast<std::size_t>(index % n)];
  if (version >= 3) {
    heading = index < n ? record.name : record.aName;
    return status::kOk;
  }
  heading = record.name;
  if (heading.empty()) heading = " ";
  heading[0] = index < n ? 'c' : 'a';
  return status::kOk;
}

// --- Calibrations and the instrument's settings ------------------------------------------

Status BenthMeterConfig_Calibrate(Source& device, BenthMeterConfig& config, int /*samplesPerRec*/,
                                  DPort& /*port*/, int sampleCount, bool doA, bool doC,
                                  std::span<const std::uint8_t> selected) {
  if (sampleCount < 1) return status::kBadArgument;
  const auto n = static_cast<std::size_t>(config.Wavelengths());
  std::vector<double> sums(2 * n, 0.0);
  CalibrationWater water;
  const Status result = SumUnCorrSamples(device, sampleCount, sums, &water);
  if (result != status::kOk) return result;
  config.calibrationWater = water;
  for (std::size_t i = 0; i < n && i < selected.size(); ++i) {
    if (selected[i] == 0) continue;
    BenthTraceCal& t = config.traces[i];
    if (doA) t.aOffset = -(sums[n + i] / sampleCount);
    if (doC) t.cOffset = -(sums[i] / sampleCount);
  }
  return result;
}

// A packet that failed its length or checksum test keeps the previous
// packet's reference block: its depth is not taken again.
Status BenthMeterConfig_DepthCalibrate(BenthMeterConfig& config, int samplesPerRec, DPort& port,
                                       int sampleCount) {
  if (sampleCount < 1) return status::kBadArgument;
  std::unique_ptr<BenthBuffer> decoder;
  const Status created = BenthBuffer::New(decoder, port, config.Wavelengths(), samplesPerRec);
  if (created != status::kOk) return created;
  double sum = 0.0;
  const Status result = SumPacketDepths(
      *decoder, PortInputs(port), sampleCount, config.depthScale,
      [](const RefBlock&, const DataSample& first) { return first.status == status::kOk; }, sum);
  if (result == status::kOk) config.depthOffset = -(sum / sampleCount);
  return result;
}

Status BenthMeterConfig_SetParams(BenthMeterConfig& config, DPort& port, int percent,
                                  int baudRate) {
  std::unique_ptr<BenthBuffer> decoder;
  const Status created = BenthBuffer::New(decoder, port, std::max(config.Wavelengths(), 1), 1);
  if (created != status::kOk) return created;
  return decoder->SetParams(BenthSpacingCode(percent), baudRate);
}

}  // namespace sondrix
