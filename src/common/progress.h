// SPDX-License-Identifier: GPL-3.0-or-later
// Showing how far a long task has come, and letting the user cancel it:
// a progress bar that repaints only when the whole percent it shows
// changes, and the wait message of a task that can be cancelled (a
// calibration reading its samples). The replay of a stored file shows its
// bar on the main panel and is stopped with the run's own stop controls.
#pragma once

#include <string_view>

#include "platform/ui.h"

namespace sondrix {

class ProgressBar {
 public:
  ProgressBar() = default;
  ProgressBar(int panel, int control) : panel_(panel), control_(control) {}

  // Shows `fraction` of the way (cut to 0 ... 1; not a number counts as 0).
  // The control is written only when the whole percent changes, so that a
  // task of many thousand small steps costs at most a hundred repaints.
  // True when it was written.
  bool Set(double fraction);
  // Shows or hides the bar; shown again, it starts from nothing.
  void Show(bool shown);
  // The percent shown, or -1 before the first Set since it was shown.
  int percent() const { return percent_; }

 private:
  int panel_ = 0;
  int control_ = 0;
  int percent_ = -1;
};

// The wait message with a progress bar and a Cancel button under its text,
// from construction to destruction. Every change is painted at once, so the
// message stays readable while the program reads an instrument between its
// looks at the user interface.
class ProgressMessage {
 public:
  explicit ProgressMessage(std::string_view text);
  ~ProgressMessage();
  ProgressMessage(const ProgressMessage&) = delete;
  ProgressMessage& operator=(const ProgressMessage&) = delete;

  // A new text (at most 1023 characters are shown) and how far the task
  // has come, 0 ... 1.
  void Update(std::string_view text, double fraction);
  // Whether `event`, taken by the task's look at the user interface,
  // cancels it: the Cancel button (or Esc), the message's close box, or the
  // program told to end. Events of other panels are not the message's (a
  // modal message receives none). Once cancelled, stays so.
  bool Cancels(const platform::UserEvent& event);
  bool cancelled() const { return cancelled_; }

 private:
  int panel_ = 0;
  ProgressBar bar_;
  bool cancelled_ = false;
};

}  // namespace sondrix
