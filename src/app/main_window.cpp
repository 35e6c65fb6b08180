// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main_window.h"

#include <unistd.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/acquire.h"
#include "app/layout.h"
#include "app/menu.h"
#include "common/errors.h"
#include "common/settings.h"
#include "common/utils.h"
#include "io/dport.h"
#include "meter/source_factory.h"
#include "platform/paths.h"
#include "platform/ui.h"
#include "source/device.h"

namespace sondrix {
namespace {

using platform::Attr;

struct GeometryKey {
  Attr attr;
  std::string_view key;
};
constexpr std::array<GeometryKey, 4> kGeometry = {{{Attr::Top, settings::kTop},
                                                   {Attr::Left, settings::kLeft},
                                                   {Attr::Height, settings::kHeight},
                                                   {Attr::Width, settings::kWidth}}};

int PanelInt(int panel, Attr attr) {
  platform::CtrlValue value;
  if (platform::ui().GetPanelAttribute(panel, attr, value) < 0) return 0;
  return platform::CtrlValueInt(value).value_or(0);
}

// A raw capture to replay: a regular file that can be read. Anything else
// (gone, a folder, a pipe that would keep the start waiting) is not opened.
bool IsReadableCapture(const std::string& path) {
  return platform::IsRegularFile(path) && ::access(path.c_str(), R_OK) == 0;
}

// The "*.gph" file dialog, starting in "DataDirectory"; the directory of
// the chosen file is remembered. False when nothing was chosen.
bool ChooseStateFile(std::string_view title, platform::FileDialogMode mode, std::string& path) {
  if (!settings::ChooseFile(settings::kDataDirectory, mode, "*.gph", title, path)) return false;
  settings::RememberDirectory(settings::kDataDirectory, path);
  return true;
}

}  // namespace

Status ReadStartup(App& app) {
  // The window's place and size come back whatever source was open: a
  // window that was not left on a live device keeps its geometry too. They
  // are kept on the screen: a settings file written on a larger screen, or
  // edited by hand, must not ask for a window larger than any screen.
  std::array<int, kGeometry.size()> geometry{};
  for (std::size_t i = 0; i < kGeometry.size(); ++i)
    geometry[i] = settings::GetInt(settings::kDisplay, kGeometry[i].key, PanelInt(app.mainPanel, kGeometry[i].attr));
  PlacePanel(app.mainPanel, geometry[0], geometry[1], geometry[2], geometry[3]);
  FitWindow(app);

  const std::string device = settings::Get(settings::kGeneral, settings::kDevice);
  const std::string port = settings::Get(settings::kGeneral, settings::kPort);
  if (device.empty()) return status::kNoDeviceInSettings;
  if (port.empty()) return status::kNoPortInSettings;
  if (IsPortName(port) == 0 && !IsReadableCapture(port)) return status::kCantOpenFile;
  // A device file that can no longer be read ends quietly too (every model
  // type, 0 included, is a device).
  std::string id;
  const std::int16_t type = Device_GetDevType(device, id);
  if (type < 0) return type;
  return OpenNamedSource(app, kSourceKindDevice, device, port);
}

Status WriteStartup(App& app) {
  for (const GeometryKey& g : kGeometry) settings::SetInt(settings::kDisplay, g.key, PanelInt(app.mainPanel, g.attr));
  settings::Set(settings::kGeneral, settings::kDevice, "");
  settings::Set(settings::kGeneral, settings::kPort, "");
  Source* source = app.source();
  if (app.sourceKind != kSourceKindDevice || source == nullptr) return status::kOk;
  std::string filename;
  Status result = source->GetFilename(filename);
  if (result != status::kOk) return result;
  DPort* port = nullptr;
  result = source->GetPort(port);
  if (result != status::kOk) return result;
  if (port == nullptr) return status::kNotConnected;
  std::string portname;
  result = port->GetName(portname);
  if (result != status::kOk) return result;
  settings::Set(settings::kGeneral, settings::kDevice, filename);
  settings::Set(settings::kGeneral, settings::kPort, portname);
  return status::kOk;
}

int SavePanel(int panel) {
  std::string path;
  if (!ChooseStateFile("Save graph to file:", platform::FileDialogMode::Save, path)) return 0;
  if (!MayOverwrite("Save graph", path)) return 0;
  if (platform::ui().SavePanelState(panel, path, 0) < 0) {
    Error_Report(status::kWriteFailed);
    return 0;
  }
  return 1;
}

int RecallPanel(int panel) {
  std::string path;
  if (!ChooseStateFile("Read graph from file:", platform::FileDialogMode::Load, path)) return 0;
  if (!platform::FileExists(path)) {
    Error_Message("That file does not exist.");
    return 0;
  }
  platform::ui().SetMouseCursor(platform::Cursor::HourGlass);
  const int result = platform::ui().RecallPanelState(panel, path, 0);
  platform::ui().SetMouseCursor(platform::Cursor::Default);
  if (result < 0) {
    Error_Report(status::kReadFailed);
    return 0;
  }
  return 1;
}

}  // namespace sondrix
