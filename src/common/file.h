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

// Puts the file at `path` on the disk (a copy made by name, say); false
// when it cannot.
bool SyncFile(const std::string& path);
// Puts the directory entries of the folder holding `path` (a file just
// created or renamed there) on the disk; false when it cannot.
bool SyncDirectoryOf(const std::string& path);

}  // namespace sondrix
