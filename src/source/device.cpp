// SPDX-License-Identifier: GPL-3.0-or-later
#include "source/device.h"

#include "common/errors.h"
#include "common/settings.h"
#include "common/utils.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/ui.h"
#include "source/factories.h"

namespace sondrix {

Device::Device(std::string_view filename, std::string_view portname) : Source(filename, portname) {}
Device::~Device() = default;

int Device::CanRead() { return DataAvailable(); }
int Device::MustRead() { return BufNearFull(); }

Status Device::NewDataFile(std::unique_ptr<DataFile>& out, std::string_view filename) {
  Source::NewDataFile(out, filename);
  return status::kDevNoNewDataFile;
}

int Device::GetStatus() { return status::kDevNoStatus; }
int Device::GetTraceCount() { return status::kDevNoTraceCount; }
int Device::GetInTraceCount() { return status::kDevNoInTraceCount; }
int Device::GetPortType() { return status::kDevNoPortType; }

Status Device::GetColors(std::span<int>) { return status::kDevNoColors; }
Status Device::GetWavelengths(std::span<double>) { return status::kDevNoColors; }

Status Device::Open() {
  const Status result = Source::Open();
  if (result != status::kOk) return result;
  deviceFile_.reset(platform::OpenRegularFile(filename()));
  if (!deviceFile_) {
    Source::Close();
    return status::kCantOpenFile;
  }
  return status::kOk;
}

Status Device::Close() {
  deviceFile_.reset();
  return status::kOk;
}

Status Device::Save() { return status::kOk; }

Status Device::Reset() {
  Source::Reset();
  return status::kOk;
}

Status Device::SaveRaw() { return status::kOk; }
Status Device::WriteConfig(std::FILE*) { return status::kDevNoWriteConfig; }
Status Device::ReadConfig(std::FILE*) { return status::kDevNoReadConfig; }
Status Device::EditConfig(int&) { return status::kDevNoEditConfig; }
Status Device::SaveConfig() { return status::kDevNoSaveConfig; }

Status Device::PromptForDescr(std::string& filename, std::string* portname) {
  return Device_PromptForDescr(filename, portname);
}

int Device::DataAvailable() { return 0; }
int Device::BufNearFull() { return 0; }
Status Device::ReadData(SourceLine&) { return status::kDevNoReadData; }
Status Device::ReadUnCorrData(SourceLine&) { return status::kDevNoReadData; }
int Device::GetSamplesPerRec() { return status::kDevNoEditConfig; }
int Device::GetTraceMap(TraceMap&) { return status::kDevNoTraceMap; }
Status Device::GetConfigInfo(ConfigInfo&) { return status::kDevNoConfigInfo; }

Status Device::GetPort(DPort*& port) {
  port = nullptr;
  return status::kDevNoGetPort;
}

Status Device::SetPort(std::unique_ptr<DPort>&&) { return status::kDevNoSetPort; }
Status Device::SetOrigBinsize(int) { return status::kDevNoSetOrigBinsize; }

// Live data are never pre-averaged.
int Device::GetOrigBinsize() { return 1; }

Status Device::GetDate(std::string& date, std::string& time) {
  date = platform::DateStr();
  time = platform::TimeStr();
  return status::kOk;
}

Status Device::GetID(std::string& id) { return NoID(id, status::kDevNoID); }

std::int16_t Device::GetDevType(std::string_view configFile, std::string& idText) {
  return Device_GetDevType(configFile, idText);
}

Status Device::Diagnostics() { return status::kDevNoPortType; }
int Device::HasDiagnostics() { return 0; }

std::int16_t Device_GetDevType(std::string_view filename, std::string& idText) {
  const OwnedFile file(platform::OpenRegularFile(filename));
  if (!file) return static_cast<std::int16_t>(status::kCantOpenFile);
  std::uint32_t id = 0;
  const Status result = ReadID(file.get(), id, idText);
  if (result != status::kOk) return static_cast<std::int16_t>(result);
  return static_cast<std::int16_t>(id >> 24);
}

Status Device_PromptForDescr(std::string& filename, std::string* portname) {
  std::string chosen;
  if (!settings::ChooseFile(settings::kDeviceDirectory, platform::FileDialogMode::Load, "*.cal;*.dev", "Device to use:",
                            chosen, "*.dev;*.cal"))
    return status::kCancelled;
  if (!platform::FileExists(chosen)) return status::kFileNotFound;
  filename = chosen;
  if (!portname) return status::kOk;

  std::string idText;
  const int portType = DevicePortType(Device_GetDevType(chosen, idText));
  Status result;
  if (portType < 0) {
    result = status::kConfigDeviceType;
  } else {
    settings::RememberDirectory(settings::kDeviceDirectory, chosen);
    result = PromptForPort(portType, idText, *portname);
  }
  if (result != status::kOk) Error_Report(result);
  return result;
}

}  // namespace sondrix
