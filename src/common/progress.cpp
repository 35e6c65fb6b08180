// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/progress.h"

#include <cmath>

#include "common/errors.h"
#include "common/panels.h"

namespace sondrix {
namespace {

namespace p = panels;
using platform::Attr;
using platform::EventType;

}  // namespace

bool ProgressBar::Set(double fraction) {
  if (panel_ <= 0) return false;
  if (!(fraction > 0.0)) fraction = 0.0;  // also not a number
  if (fraction > 1.0) fraction = 1.0;
  const int percent = static_cast<int>(std::floor(fraction * 100.0));
  if (percent == percent_) return false;
  percent_ = percent;
  platform::ui().SetCtrlVal(panel_, control_, percent);
  return true;
}

void ProgressBar::Show(bool shown) {
  if (panel_ <= 0) return;
  percent_ = -1;
  if (shown) Set(0.0);
  platform::ui().SetCtrlAttribute(panel_, control_, Attr::Visible, shown ? 1 : 0);
}

ProgressMessage::ProgressMessage(std::string_view text) {
  if (Message_Show(text) != status::kOk) return;
  panel_ = Message_Panel();
  if (panel_ <= 0) return;
  platform::Ui& ui = platform::ui();
  // The wait panel's height with the bar and Cancel under its text.
  constexpr int kCancellableHeight = 148;
  ui.SetPanelAttribute(panel_, Attr::Height, kCancellableHeight);
  ui.SetCtrlAttribute(panel_, p::kWaitCancel, Attr::Visible, 1);
  bar_ = ProgressBar(panel_, p::kWaitProgress);
  bar_.Show(true);
  ui.UpdatePanel(panel_);
}

ProgressMessage::~ProgressMessage() {
  if (panel_ > 0) Message_Hide();
}

void ProgressMessage::Update(std::string_view text, double fraction) {
  if (panel_ <= 0) return;
  bar_.Set(fraction);
  // Painted at once (Message_Update).
  Message_Update(text);
}

bool ProgressMessage::Cancels(const platform::UserEvent& event) {
  if (event.type == EventType::Terminate || platform::ui().TerminationRequested()) cancelled_ = true;
  if (panel_ > 0 && event.panel == panel_ &&
      ((event.type == EventType::Commit && event.control == p::kWaitCancel) || event.type == EventType::Close)) {
    cancelled_ = true;
  }
  return cancelled_;
}

}  // namespace sondrix
