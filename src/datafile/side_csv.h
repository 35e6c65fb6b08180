// SPDX-License-Identifier: GPL-3.0-or-later
// The comma-separated files a run keeps beside its recording, a line at a
// time: the position track (NAME.track.csv, track.h) and the ship's data
// (NAME.ancillary.csv, ancillary_file.h). Each begins with a title comment
// and a header line; the run appends a line a record and syncs the file
// with its recording (at most a second behind), so a power cut leaves it as
// whole as the data. Readers pass over comments and lines that hold no
// record (one cut short by a power cut), counting them.
//
// Their records are merged with the samples on UTC: BracketAt finds the
// records around a sample's time, and TimeCursor walks along them with
// samples that come in time order.
#pragma once

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/file.h"
#include "common/status.h"

namespace sondrix {

class SideCsvWriter {
 public:
  // Creates (or empties) the file at `path` with its title and header; 1,
  // or -1015 when it cannot be written (a link at `path` is never followed).
  Status Open(const std::string& path, std::string_view title, std::string_view header);
  bool open() const { return static_cast<bool>(file_); }
  const std::string& path() const { return path_; }
  // One record's line, with its newline; 1, or -1015: the file is in error
  // and takes nothing more.
  Status Append(std::string_view line);
  // Puts what was appended on the disk (flush + fdatasync).
  Status Sync();
  // Syncs and closes; 1 or -1015. Nothing open: 1.
  Status Close();
  long lines() const { return lines_; }

 private:
  OwnedFile file_;
  std::string path_;
  long lines_ = 0;
};

// The writer of one kind of record, each written as its `Line`.
template <class Record, std::string (*Line)(const Record&)>
class SideRecordWriter {
 public:
  bool open() const { return out_.open(); }
  const std::string& path() const { return out_.path(); }
  // 1, or -1015: the file is in error and takes nothing more.
  Status Append(const Record& record) { return out_.Append(Line(record)); }
  // Puts what was appended on the disk (flush + fdatasync).
  Status Sync() { return out_.Sync(); }
  // Syncs and closes; 1 or -1015. Nothing open: 1.
  Status Close() { return out_.Close(); }

 protected:
  SideCsvWriter out_;
};

// Reads the file at `path`: each line after `header` that is no comment goes
// to `record`, which says whether it held one (else it is counted in
// `skipped`). 1; -1002 when there is no file; -1000 with `error` ("not a
// WHAT (no header ...)") when it is not one.
Status ReadSideCsv(const std::string& path, std::string_view header, std::string_view what,
                   const std::function<bool(std::string_view)>& record, long& skipped, std::string& error);

// The records of the file at `path`, as ReadSideCsv reads it, each made of
// its line by `parse` (false: no record), in time order (by their utcMs;
// records of one time in the order of their lines).
template <class Record>
Status ReadSideRecords(const std::string& path, std::string_view header, std::string_view what,
                       bool (*parse)(std::string_view line, Record& record), std::vector<Record>& records,
                       long& skipped, std::string& error) {
  records.clear();
  const Status read = ReadSideCsv(path, header, what, [&](std::string_view line) {
    Record record;
    if (!parse(line, record)) return false;
    records.push_back(std::move(record));
    return true;
  }, skipped, error);
  std::stable_sort(records.begin(), records.end(), [](const Record& a, const Record& b) { return a.utcMs < b.utcMs; });
  return read;
}

// The next comma-separated field of a record's `line` (the rest of it when
// it is the `last`), taken off the line.
std::string_view TakeCsvField(std::string_view& line, bool last = false);

// The number a whole field holds, as std::from_chars reads it; false for a
// field with anything else in it (or nothing).
template <typename T>
bool CsvNumber(std::string_view field, T& value) {
  const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
  return error == std::errc() && end == field.data() + field.size();
}

// The records just before and after a time, and where it lies between them.
struct Bracket {
  std::size_t before = 0;
  std::size_t after = 0;  // == before: a record at that very time
  double fraction = 0.0;  // 0 at `before`, 1 at `after`
};

// Where `utcMs` lies on `items` (in time order by `timeOf`): the record at
// that very time, else the pair around it when they are at most `maxGapMs`
// apart; none otherwise (never extrapolated).
template <class T, class TimeOf>
std::optional<Bracket> BracketAt(std::span<const T> items, std::int64_t utcMs, std::int64_t maxGapMs, TimeOf timeOf) {
  const auto after = std::upper_bound(items.begin(), items.end(), utcMs,
                                      [&](std::int64_t t, const T& item) { return t < timeOf(item); });
  if (after == items.begin()) return std::nullopt;
  const auto before = static_cast<std::size_t>(after - items.begin()) - 1;
  const std::int64_t a = timeOf(items[before]);
  if (a == utcMs) return Bracket{before, before, 0.0};
  if (after == items.end()) return std::nullopt;
  // The differences of times that lie in order, in unsigned arithmetic:
  // exact, also for times from a damaged file at the ends of int64.
  const auto since = [a](std::int64_t t) { return static_cast<std::uint64_t>(t) - static_cast<std::uint64_t>(a); };
  const std::uint64_t span = since(timeOf(*after));
  if (span > static_cast<std::uint64_t>(maxGapMs)) return std::nullopt;
  return Bracket{before, before + 1, static_cast<double>(since(utcMs)) / static_cast<double>(span)};
}

// The records around the times of samples that come in time order: the
// cursor moves on with them, so a sample costs a step instead of a search
// of the whole file (which, a record a second over a long run, is larger
// than the processor's caches). At most two records: the last at or before
// the time and the one after it.
template <class T, class TimeOf>
class TimeCursor {
 public:
  TimeCursor(const std::vector<T>& items, TimeOf timeOf) : items_(items), timeOf_(timeOf) {}

  std::span<const T> Around(std::int64_t utcMs) {
    if (items_.empty()) return {};
    if (next_ > 0 && timeOf_(items_[next_ - 1]) > utcMs) {  // back in time: search again
      const auto before = [this](std::int64_t t, const T& item) { return t < timeOf_(item); };
      next_ = static_cast<std::size_t>(std::upper_bound(items_.begin(), items_.end(), utcMs, before) - items_.begin());
    }
    while (next_ < items_.size() && timeOf_(items_[next_]) <= utcMs) ++next_;
    const std::size_t from = next_ > 0 ? next_ - 1 : 0;
    return std::span<const T>(items_.data() + from, std::min<std::size_t>(2, items_.size() - from));
  }

 private:
  const std::vector<T>& items_;
  TimeOf timeOf_;
  std::size_t next_ = 0;  // the first record after the last time asked
};

}  // namespace sondrix
