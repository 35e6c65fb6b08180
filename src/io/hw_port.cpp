// SPDX-License-Identifier: GPL-3.0-or-later
#include "io/hw_port.h"

#include <algorithm>

#include "platform/serial.h"

namespace sondrix {
namespace {

constexpr int kPortCount = 8;

std::uint32_t gPortMap = 0xFFFFFFFFu;

bool ValidPort(int k) { return k >= 1 && k <= kPortCount; }
std::uint32_t Bit(int k) { return std::uint32_t{1} << k; }

}  // namespace

void HWPort_Init(int count) {
  gPortMap = 0xFFFFFFFFu;
  const int last = std::min(count, kPortCount);
  for (int k = 1; k <= last; ++k) HWPort_Probe(k);
}

int HWPort_Probe(int k) {
  if (!ValidPort(k)) return 0;
  platform::Serial& serial = platform::serial();
  bool opens = serial.IsOpen(k);
  if (!opens && serial.OpenComConfig(k, "", 9600, 0, 8, 1, 4096, 4096) >= 0) {
    opens = true;
    serial.CloseCom(k);
  }
  if (opens) {
    gPortMap &= ~Bit(k);
  } else {
    gPortMap |= Bit(k);
  }
  return opens ? 1 : 0;
}

int HWPort_Available(int k) { return ValidPort(k) && (gPortMap & Bit(k)) == 0 ? 1 : 0; }

Status HWPort_Reserve(int k) {
  if (!ValidPort(k)) return status::kBadPortNumber;
  if ((gPortMap & Bit(k)) != 0) return status::kPortInUse;
  gPortMap |= Bit(k);
  return status::kOk;
}

Status HWPort_Release(int k) {
  if (!ValidPort(k)) return status::kBadPortNumber;
  if ((gPortMap & Bit(k)) == 0) return status::kPortNotInUse;
  gPortMap &= ~Bit(k);
  return status::kOk;
}

Status HWPort_GetMap(std::uint32_t& map) {
  map = gPortMap;
  return status::kOk;
}

Status HWPort_SetMap(std::uint32_t map) {
  gPortMap = map;
  return status::kOk;
}

}  // namespace sondrix
