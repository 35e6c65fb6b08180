// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/errors.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/log.h"
#include "common/panels.h"
#include "common/utils.h"
#include "platform/paths.h"
#include "platform/serial.h"
#include "platform/ui.h"

namespace sondrix {

namespace {


constexpr std::size_t kMessageBufferSize = 1024;  // wait-message text, with its terminator

int gErrorPanel = 0;  // error-message panel, loaded by Error_Init
int gWaitPanel = 0;   // wait-message panel while it is shown
unsigned long gGeneration = 0;  // the user interface the handles above belong to

// Handles of an earlier user interface (a test's, say) mean nothing now.
void ForgetStaleHandles() {
  if (gGeneration == platform::UiGeneration()) return;
  gGeneration = platform::UiGeneration();
  gErrorPanel = 0;
  gWaitPanel = 0;
}

std::string Clip(std::string_view text, std::size_t bufferSize) {
  return std::string(text.substr(0, bufferSize - 1));
}

// The pop-up of Error_Report and Error_Message.
void ShowError(std::string_view text) {
  if (!platform::HasUi()) {
    std::fprintf(stderr, "Error: %.*s\n", static_cast<int>(text.size()), text.data());
    return;
  }
  static const std::array<std::string, 1> kOk = {"OK"};
  platform::ui().GenericMessagePopup("Error", text, kOk);
}

// A code's report with its text (none for 1 and -1021).
void ReportCode(Status code, const std::string& text) {
  if (text.empty()) return;
  if (logging::On(LogLevel::Error)) logging::WriteShown(LogLevel::Error, text + " (" + std::to_string(code) + ")");
  ShowError(text);
}

}  // namespace

// What the user is shown is kept in the log as well (a tool already prints
// it on standard error).
void Error_Report(Status code) { ReportCode(code, StatusText(code)); }

std::string PortOpenFailureText(Status code, std::string_view portName) {
  const bool openFailure = code == status::kInvalidPortNumber || code == status::kCannotOpenPort;
  if (openFailure && IsPortName(portName) != 0 && platform::HasSerial()) {
    platform::PortProblem problem = platform::serial().OpenProblem(portName[3] - '0');
    if (!problem.empty()) return std::move(problem.text);
  }
  return StatusText(code);
}

void Error_ReportPort(Status code, std::string_view portName) { ReportCode(code, PortOpenFailureText(code, portName)); }

std::string FileFailureText(Status code, std::string_view path, int error) {
  std::string text = StatusText(code);
  if (!path.empty()) text += " " + std::string(path);
  if (error != 0) text += std::string(": ") + std::strerror(error);
  return text;
}

void Error_ReportFile(Status code, std::string_view path, int error) {
  ReportCode(code, FileFailureText(code, path, error));
}

void Error_Message(std::string_view text) {
  if (logging::On(LogLevel::Warn)) logging::WriteShown(LogLevel::Warn, text);
  ShowError(text);
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
  // A tool shows no wait message: its log prints it.
  if (logging::On(LogLevel::Debug)) logging::WriteText(LogLevel::Debug, text);
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

bool MayOverwrite(std::string_view title, const std::string& path) {
  return !platform::FileExists(path) ||
         platform::ui().ConfirmPopup(title, "This file exists. Do you want to overwrite it?") != 0;
}

}  // namespace sondrix
