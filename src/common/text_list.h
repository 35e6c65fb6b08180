// SPDX-License-Identifier: GPL-3.0-or-later
// Lists of names in running text, as help texts, dialogs and messages give
// the rows of a table ("netcdf, seabass or csv"), and such text broken into
// the lines of a help text.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace sondrix {

// `items` one after another, `separator` between them and `last` before the
// last one: {"a", "b", "c"} with ", " and " or " is "a, b or c".
std::string JoinList(std::span<const std::string> items, std::string_view separator, std::string_view last);

// `text` broken at its blanks into lines of at most `width` characters
// (a longer word stands alone), each begun with `indent` blanks and ended
// with a newline.
std::string WrapText(std::string_view text, std::size_t indent, std::size_t width);

}  // namespace sondrix
