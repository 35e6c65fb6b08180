// SPDX-License-Identifier: GPL-3.0-or-later
// The temperature and salinity coefficients of pure water's absorption: how
// much the absorption (and so the attenuation) of water changes per degree
// Celsius (psi_t) and per salinity unit (psi_s_a for absorption, psi_s_c
// for attenuation), by wavelength. Read from a CSV table:
//
//   # comments start with '#', anywhere on a line of their own
//   wavelength,psi_t,psi_s_a,psi_s_c
//   400,0.00027,-0.000008,
//
// A heading line names the four columns in that order; psi_s_c may be
// empty, and then equals psi_s_a. Wavelengths rise strictly. A coefficient
// at any wavelength within the table is interpolated linearly between the
// rows around it; a wavelength outside the table has none (never
// extrapolated). The program carries one table (BuiltInTable: Röttgers,
// McKee & Utschig 2014, resources/water_ts_coefficients.csv); the user may
// give another (docs/processing.md).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sondrix {

struct TsCoefficients {
  double psiT = 0.0;   // m-1 per degree Celsius
  double psiSa = 0.0;  // m-1 per salinity unit, absorption
  double psiSc = 0.0;  // m-1 per salinity unit, attenuation
};

struct TsRow {
  double wavelength = 0.0;  // nm
  TsCoefficients psi;
};

class TsTable {
 public:
  // The rows of `text`; false with `error` ("NAME:LINE: what is wrong") for
  // a text that is not such a table. `name` names it in messages and
  // outputs (the file's name).
  static bool Parse(std::string_view text, const std::string& name, TsTable& table, std::string& error);
  // The table in the file at `path`.
  static bool Load(const std::string& path, TsTable& table, std::string& error);

  // The coefficients at `wavelength` (nm), none outside the table.
  std::optional<TsCoefficients> At(double wavelength) const;

  const std::vector<TsRow>& rows() const { return rows_; }
  const std::string& name() const { return name_; }
  // What the table's comments say of its source (the text after
  // "# source:" and its indented lines that follow), "" when nothing.
  const std::string& source() const { return source_; }
  double first() const { return rows_.empty() ? 0.0 : rows_.front().wavelength; }
  double last() const { return rows_.empty() ? 0.0 : rows_.back().wavelength; }

 private:
  std::vector<TsRow> rows_;
  std::string name_;
  std::string source_;
};

// Where the program's own table is: "water_ts_coefficients.csv" beside the
// executable, else in an installed program's shared files, else in the
// source tree's resources.
std::string BuiltInTablePath();
// The program's own table.
bool BuiltInTable(TsTable& table, std::string& error);
// The user's table at `path`, or the program's own when `path` is empty.
bool ChosenTable(const std::string& path, TsTable& table, std::string& error);

}  // namespace sondrix
