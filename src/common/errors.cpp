#include "common/errors.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "common/panels.h"
#include "platform/paths.h"
#include "platform/ui.h"

namespace sondrix {

int debugflag = 0;

namespace {


constexpr std::size_t kMessageBufferSize = 1024;  // wait-message text, with its terminator
constexpr std::size_t kDebugBufferSize = 128;     // debug text, with its terminator

int gErrorPanel = 0;  // error-message panel, loaded by Error_Init
int gWaitPanel = 0;   // wait-message panel while it is shown
int gDebugPanel = 0;  // the main panel's debug line
int gDebugControl = 0;
unsigned long gGeneration = 0;  // the user interface the handles above belong to

// Handles of an earlier user interface (a test's, say) mean nothing now.
void ForgetStaleHandles() {
  if (gGeneration == platform::UiGeneration()) return;
  gGeneration = platform::UiGeneration();
  gErrorPanel = 0;
  gWaitPanel = 0;
  gDebugPanel = 0;
  gDebugControl = 0;
}

std::string Clip(std::string_view text, std::size_t bufferSize) {
  return std::string(text.substr(0, bufferSize - 1));
}

// Formats one printf conversion of `value`; `spec` is what followed the '%'
// up to and including the conversion letter, already checked.
std::string FormatOne(const std::string& flags, int width, int precision, int longs,
                      char conversion, long value) {
  std::string spec = "%" + flags;
  if (width >= 0) spec += std::to_string(width);
  if (precision >= 0) spec += "." + std::to_string(precision);
  std::array<char, kDebugBufferSize + 16> buffer{};
  int n = 0;
  switch (conversion) {
    case 'd':
    case 'i': {
      spec += "lld";
      long long v = longs > 0 ? static_cast<long long>(value) : static_cast<int>(value);
      n = std::snprintf(buffer.data(), buffer.size(), spec.c_str(), v);
      break;
    }
    case 'u':
    case 'x':
    case 'X':
    case 'o': {
      spec += "ll";
      spec += conversion;
      unsigned long long v = longs > 0 ? static_cast<unsigned long long>(static_cast<unsigned long>(value))
                                       : static_cast<unsigned int>(value);
      n = std::snprintf(buffer.data(), buffer.size(), spec.c_str(), v);
      break;
    }
    case 'c': {
      spec += 'c';
      n = std::snprintf(buffer.data(), buffer.size(), spec.c_str(),
                        static_cast<int>(static_cast<unsigned char>(value)));
      break;
    }
    default:
      return {};
  }
  if (n < 0) return {};
  return std::string(buffer.data(), std::min<std::size_t>(static_cast<std::size_t>(n), buffer.size() - 1));
}

// printf with one integer argument, without handing the caller's format to
// the C library: the first integer conversion (d i u x X o c, with flags,
// width, precision and h/l length) takes the value; "%%" is a percent sign;
// any other conversion, and every later one, stays as written.
std::string FormatDebug(std::string_view format, long value) {
  std::string out;
  bool used = false;
  std::size_t i = 0;
  while (i < format.size() && out.size() < kDebugBufferSize) {
    char c = format[i];
    if (c != '%') {
      out += c;
      ++i;
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == '%') {
      out += '%';
      i += 2;
      continue;
    }
    std::size_t j = i + 1;
    std::string flags;
    while (j < format.size() && std::string_view("-+ 0#").find(format[j]) != std::string_view::npos) {
      if (flags.find(format[j]) == std::string::npos) flags += format[j];
      ++j;
    }
    auto number = [&](int& target) {
      bool any = false;
      int v = 0;
      while (j < format.size() && format[j] >= '0' && format[j] <= '9') {
        if (v < 1000) v = v * 10 + (format[j] - '0');
        ++j;
        any = true;
      }
      if (any) target = std::min(v, static_cast<int>(kDebugBufferSize));
      return any;
    };
    int width = -1;
    int precision = -1;
    number(width);
    if (j < format.size() && format[j] == '.') {
      ++j;
      precision = 0;
      number(precision);
    }
    int longs = 0;
    while (j < format.size() && (format[j] == 'l' || format[j] == 'h')) {
      if (format[j] == 'l') ++longs;
      ++j;
    }
    if (j >= format.size()) {  // a lone '%' at the end
      out.append(format.substr(i));
      break;
    }
    char conversion = format[j];
    bool integer = std::string_view("diuxXoc").find(conversion) != std::string_view::npos;
    if (integer && !used) {
      out += FormatOne(flags, width, precision, longs, conversion, value);
      used = true;
    } else {
      out.append(format.substr(i, j + 1 - i));
    }
    i = j + 1;
  }
  return Clip(out, kDebugBufferSize);
}

}  // namespace

void Error_Report(Status code) {
  std::string text = StatusText(code);
  if (text.empty()) return;
  Error_Message(text);
}

void Error_Message(std::string_view text) {
  if (!platform::HasUi()) {
    std::fprintf(stderr, "Error: %.*s\n", static_cast<int>(text.size()), text.data());
    return;
  }
  static const std::array<std::string, 1> kOk = {"OK"};
  platform::ui().GenericMessagePopup("Error", text, kOk);
}

Status Error_Init() {
  ForgetStaleHandles();
  if (gErrorPanel > 0) platform::ui().DiscardPanel(gErrorPanel);
  gErrorPanel = platform::ui().LoadPanel(0, panels::kError);
  if (gErrorPanel <= 0) {
    gErrorPanel = 0;
    return status::kPanelLoadFailed;
  }
  return status::kOk;
}

void Error_MessageStart(std::string_view text) {
  ForgetStaleHandles();
  if (gErrorPanel <= 0 && Error_Init() != status::kOk) return;
  platform::Ui& u = platform::ui();
  u.SetMouseCursor(platform::Cursor::Default);
  u.SetCtrlVal(gErrorPanel, panels::kErrorText, std::string(text));
  u.SetActiveCtrl(gErrorPanel, panels::kErrorText);
  u.InstallPopup(gErrorPanel);
}

void Error_MessageEnd() {
  ForgetStaleHandles();
  if (gErrorPanel > 0) platform::ui().RemovePopup(gErrorPanel);
}

Status Message_Show(std::string_view text) {
  ForgetStaleHandles();
  platform::Ui& u = platform::ui();
  // A second Show while the message is up only changes its text: loading
  // another panel would leave the first one up as a pop-up nobody removes.
  if (gWaitPanel <= 0) {
    int panel = u.LoadPanel(0, panels::kWait);
    if (panel <= 0) return status::kPanelLoadFailed;
    gWaitPanel = panel;
  }
  u.SetCtrlVal(gWaitPanel, panels::kWaitText, Clip(text, kMessageBufferSize));
  u.InstallPopup(gWaitPanel);
  u.UpdatePanel(gWaitPanel);
  return status::kOk;
}

void Message_Update(std::string_view text) {
  ForgetStaleHandles();
  if (gWaitPanel <= 0) return;
  platform::Ui& u = platform::ui();
  u.SetCtrlVal(gWaitPanel, panels::kWaitText, Clip(text, kMessageBufferSize));
  u.UpdatePanel(gWaitPanel);
}

int Message_Panel() {
  ForgetStaleHandles();
  return gWaitPanel;
}

void Message_Hide() {
  ForgetStaleHandles();
  if (gWaitPanel <= 0) return;
  platform::ui().RemovePopup(gWaitPanel);
  platform::ui().DiscardPanel(gWaitPanel);
  gWaitPanel = 0;
}

void Error_SetDebugLine(int panel, int control) {
  ForgetStaleHandles();
  gDebugPanel = panel;
  gDebugControl = control;
}

void DebugMsg(std::string_view format, long value) {
  if (debugflag == 0) return;
  std::string text = FormatDebug(format, value);
  if (!platform::HasUi()) {
    std::fprintf(stderr, "%s\n", text.c_str());
    return;
  }
  ForgetStaleHandles();
  platform::Ui& u = platform::ui();
  if (gWaitPanel > 0) {
    u.SetCtrlVal(gWaitPanel, panels::kWaitText, text);
  } else if (gDebugPanel > 0) {
    u.SetCtrlAttribute(gDebugPanel, gDebugControl, platform::Attr::Visible, 1);
    u.SetCtrlVal(gDebugPanel, gDebugControl, text);
  } else {
    std::fprintf(stderr, "%s\n", text.c_str());
  }
}

bool MayOverwrite(std::string_view title, const std::string& path) {
  return !platform::FileExists(path) ||
         platform::ui().ConfirmPopup(title, "This file exists. Do you want to overwrite it?") != 0;
}

}  // namespace sondrix
