// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/editor_fields.h"

#include <cstdint>

#include "common/errors.h"
#include "common/utils.h"
#include "config/config_text.h"
#include "platform/ui.h"
#include "source/source.h"

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

Status CalibrationPort(Source& device, DPort*& port, int& samplesPerRec) {
  port = nullptr;
  Status result = device.GetPort(port);
  samplesPerRec = device.GetSamplesPerRec();
  if (result == status::kOk && port == nullptr) result = status::kNotConnected;
  if (result == status::kOk && samplesPerRec < 0) result = samplesPerRec;
  return result;
}

bool TraceEditor::Run() {
  for (;;) {
    const platform::UserEvent event = ui().GetUserEvent(true);
    if (event.type == platform::EventType::None || event.panel != panel_) continue;

    StoreShownTrace();
    int selected = shown_;
    if (ui().GetCtrlIndex(panel_, ids_.traceList, selected) >= 0 && selected != shown_) ShowTrace(selected);

    if (event.type == platform::EventType::Close) return false;
    if (event.type != platform::EventType::Commit) continue;
    if (event.control == ids_.cancel) return false;
    if (event.control == ids_.ok) {
      if (Accept()) return true;
    } else if (event.control == ids_.color) {
      if (shown_ >= 0) Preview(ShownColor());
    } else {
      Command(event.control);
    }
  }
}

void TraceEditor::Select(int index) {
  if (index < 0 || index >= Count()) return;
  ui().SetCtrlIndex(panel_, ids_.traceList, index);
  ShowTrace(index);
}

void TraceEditor::ShowNameAndColor(const std::string& name, int color) {
  ui().SetCtrlVal(panel_, ids_.traceName, name);
  ui().SetCtrlVal(panel_, ids_.color, static_cast<int>(VantorColorToRGB(color)));
  Preview(color);
}

bool TraceEditor::TakeName(std::string& name, double& wavelength, std::size_t keep) {
  const std::string typed = CleanTraceName(ui().GetCtrlText(panel_, ids_.traceName), keep);
  if (typed.empty()) {
    // A trace needs a name to be written; keep the old one.
    ui().SetCtrlVal(panel_, ids_.traceName, name);
    return false;
  }
  if (typed == name) return false;
  name = typed;
  wavelength = WavelengthFromName(typed);
  ui().ReplaceListItem(panel_, ids_.traceList, shown_, typed, shown_);
  return true;
}

bool TraceEditor::TakeColor(int& color) {
  const auto rgb = static_cast<std::uint32_t>(ui().GetCtrlInt(panel_, ids_.color)) & 0xFFFFFFu;
  if (rgb == VantorColorToRGB(color)) return false;
  color = RBGToVantorColor(rgb);
  return true;
}

void TraceEditor::Preview(int color) {
  // The preview's fixed curve.
  static constexpr double kCurve[] = {30, 40, 20, 45, 40, 54, 35, 45, 20, 50};
  ui().ClearStripChart(panel_, ids_.preview);
  ui().SetTraceAttribute(panel_, ids_.preview, 0, platform::Attr::TraceColor, static_cast<int>(VantorColorToRGB(color)));
  ui().PlotStripChart(panel_, ids_.preview, kCurve, 1);
}

bool TraceEditor::TakeCommon() { return TakeCommonFields(panel_, ids_.common, config_); }

}  // namespace sondrix
