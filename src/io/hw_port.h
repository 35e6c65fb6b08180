// SPDX-License-Identifier: GPL-3.0-or-later
// The port map: which of the serial ports COM1 ... COM8 can be offered.
// One 32-bit word for the whole program; bit k set means COMk is not
// available (absent, or reserved by a source). Built once at start-up by
// probing every port; the port-choice dialog dims the unavailable ones.
#pragma once

#include <cstdint>

#include "common/status.h"

namespace sondrix {

// Sets every bit, then opens COM1 ... COM<count> at 9600 baud one after the
// other; each one that opens is marked available and closed again.
void HWPort_Init(int count);
// Tries COMk anew as HWPort_Init does (a port plugged in, or mapped, since):
// marks it available when it opens, unavailable when it does not. A port
// this program has open is available and left alone. 1 when available
// after, else 0 (also for k outside 1 ... 8).
int HWPort_Probe(int k);
// 1 when COMk is available, else 0 (also for k outside 1 ... 8).
int HWPort_Available(int k);
// Marks COMk in use: 1, or -1006 when it already is (or is absent);
// -1005 for a number outside 1 ... 8 (also for Release).
Status HWPort_Reserve(int k);
// Marks COMk free: 1, or -1007 when it is not in use.
Status HWPort_Release(int k);
Status HWPort_GetMap(std::uint32_t& map);
Status HWPort_SetMap(std::uint32_t map);

}  // namespace sondrix
