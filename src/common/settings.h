// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file "Sondrix.ini" in the project directory: every key the
// program keeps between runs, with its default.
#pragma once

#include <string>
#include <string_view>

#include "platform/ui.h"

namespace sondrix::settings {

// Sections.
inline constexpr std::string_view kGeneral = "General";
inline constexpr std::string_view kDisplay = "Display";
inline constexpr std::string_view kPorts = "Ports";
// The deployment metadata last given (cruise, station, ...): one key per
// deployment key of a recording's companion, under the same name.
inline constexpr std::string_view kDeployment = "Deployment";
// The GPS receiver each run of the window reads: "Source" (empty: none) and
// "Baud" of a serial one.
inline constexpr std::string_view kPosition = "Position";
inline constexpr std::string_view kPositionSource = "Source";
inline constexpr std::string_view kPositionBaud = "Baud";
// The ship's data each live run of the window reads (app/ship_data.h):
// rows 1 ... 4 of "SourceN", "IdN", "FieldsN" (a field map) and "BaudN",
// and the valve's "ValveSchedule" (EVERY,FILTERED,OFFSET; empty: none).
inline constexpr std::string_view kShipData = "ShipData";
inline constexpr std::string_view kShipDataSource = "Source";
inline constexpr std::string_view kShipDataId = "Id";
inline constexpr std::string_view kShipDataFields = "Fields";
inline constexpr std::string_view kShipDataBaud = "Baud";
inline constexpr std::string_view kShipDataValveSchedule = "ValveSchedule";
// Where each live run of the window sends its recorded lines (app/network.h):
// "Destination" (HOST:PORT; empty: nowhere), "Id" (empty: the instrument's
// serial number), "Every" (every N-th line) and "Nmea" (yes: $PSDRX
// sentences).
inline constexpr std::string_view kNetwork = "Network";
inline constexpr std::string_view kNetworkDestination = "Destination";
inline constexpr std::string_view kNetworkId = "Id";
inline constexpr std::string_view kNetworkEvery = "Every";
inline constexpr std::string_view kNetworkNmea = "Nmea";
// How File > Process... corrects a recording (app/processing.h): "Scatter"
// (0 the meter's default, 1 none, 2 baseline, 3 proportional) and, as
// text, "Temperature", "Salinity", "TCal", "ReferenceWavelength", "LagC",
// "LagAncillary", "Table" (empty: the default).
inline constexpr std::string_view kProcessing = "Processing";
// How File > Export Profiles... and Display > Cast Profiles find and bin a
// run's casts (app/processing.h LoadProfileSettings): "BinSize", "Smooth",
// "Surface" (metres and seconds), "LagDepth", "MinCount", "Statistic"
// (mean or median) and "Cast" (down, up or both); empty: the default.
inline constexpr std::string_view kProfiles = "Profiles";

// Keys of "General".
inline constexpr std::string_view kDevice = "Device";
inline constexpr std::string_view kPort = "Port";
inline constexpr std::string_view kIgnoreSerialNumber = "IgnoreSerialNumber";
inline constexpr std::string_view kSaveRaw = "SaveRaw";
// A live run waits for a serial line that went away (yes, the default) or
// ends (no).
inline constexpr std::string_view kReconnect = "Reconnect";
inline constexpr std::string_view kDataDirectory = "DataDirectory";
// Where a data file or a raw capture was last opened for replay: the open
// dialogs of replays start there, and runs are still saved in
// "DataDirectory".
inline constexpr std::string_view kReplayDirectory = "ReplayDirectory";
inline constexpr std::string_view kDeviceDirectory = "DeviceDirectory";
inline constexpr std::string_view kReportDirectory = "ReportDirectory";
// How much the application's log file keeps: error, warn (the default),
// info, debug, trace or off (common/log.h). Read at start.
inline constexpr std::string_view kLogLevel = "LogLevel";

// Keys of "Display".
inline constexpr std::string_view kTop = "Top";
inline constexpr std::string_view kLeft = "Left";
inline constexpr std::string_view kHeight = "Height";
inline constexpr std::string_view kWidth = "Width";
inline constexpr std::string_view kNightPalette = "NightPalette";
inline constexpr std::string_view kNightPictures = "NightPictures";

// Full path of "Sondrix.ini".
std::string SettingsPath();

// A text value (at most size - 1 characters; path values keep 260).
std::string Get(std::string_view section, std::string_view key, std::string_view fallback = {},
                std::size_t size = 261);
int GetInt(std::string_view section, std::string_view key, int fallback);
// Write failures are not reported.
void Set(std::string_view section, std::string_view key, std::string_view value);
void SetInt(std::string_view section, std::string_view key, int value);

// A yes/no switch is on when its first character, upper-cased, is "Y".
bool IsYes(std::string_view value);
bool SaveRawOn();                // "SaveRaw", at most 3 characters read
bool IgnoreSerialNumberOn();     // "IgnoreSerialNumber"
bool ReconnectOn();              // "Reconnect": yes (the default) or no
void SetReconnect(bool on);
// "NightPalette" of [Display]: the window wears the night palette.
bool NightPaletteOn();
void SetNightPalette(bool on);
// "NightPictures" of [Display]: prints and exported pictures in the night
// colours too (no: the default, in the day's whatever the window wears).
bool NightPicturesOn();

// A value of [Deployment] ("" when not given), read in full, and storing
// one (an empty value is kept empty).
std::string DeploymentValue(std::string_view key);
void SetDeploymentValue(std::string_view key, std::string_view value);

// A directory key: the starting directory of the next file dialog of its kind
// (the project directory by default; "ReplayDirectory" by default
// "DataDirectory"), and storing the directory of a chosen file.
std::string Directory(std::string_view key);
void RememberDirectory(std::string_view key, std::string_view chosenFile);

// The file dialog (`mode`, `title`, the pattern or default name `spec` and
// the further patterns `types`) started in the directory of `key`. True
// with the chosen path; false when nothing was chosen (cancelled, or no
// name given). The caller remembers the directory when it takes the file.
bool ChooseFile(std::string_view key, platform::FileDialogMode mode, std::string_view spec,
                std::string_view title, std::string& chosen, std::string_view types = "");

}  // namespace sondrix::settings
