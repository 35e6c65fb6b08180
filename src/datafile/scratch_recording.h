// SPDX-License-Identifier: GPL-3.0-or-later
// The scratch recording ("Sondrix.tmp") a run records into until it is
// saved under its own name: the lock a running run holds on it, and the
// keeping of one that a run left behind when it ended without saving it
// (killed, power cut), so that the next run never overwrites it.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace sondrix {

// The scratch recording in the directory of `file` (the working directory
// when `file` names none), so that saving it as `file` stays on one file
// system.
std::string ScratchRecordingBeside(std::string_view file);

// The name under which a left-behind scratch recording is kept:
// "Sondrix-recovered-<yymmdd_hhmmss>.dat" beside it, the time being that of
// its last write; `attempt` 2, 3, ... adds "-2", "-3", ... before the
// extension.
std::string RecoveredRecordingName(std::string_view scratch, const std::tm& lastWrite,
                                   int attempt = 1);

// An exclusive lock on a scratch recording, held for a whole run, so that
// a second run recording into the same directory cannot truncate the file
// of one that is still running.
class ScratchLock {
 public:
  enum class Result {
    Ready,        // locked (or left to the recording itself, see Acquire)
    Busy,         // another run holds the file
    NotRegular,   // the scratch name is taken by something not a file
    Link,         // the scratch name is a symbolic link (never followed)
    NotKept,      // a left-behind recording could not be moved aside
  };

  ScratchLock() = default;
  ~ScratchLock();
  ScratchLock(const ScratchLock&) = delete;
  ScratchLock& operator=(const ScratchLock&) = delete;

  // Locks the scratch recording `path`, creating it (empty) when missing.
  // A recording found there that no run holds is one left behind: when it
  // holds anything it is first moved, never over another file, to
  // RecoveredRecordingName, and `recovered` tells where (empty when nothing
  // was kept; an empty leftover is simply reused). A link at `path` is
  // neither followed nor moved (Link), and a folder, a pipe or a device is
  // left as it is (NotRegular). A file that cannot be opened otherwise, or
  // a file system without locks, is left to the recording itself (Ready,
  // not locked).
  Result Acquire(const std::string& path, std::string& recovered);
  // Gives the lock up (the destructor does too).
  void Release();
  bool locked() const { return fd_ >= 0; }
  // Whether the lock is held on the file that `path` names now (a saved
  // recording has moved away with the lock, leaving the name free).
  bool Holds(const std::string& path) const;

 private:
  int fd_ = -1;
};

}  // namespace sondrix
