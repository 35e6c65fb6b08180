// SPDX-License-Identifier: GPL-3.0-or-later
#include "datafile/deployment_values.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace sondrix {
namespace {

std::string_view Trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

template <std::size_t N>
bool OneOf(const std::array<std::string_view, N>& list, std::string_view value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

template <std::size_t N>
std::string ListText(const std::array<std::string_view, N>& list) {
  std::string text;
  for (const std::string_view item : list) text += (text.empty() ? "" : ", ") + std::string(item);
  return text;
}

std::string Quoted(std::string_view key, std::string_view value) {
  return std::string(key) + " \"" + std::string(value) + "\"";
}

}  // namespace

bool ParseDegrees(std::string_view text, double low, double high, double& degrees) {
  text = Trimmed(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty() || text.front() == '+') return false;
  double value = 0.0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return false;
  if (value < low || value > high) return false;
  degrees = value;
  return true;
}

std::string CheckDeploymentValue(std::string_view key, std::string_view value) {
  if (value.empty()) return {};
  double degrees = 0.0;
  if (key == "latitude" && !ParseDegrees(value, -90.0, 90.0, degrees))
    return Quoted(key, value) + ": not a latitude in decimal degrees from -90 to 90 (north positive, a decimal point)";
  if (key == "longitude" && !ParseDegrees(value, -180.0, 360.0, degrees))
    return Quoted(key, value) +
           ": not a longitude in decimal degrees from -180 to 180 (east positive, a decimal point; 180 to 360 east "
           "is taken too)";
  if (key == "data_type" && !OneOf(kSeaBassDataTypes, value))
    return Quoted(key, value) + ": not one of SeaBASS's data types " + ListText(kSeaBassDataTypes);
  if (key == "data_status" && !OneOf(kSeaBassDataStatuses, value))
    return Quoted(key, value) + ": not one of SeaBASS's data statuses " + ListText(kSeaBassDataStatuses);
  return {};
}

std::string CheckDeployment(const Deployment& deployment) {
  for (std::size_t k = 0; k < kDeploymentKeys.size(); ++k) {
    std::string fault = CheckDeploymentValue(kDeploymentKeys[k], deployment.values[k]);
    if (!fault.empty()) return fault;
  }
  const bool latitude = !deployment.Find("latitude")->empty();
  const bool longitude = !deployment.Find("longitude")->empty();
  if (latitude != longitude)
    return std::string("the station's position needs both latitude and longitude; only the ") +
           (latitude ? "latitude" : "longitude") + " is given";
  return {};
}

std::optional<LatLon> StationPosition(const Deployment& deployment) {
  LatLon position;
  if (!ParseDegrees(*deployment.Find("latitude"), -90.0, 90.0, position.latitude) ||
      !ParseDegrees(*deployment.Find("longitude"), -180.0, 360.0, position.longitude))
    return std::nullopt;
  if (position.longitude > 180.0) position.longitude -= 360.0;
  return position;
}

std::string_view SeaBassDataType(const Deployment& deployment, std::string_view fallback) {
  const std::string& given = *deployment.Find("data_type");
  return OneOf(kSeaBassDataTypes, given) ? std::string_view(given) : fallback;
}

std::string_view SeaBassDataStatus(const Deployment& deployment) {
  const std::string& given = *deployment.Find("data_status");
  return OneOf(kSeaBassDataStatuses, given) ? std::string_view(given) : kSeaBassDataStatuses.front();
}

std::vector<std::string> SplitNames(std::string_view list) {
  std::vector<std::string> names;
  while (true) {
    const std::size_t at = list.find_first_of(";,");
    const std::string_view name = Trimmed(list.substr(0, at));
    if (!name.empty()) names.emplace_back(name);
    if (at == std::string_view::npos) return names;
    list.remove_prefix(at + 1);
  }
}

}  // namespace sondrix
