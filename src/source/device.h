// SPDX-License-Identifier: GPL-3.0-or-later
// Device: the source of a live instrument. It says what a live source does
// when a model does not say otherwise (today's date, no depth, no
// diagnostics), ties CanRead and MustRead to the instrument's input buffer,
// and offers the dialog that chooses a device configuration file and a port.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "common/file.h"
#include "source/source.h"

namespace sondrix {

class Device : public Source {
 public:
  Device(std::string_view filename, std::string_view portname);
  ~Device() override;

  int CanRead() override;
  int MustRead() override;
  Status NewDataFile(std::unique_ptr<DataFile>& out, std::string_view filename) override;
  int GetStatus() override;
  int GetTraceCount() override;
  int GetInTraceCount() override;
  int GetPortType() override;
  Status GetColors(std::span<int> colors) override;
  Status GetWavelengths(std::span<double> wavelengths) override;
  Status Open() override;
  Status Close() override;
  Status Save() override;
  Status Reset() override;
  Status SaveRaw() override;
  Status WriteConfig(std::FILE* file) override;
  Status ReadConfig(std::FILE* file) override;
  Status EditConfig(int& changed) override;
  Status SaveConfig() override;
  Status PromptForDescr(std::string& filename, std::string* portname) override;
  int DataAvailable() override;
  int BufNearFull() override;
  Status ReadData(SourceLine& line) override;
  Status ReadUnCorrData(SourceLine& line) override;
  int GetSamplesPerRec() override;
  int GetTraceMap(TraceMap& map) override;
  Status GetConfigInfo(ConfigInfo& info) override;
  Status GetPort(DPort*& port) override;
  Status SetPort(std::unique_ptr<DPort>&& port) override;
  Status SetOrigBinsize(int binsize) override;
  int GetOrigBinsize() override;
  Status GetDate(std::string& date, std::string& time) override;
  Status GetID(std::string& id) override;
  std::int16_t GetDevType(std::string_view configFile, std::string& idText) override;
  Status Diagnostics() override;
  int HasDiagnostics() override;

 protected:
  // The device configuration file, open from Open to Close.
  std::FILE* deviceFile() const { return deviceFile_.get(); }

 private:
  OwnedFile deviceFile_;
};

// The device type (top byte of the identification word) of a device
// configuration file, or the failure code in 16 bits (-1002, -1046, -1004).
std::int16_t Device_GetDevType(std::string_view filename, std::string& idText);

// Asks for a device configuration file and, when `portname` is given, the
// port the instrument is on. 1, -1021 (cancelled), -1020, -1032 or the port
// dialog's code; failures of the port choice are reported to the user.
Status Device_PromptForDescr(std::string& filename, std::string* portname);

}  // namespace sondrix
