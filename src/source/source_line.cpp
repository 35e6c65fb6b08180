#include "source/source_line.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>
#include <type_traits>

#include "common/fixed_format.h"
#include "common/out_of_memory.h"

namespace sondrix {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view SkipBlanks(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  return text.substr(i);
}

std::size_t SkipDigits(std::string_view text, std::size_t i) {
  while (i < text.size() && IsDigit(text[i])) ++i;
  return i;
}

// The length of the well-formed field at the start of `text`, 0 when there
// is none. A field is an optional sign and digits; a decimal number may
// have a fraction (a point with digits after it) and an exponent. It ends
// at a blank or at the end of the text. So a number cut short ("0."), one
// with rubbish behind it ("0.6x"), a fraction in a whole number ("1.5") and
// words such as "nan" or "inf" are not fields.
std::size_t FieldLength(std::string_view text, bool whole) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  const std::size_t start = i;
  i = SkipDigits(text, i);
  bool digits = i > start;
  if (!whole && i < text.size() && text[i] == '.') {
    const std::size_t fraction = ++i;
    i = SkipDigits(text, i);
    if (i == fraction) return 0;
    digits = true;
  }
  if (!digits) return 0;
  if (!whole && i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    const std::size_t exponent = j;
    j = SkipDigits(text, j);
    if (j == exponent) return 0;
    i = j;
  }
  if (i < text.size() && !IsBlank(text[i])) return 0;
  return i;
}

// Takes one field (after blanks) into `value` and advances `text` past it.
// False, with `value` unchanged, when the field is not well formed or its
// number does not fit: a time stamp must be a whole number in 32 bits, a
// value a finite double.
template <typename Number>
bool Take(std::string_view& text, Number& value) {
  constexpr bool kWhole = std::is_integral_v<Number>;
  const std::string_view rest = SkipBlanks(text);
  const std::size_t length = FieldLength(rest, kWhole);
  if (length == 0) return false;
  std::string_view field = rest.substr(0, length);
  if (field.front() == '+') field.remove_prefix(1);
  Number parsed{};
  auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), parsed);
  if (ec != std::errc() || end != field.data() + field.size()) return false;
  if constexpr (!kWhole) {
    if (!std::isfinite(parsed)) return false;
  }
  value = parsed;
  text = rest.substr(length);
  return true;
}

// Whether a trailing text has the shape its writer gives it: `fields`
// blank-separated fields, or fewer in a text the writer cut at the longest
// a trailing text may be. The writer never puts out a longer one.
bool TailHasShape(std::string_view text, int fields) {
  if (text.size() > SourceLine::kTailMax) return false;
  long count = 0;
  for (std::string_view rest = SkipBlanks(text); !rest.empty(); rest = SkipBlanks(rest)) {
    std::size_t end = 0;
    while (end < rest.size() && !IsBlank(rest[end])) ++end;
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

char* SourceLine_Format(char* out, const SourceLine& line) {
  out = std::to_chars(out, out + kTimeTextMax, static_cast<long long>(line.time)).ptr;
  for (double value : line.values) {
    *out++ = '\t';
    out = FormatFixed(out, value, kValueDecimals);
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

  bool good = text.ends_with('\n') && Take(text, line.time);
  for (std::size_t i = 0; good && i < line.values.size(); ++i) good = Take(text, line.values[i]);
  // The trailing text: what follows the values, without the separating blanks
  // and the line end.
  if (good) {
    text = SkipBlanks(text);
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
  for (double* field : fields) {
    if (!Take(rest, *field)) break;
  }
  line.status = status::kOk;
  return status::kOk;
}

}  // namespace sondrix
