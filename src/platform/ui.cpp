#include "platform/ui.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <system_error>

namespace sondrix::platform {
namespace {

Ui* gUi = nullptr;
unsigned long gGeneration = 0;

int ToInt(double value) {
  if (!std::isfinite(value)) return 0;
  if (value >= static_cast<double>(std::numeric_limits<int>::max())) {
    return std::numeric_limits<int>::max();
  }
  if (value <= static_cast<double>(std::numeric_limits<int>::min())) {
    return std::numeric_limits<int>::min();
  }
  return static_cast<int>(std::lround(value));
}

}  // namespace

std::optional<int> CtrlValueInt(const CtrlValue& value) {
  if (const int* i = std::get_if<int>(&value)) return *i;
  if (const double* d = std::get_if<double>(&value)) {
    if (!std::isfinite(*d) || std::fabs(*d) > std::numeric_limits<int>::max()) return std::nullopt;
    return static_cast<int>(std::lround(*d));
  }
  return std::nullopt;
}

std::optional<double> CtrlValueDouble(const CtrlValue& value) {
  if (const double* d = std::get_if<double>(&value)) return *d;
  if (const int* i = std::get_if<int>(&value)) return *i;
  return std::nullopt;
}

Ui& ui() {
  if (gUi == nullptr) {
    std::fputs("sondrix: no user interface installed (ScopedUi missing)\n", stderr);
    std::abort();
  }
  return *gUi;
}

bool HasUi() { return gUi != nullptr; }

int Ui::SetColorScheme(ColorScheme) { return ui_status::kBadArgument; }
ColorScheme Ui::GetColorScheme() const { return ColorScheme::Day; }

unsigned long UiGeneration() { return gGeneration; }

ScopedUi::ScopedUi(Ui& backend) : previous_(gUi) {
  gUi = &backend;
  ++gGeneration;
}

ScopedUi::~ScopedUi() {
  gUi = previous_;
  ++gGeneration;
}

UserEvent Ui::WaitUserEvent(double, std::span<const int>) { return GetUserEvent(false); }

int Ui::GetCtrlInt(int panel, int control) {
  CtrlValue value;
  if (GetCtrlVal(panel, control, value) < 0) return 0;
  if (const int* i = std::get_if<int>(&value)) return *i;
  if (const double* d = std::get_if<double>(&value)) return ToInt(*d);
  const std::string& text = std::get<std::string>(value);
  int result = 0;
  const char* begin = text.data();
  while (begin != text.data() + text.size() && (*begin == ' ' || *begin == '\t')) ++begin;
  std::from_chars(begin, text.data() + text.size(), result);
  return result;
}

double Ui::GetCtrlDouble(int panel, int control) {
  CtrlValue value;
  if (GetCtrlVal(panel, control, value) < 0) return 0.0;
  if (const double* d = std::get_if<double>(&value)) return *d;
  if (const int* i = std::get_if<int>(&value)) return *i;
  const std::string& text = std::get<std::string>(value);
  double result = 0.0;
  const char* begin = text.data();
  while (begin != text.data() + text.size() && (*begin == ' ' || *begin == '\t')) ++begin;
  std::from_chars(begin, text.data() + text.size(), result);
  return result;
}

std::string Ui::GetCtrlText(int panel, int control) {
  CtrlValue value;
  if (GetCtrlVal(panel, control, value) < 0) return {};
  if (const std::string* s = std::get_if<std::string>(&value)) return *s;
  if (const int* i = std::get_if<int>(&value)) return std::to_string(*i);
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, std::get<double>(value));
  if (ec != std::errc{}) return {};
  return std::string(buffer, end);
}

}  // namespace sondrix::platform
