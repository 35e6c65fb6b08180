// SPDX-License-Identifier: GPL-3.0-or-later
// The factories that build a source of a given kind from a file: a live
// meter from its device configuration file, or a stored data file. The
// class is chosen by the device type the file holds (the top byte of its
// identification word), through the model table of source/factories.h and
// one row of classes per model (the meter, the data file and the
// configuration).
#pragma once

#include <memory>
#include <string_view>

#include "common/status.h"
#include "config/config.h"
#include "source/source.h"

namespace sondrix {

inline constexpr int kSourceKindFile = 1;
inline constexpr int kSourceKindDevice = 2;

// Kind 1: NewFile; kind 2: NewMeter; any other kind -1001.
Status NewSource(std::unique_ptr<Source>& out, int kind, std::string_view filename,
                 std::string_view portname);

// The meter of the device type named in a device configuration file, on
// `portname`. -1004 for a file whose type is no known meter (or that cannot
// be read), -1016 without memory.
Status NewMeter(std::unique_ptr<Source>& out, std::string_view filename, std::string_view portname);

// The data file class of the device type recorded in a data file. -1004 for
// a file whose type is no known meter (or that cannot be read), -1016
// without memory.
Status NewFile(std::unique_ptr<Source>& out, std::string_view filename, std::string_view portname);

// The configuration class of a device type, empty, with the type's trace
// counts (what a device or data file of that type is read into). -1032 for
// no known device type, -1016 without memory.
Status NewConfig(std::unique_ptr<Config>& out, int deviceType);

}  // namespace sondrix
