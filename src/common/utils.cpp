// SPDX-License-Identifier: GPL-3.0-or-later
// Shared helpers: text-file grammar, file names, identification lines, port
// names, byte order, case-insensitive comparison, colours and array helpers.
#include "common/utils.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <system_error>

#include "common/errors.h"
#include "platform/clock.h"

namespace sondrix {

std::optional<std::tm> gStartTime;

namespace {

constexpr char kPathSeparators[] = "\\/:";

// Position of the dot that starts the file name's extension, if any: the last
// dot after the last path separator.
std::size_t ExtensionDot(std::string_view path) {
  const std::size_t dot = path.rfind('.');
  if (dot == std::string_view::npos) return std::string_view::npos;
  const std::size_t sep = path.find_last_of(kPathSeparators);
  if (sep != std::string_view::npos && sep > dot) return std::string_view::npos;
  return dot;
}

constexpr char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// The comparison copy of stricmp/strnicmp: up to the first NUL, at most 255
// characters, upper case.
std::string UpperCopy(std::string_view text) {
  constexpr std::size_t kMax = 255;
  const std::size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);
  if (text.size() > kMax) text = text.substr(0, kMax);
  std::string out(text);
  for (char& c : out) c = AsciiUpper(c);
  return out;
}

int Sign(int value) { return (value > 0) - (value < 0); }

// --- The palette ---------------------------------------------------------------

constexpr std::uint32_t Rgb(unsigned r, unsigned g, unsigned b) {
  return (r << 16) | (g << 8) | b;
}

// Five ramps of 25 steps from magenta through blue, cyan, green and yellow to
// red, with `full` as the strongest component.
constexpr void FillRamps(std::array<std::uint32_t, kPaletteSize>& table, int start,
                         unsigned full) {
  for (unsigned j = 0; j < 25; ++j) {
    const unsigned up = full * j / 25;
    const unsigned down = full * (25 - j) / 25;
    table[start + j] = Rgb(down, 0, full);        // magenta -> blue
    table[start + 25 + j] = Rgb(0, up, full);     // blue -> cyan
    table[start + 50 + j] = Rgb(0, full, down);   // cyan -> green
    table[start + 75 + j] = Rgb(up, full, 0);     // green -> yellow
    table[start + 100 + j] = Rgb(full, down, 0);  // yellow -> red
  }
}

constexpr std::array<std::uint32_t, kPaletteSize> MakePalette() {
  std::array<std::uint32_t, kPaletteSize> table{};
  FillRamps(table, 0, 255);
  table[125] = Rgb(255, 255, 255);
  table[126] = Rgb(192, 192, 192);
  table[127] = Rgb(192, 192, 192);
  FillRamps(table, 128, 128);
  table[253] = Rgb(128, 128, 128);
  table[254] = 0;
  table[255] = 0;
  return table;
}

constexpr std::array<std::uint32_t, kPaletteSize> kPalette = MakePalette();

static_assert(kPalette[3] == 0xE000FF);
static_assert(kPalette[50] == 0x00FFFF);
static_assert(kPalette[252] == 0x800500);

constexpr ColorNameEntry kColorNames[] = {
    {"Black", 254},  {"Blue", 153},   {"Green", 203},  {"Cyan", 178},
    {"Red", 252},    {"Magenta", 128}, {"Brown", 228}, {"LtGray", 253},
    {"DkGray", 122}, {"LtBlue", 25},  {"LtGreen", 75}, {"LtCyan", 50},
    {"LtRed", 124},  {"LtMagenta", 0}, {"Yellow", 100}, {"White", 125},
};

constexpr bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

constexpr bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// An integer the way "%i" reads it, independent of the locale: leading white
// space, an optional sign, then hexadecimal after "0x", octal after a leading
// 0, else decimal; reading stops at the first character that does not fit.
std::optional<int> ScanInteger(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size() && IsSpace(text[pos])) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  int base = 10;
  if (pos + 2 < text.size() && text[pos] == '0' && (text[pos + 1] == 'x' || text[pos + 1] == 'X') &&
      IsHexDigit(text[pos + 2])) {
    base = 16;
    pos += 2;
  } else if (pos < text.size() && text[pos] == '0') {
    base = 8;
  }
  const char* first = text.data() + pos;
  const char* last = text.data() + text.size();
  unsigned long long magnitude = 0;  // unsigned: a second sign is not a digit
  const auto [ptr, ec] = std::from_chars(first, last, magnitude, base);
  if (ec != std::errc{} || ptr == first) return std::nullopt;
  const unsigned long long limit =
      negative ? 1ULL + static_cast<unsigned long long>(std::numeric_limits<int>::max())
               : static_cast<unsigned long long>(std::numeric_limits<int>::max());
  if (magnitude > limit) return std::nullopt;
  const long long value = negative ? -static_cast<long long>(magnitude)
                                   : static_cast<long long>(magnitude);
  return static_cast<int>(value);
}

}  // namespace

