// SPDX-License-Identifier: GPL-3.0-or-later
// What the decoder fuzz targets share: a stream of arbitrary bytes through a
// packet decoder over a scripted serial line (the in-memory library; every
// 0xA5 byte at an even offset also becomes a time-out, so reads come back
// short) or over the replay of a capture file, read to its end. Every record
// must be well formed: lost samples first, then at most one packet, whose
// values a check accepts; the good samples' places on the decoder's time
// line never go back.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "common/status.h"
#include "io/data_buffer.h"
#include "io/raw_file_port.h"
#include "io/rs232_port.h"
#include "platform/headless/fake_serial.h"
#include "platform/serial.h"

namespace sondrix::fuzz {

// A serial line that always says enough bytes are waiting.
class EagerPort : public RS232Port {
 public:
  Status BytesAvail() override { return 4096; }
};

// Whether the decoder is synchronised as a meter's reset does, before its
// first read and again after a few (a replay keeps its place then).
inline bool gSyncFirst = false;

// Reads records until the stream ends; `more` says whether a "not yet" or
// a "no pattern" may still be followed by bytes. `valid` judges a good
// sample's values.
template <typename Decoder, typename More, typename Valid>
void Drain(Decoder& decoder, std::size_t maxCalls, More more, Valid valid) {
  std::int64_t lastTime = INT64_MIN;
  for (std::size_t call = 0; call < maxCalls; ++call) {
    if (gSyncFirst && (call == 0 || call == 5)) {
      std::uint32_t a = 0, b = 0, c = 0;
      if (decoder.Sync(a, b, c) != status::kOk && call == 0) continue;
      lastTime = INT64_MIN;  // a synchronisation starts the time line afresh
    }
    int last = -1;
    const Status result = decoder.ReadRecord(last);
    if (result == status::kOk) {
      if (last < 0 || decoder.GetDatap(last + 1) != nullptr) __builtin_trap();
      bool good = false;
      for (int i = 0; i <= last; ++i) {
        const DataSample* sample = decoder.GetDatap(i);
        if (sample == nullptr) __builtin_trap();
        if (sample->status == status::kOk) {
          good = true;
          if (!valid(*sample)) __builtin_trap();
          if (sample->time < lastTime) __builtin_trap();  // time ran backwards
          lastTime = sample->time;
        } else if (sample->status != status::kLostLine || good) {
          __builtin_trap();  // a lost sample behind a good one
        }
      }
      volatile double temp = decoder.GetRefp()->temp;
      (void)temp;
    } else if (result == status::kNoData || result == status::kUnrecognisedData) {
      if (!more()) return;
    } else {
      return;  // end of the stream (time-out or end of file)
    }
  }
}

// `make(port)` creates the decoder over the port (null: not for this shape).
template <typename Make, typename Valid>
void OverSerial(std::span<const std::uint8_t> stream, Make make, Valid valid) {
  platform::FakeSerial fake;
  platform::ScopedSerial scoped(fake);
  fake.OpenComConfig(1, "", 19200, 0, 8, 1, 4096, 4096);
  std::size_t from = 0;
  for (std::size_t i = 0; i < stream.size(); ++i) {
    if (stream[i] == 0xA5 && i % 2 == 0) {
      fake.Feed(1, stream.subspan(from, i + 1 - from));
      fake.FeedTimeout(1);
      from = i + 1;
    }
  }
  fake.Feed(1, stream.subspan(from));
  EagerPort port;
  port.SetName("COM1");
  auto decoder = make(port);
  if (!decoder) __builtin_trap();
  // Every call consumes a byte or a time-out; once a call that found no
  // packet took nothing from the line, the line has nothing more to give.
  std::size_t remaining = fake.Remaining(1);
  Drain(*decoder, 2 * stream.size() + 2, [&] {
    const std::size_t now = fake.Remaining(1);
    const bool progressed = now != remaining;
    remaining = now;
    return now > 0 && progressed;
  }, valid);
}

template <typename Make, typename Valid>
void OverReplay(std::span<const std::uint8_t> stream, Make make, Valid valid) {
  const int fd = memfd_create("capture", 0);
  if (fd < 0) return;
  std::size_t done = 0;
  while (done < stream.size()) {
    const ssize_t n = write(fd, stream.data() + done, stream.size() - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  {
    RawFilPort port;
    port.SetName("/proc/self/fd/" + std::to_string(fd));
    if (port.Open(0) == 1) {
      auto decoder = make(port);
      if (!decoder) __builtin_trap();
      Drain(*decoder, stream.size() + 2, [] { return true; }, valid);
    }
  }
  close(fd);
}

}  // namespace sondrix::fuzz
