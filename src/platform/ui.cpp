// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ui.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <system_error>

#include "platform/paths.h"

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

Ui& ui() { return Installed(gUi, "no user interface installed (ScopedUi missing)"); }

bool HasUi() { return gUi != nullptr; }

int Ui::SetColorScheme(std::shared_ptr<const ColorLook>) { return ui_status::kBadArgument; }

const ColorLook& PlainLook() {
  class Plain : public ColorLook {
   public:
    ColorScheme scheme() const override { return ColorScheme::Day; }
    const SchemeColors& colors() const override { return kPlainColors; }
    int TraceColor(int rgb) const override { return rgb & 0xFFFFFF; }
    int TextColor(int rgb, int) const override { return rgb & 0xFFFFFF; }
    int FaceColor(int rgb) const override { return rgb & 0xFFFFFF; }
  };
  static const Plain plain;
  return plain;
}
ColorScheme Ui::GetColorScheme() const { return ColorScheme::Day; }

unsigned long UiGeneration() { return gGeneration; }

ScopedUi::ScopedUi(Ui& backend) : ScopedInstall(gUi, backend) { ++gGeneration; }

ScopedUi::~ScopedUi() { ++gGeneration; }

UserEvent Ui::WaitUserEvent(double, std::span<const int>) { return GetUserEvent(false); }

namespace {

// Where the last component of a path begins ("/" and "\\" separate).
std::size_t LastComponent(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string_view::npos ? 0 : slash + 1;
}

// The extension of a name's last component with its dot ("" when none):
// a dot that starts the name (a hidden file) or ends it is none.
std::string_view ExtensionOf(std::string_view path) {
  const std::string_view name = path.substr(LastComponent(path));
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size()) return {};
  return name.substr(dot);
}

// The extension of the first pattern of a list ("*.cal;*.dev" gives
// ".cal"), or of a default name; "" when it names none.
std::string ListExtension(std::string_view list) {
  const std::size_t end = list.find_first_of("; ");
  const std::string_view first = list.substr(0, end);
  if (first.find('*') == std::string_view::npos) return std::string(ExtensionOf(first));
  if (first.size() < 3 || first.substr(0, 2) != "*.") return {};
  const std::string_view extension = first.substr(1);
  if (extension.find_first_of("*?[") != std::string_view::npos) return {};
  return std::string(extension);
}

}  // namespace

std::string DialogExtension(const FileSelectRequest& request) {
  std::string extension = ListExtension(request.defaultSpec);
  if (extension.empty() && request.defaultSpec.empty()) extension = ListExtension(request.typeList);
  return extension;
}

std::string SaveName(const FileSelectRequest& request, const std::string& typed) {
  if (request.mode != FileDialogMode::Save || typed.empty()) return typed;
  // A folder chosen is the folder: its writer refuses it.
  std::error_code error;
  if (std::filesystem::is_directory(typed, error)) return typed;
  const std::size_t start = LastComponent(typed);
  if (typed.find_first_not_of('.', start) == std::string::npos) return typed;
  if (!ExtensionOf(typed).empty()) return typed;
  const std::string extension = DialogExtension(request);
  if (extension.empty()) return typed;
  std::string name = typed;
  while (name.size() > start + 1 && name.back() == '.') name.pop_back();
  // Dots after an extension ("run1.txt.") only end it.
  if (!ExtensionOf(name).empty()) return name;
  return name + extension;
}

FileSelectResult Ui::FileSelectPopup(const FileSelectRequest& request, std::string& path) {
  std::string chosen = path;
  const FileSelectResult result = SelectFile(request, chosen);
  if (result == FileSelectResult::None) return result;
  path = SaveName(request, chosen);
  if (path == chosen) return result;
  return FileExists(path) ? FileSelectResult::Existing : FileSelectResult::New;
}

namespace {

// The number a text starts with (after blanks), 0 when it starts with none.
template <class Number>
Number LeadingNumber(const std::string& text) {
  const char* begin = text.data();
  const char* end = begin + text.size();
  while (begin != end && (*begin == ' ' || *begin == '\t')) ++begin;
  Number result{};
  std::from_chars(begin, end, result);
  return result;
}

}  // namespace

int Ui::GetCtrlInt(int panel, int control) {
  CtrlValue value;
  if (GetCtrlVal(panel, control, value) < 0) return 0;
  if (const std::string* text = std::get_if<std::string>(&value)) return LeadingNumber<int>(*text);
  return std::holds_alternative<int>(value) ? std::get<int>(value) : ToInt(std::get<double>(value));
}

double Ui::GetCtrlDouble(int panel, int control) {
  CtrlValue value;
  if (GetCtrlVal(panel, control, value) < 0) return 0.0;
  if (const std::string* text = std::get_if<std::string>(&value)) return LeadingNumber<double>(*text);
  return CtrlValueDouble(value).value_or(0.0);
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
