// SPDX-License-Identifier: GPL-3.0-or-later
// Writing a file whole under a temporary name beside it, then putting it in
// its place: the one way every file a run, an export or a setting replaces
// is written (the companion, settings, panel state, the display
// configuration, device files and reports saved, an export's output, a
// recording copied to another disk).
//
// - The temporary (the target's name and a suffix, "NAME.new") is made new
//   (O_CREAT | O_EXCL | O_NOFOLLOW): whatever was there before (the
//   temporary of a program that died, a link planted under the name) is
//   removed first, never followed, so no byte lands where a link points; a
//   folder there is refused.
// - Commit syncs the temporary's data, checks that the name still holds
//   the file written, renames it over the target (a link at the target is
//   replaced, never written through) and syncs the folder, so that a reader
//   or a power cut finds the old file or the new one, never half of one.
// - A replacement not committed removes its temporary.
//
// A library that creates its file itself by name (NetCDF) is given a name
// reserved the same way and must create it exclusively (NC_NOCLOBBER).
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

namespace sondrix::platform {

class FileReplacement {
 public:
  FileReplacement() = default;
  FileReplacement(FileReplacement&& other) noexcept;
  FileReplacement& operator=(FileReplacement&& other) noexcept;
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;
  // Removes the temporary unless it was committed.
  ~FileReplacement();

  // Begins replacing `target`: the temporary `target` + `suffix` is made
  // new, open for writing (descriptor()). ok() tells whether it could be.
  static FileReplacement Create(std::string target, std::string_view suffix = ".new");
  // The temporary's name cleared, but not created: for a writer that
  // creates the file there itself, exclusively (CreateNewFile,
  // NC_NOCLOBBER).
  static FileReplacement Reserve(std::string target, std::string_view suffix);

  bool ok() const { return error_ == 0; }
  // The errno of the step that failed (0 while none did).
  int error() const { return error_; }
  const std::string& target() const { return target_; }
  const std::string& temporary() const { return temporary_; }
  // The temporary's descriptor (Create), -1 otherwise. It stays owned by
  // the replacement; a stream on it takes a duplicate (dup).
  int descriptor() const { return fd_; }

  // Writes `bytes` to the temporary (Create); false with error() set.
  bool Write(std::string_view bytes);
  // Puts the temporary in the target's place (see above). False with
  // error() set when any step fails; the temporary is removed then.
  bool Commit();
  // Gives up: the temporary is removed (the destructor does it too).
  void Abandon();

 private:
  bool Fail(int error);

  std::string target_;
  std::string temporary_;
  int fd_ = -1;
  dev_t device_ = 0;
  ino_t inode_ = 0;
  int error_ = 0;
  bool pending_ = false;  // a temporary of ours may be at its name
};

// Creates `path` new for writing: O_CREAT | O_EXCL | O_NOFOLLOW, so that
// nothing already there (a link above all) is opened. The descriptor
// (close-on-exec), or -1 with errno.
int CreateNewFile(std::string_view path);

// Writes `content` as the whole of `target` through a FileReplacement. 0,
// or the errno of the step that failed.
int ReplaceFileWith(const std::string& target, std::string_view content, std::string_view suffix = ".new");

// Has the kernel put the data of the file at `path` on the disk; false
// when it cannot.
bool SyncFileAt(const std::string& path);
// Puts the entries of the folder holding `path` (a file just created or
// renamed there) on the disk; false when it cannot.
bool SyncFolderOf(const std::string& path);

}  // namespace sondrix::platform
