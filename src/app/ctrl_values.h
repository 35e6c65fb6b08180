// SPDX-License-Identifier: GPL-3.0-or-later
// Control values of other widths than the user interface keeps: a float
// through a double control, a 16-bit number through an int control (sign
// extended). Each is one SetCtrlVal or GetCtrlVal; the result is that
// call's (0, or a negative status).
#pragma once

#include <cstdint>

namespace sondrix {

int SetCtrlFlt(int panel, int control, float value);
int GetCtrlFlt(int panel, int control, float& value);
int SetCtrlDbl(int panel, int control, double value);
int GetCtrlDbl(int panel, int control, double& value);
int SetCtrlShort(int panel, int control, std::int16_t value);
int GetCtrlShort(int panel, int control, std::int16_t& value);

}  // namespace sondrix
