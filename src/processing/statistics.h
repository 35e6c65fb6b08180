// SPDX-License-Identifier: GPL-3.0-or-later
// The statistics of a bin: the values of one variable that fell into an
// interval of time (a row of a Level-2 file binned to --bin seconds) or of
// depth (a profile's bin), summed up as their median or mean, their
// standard deviation and their count. NaN values are not samples of the
// variable and are left out.
#pragma once

#include <cmath>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sondrix {

enum class BinStatistic { kMean, kMedian };
// "mean", "median": the statistic's word on the command line and in the
// files' method attributes (CF cell_methods).
std::string_view BinStatisticName(BinStatistic statistic);
bool ParseBinStatistic(std::string_view name, BinStatistic& statistic);

// Whether a time bin a user gives may be one: "" when it may, else why
// (0.001 ... 86400 s).
std::string TimeBinProblem(double seconds);

// The median of `values` (reordered): the middle value, or the mean of the
// middle two; NaN for none.
double Median(std::vector<double>& values);

struct BinSummary {
  double value = std::numeric_limits<double>::quiet_NaN();  // the median or mean
  double sd = std::numeric_limits<double>::quiet_NaN();     // the sample standard deviation (n - 1); NaN below 2
  long count = 0;
};

// The values of a bin's variables, gathered column by column.
class BinColumns {
 public:
  explicit BinColumns(std::size_t columns = 0) : columns_(columns) {}
  void Resize(std::size_t columns) { columns_.resize(columns); }
  std::size_t size() const { return columns_.size(); }
  // One value of `column`; NaN is left out.
  void Add(std::size_t column, double value) {
    if (!std::isnan(value)) columns_[column].push_back(value);
  }
  void Add(std::span<const double> values) {
    for (std::size_t k = 0; k < values.size() && k < columns_.size(); ++k) Add(k, values[k]);
  }
  // The summary of `column` (reorders its values).
  BinSummary Of(std::size_t column, BinStatistic statistic);
  // Empties every column for the next bin (keeping their memory).
  void Clear() {
    for (std::vector<double>& c : columns_) c.clear();
  }

 private:
  std::vector<std::vector<double>> columns_;
};

}  // namespace sondrix
