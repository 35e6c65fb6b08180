// SPDX-License-Identifier: GPL-3.0-or-later
// sondrix-cli ports: the serial ports of this system and what COM1 ... COM8
// read (device, by-id name, description, whether [Ports] maps it); --check
// also opens each and says why one does not; --map and --unmap change the
// [Ports] section of Sondrix.ini.
#include <algorithm>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli_args.h"
#include "commands.h"
#include "common/settings.h"
#include "common/utils.h"
#include "platform/serial.h"

namespace sondrix::cli {
namespace {

constexpr std::string_view kCommand = "ports";
constexpr int kComCount = 8;

constexpr const char* kUsage = R"(Usage: sondrix-cli ports [--check]
       sondrix-cli ports --map COMk DEVICE
       sondrix-cli ports --unmap COMk

Lists what COM1 ... COM8 read and the serial ports of this system: device,
/dev/serial/by-id name, description, and whether the [Ports] section of
Sondrix.ini maps the COM (else COMk is the k-th port listed).
)";

struct Row {
  std::string com, device, byId, from, state, description;
};

std::string OrDash(const std::string& text) { return text.empty() ? "-" : text; }

std::vector<Row> Rows(bool check) {
  platform::Serial& serial = platform::serial();
  const std::vector<platform::SerialPortInfo> listed = serial.ListPorts();
  std::vector<Row> rows;
  std::vector<bool> covered(listed.size(), false);
  for (int k = 1; k <= kComCount; ++k) {
    const platform::ComPortView view = platform::ViewComPort(k, listed);
    if (view.path.empty()) continue;
    Row row{"COM" + std::to_string(k), view.port.device.empty() ? view.path : view.port.device, view.port.byId,
            view.mapped ? "[Ports]" : "listed", "", view.port.description};
    if (!view.present) row.description = "(not there)";
    if (const auto* port = platform::FindListedPort(view.path, listed); port != nullptr)
      covered[static_cast<std::size_t>(port - listed.data())] = true;
    if (check) {
      if (serial.IsOpen(k)) {
        row.state = "open here";
      } else if (serial.OpenComConfig(k, "", 9600, 0, 8, 1, 4096, 4096) >= 0) {
        serial.CloseCom(k);
        row.state = "opens";
      } else {
        row.state = OrDash(serial.OpenProblem(k).brief);
      }
    }
    rows.push_back(std::move(row));
  }
  for (std::size_t i = 0; i < listed.size(); ++i)
    if (!covered[i]) rows.push_back(Row{"-", listed[i].device, listed[i].byId, "-", "", listed[i].description});
  return rows;
}

int List(bool check) {
  std::vector<Row> rows = Rows(check);
  if (rows.empty()) {
    std::printf("No serial ports on this system, and no COM mapped in %s.\n", settings::SettingsPath().c_str());
    return 0;
  }
  Row header{"COM", "DEVICE", "BY-ID", "FROM", check ? "OPEN" : "", "DESCRIPTION"};
  rows.insert(rows.begin(), header);
  std::size_t widths[5] = {};
  for (Row& row : rows) {
    for (std::string* field : {&row.device, &row.byId, &row.description}) *field = OrDash(*field);
    const std::string* fields[5] = {&row.com, &row.device, &row.byId, &row.from, &row.state};
    for (int i = 0; i < 5; ++i) widths[i] = std::max(widths[i], fields[i]->size());
  }
  for (const Row& row : rows) {
    std::string line;
    const std::string* fields[5] = {&row.com, &row.device, &row.byId, &row.from, &row.state};
    for (int i = 0; i < 5; ++i) {
      if (!check && i == 4) continue;
      line += *fields[i] + std::string(widths[i] - fields[i]->size() + 2, ' ');
    }
    line += row.description;
    std::printf("%s\n", line.c_str());
  }
  return 0;
}

int Map(std::string_view com, std::string_view device) {
  if (IsPortName(com) == 0) {
    std::fprintf(stderr, "sondrix-cli ports: \"%.*s\" is no port name; COM1 ... COM8 are\n",
                 static_cast<int>(com.size()), com.data());
    return 2;
  }
  const int k = com[3] - '0';
  std::string name(device);
  std::string description;
  const std::vector<platform::SerialPortInfo> listed = platform::serial().ListPorts();
  if (const auto* port = platform::FindListedPort(device, listed); port != nullptr) {
    name = platform::StableName(*port);
    description = port->description;
  }
  if (!platform::MapComPort(k, name)) return ReportFailure(kCommand, settings::SettingsPath(), status::kWriteFailed);
  if (name.empty()) {
    std::printf("COM%d is numbered by the system's list of ports again (%s)\n", k, settings::SettingsPath().c_str());
  } else {
    std::printf("COM%d=%s%s%s (%s)\n", k, name.c_str(), description.empty() ? "" : "  ", description.c_str(),
                settings::SettingsPath().c_str());
    if (!platform::ViewComPort(k, listed).present)
      std::fprintf(stderr, "sondrix-cli ports: %s is not there now\n", name.c_str());
  }
  return 0;
}

}  // namespace

int RunPorts(std::span<char*> args) {
  bool check = false;
  std::pair<std::string, std::string> map;
  std::string unmap;
  CLI::App app(kUsage, "sondrix-cli ports");
  tools::SetUp(app);
  CLI::Option* checking = app.add_flag("--check", check, "also open each COM and tell why one does not open");
  CLI::Option* mapping = app.add_option("--map", map,
                                        "write COMk=DEVICE into [Ports], with the device's by-id name when it has "
                                        "one (it follows the adapter to any USB socket)")
                             ->type_name("COMk DEVICE")
                             ->excludes(checking);
  CLI::Option* unmapping =
      app.add_option("--unmap", unmap, "remove the mapping of COMk")->type_name("COMk")->excludes(checking, mapping);
  if (const std::optional<int> status = ParseCommand(app, args)) return *status;
  if (*mapping && map.second.empty()) return WrongUsage(app, "--map needs a DEVICE");
  if (!platform::HasSerial()) {
    std::fprintf(stderr, "sondrix-cli ports: this build has no serial ports\n");
    return 1;
  }
  if (*mapping) return Map(map.first, map.second);
  if (*unmapping) return Map(unmap, "");
  return List(check);
}

}  // namespace sondrix::cli
