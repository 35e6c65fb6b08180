// SPDX-License-Identifier: GPL-3.0-or-later
#include "source/rudud.h"

#include "platform/paths.h"
#include "platform/profile.h"

namespace sondrix {

std::string RududPath() { return platform::JoinPath(platform::GetProjectDir(), "Rudud.ini"); }

std::string Rudud_GetProfileString(std::string_view section, std::string_view key,
                                   std::string_view fallback, std::size_t size) {
  return platform::GetPrivateProfileString(section, key, fallback, RududPath(), size);
}

int Rudud_IsDefined() {
  return !Rudud_GetProfileString("General", "Device", "", 261).empty() &&
                 !Rudud_GetProfileString("General", "Port", "", 1024).empty()
             ? 1
             : 0;
}

}  // namespace sondrix
