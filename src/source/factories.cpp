// SPDX-License-Identifier: GPL-3.0-or-later
#include "source/factories.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "common/out_of_memory.h"
#include "common/utils.h"
#include "io/raw_file_port.h"
#include "io/rs232_port.h"
#include "source/source.h"

namespace sondrix {
namespace {

constexpr std::array kNeritTypes = {0, 4, 10, 12};
constexpr std::array kPelagTypes = {3};
constexpr std::array kATypes = {6};
constexpr std::array kCTypes = {7};
constexpr std::array kBenthTypes = {83, 241};

constexpr std::array<std::int32_t, 18> kNeritMap = {kTraceA, kTraceA, kTraceA, kTraceC, kTraceC, kTraceC,
                                                    kTraceA, kTraceA, kTraceA, kTraceC, kTraceC, kTraceC,
                                                    kTraceA, kTraceA, kTraceA, kTraceC, kTraceC, kTraceC};
constexpr std::array<std::int32_t, 6> kPelagMap = {kTraceA, kTraceA, kTraceA, kTraceC, kTraceC, kTraceC};
constexpr std::array<std::int32_t, 3> kAMap = {kTraceA, kTraceA, kTraceA};
constexpr std::array<std::int32_t, 3> kCMap = {kTraceC, kTraceC, kTraceC};

const std::array kModels = {
    ModelInfo{Model::Nerit, "nine-wavelength absorption and attenuation meter", kNeritTypes, 18, 18,
              kSerialPortType, 10, 171, 148, kNeritMap},
    ModelInfo{Model::Pelag, "three-wavelength absorption and attenuation meter", kPelagTypes, 6, 6,
              kSerialPortType, 10, 171, 148, kPelagMap},
    ModelInfo{Model::AMeter, "absorption meter", kATypes, 3, 3, kSerialPortType, 10, 51, 28, kAMap},
    ModelInfo{Model::CMeter, "attenuation meter", kCTypes, 3, 3, kSerialPortType, 10, 51, 28, kCMap},
    ModelInfo{Model::Benth, "hyperspectral absorption and attenuation meter", kBenthTypes, 200, 100,
              kSerialPortType, 1, 51, 28, {}},
};

}  // namespace

std::span<const ModelInfo> Models() { return kModels; }

const ModelInfo* FindModel(int deviceType) {
  const int type = static_cast<std::int16_t>(deviceType);
  for (const ModelInfo& info : kModels)
    for (int code : info.deviceTypes)
      if (code == type) return &info;
  return nullptr;
}

const ModelInfo& ModelRow(Model model) {
  for (const ModelInfo& row : kModels)
    if (row.model == model) return row;
  std::abort();  // every model has a row
}

int FillTraceMap(const ModelInfo& row, std::span<std::int32_t> map) {
  std::fill(map.begin(), map.end(), 0);
  const std::size_t n = std::min(row.traceMap.size(), map.size());
  std::copy_n(row.traceMap.begin(), n, map.begin());
  return row.traceCount;
}

int DeviceTraceCount(int deviceType) {
  const ModelInfo* info = FindModel(deviceType);
  return info ? info->traceCount : status::kBadDeviceType;
}

int DeviceInTraceCount(int deviceType) {
  const ModelInfo* info = FindModel(deviceType);
  return info ? info->inTraceCount : status::kBadDeviceType;
}

int DevicePortType(int deviceType) {
  const ModelInfo* info = FindModel(deviceType);
  return info ? info->portType : status::kBadArgument;
}

Status NewPort(std::unique_ptr<DPort>& out, std::string_view portname) {
  out.reset();
  const Status made = CatchOutOfMemory([&] {
    if (IsPortName(portname))
      out = std::make_unique<RS232Port>();
    else
      out = std::make_unique<RawFilPort>();
  });
  if (made != status::kOk) return made;
  return out->SetName(portname);
}

Status PromptForPort(int portType, std::string_view idText, std::string& portname) {
  if (portType != kSerialPortType) return status::kBadArgument;
  return RS232Port_PromptForPort(idText, portname);
}

}  // namespace sondrix
