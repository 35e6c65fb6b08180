// SPDX-License-Identifier: GPL-3.0-or-later
#include "io/rs232_port.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>

#include "common/errors.h"
#include "common/log.h"
#include "common/panels.h"
#include "common/settings.h"
#include "common/utils.h"
#include "io/port_choice.h"
#include "io/raw_file_port.h"
#include "platform/paths.h"
#include "platform/serial.h"
#include "platform/ui.h"

namespace sondrix {
namespace {

// Line settings of every meter's serial line.
constexpr int kParity = 0;
constexpr int kDataBits = 8;
constexpr int kStopBits = 1;
constexpr int kQueueSize = 4096;
// ReadLine and Sync read at most this many bytes.
constexpr int kLineScratch = 256;

// 1 ... 8 for "COM1" ... "COM8" in any case, else 0.
int PortNumberFromName(std::string_view name) {
  if (name.size() != 4) return 0;
  auto upper = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; };
  if (upper(name[0]) != 'C' || upper(name[1]) != 'O' || upper(name[2]) != 'M') return 0;
  if (name[3] < '1' || name[3] > '8') return 0;
  return name[3] - '0';
}

}  // namespace

int OpenSerialLine(int number, std::string_view device, long baud) {
  return platform::serial().OpenComConfig(number, device, baud, kParity, kDataBits, kStopBits, kQueueSize,
                                          kQueueSize);
}

RS232Port::~RS232Port() = default;

void RS232Port::Capture(const void* bytes, std::size_t count) {
  received_ += static_cast<long long>(count);
  if (raw_ != nullptr && count > 0) std::fwrite(bytes, 1, count, raw_.get());
}

Status RS232Port::Open(int baud) {
  int result = OpenSerialLine(port_, "", baud);
  if (result < 0) {
    SONDRIX_LOG(Debug, "COM%d does not open at %d baud: %s (%d)", port_, baud, StatusText(result).c_str(), result);
    return result;
  }
  device_ = platform::serial().DevicePath(port_);
  SONDRIX_LOG(Debug, "COM%d (%s) open at %d baud, 8 data bits, no parity, 1 stop bit", port_, device_.c_str(), baud);
  Reset();
  return status::kOk;
}

Status RS232Port::Reopen(int baud) {
  if (port_ < 0) return status::kPortNotNamed;
  platform::serial().CloseCom(port_);
  const int result = OpenSerialLine(port_, device_, baud);
  if (result < 0) return result;
  SONDRIX_LOG(Info, "%s open again at %d baud", Describe().c_str(), baud);
  return status::kOk;
}

Status RS232Port::SyncCapture() {
  if (raw_ == nullptr) return status::kOk;
  return raw_.Sync() ? status::kOk : status::kWriteFailed;
}

std::string RS232Port::Describe() const {
  std::string name = "COM" + std::to_string(port_);
  if (!device_.empty()) name += " (" + device_ + ")";
  return name;
}

Status RS232Port::Close() {
  int result = platform::serial().CloseCom(port_);
  SONDRIX_LOG(Debug, "COM%d closed after %lld bytes since its last reset%s", port_, received_,
              result != 0 ? " (the serial library reported a failure)" : "");
  return result != 0 ? result : status::kOk;
}

Status RS232Port::BytesAvail() {
  if (port_ < 0) return status::kPortNotNamed;
  return platform::serial().GetInQLen(port_);
}

Status RS232Port::ReadLine(std::string& line) {
  std::array<char, kLineScratch> scratch{};
  int result = platform::serial().ComRdTerm(port_, scratch.data(), scratch.size(), '\n');
  if (result < 0) return result;
  line.assign(scratch.data(), static_cast<std::size_t>(std::min(result, kLineScratch)));
  CleanPortLine(line);
  Capture(line.data(), line.size());
  return static_cast<Status>(line.size());
}

Status RS232Port::Sync() {
  std::array<char, kLineScratch> scratch{};
  int result = platform::serial().ComRdTerm(port_, scratch.data(), scratch.size(), '\n');
  return result < 0 ? result : status::kOk;
}

Status RS232Port::Reset() {
  received_ = 0;
  if (raw_ != nullptr) {
    // Capture starts over with this run. The file is also cut back, so that
    // no bytes of a longer earlier run linger behind the new ones and get
    // replayed as if they had followed them.
    std::fflush(raw_.get());
    std::rewind(raw_.get());
    if (::ftruncate(::fileno(raw_.get()), 0) != 0) {
      // The file keeps its length; capture still restarts at its beginning.
    }
  } else if (settings::SaveRawOn()) {
    std::string name = "SX_Com" + std::to_string(port_) + "_.raw";
    TimeStampedFilename(name, "raw");
    // Opened as a recording is: never through a link planted at the name.
    raw_ = OwnedFile::OpenToWrite(name, /*truncate=*/true);
    if (raw_ != nullptr) rawName_ = name;
    SONDRIX_LOG(Debug, "COM%d: raw capture %s %s", port_, raw_ != nullptr ? "into" : "cannot be written as",
                name.c_str());
  }
  int result = platform::serial().FlushInQ(port_);
  if (result != 0) return result;
  result = platform::serial().FlushOutQ(port_);
  if (result != 0) return result;
  return status::kOk;
}

