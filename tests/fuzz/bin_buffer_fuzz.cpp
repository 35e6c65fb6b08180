// Fuzz target: arbitrary bytes as the stream of a meter, through the packet
// decoder. The first byte picks the packet shape and the port: a serial line
// (the in-memory library; every 0xA5 byte at an even offset also becomes a
// time-out, so reads come back short) or the replay of a capture file.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "io/bin_buffer.h"
#include "io/raw_file_port.h"
#include "io/rs232_port.h"
#include "platform/headless/fake_serial.h"
#include "platform/serial.h"

namespace {

struct Shape {
  int channels;
  int samples;
};

constexpr Shape kShapes[] = {{3, 10}, {6, 10}, {18, 10}, {1, 1}, {256, 1}, {5, 3}, {2, 40}, {100, 2}};

// A serial line that always says enough bytes are waiting.
class EagerPort : public sondrix::RS232Port {
 public:
  sondrix::Status BytesAvail() override { return 4096; }
};

// Reads records until the stream ends; `more` says whether a "not yet" or
// a "no pattern" may still be followed by bytes. Every record must be well formed: lost
// samples first, then at most one packet whose samples are valid fractions.
template <typename More>
void Drain(sondrix::BinBuffer& decoder, std::size_t maxCalls, More more) {
  for (std::size_t call = 0; call < maxCalls; ++call) {
    int last = -1;
    const sondrix::Status result = decoder.ReadRecord(last);
    if (result == sondrix::status::kOk) {
      if (last < 0 || decoder.GetDatap(last + 1) != nullptr) __builtin_trap();
      bool good = false;
      for (int i = 0; i <= last; ++i) {
        const sondrix::DataSample* sample = decoder.GetDatap(i);
        if (sample == nullptr) __builtin_trap();
        if (sample->status == sondrix::status::kOk) {
          good = true;
          const double value = sample->values[static_cast<std::size_t>(decoder.Channels() - 1)];
          if (!(value >= 0.0 && value < 1.0)) __builtin_trap();
        } else if (sample->status != sondrix::status::kLostLine || good) {
          __builtin_trap();  // a lost sample behind a good one
        }
      }
      volatile double temp = decoder.GetRefp()->temp;
      (void)temp;
    } else if (result == sondrix::status::kNoData || result == sondrix::status::kUnrecognisedData) {
      if (!more()) return;
    } else {
      return;  // end of the stream (time-out or end of file)
    }
  }
}

void OverSerial(const Shape& shape, std::span<const std::uint8_t> stream) {
  sondrix::platform::FakeSerial fake;
  sondrix::platform::ScopedSerial scoped(fake);
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
  std::unique_ptr<sondrix::BinBuffer> decoder;
  if (sondrix::BinBuffer::New(decoder, port, shape.channels, shape.samples) != 1) __builtin_trap();
  // Every call consumes a byte or a time-out; once a call that found no
  // packet took nothing from the line, the line has nothing more to give.
  std::size_t remaining = fake.Remaining(1);
  Drain(*decoder, 2 * stream.size() + 2, [&] {
    const std::size_t now = fake.Remaining(1);
    const bool progressed = now != remaining;
    remaining = now;
    return now > 0 && progressed;
  });
}

void OverReplay(const Shape& shape, std::span<const std::uint8_t> stream) {
  const int fd = memfd_create("capture", 0);
  if (fd < 0) return;
  std::size_t done = 0;
  while (done < stream.size()) {
    const ssize_t n = write(fd, stream.data() + done, stream.size() - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  {
    sondrix::RawFilPort port;
    port.SetName("/proc/self/fd/" + std::to_string(fd));
    if (port.Open(0) == 1) {
      std::unique_ptr<sondrix::BinBuffer> decoder;
      if (sondrix::BinBuffer::New(decoder, port, shape.channels, shape.samples) != 1) {
        __builtin_trap();
      }
      Drain(*decoder, stream.size() + 2, [] { return true; });
    }
  }
  close(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const Shape& shape = kShapes[(data[0] >> 1) % (sizeof kShapes / sizeof kShapes[0])];
  const std::span<const std::uint8_t> stream(data + 1, size - 1);
  if ((data[0] & 1) == 0) {
    OverSerial(shape, stream);
  } else {
    OverReplay(shape, stream);
  }
  return 0;
}
