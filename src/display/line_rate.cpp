// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/line_rate.h"

namespace sondrix {

void LineRate::Clear() {
  count_ = 0;
  next_ = 0;
}

const LineRate::Mark& LineRate::Back(std::size_t age) const {
  return marks_[(next_ + kLines - 1 - age) % kLines];
}

void LineRate::Add(std::int64_t timeMs, long long samples) {
  if (count_ > 0 && (timeMs < Back(0).timeMs || samples < Back(0).samples)) Clear();
  marks_[next_] = Mark{timeMs, samples};
  next_ = (next_ + 1) % kLines;
  if (count_ < kLines) ++count_;
}

std::optional<double> LineRate::Estimate() const {
  if (count_ < 2) return std::nullopt;
  const Mark& newest = Back(0);
  // The oldest line within the window; the line before the newest when the
  // lines come further apart than the window.
  std::size_t age = 1;
  while (age + 1 < count_ && newest.timeMs - Back(age + 1).timeMs <= kWindowMs) ++age;
  const Mark& oldest = Back(age);
  const std::int64_t ms = newest.timeMs - oldest.timeMs;
  const long long samples = newest.samples - oldest.samples;
  if (ms <= 0 || samples <= 0) return std::nullopt;
  return 1000.0 * static_cast<double>(samples) / static_cast<double>(ms);
}

}  // namespace sondrix
