// SPDX-License-Identifier: GPL-3.0-or-later
// Stand-ins for a live instrument in the calibration and editor tests: a
// source whose uncorrected samples are scripted, and a port that holds a
// byte stream in memory.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <vector>

#include "common/panels.h"
#include "common/status.h"
#include "io/dport.h"
#include "platform/headless/headless_ui.h"
#include "io/meter_packet.h"
#include "source/source.h"
#include "source/source_line.h"

namespace sondrix::test {

class MemoryPort : public DPort {
 public:
  void Append(const std::vector<std::uint8_t>& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  }
  Status BytesAvail() override { return static_cast<Status>(bytes_.size() - pos_); }
  Status Search(const std::uint8_t* pattern, int length, int maxBytes) override {
    for (int skipped = 0; skipped <= maxBytes && pos_ + length <= bytes_.size(); ++skipped) {
      if (std::memcmp(bytes_.data() + pos_, pattern, static_cast<std::size_t>(length)) == 0) {
        pos_ += static_cast<std::size_t>(length);
        return status::kOk;
      }
      ++pos_;
    }
    return status::kUnrecognisedData;
  }
  Status Read(std::uint8_t* buffer, int count) override {
    const auto n = static_cast<std::size_t>(count);
    if (bytes_.size() - pos_ < n) return status::kUnexpectedEof;
    std::memcpy(buffer, bytes_.data() + pos_, n);
    pos_ += n;
    return status::kOk;
  }
  // An instrument that acknowledges every command frame by sending it back
  // (with `acknowledge`); what was written is kept.
  Status Write(const std::uint8_t* buffer, int count) override {
    written.insert(written.end(), buffer, buffer + count);
    if (!acknowledge) return status::kOk;
    bytes_.insert(bytes_.end(), buffer, buffer + count);
    return status::kOk;
  }
  Status Open(int baud) override {
    openedAt = baud;
    return status::kOk;
  }
  Status Close() override { return status::kOk; }

  bool acknowledge = false;
  std::vector<std::uint8_t> written;
  int openedAt = 0;

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t pos_ = 0;
};

// A meter packet of `channels` channels and ten samples with this pressure
// count and packet status word. Its time counts follow those of the packet
// made before it, as an instrument's do: a packet that carried the counts of
// the one before would be a repeat, and no new data.
inline std::vector<std::uint8_t> Packet(int channels, std::int16_t pressure,
                                        std::uint16_t statusWord = 0) {
  static std::uint16_t nextTime = 0;
  MeterPacketFields fields;
  for (int i = 0; i < 10; ++i) fields.timeCounts.push_back(nextTime++);
  fields.serial = 0x07000001;
  fields.status = statusWord;
  fields.periodCount = 1000;
  fields.pressureCount = pressure;
  fields.tempCount = 20000;
  fields.values.assign(static_cast<std::size_t>(channels) * 10, 0.5);
  fields.refs.assign(static_cast<std::size_t>(channels), 0.6);
  return EncodeMeterPacket(fields, channels, 10);
}

class ScriptedSource : public Source {
 public:
  struct Reply {
    Status result = status::kOk;
    Status lineStatus = status::kOk;
    std::vector<double> values;
    double extTemperature = 0.0;  // the water's, as the meter's external sensor reads it
  };

  explicit ScriptedSource(int traceCount) : Source("scripted.dev", "COM1"), traces_(traceCount) {}

  // Good samples with these values.
  ScriptedSource& Good(std::vector<double> values, int times = 1, double extTemperature = 0.0) {
    for (int i = 0; i < times; ++i) replies.push_back({status::kOk, status::kOk, values, extTemperature});
    return *this;
  }
  // Samples the line held before the user asked for any: DiscardInput
  // throws them away.
  ScriptedSource& Stale(std::vector<double> values, int times = 1) {
    Good(std::move(values), times);
    stale_ += times;
    return *this;
  }
  Status DiscardInput() override {
    for (; stale_ > 0 && !replies.empty(); --stale_) replies.pop_front();
    return status::kOk;
  }
  ScriptedSource& Lost(int times = 1) {
    for (int i = 0; i < times; ++i) {
      replies.push_back({status::kOk, status::kLostLine, std::vector<double>(traces_, 99.0)});
    }
    return *this;
  }
  ScriptedSource& Result(Status result, int times = 1) {
    for (int i = 0; i < times; ++i) replies.push_back({result, status::kOk, {}});
    return *this;
  }

  int GetTraceCount() override { return traces_; }
  int GetInTraceCount() override { return traces_; }
  int GetSamplesPerRec() override { return 10; }
  Status GetPort(DPort*& port) override {
    port = &port_;
    return status::kOk;
  }
  // An empty script means that no data have come yet.
  Status ReadUnCorrData(SourceLine& line) override {
    ++reads;
    if (onRead) onRead();
    if (replies.empty()) return status::kNoData;
    Reply reply = std::move(replies.front());
    replies.pop_front();
    line.status = reply.lineStatus;
    line.extTemperature = reply.extTemperature;
    std::copy_n(reply.values.begin(), std::min(reply.values.size(), line.values.size()),
                line.values.begin());
    return reply.result;
  }

  MemoryPort& port() { return port_; }

  std::deque<Reply> replies;
  std::function<void()> onRead;
  int reads = 0;

 private:
  int traces_;
  int stale_ = 0;
  MemoryPort port_;
};

// Runs `then` (which scripts further steps) once the wait message of a
// calibration is gone: steps scripted after the one that starts a
// calibration would otherwise be taken by its own looks at the user
// interface (and refused, the message being the active pop-up).
inline void AfterWaitMessage(platform::HeadlessUi& ui, std::function<void(platform::HeadlessUi&)> then) {
  ui.Then([then](platform::HeadlessUi& u) {
    if (u.NewestHandle(panels::kWait) == 0) {
      then(u);
    } else {
      u.Raw(platform::UserEvent{});
      AfterWaitMessage(u, then);
    }
  });
}

}  // namespace sondrix::test