const std::span<const ColorNameEntry> colorNameToNumMap{kColorNames};

// --- Text-file grammar ------------------------------------------------------

int nextNonwhite(std::FILE* file) {
  int c;
  do {
    c = std::getc(file);
  } while (c == ' ' || c == '\t');
  if (c == EOF) return 0;
  std::ungetc(c, file);
  return c;
}

void ignore(std::FILE* file, int /*limit*/, int delimiter) {
  const int stop = static_cast<unsigned char>(delimiter);
  int c;
  do {
    c = std::getc(file);
  } while (c != EOF && c != stop);
}

void eatComment(std::FILE* file) {
  if (std::feof(file)) return;
  for (;;) {
    const int c = nextNonwhite(file);
    // "\r" counts as a line end so that files with "\r\n" line ends read the
    // same as files with "\n".
    if (c != ';' && c != '\n' && c != '\r') return;
    ignore(file, 512, '\n');
  }
}

bool ReadFinite(std::FILE* file, double& value) {
  double read = 0.0;
  if (std::fscanf(file, "%lf", &read) != 1 || !std::isfinite(read)) return false;
  value = read;
  return true;
}

bool ReadWhole(std::FILE* file, long& value) {
  long read = 0;
  if (std::fscanf(file, "%ld", &read) != 1) return false;
  const int next = std::getc(file);
  if (next == EOF) {
    if (std::ferror(file)) return false;
  } else {
    std::ungetc(next, file);
    const bool ends = next == ' ' || (next >= '\t' && next <= '\r') || next == ';';
    if (!ends) return false;
  }
  value = read;
  return true;
}

std::optional<std::string> fgetline(std::FILE* file, std::size_t size) {
  if (size == 0) return std::nullopt;
  std::string line;
  bool readAny = false;
  while (line.size() + 1 < size) {
    const int c = std::getc(file);
    if (c == EOF) break;
    readAny = true;
    line.push_back(static_cast<char>(c));
    if (c == '\n') break;
  }
  if (std::ferror(file) || (!readAny && size > 1)) return std::nullopt;
  if (!line.empty() && line.back() == '\n') {
    line.pop_back();
    if (!line.empty() && line.back() == '\r') line.pop_back();
  }
  return line;
}

std::string fgetstring(std::FILE* file, std::size_t size, int delimiter) {
  const int stop = static_cast<unsigned char>(delimiter);
  std::string text;
  for (;;) {
    const int c = std::getc(file);
    if (c == EOF) return {};  // end of file or error before the delimiter
    if (c == stop) return text;
    if (text.size() + 1 < size) text.push_back(static_cast<char>(c));
    // Beyond size - 1 characters the rest of the field is read and dropped.
  }
}

// --- File names -------------------------------------------------------------

void changeExt(std::string& path, std::string_view extension) {
  const std::size_t dot = ExtensionDot(path);
  if (dot == std::string::npos) {
    path.push_back('.');
  } else {
    path.resize(dot + 1);
  }
  path.append(extension);
}

std::string NameFromPath(std::string_view path) {
  std::size_t sep = path.find_last_of("\\/");
  if (sep == std::string_view::npos) sep = path.rfind(':');
  if (sep == std::string_view::npos) return std::string(path);
  return std::string(path.substr(sep + 1));
}

bool TimeStampedFilename(std::string& name, std::string_view extension) {
  if (!gStartTime) gStartTime = platform::clock().LocalTime();
  std::size_t dot = ExtensionDot(name);
  if (dot == std::string::npos) {
    dot = name.size();
    name.push_back('.');
    name.append(extension);
  }
  const std::tm& t = *gStartTime;
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%02d%02d%02d_%02d%02d%02d", ((t.tm_year % 100) + 100) % 100,
                t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  name.insert(dot, stamp);
  return name.size() <= kMaxFilenameLength;
}

// --- Device identification ----------------------------------------------------

Status ReadID(std::FILE* file, std::uint32_t& id, std::string& text) {
  constexpr std::size_t kIdTextBuffer = 64;
  text = fgetstring(file, kIdTextBuffer, '\n');
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= 32) text.pop_back();
  if (text.empty()) return status::kConfigPrematureEof;
  // The word is 32 bits: more would be cut without a word, so a larger
  // number (a ninth digit) is refused as the serial number it cannot be.
  unsigned long long word = 0;
  if (std::fscanf(file, "%llx", &word) != 1) return status::kBadConfigFormat;
  if (word > UINT32_MAX) return status::kConfigSerialNumber;
  id = static_cast<std::uint32_t>(word);
  return status::kOk;
}

