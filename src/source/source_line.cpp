// SPDX-License-Identifier: GPL-3.0-or-later
#include "source/source_line.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <string_view>

#include "common/fixed_format.h"
#include "common/number_field.h"
#include "common/out_of_memory.h"

namespace sondrix {
namespace {

// Whether a trailing text has the shape its writer gives it: `fields`
// blank-separated fields, or fewer in a text the writer cut at the longest
// a trailing text may be. The writer never puts out a longer one.
bool TailHasShape(std::string_view text, int fields) {
  if (text.size() > SourceLine::kTailMax) return false;
  long count = 0;
  for (std::string_view rest = SkipFieldBlanks(text); !rest.empty(); rest = SkipFieldBlanks(rest)) {
    std::size_t end = 0;
    while (end < rest.size() && !IsFieldBlank(rest[end])) ++end;
    rest.remove_prefix(end);
    ++count;
  }
  return count == fields || (count < fields && text.size() == SourceLine::kTailMax);
}

// Decimals of a value in the text form.
constexpr int kValueDecimals = 5;
// The longest time stamp: a sign and 19 digits.
constexpr std::size_t kTimeTextMax = 20;

}  // namespace

SourceLine::SourceLine(int valueCount)
    : count(valueCount < 0 ? 0 : valueCount), values(static_cast<std::size_t>(count), 0.0) {
  tail.reserve(kTailMax);
}

std::unique_ptr<SourceLine> SourceLine_New(int count) {
  std::unique_ptr<SourceLine> line;
  CatchOutOfMemory([&] { line = std::make_unique<SourceLine>(count); });
  return line;
}

void SourceLine_Copy(const SourceLine& from, SourceLine& to) {
  to.status = from.status;
  to.time = from.time;
  to.temperature = from.temperature;
  to.extTemperature = from.extTemperature;
  to.sampleRate = from.sampleRate;
  to.depth = from.depth;
  to.tail = from.tail;
  // The receiver keeps its own size; it must have room for the sender's values.
  const std::size_t n = std::min(from.values.size(), to.values.size());
  std::copy_n(from.values.begin(), n, to.values.begin());
}

bool SourceLine_IsFinite(const SourceLine& line) {
  const auto finite = [](double value) { return std::isfinite(value); };
  return std::ranges::all_of(line.values, finite) && finite(line.temperature) &&
         finite(line.extTemperature) && finite(line.sampleRate) && finite(line.depth);
}

std::size_t SourceLine_TextMax(const SourceLine& line) {
  return kTimeTextMax + line.values.size() * (1 + kFixedTextMax) + 1 + line.tail.size() + 1;
}

char* SourceLine_PutValue(char* out, double value) { return FormatFixed(out, value, kValueDecimals); }

char* SourceLine_Format(char* out, const SourceLine& line) {
  out = std::to_chars(out, out + kTimeTextMax, static_cast<long long>(line.time)).ptr;
  for (double value : line.values) {
    *out++ = '\t';
    out = SourceLine_PutValue(out, value);
  }
  if (!line.tail.empty()) {
    *out++ = '\t';
    out = std::copy(line.tail.begin(), line.tail.end(), out);
  }
  *out++ = '\n';
  return out;
}

Status SourceLine_Write(std::FILE* file, const SourceLine& line, std::size_t* length) {
  thread_local std::vector<char> text;
  const std::size_t most = SourceLine_TextMax(line);
  if (text.size() < most) text.resize(most);
  const auto size = static_cast<std::size_t>(SourceLine_Format(text.data(), line) - text.data());
  if (length != nullptr) *length = size;
  std::fwrite(text.data(), 1, size, file);
  return std::ferror(file) ? status::kWriteFailed : status::kOk;
}

// A stored line is read back whole, so that a damaged line can never run
// into the next one: a line cut short (power failed while it was written,
// so it has no line end), with fewer values than the file has traces, or
// with a field that is not a well-formed number in range, or with a
// trailing text of another shape than its writer's comes back as a lost
// line (status -1023) and the replay goes on with the following line.
Status SourceLine_Read(std::FILE* file, SourceLine& line, int tailFields) {
  int c;
  do {
    c = std::getc(file);
  } while (c != EOF && !(c > ' ' && c < 127));
  if (c == EOF) return std::ferror(file) ? status::kReadFailed : status::kUnexpectedEof;
  std::ungetc(c, file);

  // One line buffer per thread, grown by getline as long lines need it and
  // reused for every line after.
  struct Free {
    void operator()(char* p) const { std::free(p); }
  };
  thread_local std::unique_ptr<char, Free> buffer;
  thread_local std::size_t capacity = 0;
  char* raw = buffer.release();
  const ssize_t length = ::getline(&raw, &capacity, file);
  buffer.reset(raw);
  if (length < 0) return status::kReadFailed;
  std::string_view text(buffer.get(), static_cast<std::size_t>(length));
  if (std::ferror(file)) return status::kReadFailed;

  bool good = text.ends_with('\n') && TakeNumberField(text, line.time) &&
              TakeNumberFields(text, line.values) == line.values.size();
  // The trailing text: what follows the values, without the separating blanks
  // and the line end.
  if (good) {
    text = SkipFieldBlanks(text);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
    good = tailFields < 0 || text.empty() || TailHasShape(text, tailFields);
  }
  if (!good) {
    line.status = status::kLostLine;
    line.tail.clear();
    return status::kOk;
  }
  // Free text is kept to 255 characters.
  line.tail.assign(text.substr(0, SourceLine::kTailMax));

  // Free text to the program; a meter's begins with four numbers. A number
  // that is missing or not well formed leaves its field and the ones after
  // it as they were.
  std::string_view rest = line.tail;
  double* const fields[] = {&line.temperature, &line.sampleRate, &line.depth, &line.extTemperature};
  static_assert(std::size(fields) == kTailLeadFields);
  for (double* field : fields) {
    if (!TakeNumberField(rest, *field)) break;
  }
  line.status = status::kOk;
  return status::kOk;
}

}  // namespace sondrix
