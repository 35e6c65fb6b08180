// SPDX-License-Identifier: GPL-3.0-or-later
#include "terminal_text.h"

#include "common/text_format.h"

namespace sondrix::cli {

bool IsPlainText(std::string_view text) {
  for (const char c : text) {
    if ((c < 0x20 && c != '\t') || c == 0x7F || (static_cast<unsigned char>(c) & 0x80) != 0) return false;
  }
  return true;
}

std::string TerminalText(std::string_view text) { return PrintableText(text, /*keepTab=*/true); }

}  // namespace sondrix::cli
