// SPDX-License-Identifier: GPL-3.0-or-later
#include "terminal_text.h"

#include <cstddef>
#include <cstdio>

namespace sondrix::cli {
namespace {

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// The length of the well-formed UTF-8 sequence of two or more bytes at
// `at`, 0 when there is none there.
std::size_t SequenceLength(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  std::size_t length = 0;
  if (lead >= 0xC2 && lead <= 0xDF)
    length = 2;
  else if (lead >= 0xE0 && lead <= 0xEF)
    length = 3;
  else if (lead >= 0xF0 && lead <= 0xF4)
    length = 4;
  if (length == 0 || at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i)
    if (!IsContinuation(static_cast<unsigned char>(text[at + i]))) return 0;
  return length;
}

void AppendEscaped(std::string& out, unsigned char c) {
  char escaped[5];
  std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned>(c));
  out += escaped;
}

}  // namespace

bool IsPlainText(std::string_view text) {
  for (const char c : text) {
    if ((c < 0x20 && c != '\t') || c == 0x7F || (static_cast<unsigned char>(c) & 0x80) != 0) return false;
  }
  return true;
}

std::string TerminalText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      if ((c < 0x20 && c != '\t') || c == 0x7F)
        AppendEscaped(out, c);
      else
        out += static_cast<char>(c);
      ++i;
      continue;
    }
    const std::size_t length = SequenceLength(text, i);
    // U+0080 ... U+009F are the C1 control codes.
    const bool c1 = length == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
    if (length == 0 || c1) {
      const std::size_t bytes = c1 ? 2 : 1;
      for (std::size_t k = 0; k < bytes; ++k) AppendEscaped(out, static_cast<unsigned char>(text[i + k]));
      i += bytes;
      continue;
    }
    out.append(text.substr(i, length));
    i += length;
  }
  return out;
}

}  // namespace sondrix::cli
