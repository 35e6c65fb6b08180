// SPDX-License-Identifier: GPL-3.0-or-later
#include "io/port_choice.h"

#include <string_view>

#include "common/errors.h"
#include "common/log.h"
#include "common/panels.h"
#include "io/hw_port.h"
#include "platform/ui.h"

namespace sondrix {
namespace {

namespace p = panels;

constexpr int kComCount = 8;
constexpr std::string_view kById = "/dev/serial/by-id/";

// A by-id path without its long, always equal beginning.
std::string Shown(const std::string& path) {
  return path.starts_with(kById) ? "by-id/" + path.substr(kById.size()) : path;
}

}  // namespace

std::string ComPortLine(const platform::ComPortView& view, bool available, const platform::PortProblem& problem) {
  if (view.path.empty()) return "no device";
  std::string line = view.port.device.empty() ? Shown(view.path) : view.port.device;
  if (!view.port.description.empty()) line += "  " + view.port.description;
  if (!view.mapped) {
    line += "  (listed)";
  } else if (!view.present) {
    line += "  (mapped; not there)";
  } else if (!view.port.byId.empty() && view.path == view.port.byId) {
    line += "  (mapped by-id: follows the adapter)";
  } else {
    line += "  (mapped)";
  }
  // A port that is not there says so already.
  if (!available && view.present) line += " - cannot open" + (problem.brief.empty() ? "" : ": " + problem.brief);
  return line;
}

void PortChoicePanel::Show() {
  platform::Ui& ui = platform::ui();
  // The dialog also serves where no serial library is installed (a raw
  // capture is all it can give then).
  const bool serial = platform::HasSerial();
  listed_ = serial ? platform::serial().ListPorts() : std::vector<platform::SerialPortInfo>{};
  for (int k = 1; k <= kComCount; ++k) {
    const bool available = HWPort_Available(k) != 0;
    ui.SetCtrlAttribute(panel_, p::kPortCom1 + k - 1, platform::Attr::Dimmed, available ? 0 : 1);
    const platform::PortProblem problem =
        available || !serial ? platform::PortProblem{} : platform::serial().OpenProblem(k);
    ui.SetCtrlVal(panel_, p::kPortInfo1 + k - 1, ComPortLine(platform::ViewComPort(k, listed_), available, problem));
  }
  int chosen = 0;
  ui.GetCtrlIndex(panel_, p::kPortList, chosen);
  ui.ClearListCtrl(panel_, p::kPortList);
  for (std::size_t i = 0; i < listed_.size(); ++i)
    ui.InsertListItem(panel_, p::kPortList, -1, platform::DescribeSerialPort(listed_[i]), static_cast<int>(i));
  if (listed_.empty())
    ui.InsertListItem(panel_, p::kPortList, -1, "No serial ports found: plug the adapter in and press Rescan.", -1);
  ui.SetCtrlIndex(panel_, p::kPortList, chosen >= 0 && static_cast<std::size_t>(chosen) < listed_.size() ? chosen : 0);
  ui.SetCtrlAttribute(panel_, p::kPortMap, platform::Attr::Dimmed, listed_.empty() ? 1 : 0);
}

void PortChoicePanel::Rescan() {
  for (int k = 1; k <= kComCount && platform::HasSerial(); ++k)
    if (HWPort_Available(k) == 0) HWPort_Probe(k);
  Show();
}

Status PortChoicePanel::MapChosen() {
  platform::Ui& ui = platform::ui();
  int index = -1;
  if (ui.GetCtrlIndex(panel_, p::kPortList, index) < 0 || index < 0 ||
      static_cast<std::size_t>(index) >= listed_.size())
    return status::kCancelled;
  const int com = ui.GetCtrlInt(panel_, p::kPortMapCom);
  if (com < 1 || com > kComCount) return status::kCancelled;
  const std::string& name = platform::StableName(listed_[static_cast<std::size_t>(index)]);
  if (!platform::MapComPort(com, name)) {
    Error_Report(status::kWriteFailed);
    return status::kWriteFailed;
  }
  SONDRIX_LOG(Info, "COM%d mapped to %s", com, name.c_str());
  HWPort_Probe(com);
  Show();
  return status::kOk;
}

}  // namespace sondrix
