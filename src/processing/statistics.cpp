// SPDX-License-Identifier: GPL-3.0-or-later
#include "processing/statistics.h"

#include <algorithm>
#include <numeric>

namespace sondrix {

std::string_view BinStatisticName(BinStatistic statistic) {
  return statistic == BinStatistic::kMean ? "mean" : "median";
}

bool ParseBinStatistic(std::string_view name, BinStatistic& statistic) {
  for (BinStatistic s : {BinStatistic::kMean, BinStatistic::kMedian}) {
    if (name == BinStatisticName(s)) {
      statistic = s;
      return true;
    }
  }
  return false;
}

std::string TimeBinProblem(double seconds) {
  return seconds < 0.001 || seconds > 86400.0 ? "not 0.001 ... 86400 seconds" : "";
}

double Median(std::vector<double>& values) {
  if (values.empty()) return std::numeric_limits<double>::quiet_NaN();
  const std::size_t mid = values.size() / 2;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(mid), values.end());
  const double upper = values[mid];
  if (values.size() % 2 == 1) return upper;
  const double lower = *std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(mid));
  return 0.5 * (lower + upper);
}

BinSummary BinColumns::Of(std::size_t column, BinStatistic statistic) {
  std::vector<double>& values = columns_[column];
  BinSummary out;
  out.count = static_cast<long>(values.size());
  if (values.empty()) return out;
  const double n = static_cast<double>(values.size());
  const double mean = std::accumulate(values.begin(), values.end(), 0.0) / n;
  if (values.size() > 1) {
    double squares = 0.0;
    for (double v : values) squares += (v - mean) * (v - mean);
    out.sd = std::sqrt(squares / (n - 1.0));
  }
  out.value = statistic == BinStatistic::kMean ? mean : Median(values);
  return out;
}

}  // namespace sondrix
