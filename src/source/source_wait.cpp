// SPDX-License-Identifier: GPL-3.0-or-later
#include "source/source_wait.h"

#include <algorithm>
#include <span>
#include <utility>

#include "io/dport.h"
#include "io/rs232_port.h"
#include "platform/clock.h"
#include "platform/serial.h"

namespace sondrix {

const RS232Port* SerialPortOf(Source& source) {
  DPort* port = nullptr;
  if (source.GetPort(port) != status::kOk || port == nullptr) return nullptr;
  const auto* serialPort = dynamic_cast<const RS232Port*>(port);
  return serialPort != nullptr && serialPort->PortNumber() >= 1 ? serialPort : nullptr;
}

namespace {

std::vector<int> SerialInputs(const RS232Port* serialPort) {
  if (serialPort == nullptr || serialPort->PortNumber() < 1) return {};
  const int fd = platform::serial().InputHandle(serialPort->PortNumber());
  if (fd < 0) return {};
  return {fd};
}

}  // namespace

std::vector<int> SourceInputs(Source& source) { return SerialInputs(SerialPortOf(source)); }

std::vector<int> PortInputs(DPort& port) { return SerialInputs(dynamic_cast<const RS232Port*>(&port)); }

SourceWait::SourceWait(Source& source)
    : inputs_(SourceInputs(source)), replay_(source.GetReplayFraction() >= 0.0) {}

SourceWait::SourceWait(std::vector<int> inputs) : inputs_(std::move(inputs)) {}

platform::UserEvent SourceWait::NextEvent(platform::Ui& ui) {
  if (wait_ <= 0.0) return ui.GetUserEvent(false);
  return ui.WaitUserEvent(wait_, watchLine_ ? std::span<const int>(inputs_) : std::span<const int>());
}

void SourceWait::Pause() {
  if (wait_ > 0.0) platform::WaitForInput(watchLine_ ? std::span<const int>(inputs_) : std::span<const int>(), wait_);
}

void SourceWait::Idle() {
  if (replay_ && ++emptyLooks_ < kReplayLooks) {
    wait_ = 0.0;
    watchLine_ = false;
    return;
  }
  const bool lineWoke = watchLine_ && wait_ > 0.0;
  watchLine_ = !inputs_.empty() && !lineWoke;
  wait_ = watchLine_ ? kLineWait : kShortWait;
}

void SourceWait::Ready() {
  emptyLooks_ = 0;
  wait_ = 0.0;
  watchLine_ = false;
}

void SourceWait::Sleep(double seconds) {
  wait_ = seconds;
  watchLine_ = false;
}

void SourceWait::Cap(double seconds) {
  if (wait_ > seconds) wait_ = std::max(seconds, 0.0);
}

void SourceWait::Watch(std::vector<int> inputs) {
  inputs_ = std::move(inputs);
  watchLine_ = false;
}

bool PollingUser::Look(SourceWait& pace) {
  if (stops_() > 0) return true;
  pace.Pause();
  return stops_() > 0;
}

}  // namespace sondrix
