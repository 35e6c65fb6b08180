// SPDX-License-Identifier: GPL-3.0-or-later
// OwnedFile: a stdio stream with one owner. The stream is closed when its
// owner goes; a stream that was written to is closed with Close(), which
// says whether everything written reached the file. One rule for every
// writer: a stream in error is still closed (no later call can touch it)
// and the failure is reported.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/file_replacement.h"

namespace sondrix {

class OwnedFile {
 public:
  OwnedFile() = default;
  explicit OwnedFile(std::FILE* stream) : stream_(stream) {}
  OwnedFile(OwnedFile&& other) noexcept : stream_(other.release()) {}
  OwnedFile& operator=(OwnedFile&& other) noexcept;
  OwnedFile(const OwnedFile&) = delete;
  OwnedFile& operator=(const OwnedFile&) = delete;
  // Closes the stream without asking how it went (reading, or giving up).
  ~OwnedFile();

  // std::fopen(path, mode); empty when it cannot be opened.
  static OwnedFile Open(const std::string& path, const char* mode);
  // A file a run appends to (a recording, its track, a raw capture),
  // opened for writing as platform::OpenRegularFileToWrite opens it: never
  // through a link, a missing name created new, emptied when `truncate`.
  // Empty with errno set when it cannot be.
  static OwnedFile OpenToWrite(const std::string& path, bool truncate);

  std::FILE* get() const { return stream_; }
  explicit operator bool() const { return stream_ != nullptr; }
  bool operator==(std::nullptr_t) const { return stream_ == nullptr; }

  // Closes the stream held, without asking how it went, and holds `stream`.
  void reset(std::FILE* stream = nullptr);
  // Gives the stream up without closing it.
  std::FILE* release();

  // Writes out what the stream buffers. False when the stream is in error
  // (a write failed before; nothing more is tried) or the flush fails.
  bool Flush();
  // Flush, then has the kernel put the file's data on the disk
  // (fdatasync), so that a power cut loses nothing written so far. False
  // as Flush, or when the sync fails.
  bool Sync();
  // Closes the stream in every case. False when there was none, when it
  // was in error, or when closing failed (a write that fails only when the
  // buffer goes out shows here).
  bool Close();

 private:
  std::FILE* stream_ = nullptr;
};

// A file written whole under a temporary name and then put in its place
// (platform::FileReplacement), through a stdio stream: the companion, the
// display configuration, a device file or a report saved.
class ReplacingFile {
 public:
  // Begins: the temporary `target` + `suffix` made new; empty (get() null,
  // error() the errno) when it cannot be.
  explicit ReplacingFile(const std::string& target, std::string_view suffix = ".new");
  std::FILE* get() const { return stream_.get(); }
  explicit operator bool() const { return static_cast<bool>(stream_); }
  int error() const { return error_ != 0 ? error_ : replacement_.error(); }
  // Closes the stream and puts the file in its place; false (the target
  // untouched, the temporary removed) when a write failed or any step of
  // the replacement did.
  bool Commit();

 private:
  platform::FileReplacement replacement_;
  OwnedFile stream_;
  int error_ = 0;
};

// Puts the file at `path` on the disk (a copy made by name, say); false
// when it cannot.
bool SyncFile(const std::string& path);
// Puts the directory entries of the folder holding `path` (a file just
// created or renamed there) on the disk; false when it cannot.
bool SyncDirectoryOf(const std::string& path);

// The name of a file kept beside `file` (its companion, its track): `file`
// with its extension, as std::filesystem takes it (from the last dot of the
// file's own name), replaced by `extension` (".meta.json").
std::string BesidePath(std::string_view file, std::string_view extension);

}  // namespace sondrix
