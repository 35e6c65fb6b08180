#include "source/source_wait.h"

#include <span>

#include "io/dport.h"
#include "io/rs232_port.h"
#include "platform/serial.h"

namespace sondrix {

const RS232Port* SerialPortOf(Source& source) {
  DPort* port = nullptr;
  if (source.GetPort(port) != status::kOk || port == nullptr) return nullptr;
  const auto* serialPort = dynamic_cast<const RS232Port*>(port);
  return serialPort != nullptr && serialPort->PortNumber() >= 1 ? serialPort : nullptr;
}

std::vector<int> SourceInputs(Source& source) {
  const RS232Port* serialPort = SerialPortOf(source);
  if (serialPort == nullptr) return {};
  const int fd = platform::serial().InputHandle(serialPort->PortNumber());
  if (fd < 0) return {};
  return {fd};
}

SourceWait::SourceWait(Source& source) : inputs_(SourceInputs(source)) {}

platform::UserEvent SourceWait::NextEvent(platform::Ui& ui) {
  if (wait_ <= 0.0) return ui.GetUserEvent(false);
  return ui.WaitUserEvent(wait_, watchLine_ ? std::span<const int>(inputs_) : std::span<const int>());
}

void SourceWait::Idle() {
  const bool lineWoke = watchLine_ && wait_ > 0.0;
  watchLine_ = !inputs_.empty() && !lineWoke;
  wait_ = watchLine_ ? kLineWait : kShortWait;
}

void SourceWait::Ready() {
  wait_ = 0.0;
  watchLine_ = false;
}

}  // namespace sondrix
