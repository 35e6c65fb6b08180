// SPDX-License-Identifier: GPL-3.0-or-later
// One line of values as every source delivers it, and its text form in data
// files: time stamp, one value per trace, and a trailing text.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/status.h"

namespace sondrix {

struct SourceLine {
  explicit SourceLine(int valueCount);

  Status status = 0;          // 1 good, -1023 lost, 0 nothing yet; OR of a bin's lines
  int count = 0;              // number of values, fixed at creation
  std::int64_t time = 0;      // milliseconds since the source's zero (runs of any length)
  double temperature = 0.0;   // internal, degrees Celsius
  double extTemperature = 0.0;
  double sampleRate = 0.0;    // Hz
  double depth = 0.0;         // metres
  std::string tail;           // trailing text, at most kTailMax characters
  std::vector<double> values; // `count` values, one per trace

  static constexpr std::size_t kTailMax = 255;
};

// The fields a meter's trailing text begins with, on the first line of each
// packet: temperature, sample rate, depth and external temperature. The
// meter's own fields follow them; a line without a trailing text keeps the
// readings of the last line that had one.
inline constexpr int kTailLeadFields = 4;

// A new line of `count` values (status 0, empty tail), or null without memory.
std::unique_ptr<SourceLine> SourceLine_New(int count);
// Copies the whole line; `to` must hold at least from.count values.
void SourceLine_Copy(const SourceLine& from, SourceLine& to);
// The text form: "%ld" time, "\t%.5lf" per value, "\t%s" tail when not empty,
// newline. 1, or -1015 when the stream is in error afterwards. `length`,
// when given, gets the number of characters of the text form.
Status SourceLine_Write(std::FILE* file, const SourceLine& line, std::size_t* length = nullptr);
// The most characters the text form of `line` can take (its values may be
// any doubles).
std::size_t SourceLine_TextMax(const SourceLine& line);
// Writes the text form of `line` at `out`, which has room for
// SourceLine_TextMax(line) characters, and returns its end (no null).
char* SourceLine_Format(char* out, const SourceLine& line);
// One value as the text form writes it ("%.5lf") at `out`, which has room
// for kFixedTextMax characters; its end.
char* SourceLine_PutValue(char* out, double value);
// True when the values, temperatures, sample rate and depth of the line are
// all finite numbers (what a data file may hold).
bool SourceLine_IsFinite(const SourceLine& line);
// The trailing text of a line left free: any text is kept.
inline constexpr int kFreeTail = -1;
// Reads one line of the text form. 1, -1017 at the end of the file, -1014
// for a line that cannot be read. With `tailFields` of 0 or more, a
// trailing text is what its writer puts out: exactly that many
// blank-separated fields within SourceLine::kTailMax characters, or fewer
// when the writer cut it at kTailMax. Any other trailing text (two lines
// run into one when a line end was lost, more values than the file's
// traces) makes the line a lost one.
Status SourceLine_Read(std::FILE* file, SourceLine& line, int tailFields = kFreeTail);

}  // namespace sondrix
