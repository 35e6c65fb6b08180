// SPDX-License-Identifier: GPL-3.0-or-later
// DataFile: a stored data file ("*.dat") as a source. It is the target of a
// recording (title line, the recorded device's configuration, the bin size
// line, one text line per sample line) and replays such a file through the
// same operations as a live device. Model classes supply the trace counts,
// the embedded configuration and the sample lines.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/file.h"
#include "common/version.h"
#include "source/source.h"

namespace sondrix {

// A recording's sample lines go to the file in pieces of about this size.
inline constexpr std::size_t kLineBufferBytes = std::size_t{1} << 20;

// A replayed data file is read from the disk in pieces of this size.
inline constexpr std::size_t kReadBufferBytes = std::size_t{1} << 18;

// The program title that starts every data file ("Sondrix ver 7.1"); a file
// is recognised by its first seven characters.
inline constexpr std::string_view kDataFileTitle = "Sondrix ver " SONDRIX_RELEASE;
// The scratch file a recording lives in until it is saved.
inline constexpr std::string_view kRecordingFile = "Sondrix.tmp";

class DataFile : public Source {
 public:
  DataFile(std::string_view filename, std::string_view portname);
  ~DataFile() override;

  int CanRead() override;
  int MustRead() override;
  int GetStatus() override;
  int GetTraceCount() override;
  int GetInTraceCount() override;
  Status GetColors(std::span<int> colors) override;
  Status GetWavelengths(std::span<double> wavelengths) override;
  Status Open() override;
  Status Close() override;
  Status Save() override;
  Status Reset() override;
  Status WriteConfig(std::FILE* file) override;
  Status ReadConfig(std::FILE* file) override;
  Status PromptForDescr(std::string& filename, std::string* portname) override;
  int DataAvailable() override;
  int BufNearFull() override;
  Status ReadData(SourceLine& line) override;
  Status NewDataFile(std::unique_ptr<DataFile>& out, std::string_view filename) override;
  Status SetOrigBinsize(int binsize) override;
  int GetOrigBinsize() override;
  Status GetDate(std::string& date, std::string& time) override;
  Status GetID(std::string& id) override;
  std::int16_t GetDevType(std::string_view file, std::string& idText) override;
  int GetTraceMap(TraceMap& map) override;
  // The share of the file read by a replay; -1 for a recording.
  double GetReplayFraction() override;

  // Operations of data files only.
  virtual Status WriteData(const SourceLine& line);
  // Creates (truncates) the file and writes title, configuration of the
  // recorded source and bin size line. -1002 when it cannot (openError()
  // tells why).
  virtual Status OpenWrite(Source* recorded);
  // The system's reason (errno) of the last OpenWrite that failed with
  // -1002, 0 otherwise.
  int openError() const { return openError_; }
  virtual Status ReadTitle(std::FILE* file);
  virtual Status WriteTitle(std::FILE* file);
  // Moves the recording to `name`; -1010 when `name` is not a place for it
  // (DataFile_IsSaveTarget). The file and the folders it left and entered
  // are synced, so that the saved recording survives a power cut. Its
  // companion goes with it (DataFile_MoveCompanion).
  virtual Status SaveAs(std::string_view name);
  // The name the last SaveAs moved the recording to (empty before).
  const std::string& savedName() const { return savedName_; }
  // Writes every line written so far out to the file (not synced): 1 (also
  // when nothing is being written), or -1015.
  Status Flush();
  // Puts every line written so far on the disk (written out and synced):
  // a live recording does so about once a second, which bounds what a
  // power cut can take. 1 (also when nothing is being written), or -1015.
  Status Sync();
  // Discards the recording and its companion.
  virtual Status Delete();

  bool isOpen() const { return file_ != nullptr; }
  const std::string& title() const { return title_; }
  // Sample lines written since OpenWrite (handed to the file), and lines
  // refused because a value was not a finite number.
  long writtenLines() const { return writtenLines_; }
  long refusedLines() const { return refusedLines_; }
  // Complete sample lines that reached the file: those of every flush that
  // succeeded and, at Close, those the file holds whole. After a write error
  // (a full disk, a file-size limit) this is what is on disk: a line cut
  // short is cut off the end of the file and not counted, and what the
  // failed write left unwritten is dropped.
  long storedLines() const { return storedLines_; }

