// SPDX-License-Identifier: GPL-3.0-or-later
#include "meter/source_factory.h"

#include <array>
#include <string>

#include "common/out_of_memory.h"
#include "config/benth_meter_config.h"
#include "config/meter_config.h"
#include "datafile/benth_file.h"
#include "datafile/data_file.h"
#include "datafile/model_files.h"
#include "meter/a_meter.h"
#include "meter/benth_meter.h"
#include "meter/c_meter.h"
#include "meter/nerit_meter.h"
#include "meter/pelag_meter.h"
#include "source/device.h"
#include "source/factories.h"

namespace sondrix {
namespace {

using SourceMaker = std::unique_ptr<Source> (*)(std::string_view filename, std::string_view portname);
using ConfigMaker = std::unique_ptr<Config> (*)(int traceCount, int inTraceCount);

// The classes of one model: its live meter, its data file and its
// configuration.
struct ModelClasses {
  Model model;
  SourceMaker newMeter;
  SourceMaker newFile;
  ConfigMaker newConfig;
};

template <class MeterClass, class FileClass, class ConfigClass>
constexpr ModelClasses Classes(Model model) {
  return {model,
          [](std::string_view filename, std::string_view portname) -> std::unique_ptr<Source> {
            return Meter::New<MeterClass>(filename, portname);
          },
          [](std::string_view filename, std::string_view portname) -> std::unique_ptr<Source> {
            return MeterFile::New<FileClass>(filename, portname);
          },
          [](int traceCount, int inTraceCount) -> std::unique_ptr<Config> {
            return std::make_unique<ConfigClass>(traceCount, inTraceCount);
          }};
}

// One row per model of the model table (source/factories.h).
constexpr std::array kModelClasses = {
    Classes<NeritMeter, NeritFile, MeterConfig>(Model::Nerit),
    Classes<PelagMeter, PelagFile, MeterConfig>(Model::Pelag),
    Classes<AMeter, AFile, MeterConfig>(Model::AMeter),
    Classes<CMeter, CFile, MeterConfig>(Model::CMeter),
    Classes<BenthMeter, BenthFile, BenthMeterConfig>(Model::Benth),
};

// The classes of a device type (or of a failure code in its place); null
// for no known model.
const ModelClasses* ClassesOf(int deviceType) {
  const ModelInfo* row = FindModel(deviceType);
  if (row == nullptr) return nullptr;
  for (const ModelClasses& classes : kModelClasses) {
    if (classes.model == row->model) return &classes;
  }
  return nullptr;
}

// The source of class `maker` of the row of the device type that `readType`
// finds in the file.
Status NewOfType(std::unique_ptr<Source>& out, std::string_view filename, std::string_view portname,
                 std::int16_t (*readType)(std::string_view filename, std::string& idText),
                 SourceMaker ModelClasses::*maker) {
  out.reset();
  std::string idText;
  const ModelClasses* classes = ClassesOf(readType(filename, idText));
  if (!classes) return status::kBadConfigFormat;
  out = (classes->*maker)(filename, portname);
  return out ? status::kOk : status::kOutOfMemory;
}

}  // namespace

Status NewSource(std::unique_ptr<Source>& out, int kind, std::string_view filename,
                 std::string_view portname) {
  out.reset();
  switch (kind) {
    case kSourceKindFile:
      return NewFile(out, filename, portname);
    case kSourceKindDevice:
      return NewMeter(out, filename, portname);
    default:
      return status::kBadArgument;
  }
}

Status NewMeter(std::unique_ptr<Source>& out, std::string_view filename, std::string_view portname) {
  return NewOfType(out, filename, portname, &Device_GetDevType, &ModelClasses::newMeter);
}

Status NewFile(std::unique_ptr<Source>& out, std::string_view filename, std::string_view portname) {
  return NewOfType(out, filename, portname, &DataFile_GetDevType, &ModelClasses::newFile);
}

Status NewConfig(std::unique_ptr<Config>& out, int deviceType) {
  out.reset();
  const ModelClasses* classes = ClassesOf(deviceType);
  if (!classes) return status::kConfigDeviceType;
  return CatchOutOfMemory([&] {
    out = classes->newConfig(DeviceTraceCount(deviceType), DeviceInTraceCount(deviceType));
  });
}

}  // namespace sondrix
