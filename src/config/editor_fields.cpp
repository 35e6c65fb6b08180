#include "config/editor_fields.h"

#include <cstdint>

#include "common/errors.h"
#include "config/config_text.h"
#include "platform/ui.h"

namespace sondrix {

void ShowCommonFields(int panel, const CommonFieldIds& ids, const Config& config) {
  platform::Ui& ui = platform::ui();
  ui.SetCtrlVal(panel, ids.name, config.name);
  ui.SetCtrlVal(panel, ids.baud, static_cast<int>(config.baudRate));
  ui.SetCtrlVal(panel, ids.pathLength, config.pathLength);
  ui.SetCtrlVal(panel, ids.depthOffset, config.depthOffset);
  ui.SetCtrlVal(panel, ids.depthScale, config.depthScale);
  ui.SetCtrlVal(panel, ids.devType, config.deviceType());
  ui.SetCtrlVal(panel, ids.serial, static_cast<int>(config.serialnum & 0xFFFFu));
}

bool TakeCommonFields(int panel, const CommonFieldIds& ids, Config& config) {
  platform::Ui& ui = platform::ui();
  const std::string name = CleanDeviceName(ui.GetCtrlText(panel, ids.name));
  if (!name.empty()) config.name = name;
  ui.SetCtrlVal(panel, ids.name, config.name);
  config.baudRate = ui.GetCtrlInt(panel, ids.baud);
  config.pathLength = ui.GetCtrlDouble(panel, ids.pathLength);
  config.depthOffset = ui.GetCtrlDouble(panel, ids.depthOffset);
  config.depthScale = ui.GetCtrlDouble(panel, ids.depthScale);
  const auto serial = static_cast<std::uint32_t>(ui.GetCtrlInt(panel, ids.serial)) & 0xFFFFu;
  config.serialnum = (config.serialnum & 0xFFFF0000u) | serial;
  // A file with a baud rate outside the table could not be read again.
  if (!IsAcceptedBaudRate(config.baudRate)) {
    Error_Report(status::kInvalidBaudRate);
    return false;
  }
  return true;
}

}  // namespace sondrix
