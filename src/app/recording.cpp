// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/recording.h"

#include <array>

#include "common/errors.h"
#include "datafile/data_file.h"
#include "platform/ui.h"

namespace sondrix {
namespace {

// Tells the user why this project directory cannot take a run's recording.
void ScratchMessage(ScratchLock::Result result, const std::string& scratch) {
  switch (result) {
    case ScratchLock::Result::Ready:
      return;
    case ScratchLock::Result::Busy:
      Error_Message("Another Sondrix is recording in this project directory:\n" + scratch +
                    " is the recording of its runs.\n\nClose it first, or start this one with "
                    "another project directory (SONDRIX_HOME).");
      return;
    case ScratchLock::Result::NotRegular:
      Error_Message(scratch +
                    " is not a regular file, so no run can be recorded in this project "
                    "directory.\n\nRemove it, or start Sondrix with another project directory "
                    "(SONDRIX_HOME).");
      return;
    case ScratchLock::Result::Link:
      Error_Message(scratch +
                    " is a symbolic link. A run never records through a link (it would write "
                    "wherever the link points), so no run can be recorded in this project "
                    "directory.\n\nRemove the link, or start Sondrix with another project directory "
                    "(SONDRIX_HOME).");
      return;
    case ScratchLock::Result::NotKept:
      Error_Message(scratch +
                    " holds a recording left behind by an earlier run that could not be moved "
                    "aside.\n\nSave it under another name, then start Sondrix again.");
      return;
  }
}

void OfferRecovered(const std::string& recovered) {
  if (platform::ui().ConfirmPopup(
          "Recovered recording",
          "A run that ended without saving left its recording behind; it is kept as\n" + recovered +
              "\n\nSave it under another name now?") == 0)
    return;
  Error_Report(SaveRecordingFile(recovered));
}

}  // namespace

Status SaveRecordingFile(const std::string& path) {
  DataFile recording(path, "");
  return recording.Save();
}

Status SaveScratchRecording(App& app, DataFile& recording) {
  const Status result = recording.Save();
  if (result == status::kOk) {
    app.unsavedRun = false;
    app.lastSavedRecording = recording.savedName();
    EnsureScratchLock(app);
  }
  return result;
}

bool ClaimScratchRecording(App& app) {
  const std::string scratch = App::ScratchPath();
  std::string recovered;
  ScratchLock::Result result = app.scratchLock.Acquire(scratch, recovered);
  if (result == ScratchLock::Result::NotKept) {
    // It cannot be moved aside: the user may still save it elsewhere.
    ScratchMessage(result, scratch);
    if (SaveRecordingFile(scratch) == status::kOk) result = app.scratchLock.Acquire(scratch, recovered);
    if (result == ScratchLock::Result::NotKept) return false;
  }
  if (!recovered.empty()) OfferRecovered(recovered);
  ScratchMessage(result, scratch);
  return result == ScratchLock::Result::Ready;
}

bool EnsureScratchLock(App& app) {
  const std::string scratch = App::ScratchPath();
  if (app.scratchLock.Holds(scratch)) return true;
  std::string recovered;
  const ScratchLock::Result result = app.scratchLock.Acquire(scratch, recovered);
  if (!recovered.empty()) OfferRecovered(recovered);
  ScratchMessage(result, scratch);
  return result == ScratchLock::Result::Ready;
}

bool OfferUnsavedRun(App& app, std::string_view question) {
  if (!app.unsavedRun) return true;
  const std::array<std::string, 3> buttons = {"Save", "Discard", "Cancel"};
  const int answer = platform::ui().GenericMessagePopup("Unsaved run", question, buttons);
  if (answer == 2) {
    app.unsavedRun = false;
    return true;
  }
  if (answer != 1) return false;
  DataFile recording(App::ScratchPath(), "");
  const Status saved = SaveScratchRecording(app, recording);
  Error_Report(saved);
  return saved == status::kOk;
}

void ReleaseScratchRecording(App& app) {
  const std::string scratch = App::ScratchPath();
  if (!app.unsavedRun && app.scratchLock.Holds(scratch)) {
    DataFile(scratch, "").Delete();
  }
  app.scratchLock.Release();
}

}  // namespace sondrix
