// SPDX-License-Identifier: GPL-3.0-or-later
// Shared helpers: the text-file grammar of configuration files, file names,
// time-stamped names, device identification, port names, byte order,
// case-insensitive comparison, colours and numeric arrays.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/status.h"

namespace sondrix {

// --- Text-file grammar ------------------------------------------------------
// Skips blanks and tabs; returns the next character without consuming it, or
// 0 at the end of the file.
int nextNonwhite(std::FILE* file);
// Discards characters up to and including `delimiter` or to the end of the
// file. `limit` is accepted for the callers' sake and does not stop it.
void ignore(std::FILE* file, int limit, int delimiter);
// Skips the rest of a value's line when it is a comment, and every following
// empty or comment line; stops in front of the next other character.
void eatComment(std::FILE* file);
// One line of at most size - 1 characters, one trailing line end removed;
// nothing at the end of the file.
std::optional<std::string> fgetline(std::FILE* file, std::size_t size);
// Characters up to `delimiter` (consumed, not stored), at most size - 1 of
// them (the rest of the field is discarded). Empty on failure: an error or
// the end of the file before the delimiter, or an empty field.
std::string fgetstring(std::FILE* file, std::size_t size, int delimiter);

// A number as "%lf" reads it (blanks and line ends first) that is finite:
// false, with `value` unchanged, when there is no number or it is "nan",
// "inf" or beyond the range of a double.
bool ReadFinite(std::FILE* file, double& value);
// A whole number as "%ld" reads it that ends there: a blank, a line end, a
// comment or the end of the file follows it. False, with `value` unchanged,
// otherwise ("1e9", "2.5" and "7x" are not whole numbers).
bool ReadWhole(std::FILE* file, long& value);

// --- File names -------------------------------------------------------------
// Separators are "\", "/" and ":". Replaces the extension after the last dot
// of the file name; a name without a dot (or whose only dots lie in directory
// names) gets "." and the extension appended.
void changeExt(std::string& path, std::string_view extension);
// The part after the last "\" or "/" (else after the last ":"), or all.
std::string NameFromPath(std::string_view path);

// The start time of the current run; unset until a run or a time-stamped
// name sets it.
extern std::optional<std::tm> gStartTime;
// Longest time-stamped file name (a 260-character buffer).
inline constexpr std::size_t kMaxFilenameLength = 259;
// Inserts gStartTime as "%y%m%d_%H%M%S" in front of the name's extension
// (adding "." and `extension` first when the file name has none). Sets
// gStartTime to the local time now when it is unset. The name is never cut
// (a cut name would lose its time stamp and replace the file of another
// run): false when it is longer than kMaxFilenameLength.
bool TimeStampedFilename(std::string& name, std::string_view extension);

// --- Device identification ----------------------------------------------------
// Reads the identification text (first line, at most 63 characters, trailing
// codes up to 32 removed) and the hexadecimal identification word.
// 1, -1046 (no first line), -1004 (no number) or -1045 (a number beyond
// 32 bits).
Status ReadID(std::FILE* file, std::uint32_t& id, std::string& text);

// 1 for "COM1" ... "COM8" in any case, else 0.
int IsPortName(std::string_view name);

// --- Case-insensitive comparison (first 255 characters) -------------------------
int stricmp(std::string_view a, std::string_view b);
int strnicmp(std::string_view a, std::string_view b, std::size_t n);

// --- Colours --------------------------------------------------------------------
struct ColorNameEntry {
  std::string_view name;
  int number;
};
// The sixteen named colours in file order.
extern const std::span<const ColorNameEntry> colorNameToNumMap;

// A colour name (any case) or a number ("%i"); -11001 otherwise.
int ColorNum(std::string_view text);
// The name of a colour number, else its decimal form.
std::string ColorName(int number);
// The palette: 256 entries 0xRRGGBB. An index outside 0..255 gives black.
inline constexpr int kPaletteSize = 256;
std::uint32_t VantorColorToRGB(int index);
// The palette index equal to, or nearest to, an RGB value (the top byte is
// ignored; the first of equally near entries wins).
int RBGToVantorColor(std::uint32_t rgb);
// The colour of a trace by its wavelength: 400 nm to 700 nm run linearly over
// the spectral entries 0 (magenta) to 124 (red); shorter and longer
// wavelengths get the end entries.
int WavelengthColor(double nm);

// --- Arrays of doubles: 0, or -20003 when n < 1 or an array is missing -----------
// (nothing is written then).
int Abs1D(const double* in, int n, double* out);
int Copy1D(const double* in, int n, double* out);
int MaxMin1D(const double* in, int n, double& max, int& maxIndex, double& min, int& minIndex);
int Mean(const double* in, int n, double& mean);
int StdDev(const double* in, int n, double& mean, double& deviation);

}  // namespace sondrix