int IsPortName(std::string_view name) {
  if (name.size() != 4) return 0;
  if (AsciiUpper(name[0]) != 'C' || AsciiUpper(name[1]) != 'O' || AsciiUpper(name[2]) != 'M') {
    return 0;
  }
  return (name[3] >= '1' && name[3] <= '8') ? 1 : 0;
}

// --- Case-insensitive comparison -----------------------------------------------

int stricmp(std::string_view a, std::string_view b) {
  return Sign(UpperCopy(a).compare(UpperCopy(b)));
}

int strnicmp(std::string_view a, std::string_view b, std::size_t n) {
  const std::string ua = UpperCopy(a);
  const std::string ub = UpperCopy(b);
  return Sign(std::string_view(ua).substr(0, n).compare(std::string_view(ub).substr(0, n)));
}

// --- Colours --------------------------------------------------------------------

int ColorNum(std::string_view text) {
  for (const ColorNameEntry& entry : colorNameToNumMap) {
    if (stricmp(text, entry.name) == 0) return entry.number;
  }
  return ScanInteger(text).value_or(status::kNotAColor);
}

std::string ColorName(int number) {
  for (const ColorNameEntry& entry : colorNameToNumMap) {
    if (entry.number == number) return std::string(entry.name);
  }
  return std::to_string(number);
}

std::uint32_t VantorColorToRGB(int index) {
  if (index < 0 || index >= kPaletteSize) return 0;
  return kPalette[static_cast<std::size_t>(index)];
}

int RBGToVantorColor(std::uint32_t rgb) {
  const int r = static_cast<int>((rgb >> 16) & 0xFF);
  const int g = static_cast<int>((rgb >> 8) & 0xFF);
  const int b = static_cast<int>(rgb & 0xFF);
  int best = 0;
  long bestDistance = std::numeric_limits<long>::max();
  for (int i = 0; i < kPaletteSize; ++i) {
    const std::uint32_t p = kPalette[static_cast<std::size_t>(i)];
    const long dr = r - static_cast<int>((p >> 16) & 0xFF);
    const long dg = g - static_cast<int>((p >> 8) & 0xFF);
    const long db = b - static_cast<int>(p & 0xFF);
    const long distance = dr * dr + dg * dg + db * db;
    if (distance < bestDistance) {  // an exact match has distance 0 and stays
      best = i;
      bestDistance = distance;
      if (distance == 0) break;
    }
  }
  return best;
}

int WavelengthColor(double nm) {
  constexpr double kShortest = 400.0;
  constexpr double kLongest = 700.0;
  constexpr int kLastSpectral = 124;
  if (!(nm > kShortest)) return 0;  // also a wavelength that is not a number
  if (nm >= kLongest) return kLastSpectral;
  return static_cast<int>(std::lround((nm - kShortest) / (kLongest - kShortest) * kLastSpectral));
}

// --- Arrays of doubles -------------------------------------------------------------

int Abs1D(const double* in, int n, double* out) {
  if (n < 1 || in == nullptr || out == nullptr) return status::kConfigNoEditor;
  for (int i = 0; i < n; ++i) out[i] = std::fabs(in[i]);
  return 0;
}

int Copy1D(const double* in, int n, double* out) {
  if (n < 1 || in == nullptr || out == nullptr) return status::kConfigNoEditor;
  for (int i = 0; i < n; ++i) out[i] = in[i];
  return 0;
}

int MaxMin1D(const double* in, int n, double& max, int& maxIndex, double& min, int& minIndex) {
  if (n < 1 || in == nullptr) return status::kConfigNoEditor;
  int hi = 0;
  int lo = 0;
  for (int i = 1; i < n; ++i) {
    if (in[i] > in[hi]) hi = i;
    if (in[i] < in[lo]) lo = i;
  }
  max = in[hi];
  maxIndex = hi;
  min = in[lo];
  minIndex = lo;
  return 0;
}

int Mean(const double* in, int n, double& mean) {
  if (n < 1 || in == nullptr) return status::kConfigNoEditor;
  double sum = 0.0;
  for (int i = 0; i < n; ++i) sum += in[i];
  mean = sum / n;
  return 0;
}

int StdDev(const double* in, int n, double& mean, double& deviation) {
  if (n < 1 || in == nullptr) return status::kConfigNoEditor;
  double sum = 0.0;
  double sumSquares = 0.0;
  for (int i = 0; i < n; ++i) {
    sum += in[i];
    sumSquares += in[i] * in[i];
  }
  const double m = sum / n;
  mean = m;
  deviation = std::sqrt(std::fabs(sumSquares / n - m * m));
  return 0;
}

}  // namespace sondrix
