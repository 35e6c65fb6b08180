// SPDX-License-Identifier: GPL-3.0-or-later
#include "datafile/data_file.h"

#include <fcntl.h>
#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <new>
#include <system_error>
#include <vector>

#include "common/errors.h"
#include "common/c_locale.h"
#include "common/settings.h"
#include "common/log.h"
#include "common/out_of_memory.h"
#include "common/utils.h"
#include "datafile/ancillary_file.h"
#include "datafile/companion.h"
#include "datafile/track.h"
#include "platform/clock.h"
#include "platform/file_replacement.h"
#include "platform/paths.h"
#include "platform/ui.h"
#include "source/rudud.h"
#include "source/source_line.h"

namespace sondrix {
namespace {

// The files that travel with a data file: its companion, its track and its
// ship's data.
std::array<std::string, 3> SideFilesOf(std::string_view dataFile) {
  return {CompanionPathFor(dataFile), TrackPathFor(dataFile), AncillaryPathFor(dataFile)};
}

// Removes trailing characters with codes below 33.
void TrimTrailingControls(std::string& text) {
  while (!text.empty() && static_cast<unsigned char>(text.back()) < 33) text.pop_back();
}

// Moves a file, also across file systems (a recording in the working
// directory may be saved to another disk). Across file systems the copy
// is written whole under a new name beside `to` and then takes its name
// (platform::FileReplacement): a link at either name is replaced, never
// written through, and a copy cut short (the other disk full) is removed.
bool MoveFile(const std::string& from, const std::string& to) {
  std::error_code error;
  std::filesystem::rename(from, to, error);
  if (!error) return true;
  if (error != std::errc::cross_device_link) return false;
  const OwnedFile source(platform::OpenRegularFile(from));
  if (!source) return false;
  platform::FileReplacement copy = platform::FileReplacement::Create(to, ".sondrix-copy");
  std::vector<char> block(1 << 20);
  std::size_t read = 0;
  while (copy.ok() && (read = std::fread(block.data(), 1, block.size(), source.get())) > 0)
    copy.Write(std::string_view(block.data(), read));
  if (std::ferror(source.get()) || !copy.Commit()) return false;
  std::filesystem::remove(from, error);
  return true;
}

}  // namespace

// The default of the source operation that creates a recording file: a
// source that cannot be recorded hands out nothing.
Status Source::NewDataFile(std::unique_ptr<DataFile>& out, std::string_view) {
  out.reset();
  return status::kSrcNoNewDataFile;
}

DataFile::DataFile(std::string_view filename, std::string_view portname)
    : Source(filename, portname) {}

DataFile::~DataFile() = default;

int DataFile::CanRead() { return DataAvailable(); }
int DataFile::MustRead() { return BufNearFull(); }
int DataFile::GetStatus() { return 0; }
int DataFile::GetTraceCount() { return status::kFileNoTraceCount; }
int DataFile::GetInTraceCount() { return status::kFileNoInTraceCount; }

Status DataFile::GetColors(std::span<int>) { return status::kFileNoColors; }
Status DataFile::GetWavelengths(std::span<double>) { return status::kFileNoColors; }

Status DataFile::Open() {
  file_.reset();
  writing_ = false;
  pollCount_ = 0;
  Status result = Source::Open();
  if (result != status::kOk) return result;
  file_.reset(platform::OpenRegularFile(filename()));
  if (!file_) return status::kCantOpenFile;
  // Without memory for it the stream keeps its own small buffer.
  if (!readBuffer_) readBuffer_.reset(new (std::nothrow) char[kReadBufferBytes]);
  if (readBuffer_) std::setvbuf(file_.get(), readBuffer_.get(), _IOFBF, kReadBufferBytes);
  result = ReadTitle(file_.get());
  if (result == status::kOk) result = ReadConfig(file_.get());
  return result;
}

// Closes the stream in every case, so that no later call can touch a closed
// stream; a stream in error is still reported.
// A recording is flushed first, so that the lines it holds are known
// before the stream goes.
Status DataFile::Close() {
  if (!file_) return status::kNotConnected;
  bool failed = false;
  if (writing_) {
    failed = !HandOverLines() || !file_.Flush();
    if (failed) {
      KeepCompleteLines();
    } else {
      LinesStored();
    }
    writing_ = false;
  }
  const bool closed = file_.Close();
  if (failed || !closed) return status::kCantCloseFile;
  return Source::Close();
}

// Keeps the recording under a name the user chooses, or under the
// time-stamped "OutputFilename" of an unattended set-up.
Status DataFile::Save() {
  std::string name;
  if (const Status named = DataFile_OutputFilename(name); named != status::kOk) return named;
  if (name.empty()) {
    if (!settings::ChooseFile(settings::kDataDirectory, platform::FileDialogMode::Save, "*.dat", "Save data in file:",
                              name))
      return status::kCancelled;
    settings::RememberDirectory(settings::kDataDirectory, name);
  }

  if (!DataFile_IsSaveTarget(name)) return status::kCantRenameFile;
  // With a multi-source settings file the name is the run's own time stamp.
  if (!Rudud_IsDefined() && !MayOverwrite("Save data", name)) return status::kCancelled;
  if (platform::FileExists(name) && std::remove(name.c_str()) != 0) return status::kCantDeleteFile;
  return SaveAs(name);
}

Status DataFile::Reset() {
  if (!file_) return status::kNotConnected;
  Status result = Source::Reset();
  if (result == status::kOk && std::feof(file_.get())) {
    std::rewind(file_.get());
    result = ReadTitle(file_.get());
    if (result == status::kOk) result = ReadConfig(file_.get());
  }
  return result;
}

Status DataFile::WriteConfig(std::FILE* file) {
  const ScopedCLocale cLocale;
  if (std::fprintf(file, "%d\t\t\t; acquisition binsize\n", origBinsize_) < 0 || std::ferror(file))
    return status::kCantWriteConfig;
  return status::kOk;
}

// The bin size line. A line that holds no usable bin size (a whole number
// from 1 to the largest int) is refused, so that it is never taken for a
// sample line.
Status DataFile::ReadConfig(std::FILE* file) {
  const ScopedCLocale cLocale;
  long binsize = 0;
  const bool read = ReadWhole(file, binsize);
  eatComment(file);
  if (std::ferror(file) && !std::feof(file)) return status::kConfigBinSize;
  if (!read || binsize < 1 || binsize > INT_MAX) return status::kConfigBinSize;
  origBinsize_ = static_cast<int>(binsize);
  return status::kOk;
}

Status DataFile::PromptForDescr(std::string& filename, std::string* portname) {
  return DataFile_PromptForDescr(filename, portname);
}

int DataFile::DataAvailable() { return (pollCount_++ % 5) < 3 ? 1 : 0; }

double DataFile::GetReplayFraction() {
  if (!file_ || writing_) return -1.0;
  return platform::ReadFraction(file_.get());
}
int DataFile::BufNearFull() { return 0; }
Status DataFile::ReadData(SourceLine&) { return status::kFileNoReadData; }

Status DataFile::NewDataFile(std::unique_ptr<DataFile>& out, std::string_view) {
  out.reset();
  return status::kOk;
}

Status DataFile::SetOrigBinsize(int binsize) {
  if (binsize < 1) return status::kBadArgument;
  origBinsize_ = binsize;
  return status::kOk;
}

int DataFile::GetOrigBinsize() { return origBinsize_; }

Status DataFile::GetDate(std::string& date, std::string& time) {
  date = date_;
  time = time_;
  return status::kOk;
}

Status DataFile::GetID(std::string& id) { return NoID(id, status::kFileNoID); }

std::int16_t DataFile::GetDevType(std::string_view file, std::string& idText) {
  return DataFile_GetDevType(file, idText);
}

int DataFile::GetTraceMap(TraceMap&) { return status::kFileNoColors; }

Status DataFile::WriteData(const SourceLine&) { return status::kFileNoWriteData; }

// The file is opened without following a link and created new when
// missing (OwnedFile::OpenToWrite): a recording never lands where a link
// planted under its name points.
Status DataFile::OpenWrite(Source* recorded) {
  file_.reset();
  writing_ = false;
  recorded_ = recorded;
  openError_ = 0;
  file_ = OwnedFile::OpenToWrite(filename(), /*truncate=*/true);
  if (!file_) {
    openError_ = errno;
    return status::kCantOpenFile;
  }
  date_ = platform::DateStr();
  time_ = platform::TimeStr();
  lastFlush_ = platform::CoarseTimer();
  buffered_ = 0;
  if (lineBuffer_.size() < kLineBufferBytes &&
      CatchOutOfMemory([this] { lineBuffer_.resize(kLineBufferBytes); }) != status::kOk) {
    file_.reset();
    return status::kOutOfMemory;
  }
  writtenLines_ = 0;
  refusedLines_ = 0;
  storedLines_ = 0;
  pendingEnds_.clear();
  if (!std::ferror(file_.get())) WriteTitle(file_.get());
  if (!std::ferror(file_.get())) WriteConfig(file_.get());
  errno = 0;
  if (std::fflush(file_.get()) != 0 || std::ferror(file_.get())) {
    openError_ = errno != 0 ? errno : EIO;
    return status::kCantOpenFile;
  }
  storedBytes_ = 0;
  writing_ = true;
  return status::kOk;
}

Status DataFile::ReadTitle(std::FILE* file) {
  title_ = fgetstring(file, 64, '\t');
  date_ = title_.empty() ? std::string() : fgetstring(file, 32, '\t');
  time_ = date_.empty() ? std::string() : fgetstring(file, 32, '\n');
  if (std::feof(file)) return status::kUnexpectedEof;
  if (std::ferror(file) || title_.compare(0, 7, "Sondrix") != 0)
    return status::kUnrecognisedData;
  TrimTrailingControls(time_);
  return status::kOk;
}

Status DataFile::WriteTitle(std::FILE* file) {
  const ScopedCLocale cLocale;
  if (std::fprintf(file, "%.*s\t%s\t%s\n", static_cast<int>(kDataFileTitle.size()),
                   kDataFileTitle.data(), date_.c_str(), time_.c_str()) < 0 ||
      std::ferror(file))
    return status::kWriteFailed;
  return status::kOk;
}

Status DataFile::SaveAs(std::string_view name) {
  if (!DataFile_IsSaveTarget(name)) return status::kCantRenameFile;
  const std::string target(name);
  // A companion or track beside the target describes the recording being
  // replaced: they go first, so that they never stay beside the new one, a
  // crash in between included.
  const std::array<std::string, 3> targetSides = SideFilesOf(target);
  const std::array<std::string, 3> ownSides = SideFilesOf(filename());
  for (std::size_t k = 0; k < targetSides.size(); ++k) {
    std::error_code error;
    if (targetSides[k] != ownSides[k]) std::filesystem::remove(targetSides[k], error);
  }
  if (!MoveFile(filename(), target)) return status::kCantRenameFile;
  DataFile_MoveCompanion(filename(), target);
  // The renames are only safe once the folders' entries are on the disk too.
  SyncDirectoryOf(target);
  if (std::filesystem::path(target).parent_path() != std::filesystem::path(filename()).parent_path())
    SyncDirectoryOf(filename());
  savedName_ = target;
  return status::kOk;
}

Status DataFile::Flush() {
  if (!file_ || !writing_) return status::kOk;
  return FlushLines();
}

Status DataFile::Sync() {
  if (!file_ || !writing_) return status::kOk;
  if (!HandOverLines() || !file_.Sync()) return status::kWriteFailed;
  LinesStored();
  lastFlush_ = platform::CoarseTimer();
  return status::kOk;
}

Status DataFile::Delete() {
  for (const std::string& side : SideFilesOf(filename())) {
    std::error_code error;
    std::filesystem::remove(side, error);
  }
  return std::remove(filename().c_str()) == 0 ? status::kOk : status::kCantDeleteFile;
}

// After a failed write nothing more is written: bytes written after the
// gap it left would join a line cut short to the lines that follow.
//
// The lines gather in lineBuffer_ and go to the file when the next line
// might not fit, and at the first line written a second or more after they
// last went. The clock read for that is the coarse one: the precise one
// would cost more than formatting some of the lines.
Status DataFile::WriteSampleLine(const SourceLine& line) {
  if (!file_ || std::ferror(file_.get())) return status::kWriteFailed;
  if (!SourceLine_IsFinite(line)) {
    ++refusedLines_;
    return status::kOk;
  }
  const std::size_t most = SourceLine_TextMax(line);
  if (most > lineBuffer_.size() - buffered_) {
    if (const Status flushed = FlushLines(); flushed != status::kOk) return flushed;
    if (most > lineBuffer_.size() &&
        CatchOutOfMemory([&] { lineBuffer_.resize(most); }) != status::kOk)
      return status::kOutOfMemory;
  }
  if (pendingEnds_.empty()) {
    // Where this line starts: after the header (a model may add to it after
    // OpenWrite) and the lines already on disk.
    const off_t start = ::ftello(file_.get());
    if (start >= 0) storedBytes_ = start;
  }
  char* const at = lineBuffer_.data() + buffered_;
  const auto length = static_cast<std::size_t>(SourceLine_Format(at, line) - at);
  buffered_ += length;
  ++writtenLines_;
  const std::int64_t start = pendingEnds_.empty() ? storedBytes_ : pendingEnds_.back();
  pendingEnds_.push_back(start + static_cast<std::int64_t>(length));
  const double now = platform::CoarseTimer();
  if (now - lastFlush_ >= 1.0 || now < lastFlush_) return FlushLines();
  return status::kOk;
}

bool DataFile::HandOverLines() {
  const std::size_t count = buffered_;
  buffered_ = 0;
  if (count > 0 && std::fwrite(lineBuffer_.data(), 1, count, file_.get()) != count) return false;
  return !std::ferror(file_.get());
}

Status DataFile::FlushLines() {
  if (!HandOverLines() || std::fflush(file_.get()) != 0) return status::kWriteFailed;
  LinesStored();
  lastFlush_ = platform::CoarseTimer();
  return status::kOk;
}

void DataFile::LinesStored() {
  storedLines_ += static_cast<long>(pendingEnds_.size());
  if (!pendingEnds_.empty()) storedBytes_ = pendingEnds_.back();
  pendingEnds_.clear();
}

// The stream writes in order, so the file holds a prefix of what it was
// handed: the lines that end within its length are whole.
void DataFile::KeepCompleteLines() {
  std::FILE* file = file_.get();
  // What the failed write left in the buffer would land after a gap.
  __fpurge(file);
  const int fd = ::fileno(file);
  struct stat info {};
  if (::fstat(fd, &info) == 0) {
    const auto whole = std::upper_bound(pendingEnds_.begin(), pendingEnds_.end(),
                                        static_cast<std::int64_t>(info.st_size));
    storedLines_ += static_cast<long>(whole - pendingEnds_.begin());
    if (whole != pendingEnds_.begin()) storedBytes_ = *(whole - 1);
    // A line cut short would read back as a lost line at best.
    if (storedBytes_ > 0 && info.st_size > storedBytes_ && ::ftruncate(fd, storedBytes_) != 0) {
      // The file keeps the cut line; a replay leaves it out as lost.
    }
  }
  pendingEnds_.clear();
}

std::int16_t DataFile_GetDevType(std::string_view filename, std::string& idText) {
  const OwnedFile file(platform::OpenRegularFile(filename));
  if (!file) return static_cast<std::int16_t>(status::kCantOpenFile);
  DataFile scratch("junk", "");
  Status result = scratch.ReadTitle(file.get());
  std::uint32_t id = 0;
  if (result == status::kOk) result = ReadID(file.get(), id, idText);
  if (result != status::kOk) return static_cast<std::int16_t>(result);
  return static_cast<std::int16_t>(id >> 24);
}

bool DataFile_MoveCompanion(std::string_view from, std::string_view to) {
  const std::array<std::string, 3> sources = SideFilesOf(from);
  const std::array<std::string, 3> targets = SideFilesOf(to);
  bool moved = true;
  for (std::size_t k = 0; k < sources.size(); ++k) {
    const std::string& source = sources[k];
    const std::string& target = targets[k];
    if (source == target) continue;
    std::error_code error;
    // Only a file is a companion or a track: whatever else carries the name
    // stays.
    if (std::filesystem::is_regular_file(std::filesystem::symlink_status(source, error))) {
      // To another disk too, as the data file went.
      if (!error && !MoveFile(source, target)) error = std::make_error_code(std::errc::io_error);
    } else {
      std::filesystem::remove(target, error);
    }
    if (error) {
      SONDRIX_LOG(Warn, "%s could not follow its data file (%s)", target.c_str(), error.message().c_str());
      moved = false;
    }
  }
  return moved;
}

bool DataFile_IsSaveTarget(std::string_view name) { return platform::IsSaveTarget(name); }

bool DataFile_NameFits(std::string_view name, std::size_t maxLength) {
  return name.size() <= maxLength && NameFromPath(name).size() <= kMaxNameLength;
}

Status DataFile_OutputFilename(std::string& name) {
  // Read whole: a name cut at the reader's buffer would lose its end.
  name = Rudud_GetProfileString("General", "OutputFilename", "", 0);
  if (name.empty()) return status::kOk;
  if (!TimeStampedFilename(name, "dat") || !DataFile_NameFits(name, kMaxFilenameLength))
    return status::kOutputNameTooLong;
  return status::kOk;
}

Status DataFile_PromptForDescr(std::string& filename, std::string* portname) {
  std::string chosen;
  if (!settings::ChooseFile(settings::kReplayDirectory, platform::FileDialogMode::Load, "*.dat", "Data file to read:",
                            chosen))
    return status::kCancelled;
  if (!platform::FileExists(chosen)) return status::kFileNotFound;
  settings::RememberDirectory(settings::kReplayDirectory, chosen);
  filename = chosen;
  if (portname) portname->clear();
  return status::kOk;
}

}  // namespace sondrix
