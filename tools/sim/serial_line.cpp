// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/serial_line.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "config/config.h"
#include "sim/simulator.h"

namespace sondrix::sim {

long LineRate(long instrumentBaud, double bytesPerSecond) {
  const double bits = bytesPerSecond * 10.0;
  if (instrumentBaud > 0 && static_cast<double>(instrumentBaud) >= bits) return instrumentBaud;
  const double needed = bits / kLineLoad;
  for (const int rate : kBaudRates) {
    if (rate > instrumentBaud && static_cast<double>(rate) >= needed) return rate;
  }
  return static_cast<long>(std::ceil(needed));
}

long long SerialLine::Send(std::span<const std::uint8_t> bytes, double start, long baud) {
  if (bytes.empty() || baud <= 0) return queued_;
  Segment segment;
  segment.bytes.assign(bytes.begin(), bytes.end());
  segment.start = std::max(start, freeAt_);
  segment.byteSeconds = PacketStream::TransmitSeconds(1, baud);
  freeAt_ = segment.start + static_cast<double>(bytes.size()) * segment.byteSeconds;
  queued_ += static_cast<long long>(bytes.size());
  segments_.push_back(std::move(segment));
  return queued_;
}

Output::Result SerialLine::Pump(Output& out, double now) {
  while (!segments_.empty()) {
    Segment& s = segments_.front();
    // Byte k (from 0) has gone out at start + (k + 1) byteSeconds.
    const double sent = std::floor((now - s.start) / s.byteSeconds);
    const std::size_t due = sent <= 0.0 ? 0 : static_cast<std::size_t>(std::min(sent, static_cast<double>(s.bytes.size())));
    if (due > s.done) {
      const std::size_t count = due - s.done;
      std::size_t taken = 0;
      const Output::Result result = out.Offer(s.bytes.data() + s.done, count, kLineBufferBytes, taken);
      if (result != Output::Result::kWritten) return result;
      if (taken < count) Lose(handled_ + static_cast<long long>(taken), handled_ + static_cast<long long>(count));
      handled_ += static_cast<long long>(count);
      s.done = due;
    }
    if (s.done < s.bytes.size()) break;
    segments_.pop_front();
  }
  return Output::Result::kWritten;
}

void SerialLine::DropPending() {
  for (const Segment& s : segments_) {
    const auto left = static_cast<long long>(s.bytes.size() - s.done);
    Lose(handled_, handled_ + left);
    handled_ += left;
  }
  segments_.clear();
}

double SerialLine::NextByteAt() const {
  if (segments_.empty()) return std::numeric_limits<double>::max();
  const Segment& s = segments_.front();
  return s.start + static_cast<double>(s.done + 1) * s.byteSeconds;
}

void SerialLine::Lose(long long from, long long to) {
  if (to <= from) return;
  if (!lost_.empty() && lost_.back().second == from) {
    lost_.back().second = to;
  } else {
    lost_.emplace_back(from, to);
  }
}

long long SerialLine::LostIn(long long from, long long to) const {
  long long lost = 0;
  for (const auto& [a, b] : lost_) lost += std::max(0LL, std::min(b, to) - std::max(a, from));
  return lost;
}

void SerialLine::Forget(long long offset) {
  std::erase_if(lost_, [offset](const auto& range) { return range.second <= offset; });
}

}  // namespace sondrix::sim