Status RS232Port::DiscardInput() {
  const int result = platform::serial().FlushInQ(port_);
  return result != 0 ? result : status::kOk;
}

Status RS232Port::SaveRaw() {
  raw_.reset();
  return status::kOk;
}

Status RS232Port::PromptForPort(std::string_view deviceName, std::string& name) {
  return RS232Port_PromptForPort(deviceName, name);
}

Status RS232Port::BufferSize() { return kQueueSize; }

// Every byte the search passes over is captured.
Status RS232Port::Search(const std::uint8_t* pattern, int length, int maxBytes) {
  return SearchWith(pattern, length, maxBytes, [this] {
    const int byte = platform::serial().ComRdByte(port_);
    if (byte >= 0) {
      const auto captured = static_cast<std::uint8_t>(byte);
      Capture(&captured, 1);
    }
    return byte;
  });
}

Status RS232Port::Read(std::uint8_t* buffer, int count) {
  if (buffer == nullptr) return status::kNullBuffer;
  if (count < 0) return status::kInvalidCount;
  int result = platform::serial().ComRd(port_, reinterpret_cast<char*>(buffer),
                                        static_cast<std::size_t>(count));
  if (result < 0) return result;
  Capture(buffer, static_cast<std::size_t>(std::min(result, count)));
  return status::kOk;
}

Status RS232Port::Write(const std::uint8_t* buffer, int count) {
  if (buffer == nullptr) return status::kNullBuffer;
  if (count < 0) return status::kInvalidCount;
  int result = platform::serial().ComWrt(port_, reinterpret_cast<const char*>(buffer),
                                         static_cast<std::size_t>(count));
  return result < 0 ? result : status::kOk;
}

Status RS232Port::SetName(std::string_view name) {
  int number = PortNumberFromName(name);
  if (number == 0) return status::kBadDeviceType;
  port_ = number;
  return status::kOk;
}

Status RS232Port::GetName(std::string& name) {
  if (port_ < 1 || port_ > 8) return status::kBadDeviceType;
  name = "COM" + std::to_string(port_);
  return status::kOk;
}

Status RS232Port_PromptForPort(std::string_view deviceName, std::string& name) {
  platform::Ui& ui = platform::ui();
  int panel = ui.LoadPanel(0, panels::kPort);
  if (panel < 0) return status::kOutOfMemory;

  std::string prompt = "Read data for \"";
  prompt += deviceName;
  prompt += "\" from which source?";
  ui.SetCtrlVal(panel, panels::kPortPrompt, prompt);
  PortChoicePanel ports(panel);
  ports.Show();

  ui.InstallPopup(panel);
  std::string chosen;
  bool cancelled = false;
  for (;;) {
    platform::UserEvent event = ui.GetUserEvent(true);
    if (event.type == platform::EventType::None) {
      // A waiting poll that comes back empty has no user left to answer.
      cancelled = true;
      break;
    }
    if (event.panel != panel) continue;
    if (event.type == platform::EventType::Close) {
      cancelled = true;
      break;
    }
    if (event.type != platform::EventType::Commit) continue;
    if (event.control >= panels::kPortCom1 && event.control < panels::kPortCom1 + 8) {
      platform::CtrlValue dimmed = 0;
      ui.GetCtrlAttribute(panel, event.control, platform::Attr::Dimmed, dimmed);
      if (const int* flag = std::get_if<int>(&dimmed); flag != nullptr && *flag != 0) continue;
      chosen = "COM" + std::to_string(event.control - panels::kPortCom1 + 1);
      break;
    }
    if (event.control == panels::kPortCancel) {
      cancelled = true;
      break;
    }
    if (event.control == panels::kPortFile) {
      chosen = "file";
      break;
    }
    if (event.control == panels::kPortMap) ports.MapChosen();
    if (event.control == panels::kPortRescan) ports.Rescan();
  }
  ui.RemovePopup(panel);
  ui.DiscardPanel(panel);

  if (!cancelled && chosen == "file") {
    name.clear();
    std::string path;
    Status result = RawFilPort_PromptForPort("", path);
    if (result == status::kOk) {
      name = path;
    } else {
      if (result != status::kCancelled) Error_Report(result);
      cancelled = true;
    }
  } else if (!cancelled) {
    name = chosen;
  }
  return cancelled ? status::kCancelled : status::kOk;
}

}  // namespace sondrix
