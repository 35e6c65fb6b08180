// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/serial.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "platform/paths.h"
#include "platform/profile.h"

namespace sondrix::platform {
namespace {

Serial* gSerial = nullptr;

}  // namespace

int Serial::InputHandle(int) { return -1; }

std::string Serial::DevicePath(int) const { return {}; }
bool Serial::IsOpen(int) const { return false; }

std::vector<SerialPortInfo> Serial::ListPorts() { return {}; }

PortProblem Serial::OpenProblem(int) { return {}; }

namespace {

constexpr std::string_view kPortsSection = "Ports";
constexpr std::string_view kById = "/dev/serial/by-id/";

std::string SettingsFile() { return JoinPath(GetProjectDir(), "Sondrix.ini"); }

std::string ComKey(int port) { return "COM" + std::to_string(port); }

}  // namespace

std::string ComPortMapping(int port) {
  if (port < 1) return {};
  return GetPrivateProfileString(kPortsSection, ComKey(port), "", SettingsFile());
}

std::string ResolveComPort(int port, const std::vector<SerialPortInfo>& listed) {
  if (port < 1) return {};
  std::string mapped = ComPortMapping(port);
  if (!mapped.empty()) return mapped;
  if (static_cast<std::size_t>(port) <= listed.size()) return listed[static_cast<std::size_t>(port) - 1].device;
  return {};
}

bool MapComPort(int port, std::string_view device) {
  if (port < 1) return false;
  std::optional<std::string_view> value;
  if (!device.empty()) value = device;
  return WritePrivateProfileString(kPortsSection, ComKey(port), value, SettingsFile());
}

const std::string& StableName(const SerialPortInfo& port) {
  return port.byId.empty() ? port.device : port.byId;
}

const SerialPortInfo* FindListedPort(std::string_view path, const std::vector<SerialPortInfo>& listed) {
  if (path.empty()) return nullptr;
  for (const SerialPortInfo& port : listed)
    if (port.device == path || (!port.byId.empty() && port.byId == path)) return &port;
  std::error_code ec;
  const std::filesystem::path node = std::filesystem::canonical(std::filesystem::path(path), ec);
  if (ec) return nullptr;
  for (const SerialPortInfo& port : listed) {
    std::error_code listedError;
    if (std::filesystem::canonical(port.device, listedError) == node && !listedError) return &port;
  }
  return nullptr;
}

ComPortView ViewComPort(int port, const std::vector<SerialPortInfo>& listed) {
  ComPortView view;
  view.number = port;
  view.path = ComPortMapping(port);
  view.mapped = !view.path.empty();
  if (!view.mapped) view.path = ResolveComPort(port, listed);
  if (const SerialPortInfo* found = FindListedPort(view.path, listed); found != nullptr) {
    view.port = *found;
    view.present = true;
  } else if (!view.path.empty()) {
    std::error_code ec;
    view.present = std::filesystem::exists(view.path, ec);
  }
  return view;
}

std::string DescribeSerialPort(const SerialPortInfo& port) {
  std::string line = port.device;
  if (!port.description.empty()) line += "  " + port.description;
  if (!port.byId.empty()) {
    const std::string_view link = port.byId;
    line += "  by-id ";
    line += link.starts_with(kById) ? link.substr(kById.size()) : link;
  }
  return line;
}

Serial& serial() { return Installed(gSerial, "no serial-port backend installed (ScopedSerial missing)"); }

int Serial::ComRdByte(int port) {
  char byte = 0;
  const int result = ComRd(port, &byte, 1);
  if (result < 0) return result;
  if (result == 0) return com_error::kIoTimeout;
  return static_cast<unsigned char>(byte);
}

bool HasSerial() { return gSerial != nullptr; }

ScopedSerial::ScopedSerial(Serial& backend) : ScopedInstall(gSerial, backend) {}

}  // namespace sondrix::platform
