// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/settings.h"

#include <cctype>

#include "platform/paths.h"
#include "platform/profile.h"

namespace sondrix::settings {

std::string SettingsPath() {
  return platform::JoinPath(platform::GetProjectDir(), "Sondrix.ini");
}

std::string Get(std::string_view section, std::string_view key, std::string_view fallback,
                std::size_t size) {
  return platform::GetPrivateProfileString(section, key, fallback, SettingsPath(), size);
}

int GetInt(std::string_view section, std::string_view key, int fallback) {
  return platform::GetPrivateProfileInt(section, key, fallback, SettingsPath());
}

void Set(std::string_view section, std::string_view key, std::string_view value) {
  platform::WritePrivateProfileString(section, key, value, SettingsPath());
}

void SetInt(std::string_view section, std::string_view key, int value) {
  Set(section, key, std::to_string(value));
}

bool IsYes(std::string_view value) {
  return !value.empty() && std::toupper(static_cast<unsigned char>(value.front())) == 'Y';
}

bool SaveRawOn() { return IsYes(Get(kGeneral, kSaveRaw, {}, 4)); }

bool IgnoreSerialNumberOn() { return IsYes(Get(kGeneral, kIgnoreSerialNumber)); }

bool ReconnectOn() { return IsYes(Get(kGeneral, kReconnect, "yes")); }

void SetReconnect(bool on) { Set(kGeneral, kReconnect, on ? "yes" : "no"); }

bool NightPaletteOn() { return IsYes(Get(kDisplay, kNightPalette)); }

void SetNightPalette(bool on) { Set(kDisplay, kNightPalette, on ? "yes" : "no"); }

bool NightPicturesOn() { return IsYes(Get(kDisplay, kNightPictures)); }

std::string DeploymentValue(std::string_view key) { return Get(kDeployment, key, {}, 0); }

void SetDeploymentValue(std::string_view key, std::string_view value) { Set(kDeployment, key, value); }

std::string Directory(std::string_view key) {
  // Read in full: a directory cut short would start the dialog somewhere else.
  std::string directory = Get(kGeneral, key, {}, 0);
  if (directory.empty() && key == kReplayDirectory) return Directory(kDataDirectory);
  if (directory.empty()) return platform::GetProjectDir();
  return directory;
}

void RememberDirectory(std::string_view key, std::string_view chosenFile) {
  std::string drive, directory, file;
  platform::SplitPath(chosenFile, drive, directory, file);
  if (drive.empty() && directory.empty()) return;  // a bare name says nothing about where
  Set(kGeneral, key, drive + directory);
}

bool ChooseFile(std::string_view key, platform::FileDialogMode mode, std::string_view spec,
                std::string_view title, std::string& chosen, std::string_view types) {
  platform::FileSelectRequest request;
  request.directory = Directory(key);
  request.defaultSpec = std::string(spec);
  request.typeList = std::string(types);
  request.title = std::string(title);
  request.mode = mode;
  std::string path;
  if (platform::ui().FileSelectPopup(request, path) == platform::FileSelectResult::None || path.empty()) return false;
  chosen = path;
  return true;
}

}  // namespace sondrix::settings
