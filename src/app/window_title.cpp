// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window_title.h"

#include "app/app.h"
#include "common/utils.h"
#include "io/dport.h"
#include "meter/source_factory.h"
#include "platform/ui.h"

namespace sondrix {

std::string WindowTitle(std::string_view source, bool running, bool unsaved) {
  std::string title = unsaved ? "*Sondrix" : "Sondrix";
  if (!source.empty()) title += " \u2014 " + std::string(source);
  if (running) title += " \u2014 running";
  return title;
}

std::string TitleSourceName(const App& app) {
  Source* source = app.source();
  if (source == nullptr) return {};
  std::string name = NameFromPath(source->filename());
  if (app.sourceKind != kSourceKindDevice) return name;
  DPort* port = nullptr;
  std::string portname;
  if (source->GetPort(port) == status::kOk && port != nullptr && port->GetName(portname) == status::kOk &&
      !portname.empty())
    name += " (" + NameFromPath(portname) + ")";
  return name;
}

void ShowWindowTitle(const App& app, bool running) {
  if (app.mainPanel <= 0) return;
  const std::string title = WindowTitle(TitleSourceName(app), running, app.unsavedRun);
  platform::CtrlValue shown;
  if (platform::ui().GetPanelAttribute(app.mainPanel, platform::Attr::Title, shown) == 0 &&
      std::get_if<std::string>(&shown) != nullptr && std::get<std::string>(shown) == title)
    return;
  platform::ui().SetPanelAttribute(app.mainPanel, platform::Attr::Title, title);
}

}  // namespace sondrix
