// SPDX-License-Identifier: GPL-3.0-or-later
// Text read from a file, made safe to print on a terminal: a device name, a
// heading or a line's trailing text may hold any bytes, and an escape
// sequence among them would reach the terminal (clear it, retitle the
// window, answer back) instead of being shown.
#pragma once

#include <string>
#include <string_view>

namespace sondrix::cli {

// `text` as PrintableText (common/text_format.h) writes it, tabs kept.
std::string TerminalText(std::string_view text);
// True when TerminalText would leave `text` as it is because it is plain
// printable ASCII and tabs (a meter's trailing text): a cheap look first.
bool IsPlainText(std::string_view text);

}  // namespace sondrix::cli
