// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/text_list.h"

#include <algorithm>

namespace sondrix {

std::string JoinList(std::span<const std::string> items, std::string_view separator, std::string_view last) {
  std::string list;
  for (std::size_t k = 0; k < items.size(); ++k) {
    if (k > 0) list += k + 1 == items.size() ? last : separator;
    list += items[k];
  }
  return list;
}

std::string WrapText(std::string_view text, std::size_t indent, std::size_t width) {
  std::string out;
  std::string line(indent, ' ');
  bool empty = true;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t start = text.find_first_not_of(' ', at);
    if (start == std::string_view::npos) break;
    const std::size_t end = std::min(text.find(' ', start), text.size());
    const std::string_view word = text.substr(start, end - start);
    if (!empty && line.size() + 1 + word.size() > width) {
      out += line + "\n";
      line.assign(indent, ' ');
      empty = true;
    }
    if (!empty) line += ' ';
    line += word;
    empty = false;
    at = end;
  }
  if (!empty) out += line + "\n";
  return out;
}

}  // namespace sondrix
