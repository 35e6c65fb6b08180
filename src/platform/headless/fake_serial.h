// SPDX-License-Identifier: GPL-3.0-or-later
// FakeSerial: an in-memory serial library for tests. Each port has a
// scripted input stream (bytes, and "time-out here" marks), records what is
// written to it, and can be told to fail on open or on reading. Reads never
// block: a read that meets a time-out mark or the end of the script returns
// what it has, as a real read does when its time-out ends (the mark is
// consumed).
//
// The scripted bytes stand for what arrives after the port is opened and
// flushed: FlushInQ discards nothing, unless the script holds a flush mark,
// in which case the bytes before the first one (and the mark) are discarded.
// Bytes before the first time-out mark have "arrived": GetInQLen counts them.
#pragma once

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <deque>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/serial.h"

namespace sondrix::platform {

class FakeSerial : public Serial {
 public:
  // Port numbers the fake accepts (others give -2).
  static constexpr int kMaxPort = 255;

  FakeSerial() = default;

  // --- Scripting ------------------------------------------------------------
  void Feed(int port, std::span<const std::uint8_t> bytes);
  void Feed(int port, std::string_view bytes);
  // Reads stop here as if the time-out had ended them.
  void FeedTimeout(int port);
  // FlushInQ discards the input up to here.
  void FeedFlushMark(int port);
  // OpenComConfig of `port` fails with `code` (negative), or succeeds (0).
  void SetOpenResult(int port, int code);
  // Every read, GetInQLen and write on an open `port` fails with `code` from
  // now on (0 ends it): a device that went away.
  void SetIoError(int port, int code);
  // The device is unplugged here: once the reads reach this point every
  // read, GetInQLen and write fails with -151 until the port is closed;
  // then `failedOpens` opens fail with -7 (the device is still away) before
  // one succeeds and the bytes fed after this point arrive.
  void FeedUnplug(int port, int failedOpens);
  // The device path the port reports (DevicePath) when opened by number.
  void SetDevice(int port, std::string_view path);
  // The system's ports ListPorts gives (none unless set).
  void SetPorts(std::vector<SerialPortInfo> ports);
  // What OpenProblem tells while the port's opens fail (SetOpenResult).
  void SetOpenProblem(int port, PortProblem problem);

  // --- Inspection -----------------------------------------------------------
  const std::vector<std::uint8_t>& Written(int port) const;
  std::string WrittenText(int port) const;
  bool IsOpen(int port) const override;
  long Baud(int port) const;
  double TimeOut(int port) const;
  int OpenCount(int port) const;
  int FlushInCount(int port) const;
  int FlushOutCount(int port) const;
  // Scripted bytes not yet read (all of them, marks not counted).
  std::size_t Remaining(int port) const;

  // --- Serial -----------------------------------------------------------------
  int OpenComConfig(int port, std::string_view deviceName, long baud, int parity, int dataBits,
                    int stopBits, int inputQueueSize, int outputQueueSize) override;
  int CloseCom(int port) override;
  int ComRd(int port, char* buffer, std::size_t count) override;
  int ComRdTerm(int port, char* buffer, std::size_t count, int terminator) override;
  int ComWrt(int port, const char* buffer, std::size_t count) override;
  int GetInQLen(int port) override;
  int FlushInQ(int port) override;
  int FlushOutQ(int port) override;
  int SetComTime(int port, double seconds) override;
  // The device set by SetDevice, or the name the port was last opened with.
  std::string DevicePath(int port) const override;
  std::vector<SerialPortInfo> ListPorts() override;
  PortProblem OpenProblem(int port) override;

 private:
  // A port's scripted input: the bytes not yet read, and the marks by the
  // count of bytes fed before them (positions on the port's whole stream),
  // so that every count is O(1) however long the script.
  struct Input {
    std::deque<std::uint8_t> bytes;
    std::deque<std::uint64_t> timeoutMarks;
    std::deque<std::uint64_t> flushMarks;
    // Unplug marks: where, and the opens that fail after it.
    std::deque<std::pair<std::uint64_t, int>> unplugMarks;
    std::uint64_t consumed = 0;  // bytes read or flushed so far
    std::uint64_t fed() const { return consumed + bytes.size(); }
    // Bytes that have arrived: those before the next time-out or unplug mark.
    std::size_t arrived() const {
      std::uint64_t end = fed();
      if (!timeoutMarks.empty()) end = std::min(end, timeoutMarks.front());
      if (!unplugMarks.empty()) end = std::min(end, unplugMarks.front().first);
      return static_cast<std::size_t>(end - consumed);
    }
  };

  struct Port {
    Input input;
    std::vector<std::uint8_t> written;
    bool open = false;
    int openResult = 0;
    int ioError = 0;
    bool unplugged = false;
    int failedOpens = 0;
    std::string device;
    long baud = 0;
    double timeout = 10.0;
    int openCount = 0;
    int flushIn = 0;
    int flushOut = 0;
    PortProblem problem;
  };

  static bool ValidPort(int port) { return port >= 1 && port <= kMaxPort; }
  // A field of a port's record, or `fallback` for a port never used.
  template <typename T>
  T Field(int port, T Port::*field, std::type_identity_t<T> fallback) const {
    const Port* p = Find(port);
    return p == nullptr ? fallback : p->*field;
  }
  // The port's record, or null (with `code` set) when it is not usable.
  // Reaching an unplug mark unplugs the device.
  Port* OpenPort(int port, int& code);
  // Reads up to `count` bytes, ending early at a time-out mark (consumed)
  // or after the byte `terminator` (0 ... 255; consumed, not stored; -1:
  // none).
  int ReadInput(int port, char* buffer, std::size_t count, int terminator);
  const Port* Find(int port) const;

  std::map<int, Port> ports_;
  std::vector<SerialPortInfo> system_;
};

}  // namespace sondrix::platform
