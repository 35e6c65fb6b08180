// SPDX-License-Identifier: GPL-3.0-or-later
// The device-type table and the factories that depend only on the device
// type: trace counts, port types and ports by name. The device type is the
// top byte of a configuration's identification word.
//
// The classes of each model are created by NewSource, NewMeter and NewFile
// (meter/source_factory.h), one layer up.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "common/status.h"

namespace sondrix {

class DPort;

enum class Model { Nerit, Pelag, AMeter, CMeter, Benth };

// One row per instrument model: every fact that depends on the model alone.
struct ModelInfo {
  Model model;
  std::string_view description;
  std::span<const int> deviceTypes;  // type codes that select this model
  int traceCount;                    // output traces (without a configuration)
  int inTraceCount;                  // measured traces
  int portType;                      // 0: serial port or its raw capture
  int samplesPerRec;                 // samples per packet
  int refLineLen;
  int dataLineLen;
  std::span<const std::int32_t> traceMap;  // first entries; empty when the configuration decides
};

// Port type of the serial port (and its raw capture replay).
inline constexpr int kSerialPortType = 0;

std::span<const ModelInfo> Models();
// The row of a device type (taken as 16 bits), or null.
const ModelInfo* FindModel(int deviceType);
// The row of a model.
const ModelInfo& ModelRow(Model model);
// Clears all entries of `map`, writes the model's trace map and returns the
// model's trace count.
int FillTraceMap(const ModelInfo& row, std::span<std::int32_t> map);

// Trace counts of a device type, or -1011 ("Bad device type").
int DeviceTraceCount(int deviceType);
int DeviceInTraceCount(int deviceType);
// Port type of a device type, or -1001.
int DevicePortType(int deviceType);

// A serial port for "COM1" ... "COM8" (any case), a raw capture replay port
// for any other name, named with `portname`. -1016 without memory, or the
// port's SetName code.
Status NewPort(std::unique_ptr<DPort>& out, std::string_view portname);

// Asks for the port of a device of the given port type. -1001 for port types
// other than the serial port.
Status PromptForPort(int portType, std::string_view idText, std::string& portname);

}  // namespace sondrix
