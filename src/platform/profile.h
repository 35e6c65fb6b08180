// SPDX-License-Identifier: GPL-3.0-or-later
// Private-profile (ini) files with the semantics the program was written
// against: sections and keys match without regard to case, a missing file or
// key reads as the default, and a write changes one key in place and keeps
// every other line of the file (comments and order included).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sondrix::platform {

// The value of `key` in `[section]` of the file at `path`, or `fallback`.
// Blanks around the value are removed, as are one pair of enclosing quotes.
// At most size - 1 characters are returned (size 0 means no limit).
std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view fallback, std::string_view path,
                                    std::size_t size = 0);

// The value read as a decimal integer (leading digits only, as the original
// call does); `fallback` when the key is absent or holds no number.
int GetPrivateProfileInt(std::string_view section, std::string_view key, int fallback,
                         std::string_view path);

// Sets `key` in `[section]` to `value`, creating the file, section or key
// when missing; with no value the key is removed. Returns false when the file
// cannot be written.
bool WritePrivateProfileString(std::string_view section, std::string_view key,
                               std::optional<std::string_view> value, std::string_view path);

}  // namespace sondrix::platform
