// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/headless/fake_serial.h"

#include <cstddef>
#include <utility>

namespace sondrix::platform {
namespace {

using namespace com_error;


const std::vector<std::uint8_t> kNothing;

}  // namespace

void FakeSerial::Feed(int port, std::span<const std::uint8_t> bytes) {
  auto& input = ports_[port].input.bytes;
  input.insert(input.end(), bytes.begin(), bytes.end());
}

void FakeSerial::Feed(int port, std::string_view bytes) {
  auto& input = ports_[port].input.bytes;
  for (char c : bytes) input.push_back(static_cast<unsigned char>(c));
}

void FakeSerial::FeedTimeout(int port) {
  Input& input = ports_[port].input;
  input.timeoutMarks.push_back(input.fed());
}

void FakeSerial::FeedFlushMark(int port) {
  Input& input = ports_[port].input;
  input.flushMarks.push_back(input.fed());
}

void FakeSerial::SetOpenResult(int port, int code) { ports_[port].openResult = code; }

void FakeSerial::SetIoError(int port, int code) { ports_[port].ioError = code; }

void FakeSerial::SetDevice(int port, std::string_view path) { ports_[port].device = std::string(path); }

void FakeSerial::FeedUnplug(int port, int failedOpens) {
  Input& input = ports_[port].input;
  input.unplugMarks.emplace_back(input.fed(), failedOpens);
}

std::string FakeSerial::DevicePath(int port) const { return Field(port, &Port::device, std::string()); }

void FakeSerial::SetPorts(std::vector<SerialPortInfo> ports) { system_ = std::move(ports); }

void FakeSerial::SetOpenProblem(int port, PortProblem problem) { ports_[port].problem = std::move(problem); }

std::vector<SerialPortInfo> FakeSerial::ListPorts() { return system_; }

PortProblem FakeSerial::OpenProblem(int port) {
  const Port* p = Find(port);
  return p != nullptr && p->openResult < 0 ? p->problem : PortProblem{};
}

const FakeSerial::Port* FakeSerial::Find(int port) const {
  auto it = ports_.find(port);
  return it == ports_.end() ? nullptr : &it->second;
}

const std::vector<std::uint8_t>& FakeSerial::Written(int port) const {
  const Port* p = Find(port);
  return p == nullptr ? kNothing : p->written;
}

std::string FakeSerial::WrittenText(int port) const {
  const auto& bytes = Written(port);
  return std::string(bytes.begin(), bytes.end());
}

bool FakeSerial::IsOpen(int port) const { return Field(port, &Port::open, false); }

long FakeSerial::Baud(int port) const { return Field(port, &Port::baud, 0); }

double FakeSerial::TimeOut(int port) const { return Field(port, &Port::timeout, 10.0); }

int FakeSerial::OpenCount(int port) const { return Field(port, &Port::openCount, 0); }

int FakeSerial::FlushInCount(int port) const { return Field(port, &Port::flushIn, 0); }

int FakeSerial::FlushOutCount(int port) const { return Field(port, &Port::flushOut, 0); }

std::size_t FakeSerial::Remaining(int port) const {
  const Port* p = Find(port);
  return p == nullptr ? 0 : p->input.bytes.size();
}

FakeSerial::Port* FakeSerial::OpenPort(int port, int& code) {
  if (!ValidPort(port)) {
    code = kInvalidPortNumber;
    return nullptr;
  }
  auto it = ports_.find(port);
  if (it == ports_.end() || !it->second.open) {
    code = kPortNotOpen;
    return nullptr;
  }
  Port& p = it->second;
  Input& in = p.input;
  if (!p.unplugged && !in.unplugMarks.empty() && in.unplugMarks.front().first == in.consumed) {
    p.unplugged = true;
    p.failedOpens = in.unplugMarks.front().second;
    in.unplugMarks.pop_front();
  }
  if (p.unplugged) {
    code = kGeneralIoError;
    return nullptr;
  }
  if (p.ioError != 0) {
    code = p.ioError;
    return nullptr;
  }
  return &p;
}

int FakeSerial::OpenComConfig(int port, std::string_view deviceName, long baud, int parity,
                              int dataBits, int stopBits, int /*inputQueueSize*/,
                              int /*outputQueueSize*/) {
  if (!ValidPort(port)) return kInvalidPortNumber;
  if (baud <= 0) return kInvalidBaudRate;
  if (parity < 0 || parity > 4) return kInvalidParity;
  if (dataBits < 5 || dataBits > 8) return kInvalidDataBits;
  if (stopBits < 1 || stopBits > 2) return kInvalidStopBits;
  Port& p = ports_[port];
  if (p.openResult < 0) return p.openResult;
  if (p.unplugged) {
    // Still away, or back: reopened only once closed.
    if (p.open || p.failedOpens > 0) {
      if (!p.open) --p.failedOpens;
      return kCannotOpenPort;
    }
    p.unplugged = false;
  }
  // Opening an open port sets it up anew, as the library does.
  p.open = true;
  if (!deviceName.empty()) p.device = std::string(deviceName);
  p.baud = baud;
  ++p.openCount;
  return 0;
}

int FakeSerial::CloseCom(int port) {
  if (!ValidPort(port)) return kInvalidPortNumber;
  auto it = ports_.find(port);
  if (it == ports_.end() || !it->second.open) return kPortNotOpen;
  it->second.open = false;
  return 0;
}

int FakeSerial::ReadInput(int port, char* buffer, std::size_t count, int terminator) {
  int code = 0;
  Port* p = OpenPort(port, code);
  if (p == nullptr) return code;
  Input& in = p->input;
  std::size_t got = 0;
  while (got < count) {
    // Flush marks passed by a read are spent.
    while (!in.flushMarks.empty() && in.flushMarks.front() < in.consumed) in.flushMarks.pop_front();
    if (!in.timeoutMarks.empty() && in.timeoutMarks.front() == in.consumed) {
      in.timeoutMarks.pop_front();
      break;
    }
    if (in.bytes.empty()) break;
    if (!in.unplugMarks.empty() && in.unplugMarks.front().first == in.consumed) break;
    const std::uint8_t byte = in.bytes.front();
    in.bytes.pop_front();
    ++in.consumed;
    if (terminator >= 0 && byte == terminator) break;
    buffer[got++] = static_cast<char>(byte);
  }
  return static_cast<int>(got);
}

int FakeSerial::ComRd(int port, char* buffer, std::size_t count) { return ReadInput(port, buffer, count, -1); }

int FakeSerial::ComRdTerm(int port, char* buffer, std::size_t count, int terminator) {
  return ReadInput(port, buffer, count, terminator & 0xFF);
}

int FakeSerial::ComWrt(int port, const char* buffer, std::size_t count) {
  int code = 0;
  Port* p = OpenPort(port, code);
  if (p == nullptr) return code;
  p->written.insert(p->written.end(), buffer, buffer + count);
  return static_cast<int>(count);
}

int FakeSerial::GetInQLen(int port) {
  int code = 0;
  Port* p = OpenPort(port, code);
  if (p == nullptr) return code;
  return static_cast<int>(p->input.arrived());
}

int FakeSerial::FlushInQ(int port) {
  int code = 0;
  Port* p = OpenPort(port, code);
  if (p == nullptr) return code;
  ++p->flushIn;
  // The bytes before the first flush mark not yet passed go, and the mark
  // (time-out marks among them with them).
  Input& in = p->input;
  while (!in.flushMarks.empty() && in.flushMarks.front() < in.consumed) in.flushMarks.pop_front();
  if (in.flushMarks.empty()) return 0;
  const std::uint64_t mark = in.flushMarks.front();
  in.flushMarks.pop_front();
  in.bytes.erase(in.bytes.begin(), in.bytes.begin() + static_cast<std::ptrdiff_t>(mark - in.consumed));
  in.consumed = mark;
  while (!in.timeoutMarks.empty() && in.timeoutMarks.front() <= mark) in.timeoutMarks.pop_front();
  return 0;
}

int FakeSerial::FlushOutQ(int port) {
  int code = 0;
  Port* p = OpenPort(port, code);
  if (p == nullptr) return code;
  ++p->flushOut;
  return 0;
}

int FakeSerial::SetComTime(int port, double seconds) {
  int code = 0;
  Port* p = OpenPort(port, code);
  if (p == nullptr) return code;
  if (!(seconds >= 0.0)) return kInvalidParameter;
  p->timeout = seconds;
  return 0;
}

}  // namespace sondrix::platform
