// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/network.h"

#include "app/position.h"
#include "common/panels.h"
#include "common/settings.h"
#include "common/text_format.h"
#include "display/graph_control.h"
#include "platform/ui.h"

namespace sondrix {
namespace {

namespace p = panels;

// The setting as a run takes it: an empty id is the instrument's serial
// number.
NetworkSetting ForRun(NetworkSetting setting, Source& source) {
  if (setting.id.empty()) setting.id = Format("%08lX", static_cast<unsigned long>(source.GetSerialnum()));
  return setting;
}

}  // namespace

NetworkSetting LoadNetworkSetting() {
  NetworkSetting setting;
  setting.destination = settings::Get(settings::kNetwork, settings::kNetworkDestination, {}, 0);
  setting.id = settings::Get(settings::kNetwork, settings::kNetworkId, {}, 0);
  setting.every = std::max(settings::GetInt(settings::kNetwork, settings::kNetworkEvery, 1), 1);
  setting.nmea = settings::IsYes(settings::Get(settings::kNetwork, settings::kNetworkNmea, "no"));
  return setting;
}

void StoreNetworkSetting(const NetworkSetting& setting) {
  settings::Set(settings::kNetwork, settings::kNetworkDestination, setting.destination);
  settings::Set(settings::kNetwork, settings::kNetworkId, setting.id);
  settings::SetInt(settings::kNetwork, settings::kNetworkEvery, static_cast<int>(setting.every));
  settings::Set(settings::kNetwork, settings::kNetworkNmea, setting.nmea ? "yes" : "no");
}

Status Network_Configure() {
  platform::Ui& ui = platform::ui();
  const auto fill = [&ui](int dialog) {
    const NetworkSetting remembered = LoadNetworkSetting();
    ui.SetCtrlVal(dialog, p::kNetDestination, remembered.destination);
    ui.SetCtrlVal(dialog, p::kNetId, remembered.id);
    ui.SetCtrlVal(dialog, p::kNetEvery, static_cast<int>(remembered.every));
    ui.SetCtrlVal(dialog, p::kNetNmea, remembered.nmea ? 1 : 0);
    ui.SetCtrlVal(dialog, p::kNetHint,
                  "Each recorded line of a live run goes to HOST:PORT as one UDP datagram, \"ID TIME VALUES\": a "
                  "host, the network's broadcast address (10.0.0.255:5005) or a multicast group. Empty: nowhere. "
                  "An empty data id takes the instrument's serial number.");
  };
  return RunDialog(p::kNetwork, fill, [&ui](int dialog, int control) {
    const DialogStep step = FormStep(control, p::kNetOk, p::kNetCancel, p::kNetDestination);
    if (step != DialogStep::Ok) return step;
    NetworkSetting given;
    given.destination = ui.GetCtrlText(dialog, p::kNetDestination);
    given.id = ui.GetCtrlText(dialog, p::kNetId);
    given.every = std::max(ui.GetCtrlInt(dialog, p::kNetEvery), 1);
    given.nmea = ui.GetCtrlInt(dialog, p::kNetNmea) != 0;
    const std::string ok[] = {"OK"};
    std::string host, why;
    int port = 0;
    if (!given.id.empty() && !IsNetworkId(given.id)) {
      ui.GenericMessagePopup("Network Output", "A data id is one word of at most 63 printable characters.", ok);
      return DialogStep::Continue;
    }
    if (!given.destination.empty()) {
      if (!ParseUdpDestination(given.destination, host, port, why)) {
        ui.GenericMessagePopup("Network Output", "Destination: " + why + ".", ok);
        return DialogStep::Continue;
      }
      NetworkSetting tried = given;
      if (tried.id.empty()) tried.id = std::string(kDefaultNetworkId);
      if (NetworkOutput::Open(tried, why) == nullptr &&
          ui.ConfirmPopup("Network Output", "The destination cannot be sent to now:\n" + why +
                                                "\n\nKeep it anyway? Each run will try it again.") == 0)
        return DialogStep::Continue;
    }
    StoreNetworkSetting(given);
    return DialogStep::Ok;
  });
}

std::unique_ptr<NetworkOutput> Network_OpenForRun(const App& app, Source& source) {
  const NetworkSetting setting = ForRun(LoadNetworkSetting(), source);
  if (setting.destination.empty()) return nullptr;
  std::string why;
  std::unique_ptr<NetworkOutput> output = NetworkOutput::Open(setting, why);
  if (output) return output;
  TellBeforeRun(app, "The network output to " + setting.destination + " cannot be opened: " + why +
                         ".\nThe run goes on without it (Configure > Network Output... chooses another).");
  return nullptr;
}

}  // namespace sondrix
