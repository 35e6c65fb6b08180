// SPDX-License-Identifier: GPL-3.0-or-later
// What the deployment's values may be, and what they mean: the station's
// position (decimal degrees), SeaBASS's data type and data status, and the
// lists of names (investigators, affiliations). The Deployment dialog, the
// tools' --meta and the export check them here, so that a value refused in
// one place is refused in all.
//
// A position is decimal degrees with a point: latitude -90 ... 90 (north
// positive), longitude -180 ... 360 east (a longitude above 180 is the same
// meridian as that value less 360, and the outputs write it so, in
// -180 ... 180). Latitude and longitude come together or not at all.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "datafile/companion.h"
#include "datafile/track.h"

namespace sondrix {

// SeaBASS's /data_type values for data like these, from its header
// definitions (docs/export.md); the first is the default.
inline constexpr std::array<std::string_view, 9> kSeaBassDataTypes = {
    "cast", "flow_thru", "mooring", "drifter", "bottle", "above_water", "scan", "sunphoto", "pigment"};
// SeaBASS's /data_status values; the first is the default.
inline constexpr std::array<std::string_view, 3> kSeaBassDataStatuses = {"preliminary", "final", "update"};

// Degrees in `text` (blanks around it allowed) within low ... high; false
// for anything else (no number, a decimal comma, text after the number, not
// finite, out of range).
bool ParseDegrees(std::string_view text, double low, double high, double& degrees);

// "" when `value` may be the value of deployment key `key`, else what is
// wrong with it, for the user: "latitude \"91\": not a number of degrees
// from -90 to 90 (north positive, a decimal point)". An empty value is
// always allowed (not given).
std::string CheckDeploymentValue(std::string_view key, std::string_view value);
// "" when every value may be, and latitude and longitude are both given or
// neither; else the first fault.
std::string CheckDeployment(const Deployment& deployment);

// The station's position the deployment gives, its longitude in
// -180 ... 180; none when it gives none (or one CheckDeployment refuses).
std::optional<LatLon> StationPosition(const Deployment& deployment);
// The data type and status for SeaBASS: the deployment's, else the defaults
// (the type's `fallback`: "flow_thru" for the particulate values of a
// flow-through system).
std::string_view SeaBassDataType(const Deployment& deployment, std::string_view fallback = kSeaBassDataTypes.front());
std::string_view SeaBassDataStatus(const Deployment& deployment);

// The names of a list as people type it, "A. Diver; B. Winch" or
// "Sea Lab, Coastal Institute": split at every ";" and ",", each name
// without the blanks around it, empty names left out.
std::vector<std::string> SplitNames(std::string_view list);

}  // namespace sondrix
