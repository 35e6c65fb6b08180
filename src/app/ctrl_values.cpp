// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ctrl_values.h"

#include <optional>

#include "platform/ui.h"

namespace sondrix {
namespace {

// Reads a control as a number: ints and doubles as they come, a text or a
// value out of range as a bad argument (the destination is left alone).
template <typename T, typename Convert>
int GetNumber(int panel, int control, T& out, Convert convert) {
  platform::CtrlValue value;
  const int result = platform::ui().GetCtrlVal(panel, control, value);
  if (result < 0) return result;
  const std::optional<T> number = convert(value);
  if (!number) return platform::ui_status::kBadArgument;
  out = *number;
  return result;
}

}  // namespace

int SetCtrlFlt(int panel, int control, float value) {
  return platform::ui().SetCtrlVal(panel, control, static_cast<double>(value));
}

int GetCtrlFlt(int panel, int control, float& value) {
  return GetNumber(panel, control, value, [](const platform::CtrlValue& v) -> std::optional<float> {
    const std::optional<double> d = platform::CtrlValueDouble(v);
    if (!d) return std::nullopt;
    return static_cast<float>(*d);
  });
}

int SetCtrlDbl(int panel, int control, double value) { return platform::ui().SetCtrlVal(panel, control, value); }

int GetCtrlDbl(int panel, int control, double& value) {
  return GetNumber(panel, control, value, [](const platform::CtrlValue& v) { return platform::CtrlValueDouble(v); });
}

int SetCtrlShort(int panel, int control, std::int16_t value) {
  return platform::ui().SetCtrlVal(panel, control, static_cast<int>(value));
}

int GetCtrlShort(int panel, int control, std::int16_t& value) {
  return GetNumber(panel, control, value, [](const platform::CtrlValue& v) -> std::optional<std::int16_t> {
    const std::optional<int> i = platform::CtrlValueInt(v);
    if (!i || *i < INT16_MIN || *i > INT16_MAX) return std::nullopt;
    return static_cast<std::int16_t>(*i);
  });
}

}  // namespace sondrix
