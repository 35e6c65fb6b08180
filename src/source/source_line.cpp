#include "source/source_line.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <new>
#include <string_view>

namespace sondrix {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string_view SkipBlanks(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  return text.substr(i);
}

// Parses one number the way "%lf" and "%ld" do for the texts this program
// writes (blanks first, an optional sign); advances `text` past it.
template <typename Number>
bool Take(std::string_view& text, Number& value) {
  text = SkipBlanks(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc()) return false;
  text.remove_prefix(static_cast<std::size_t>(end - text.data()));
  return true;
}

// Appends "%.5lf" of a value.
void AppendFixed5(std::string& out, double value) {
  char digits[400];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, 5);
  if (ec == std::errc()) out.append(digits, end);
}

}  // namespace

SourceLine::SourceLine(int valueCount)
    : count(valueCount < 0 ? 0 : valueCount), values(static_cast<std::size_t>(count), 0.0) {
  tail.reserve(kTailMax);
}

std::unique_ptr<SourceLine> SourceLine_New(int count) {
  try {
    return std::make_unique<SourceLine>(count);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
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

Status SourceLine_Write(std::FILE* file, const SourceLine& line) {
  thread_local std::string text;
  text.clear();
  char number[24];
  auto [end, ec] = std::to_chars(number, number + sizeof number, static_cast<long long>(line.time));
  (void)ec;
  text.append(number, end);
  for (double value : line.values) {
    text.push_back('\t');
    AppendFixed5(text, value);
  }
  if (!line.tail.empty()) {
    text.push_back('\t');
    text.append(line.tail);
  }
  text.push_back('\n');
  std::fwrite(text.data(), 1, text.size(), file);
  return std::ferror(file) ? status::kWriteFailed : status::kOk;
}

// A stored line is read back whole, so that a damaged line (cut short by a
// power failure, or with fewer values than the file has traces) can never
// run into the next one: such a line comes back as a lost line (status
// -1023) and the replay goes on with the following line.
Status SourceLine_Read(std::FILE* file, SourceLine& line) {
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

  long time = 0;
  bool good = Take(text, time);
  line.time = time;
  for (std::size_t i = 0; good && i < line.values.size(); ++i) good = Take(text, line.values[i]);
  if (!good) {
    line.status = status::kLostLine;
    line.tail.clear();
    return status::kOk;
  }

  // The trailing text: what follows the values, without the separating blanks
  // and the line end, at most 255 characters.
  text = SkipBlanks(text);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  line.tail.assign(text.substr(0, SourceLine::kTailMax));

  std::string_view rest = line.tail;
  double value;
  if (Take(rest, value)) {
    line.temperature = value;
    if (Take(rest, value)) {
      line.sampleRate = value;
      if (Take(rest, value)) {
        line.depth = value;
        if (Take(rest, value)) line.extTemperature = value;
      }
    }
  }
  line.status = status::kOk;
  return status::kOk;
}

}  // namespace sondrix
