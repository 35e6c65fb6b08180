// SPDX-License-Identifier: GPL-3.0-or-later
#include "processing/ts_table.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/paths.h"

namespace sondrix {
namespace {

constexpr const char* kTableFile = "water_ts_coefficients.csv";
constexpr const char* kHeading = "wavelength,psi_t,psi_s_a,psi_s_c";

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

// A whole field as a finite number.
bool Number(std::string_view field, double& value) {
  const std::string text(Trim(field));
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size() && errno == 0 && std::isfinite(value);
}

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = line.find(',', start);
    fields.push_back(line.substr(start, comma == std::string_view::npos ? comma : comma - start));
    if (comma == std::string_view::npos) return fields;
    start = comma + 1;
  }
}

}  // namespace

bool TsTable::Parse(std::string_view text, const std::string& name, TsTable& table, std::string& error) {
  TsTable parsed;
  parsed.name_ = name;
  bool heading = false;
  bool inSource = false;
  int number = 0;
  std::size_t at = 0;
  const auto fail = [&](const std::string& what) {
    error = name + ":" + std::to_string(number) + ": " + what;
    return false;
  };
  while (at <= text.size()) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    const std::string_view raw = text.substr(at, end - at);
    at = end + 1;
    ++number;
    const std::string_view line = Trim(raw);
    if (line.starts_with("#")) {
      const std::string_view comment = line.substr(1);
      const std::string_view body = Trim(comment);
      if (body.starts_with("source:")) {
        parsed.source_ = std::string(Trim(body.substr(7)));
        inSource = true;
      } else if (inSource && !body.empty() && comment.size() > 1 && comment[1] == ' ' && comment.size() > 2 &&
                 comment[2] == ' ') {
        parsed.source_ += " " + std::string(body);  // an indented line goes on
      } else {
        inSource = false;
      }
      continue;
    }
    inSource = false;
    if (line.empty()) {
      if (end >= text.size()) break;
      continue;
    }
    if (!heading) {
      std::string words;
      for (std::string_view field : Fields(line)) words += (words.empty() ? "" : ",") + std::string(Trim(field));
      if (words != kHeading)
        return fail("the heading line must name the columns " + std::string(kHeading) + ", not \"" +
                    std::string(line) + "\"");
      heading = true;
      continue;
    }
    const std::vector<std::string_view> fields = Fields(line);
    if (fields.size() != 4)
      return fail("4 fields expected (" + std::string(kHeading) + "), found " + std::to_string(fields.size()));
    static constexpr const char* kNames[] = {"wavelength", "psi_t", "psi_s_a", "psi_s_c"};
    double values[4] = {};
    for (std::size_t k = 0; k < 4; ++k) {
      if (k == 3 && Trim(fields[k]).empty()) {
        values[3] = values[2];
        continue;
      }
      if (!Number(fields[k], values[k]))
        return fail(std::string(kNames[k]) + " \"" + std::string(Trim(fields[k])) + "\" is not a number");
    }
    if (!(values[0] > 0.0)) return fail("the wavelength must be positive");
    if (!parsed.rows_.empty() && values[0] <= parsed.rows_.back().wavelength)
      return fail("wavelengths must rise: " + std::string(Trim(fields[0])) + " nm after " +
                  std::to_string(parsed.rows_.back().wavelength) + " nm");
    parsed.rows_.push_back({values[0], {values[1], values[2], values[3]}});
    if (end >= text.size()) break;
  }
  if (!heading) return fail("no heading line (" + std::string(kHeading) + ")");
  if (parsed.rows_.empty()) return fail("no rows of coefficients");
  table = std::move(parsed);
  return true;
}

bool TsTable::Load(const std::string& path, TsTable& table, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + ": cannot be read";
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  return Parse(text.str(), path, table, error);
}

std::optional<TsCoefficients> TsTable::At(double wavelength) const {
  if (rows_.empty() || !(wavelength >= rows_.front().wavelength) || !(wavelength <= rows_.back().wavelength))
    return std::nullopt;
  const auto after = std::lower_bound(rows_.begin(), rows_.end(), wavelength,
                                      [](const TsRow& row, double w) { return row.wavelength < w; });
  if (after->wavelength == wavelength) return after->psi;
  const TsRow& lo = *(after - 1);
  const TsRow& hi = *after;
  const double f = (wavelength - lo.wavelength) / (hi.wavelength - lo.wavelength);
  const auto mix = [f](double a, double b) { return a + f * (b - a); };
  return TsCoefficients{mix(lo.psi.psiT, hi.psi.psiT), mix(lo.psi.psiSa, hi.psi.psiSa),
                        mix(lo.psi.psiSc, hi.psi.psiSc)};
}

std::string BuiltInTablePath() {
  if (const std::string dir = platform::ExecutableDir(); !dir.empty()) {
    const std::string beside = platform::JoinPath(dir, kTableFile);
    if (platform::FileExists(beside)) return beside;
    if (const std::string installed = platform::InstalledDataDir(); !installed.empty())
      return platform::JoinPath(installed, kTableFile);
  }
  return std::string(SONDRIX_RESOURCE_DIR) + "/" + kTableFile;
}

bool BuiltInTable(TsTable& table, std::string& error) { return TsTable::Load(BuiltInTablePath(), table, error); }

bool ChosenTable(const std::string& path, TsTable& table, std::string& error) {
  return path.empty() ? BuiltInTable(table, error) : TsTable::Load(path, table, error);
}

}  // namespace sondrix