 protected:
  std::FILE* stream() const { return file_.get(); }
  Source* recorded() const { return recorded_; }
  // Writes one sample line in the text form. Lines gather in a buffer of
  // kLineBufferBytes that goes to the file when it is full and with the
  // first line written a second or more after it last went, so that a
  // crash costs at most the last second of a run. A line with a value that
  // is not a finite number is not written (1 is returned; it is counted in
  // refusedLines): such a value could never be read back, and the time
  // stamps show the gap as for a lost line.
  Status WriteSampleLine(const SourceLine& line);

 private:
  // Hands the buffered lines to the stream; false when the stream is in
  // error. The buffer is empty afterwards in either case.
  bool HandOverLines();
  // Writes the buffered lines out (to the kernel): 1 or -1015.
  Status FlushLines();
  // The lines handed to the file so far reached it (a flush succeeded).
  void LinesStored();
  // After a failed write: counts the lines the file holds whole and cuts
  // off a line cut short; nothing more is written.
  void KeepCompleteLines();

  // The stream's buffer when the file is replayed (declared before the
  // stream, so that it outlives it).
  std::unique_ptr<char[]> readBuffer_;
  OwnedFile file_;
  std::string savedName_;
  std::string title_;
  std::string date_;
  std::string time_;
  int pollCount_ = 0;
  int openError_ = 0;
  int origBinsize_ = 1;
  Source* recorded_ = nullptr;  // not owned
  double lastFlush_ = 0.0;
  // Sample lines in their text form, not yet handed to the stream.
  std::vector<char> lineBuffer_;
  std::size_t buffered_ = 0;
  long writtenLines_ = 0;
  long refusedLines_ = 0;
  // Recording: the lines known to be on disk and where they end, and the
  // ends of the lines handed to the stream since the last flush that
  // succeeded.
  bool writing_ = false;
  long storedLines_ = 0;
  std::int64_t storedBytes_ = 0;
  std::vector<std::int64_t> pendingEnds_;
};

// The device type recorded in a data file's header (its identification
// word's top byte), or a failure code in 16 bits. Fills the device name.
std::int16_t DataFile_GetDevType(std::string_view filename, std::string& idText);

// True when `name` may take a saved recording: nothing of that name yet, or
// a regular file (after links). A device, a pipe or a folder is never
// replaced by a recording.
bool DataFile_IsSaveTarget(std::string_view name);

// Whether a recording's close that gave `closed` needs telling after a run
// that ended with `runResult`: after a write error the stream's error is
// that same failure, already told.
inline bool DataFile_CloseFailureIsNews(Status closed, Status runResult) {
  return closed != status::kOk && runResult != status::kWriteFailed;
}

// Moves the companion (CompanionPathFor) and the track (TrackPathFor) of
// the data file `from` to be those of `to`, over any there; when `from` has
// none, one beside `to` is removed, so that an older recording's companion
// or track never stays beside a new data file. False when that could not be
// done (logged).
bool DataFile_MoveCompanion(std::string_view from, std::string_view to);

// Longest name of a file after its folder (the file system's limit).
inline constexpr std::size_t kMaxNameLength = 255;
// Whether a recording can be saved as `name` as it is: its own name (after
// the folder) at most kMaxNameLength characters and the whole at most
// `maxLength`. A name is never cut to fit.
bool DataFile_NameFits(std::string_view name, std::size_t maxLength);

// The name an unattended run is saved under: "OutputFilename" of Rudud.ini
// with the run's time stamp (TimeStampedFilename), empty when there is
// none. -1050 when that name would not fit in kMaxFilenameLength (or
// kMaxNameLength after its folder), so that a run can be refused before
// it records.
Status DataFile_OutputFilename(std::string& name);

// Asks for a data file to replay; the port name becomes empty.
Status DataFile_PromptForDescr(std::string& filename, std::string* portname);

}  // namespace sondrix
