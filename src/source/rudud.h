// SPDX-License-Identifier: GPL-3.0-or-later
// The multi-source settings file "Rudud.ini" in the project directory, which
// lets an unattended set-up name the device, port and output file so that a
// run starts without dialogs. The program never writes it.
#pragma once

#include <string>
#include <string_view>

namespace sondrix {

std::string RududPath();
std::string Rudud_GetProfileString(std::string_view section, std::string_view key,
                                   std::string_view fallback, std::size_t size);
// 1 when "Device" and "Port" of "General" are both non-empty, else 0.
int Rudud_IsDefined();

}  // namespace sondrix
