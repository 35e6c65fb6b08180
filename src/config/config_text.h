// SPDX-License-Identifier: GPL-3.0-or-later
// What the readers and editors of the device configuration files share:
// the words and numbers of the model sections, trace names and their
// wavelengths, colour words, and the cleaning of names typed in an editor.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace sondrix {

// One blank-separated word, the way "%s" reads it: leading white space
// (line ends included) is skipped, the word ends before white space or at
// the end of the file. At most `keep` characters are kept; the rest of the
// word is read and dropped. False when no word is left.
bool ReadWord(std::FILE* file, std::size_t keep, std::string& word);
// A count: a whole number (ReadWhole) within `low` ... `high`; false
// otherwise ("2.5", "1e9", a number beyond the range, none).
bool ReadWholeCount(std::FILE* file, long low, long high, long& value);

// Whether the rest of the line holds nothing but blanks and a comment (or
// the line end, or the end of the file): no further item. Reads only the
// blanks.
bool NothingMoreOnLine(std::FILE* file);
// A self-test limit: a finite number that is not negative (a sample could
// never keep within a negative bound). False, with `value` unchanged,
// otherwise.
bool ReadLimit(std::FILE* file, double& value);

// The wavelength a trace name carries after its first character ("c676.5"
// is 676.5 nm); 0 when there is none.
double WavelengthFromName(const std::string& name);
// Colour words are kept to this many characters.
inline constexpr std::size_t kColorWordMax = 63;
// "Black": what a colour word that is neither a name nor a number gives.
inline constexpr int kBlackColor = 254;
// Whether a colour word asks for a colour that follows the wavelength.
bool IsDefaultColorWord(const std::string& word);
// The palette index of a colour word: "default" follows the wavelength
// (WavelengthColor), a colour name or a number is taken as it is; anything
// else (and a number outside the palette) is black.
int ResolveColor(const std::string& word, double wavelength);

// A trace name as a file can hold it: one word of at most `keep` characters.
std::string CleanTraceName(const std::string& text, std::size_t keep);
// A device name as the file's first line holds it: no control characters,
// at most 63 characters, no trailing blanks.
std::string CleanDeviceName(const std::string& text);

}  // namespace sondrix
