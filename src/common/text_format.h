// SPDX-License-Identifier: GPL-3.0-or-later
// printf-style formatting into a std::string with a decimal point whatever
// the user's locale (the messages and read-outs of the program).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sondrix {

// The text `format` makes of the arguments, cut at 1023 characters.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// "2026-12-09T18:03:07.250Z" (with milliseconds) or "2026-12-09T18:03:07Z"
// for `utcMs` milliseconds since 1970-01-01T00:00:00Z.
std::string IsoUtc(std::int64_t utcMs, bool milliseconds = true);

// Text that may hold any bytes (a file name, a value given on the command
// line) as well-formed UTF-8 that gives the same bytes back, for the files
// the program writes as UTF-8 text (JSON, the track). Every byte that is no
// part of a well-formed UTF-8 sequence (RFC 3629: no overlong forms, no
// surrogates, nothing above U+10FFFF) becomes "\xNN" (two lowercase hex
// digits), and so does every control character below U+0020 and DEL when
// `controls` is set (a text that must stay on one line); a backslash that
// would begin such a form ("\x" and two hex digits in the text itself)
// becomes "\x5c". Well-formed text holding no "\xNN" stays as it is.
std::string EscapeBytes(std::string_view text, bool controls = false);

// One character of UTF-8 text: its code point and its length in bytes;
// `valid` false (length 1) for a byte that starts no well-formed sequence
// (RFC 3629: overlong, a surrogate, above U+10FFFF, cut short, a stray
// continuation byte).
struct Utf8Char {
  char32_t point = 0;
  std::size_t length = 1;
  bool valid = false;
};
Utf8Char Utf8CharAt(std::string_view text, std::size_t at);
// Calls each(at, character) for every character of `text` in order.
template <class Each>
void ForEachUtf8(std::string_view text, Each&& each) {
  for (std::size_t at = 0; at < text.size();) {
    const Utf8Char c = Utf8CharAt(text, at);
    each(at, c);
    at += c.length;
  }
}
// The bytes EscapeBytes was given: every "\xNN" (hex digits of either case)
// becomes the byte NN; everything else stays.
std::string UnescapeBytes(std::string_view text);

// An ISO 8601 date and time as milliseconds since 1970-01-01T00:00:00Z:
// "YYYY-MM-DDThh:mm:ss", optionally with a fraction of a second (rounded to
// the millisecond), then "Z" or an offset "+hh:mm" / "-hh:mm" (none: UTC).
// Years 1970 ... 9999, a real calendar day (no 31 February), hours below
// 24, minutes below 60, seconds up to 60 at 23:59 only (a leap second reads
// as the next second's start). Empty for anything else.
std::optional<std::int64_t> ParseIsoUtc(std::string_view text);

// Text from outside (a receiver's, a daemon's, a file's) made one safe,
// printable line for the log or a terminal: every control character written
// as "\xNN" (the C0 codes, the line end and the carriage return among them,
// the tab unless `keepTab`, DEL, the C1 codes as UTF-8 encodes them, the
// line and paragraph separators U+2028 and U+2029, the direction marks
// U+202A ... U+202E and U+2066 ... U+2069) and
// every byte that is not part of well-formed UTF-8 too, so that no escape
// sequence reaches a terminal and no line of the log is split or forged.
// Printable text, UTF-8 letters included, stays as it is. More than
// `maxBytes` of `text` are cut there, "..." marking the cut.
std::string PrintableText(std::string_view text, bool keepTab = false, std::size_t maxBytes = std::string_view::npos);

}  // namespace sondrix
