// SPDX-License-Identifier: GPL-3.0-or-later
// A NetCDF output read back through the library's own API, for the export
// tests: attributes, variables and their dimensions.
#pragma once

#include <netcdf.h>

#include <optional>
#include <string>
#include <vector>

namespace sondrix::test {

class NcFile {
 public:
  explicit NcFile(const std::string& path) { ok_ = nc_open(path.c_str(), NC_NOWRITE, &id_) == NC_NOERR; }
  ~NcFile() {
    if (ok_) nc_close(id_);
  }
  bool ok() const { return ok_; }
  int Var(const char* name) const {
    int var = -2;
    return nc_inq_varid(id_, name, &var) == NC_NOERR ? var : -2;
  }
  std::string Text(int var, const char* name) const {
    std::size_t length = 0;
    nc_type type = 0;
    if (nc_inq_att(id_, var, name, &type, &length) != NC_NOERR || type != NC_CHAR) return "<none>";
    std::string text(length, '\0');
    nc_get_att_text(id_, var, name, text.data());
    return text;
  }
  std::string Text(const char* var, const char* name) const { return Text(Var(var), name); }
  std::vector<double> Doubles(const char* name) const {
    const int var = Var(name);
    int dims[NC_MAX_VAR_DIMS];
    int rank = 0;
    nc_type type = 0;
    nc_inq_var(id_, var, nullptr, &type, &rank, dims, nullptr);
    if (type != NC_DOUBLE) return {};
    std::size_t total = 1;
    for (int d = 0; d < rank; ++d) {
      std::size_t length = 0;
      nc_inq_dimlen(id_, dims[d], &length);
      total *= length;
    }
    std::vector<double> values(total);
    if (nc_get_var_double(id_, var, values.data()) != NC_NOERR) return {};
    return values;
  }
  // The values of an int64 variable (the times), in order.
  std::vector<long long> Int64s(const char* name) const {
    const int var = Var(name);
    int dims[NC_MAX_VAR_DIMS];
    int rank = 0;
    nc_type type = 0;
    if (nc_inq_var(id_, var, nullptr, &type, &rank, dims, nullptr) != NC_NOERR || type != NC_INT64) return {};
    std::size_t total = 1;
    for (int d = 0; d < rank; ++d) {
      std::size_t length = 0;
      nc_inq_dimlen(id_, dims[d], &length);
      total *= length;
    }
    std::vector<long long> values(total);
    if (nc_get_var_longlong(id_, var, values.data()) != NC_NOERR) return {};
    return values;
  }
  std::vector<std::string> Dims(const char* name) const {
    int dims[NC_MAX_VAR_DIMS];
    int rank = 0;
    nc_inq_var(id_, Var(name), nullptr, nullptr, &rank, dims, nullptr);
    std::vector<std::string> names;
    for (int d = 0; d < rank; ++d) {
      char dim[NC_MAX_NAME + 1];
      nc_inq_dimname(id_, dims[d], dim);
      names.emplace_back(dim);
    }
    return names;
  }
  // A numeric attribute (none when absent or not a number).
  std::optional<double> Number(int var, const char* name) const {
    double value = 0.0;
    std::size_t length = 0;
    nc_type type = 0;
    if (nc_inq_att(id_, var, name, &type, &length) != NC_NOERR || type == NC_CHAR || type == NC_STRING || length != 1)
      return std::nullopt;
    if (nc_get_att_double(id_, var, name, &value) != NC_NOERR) return std::nullopt;
    return value;
  }
  std::optional<double> Number(const char* var, const char* name) const { return Number(Var(var), name); }
  // The values of a string variable (NC_STRING), in order.
  std::vector<std::string> Strings(const char* name) const {
    const int var = Var(name);
    int dims[NC_MAX_VAR_DIMS];
    int rank = 0;
    nc_type type = 0;
    if (nc_inq_var(id_, var, nullptr, &type, &rank, dims, nullptr) != NC_NOERR || type != NC_STRING) return {};
    std::size_t total = 1;
    for (int d = 0; d < rank; ++d) {
      std::size_t length = 0;
      nc_inq_dimlen(id_, dims[d], &length);
      total *= length;
    }
    std::vector<char*> values(total, nullptr);
    if (nc_get_var_string(id_, var, values.data()) != NC_NOERR) return {};
    std::vector<std::string> texts;
    for (const char* value : values) texts.emplace_back(value ? value : "");
    nc_free_string(total, values.data());
    return texts;
  }
  // Whether the file has a dimension of this name.
  bool HasDim(const char* name) const {
    int dim = -1;
    return nc_inq_dimid(id_, name, &dim) == NC_NOERR;
  }
  int Format() const {
    int format = 0;
    nc_inq_format(id_, &format);
    return format;
  }

 private:
  int id_ = -1;
  bool ok_ = false;
};

}  // namespace sondrix::test
