// SPDX-License-Identifier: GPL-3.0-or-later
// A line link on a serial port (a GPS receiver's NMEA sentences, a
// thermosalinograph's lines): read through the platform's serial library
// (the same ports, [Ports] mapping and backends as a meter's line), without
// waiting: the port's time-out is 0, so a read returns at once with what has
// arrived. A line may arrive in pieces over any number of polls; its start
// waits in the link until its line end comes.
//
// A device that goes away (a USB adapter pulled out, -151 from a read) is
// not the end of the run: its port is closed and opened again, on the same
// device (its by-id link follows the adapter), about once a second, as a
// meter's line is.
#include <array>
#include <filesystem>
#include <string>
#include <system_error>

#include "common/errors.h"
#include "common/log.h"
#include "common/status.h"
#include "common/text_format.h"
#include "common/utils.h"
#include "io/line_link.h"
#include "io/rs232_port.h"
#include "platform/serial.h"

namespace sondrix {
namespace {

// A device path gets a port number above COM1 ... COM8, which a meter's
// port may take later, from the top down.
constexpr int kFirstPathPort = 9;
constexpr int kLastPathPort = 255;

// Opens `number` on `device` (empty: COMk's own) for reading without waits.
int OpenReceiverPort(int number, const std::string& device, long baud) {
  const int result = OpenSerialLine(number, device, baud);
  if (result < 0) return result;
  platform::serial().SetComTime(number, 0.0);
  return result;
}

// What a role's device is called at the start of a sentence.
std::string Capitalised(std::string_view text) {
  std::string out(text);
  if (!out.empty() && out[0] >= 'a' && out[0] <= 'z') out[0] = static_cast<char>(out[0] - 'a' + 'A');
  return out;
}

class SerialLink final : public LineLink {
 public:
  // `name` "COMk" or the device path it was given, `device` what it opened.
  SerialLink(int number, std::string name, std::string device, long baud, const LinkRole& role)
      : number_(number), name_(std::move(name)), device_(std::move(device)), baud_(baud), role_(role) {}
  ~SerialLink() override {
    if (!lost_) platform::serial().CloseCom(number_);
  }
  SerialLink(const SerialLink&) = delete;
  SerialLink& operator=(const SerialLink&) = delete;

  bool Poll(const LineHandler& line) override {
    if (lost_ && !Reopen()) return true;
    std::array<char, 4096> chunk{};
    for (;;) {
      const int n = platform::serial().ComRd(number_, chunk.data(), chunk.size());
      if (n < 0) {
        GoneAway(n);
        return true;
      }
      if (n == 0) return true;
      splitter_.Stream(std::string_view(chunk.data(), static_cast<std::size_t>(n)), line);
    }
  }

  int InputHandle() const override { return lost_ ? -1 : platform::serial().InputHandle(number_); }

  std::string Describe() const override {
    return name_ == device_ || device_.empty() ? name_ : name_ + " (" + device_ + ")";
  }

 private:
  void GoneAway(int code) {
    SONDRIX_LOG(Warn, "The %.*s on %s went away (%s); it is opened again when it is back",
                static_cast<int>(role_.device.size()), role_.device.data(), PrintableText(Describe()).c_str(),
                StatusText(code).c_str());
    platform::serial().CloseCom(number_);
    splitter_.DropPartial();
    lost_ = true;
  }

  bool Reopen() {
    if (!retry_.Due()) return false;
    if (OpenReceiverPort(number_, device_, baud_) < 0) return false;
    lost_ = false;
    SONDRIX_LOG(Info, "The %.*s on %s is back", static_cast<int>(role_.device.size()), role_.device.data(),
                PrintableText(Describe()).c_str());
    return true;
  }

  int number_;
  std::string name_;
  std::string device_;
  long baud_;
  LinkRole role_;
};

bool SameDevice(const std::string& a, const std::string& b) {
  if (a == b) return true;
  std::error_code error;
  return std::filesystem::equivalent(a, b, error) && !error;
}

}  // namespace

std::unique_ptr<LineLink> OpenSerialLink(std::string_view port, long baud, const LinkRole& role, std::string& error) {
  platform::Serial& serial = platform::serial();
  const std::string name(port);
  int number = IsPortName(port) != 0 ? port[3] - '0' : 0;
  if (number != 0) {
    if (serial.IsOpen(number)) {
      error = name + " is already open, the meter's port: the " + std::string(role.shortName) +
              " needs a port of its own";
      return nullptr;
    }
  } else {
    for (int open = 1; open <= kLastPathPort; ++open) {
      if (serial.IsOpen(open) && SameDevice(serial.DevicePath(open), name)) {
        error = name + (open <= 8 ? " is already open as COM" + std::to_string(open) + ", the meter's port"
                                  : std::string(" is already open for another line of this run")) +
                ": the " + std::string(role.shortName) + " needs a port of its own";
        return nullptr;
      }
    }
    for (int free = kLastPathPort; free >= kFirstPathPort && number == 0; --free) {
      if (!serial.IsOpen(free)) number = free;
    }
    if (number == 0) {
      error = "No serial port is free for " + name;
      return nullptr;
    }
  }
  const int result = OpenReceiverPort(number, number <= 8 ? std::string() : name, baud);
  if (result < 0) {
    if (number <= 8) {
      error = PortOpenFailureText(result, name);
    } else {
      // The library names the port by its number, which means nothing here.
      error = serial.OpenProblem(number).text;
      const std::string subject = "COM" + std::to_string(number) + " (" + name + ")";
      if (error.starts_with(subject)) error.replace(0, subject.size(), name);
      if (error.empty()) error = name + " cannot be opened: " + StatusText(result);
    }
    return nullptr;
  }
  const std::string device = number <= 8 ? serial.DevicePath(number) : name;
  auto link = std::make_unique<SerialLink>(number, name, device, baud, role);
  SONDRIX_LOG(Info, "%s on %s at %ld baud, 8N1", Capitalised(role.device).c_str(),
              PrintableText(link->Describe()).c_str(), baud);
  return link;
}

}  // namespace sondrix
