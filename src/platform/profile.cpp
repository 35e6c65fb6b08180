// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/profile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <system_error>
#include <vector>

#include "platform/file_replacement.h"
#include "platform/paths.h"

namespace sondrix::platform {
namespace {

constexpr std::string_view kBlanks = " \t\r\n\f\v";

std::string_view Trim(std::string_view text) {
  std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  std::size_t last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// A value, section or key name ends at the first line break: a value holding
// one would otherwise split into lines of its own.
std::string_view FirstLine(std::string_view text) {
  return text.substr(0, text.find_first_of("\r\n"));
}

// The file as lines without their line ends; remembers whether they were CRLF.
struct IniFile {
  std::vector<std::string> lines;
  std::string eol = "\n";
};

bool ReadIni(std::string_view path, IniFile& ini) {
  const std::optional<std::string> content = ReadRegularFile(path);
  if (!content) return false;
  std::string_view rest = *content;
  if (rest.starts_with("\xEF\xBB\xBF")) rest.remove_prefix(3);
  bool first = true;
  while (!rest.empty()) {
    std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    bool crlf = !line.empty() && line.back() == '\r';
    if (crlf) line.remove_suffix(1);
    if (first && end != std::string_view::npos) ini.eol = crlf ? "\r\n" : "\n";
    first = false;
    ini.lines.emplace_back(line);
  }
  return true;
}

enum class LineKind { Other, Section, Key };

struct ParsedLine {
  LineKind kind = LineKind::Other;
  std::string_view name;   // section or key
  std::string_view value;  // keys only, trimmed
};

ParsedLine Parse(std::string_view line) {
  std::string_view text = Trim(line);
  ParsedLine parsed;
  if (text.empty() || text.front() == ';') return parsed;
  if (text.front() == '[') {
    std::string_view inner = text.substr(1);
    inner = inner.substr(0, inner.find(']'));
    parsed.kind = LineKind::Section;
    parsed.name = Trim(inner);
    return parsed;
  }
  std::size_t eq = text.find('=');
  if (eq == std::string_view::npos) return parsed;
  parsed.kind = LineKind::Key;
  parsed.name = Trim(text.substr(0, eq));
  parsed.value = Trim(text.substr(eq + 1));
  return parsed;
}

// Where a key sits: the line of the key (or npos) and the line after the last
// non-blank line of its first section (or npos when there is no section).
struct Location {
  std::size_t keyLine = std::string::npos;
  std::size_t sectionEnd = std::string::npos;
};

Location Find(const IniFile& ini, std::string_view section, std::string_view key) {
  Location where;
  bool inSection = false;
  bool firstSection = false;
  for (std::size_t i = 0; i < ini.lines.size(); ++i) {
    ParsedLine line = Parse(ini.lines[i]);
    if (line.kind == LineKind::Section) {
      inSection = EqualNoCase(line.name, section);
      firstSection = inSection && where.sectionEnd == std::string::npos;
      if (firstSection) where.sectionEnd = i + 1;
      continue;
    }
    if (!inSection) continue;
    if (firstSection && !Trim(ini.lines[i]).empty()) where.sectionEnd = i + 1;
    if (line.kind == LineKind::Key && EqualNoCase(line.name, key) &&
        where.keyLine == std::string::npos) {
      where.keyLine = i;
    }
  }
  return where;
}

std::optional<std::string> Lookup(std::string_view section, std::string_view key,
                                  std::string_view path) {
  IniFile ini;
  if (!ReadIni(path, ini)) return std::nullopt;
  Location where = Find(ini, section, key);
  if (where.keyLine == std::string::npos) return std::nullopt;
  std::string_view value = Parse(ini.lines[where.keyLine]).value;
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value);
}

bool WriteIni(std::string_view path, const IniFile& ini) {
  std::string content;
  for (const std::string& line : ini.lines) {
    content += line;
    content += ini.eol;
  }
  // Written whole beside the file and moved over the old one
  // (FileReplacement), so that a failed write never leaves half a settings
  // file behind, nor writes through a link.
  const std::string target(path);
  const int error = ReplaceFileWith(target, content, ".new");
  if (error == 0) return true;
  if (error != EACCES && error != EPERM) return false;
  // A folder the user may not create files in, holding a settings file he
  // may write: written in place, never through a link either.
  const int fd = OpenRegularFileToWrite(target, O_WRONLY, /*truncate=*/true);
  if (fd < 0) return false;
  std::string_view rest = content;
  while (!rest.empty()) {
    const ssize_t written = ::write(fd, rest.data(), rest.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) break;
    rest.remove_prefix(static_cast<std::size_t>(written));
  }
  return ::close(fd) == 0 && rest.empty();
}

}  // namespace

std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view fallback, std::string_view path,
                                    std::size_t size) {
  std::string value = Lookup(section, key, path).value_or(std::string(fallback));
  if (size > 0 && value.size() > size - 1) value.resize(size - 1);
  return value;
}

int GetPrivateProfileInt(std::string_view section, std::string_view key, int fallback,
                         std::string_view path) {
  std::optional<std::string> text = Lookup(section, key, path);
  if (!text) return fallback;
  std::string_view digits = *text;
  bool negative = false;
  if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
    negative = digits.front() == '-';
    digits.remove_prefix(1);
  }
  long long value = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (end == digits.data()) return fallback;
  if (ec == std::errc::result_out_of_range || value > std::numeric_limits<int>::max()) {
    return negative ? std::numeric_limits<int>::min() : std::numeric_limits<int>::max();
  }
  return static_cast<int>(negative ? -value : value);
}

bool WritePrivateProfileString(std::string_view section, std::string_view key,
                               std::optional<std::string_view> value, std::string_view path) {
  section = Trim(FirstLine(section));
  key = Trim(FirstLine(key));
  if (key.empty() || path.empty()) return false;

  IniFile ini;
  bool exists = ReadIni(path, ini);
  Location where = Find(ini, section, key);

  if (!value) {
    if (where.keyLine == std::string::npos) return true;  // nothing to remove
    ini.lines.erase(ini.lines.begin() + static_cast<std::ptrdiff_t>(where.keyLine));
    return WriteIni(path, ini);
  }

  std::string_view text = Trim(FirstLine(*value));
  if (where.keyLine != std::string::npos) {
    // Keep the key's own spelling and whatever indentation the line had.
    std::string& line = ini.lines[where.keyLine];
    std::size_t eq = line.find('=');
    std::string head = line.substr(0, eq);
    std::size_t lastName = head.find_last_not_of(kBlanks);
    head.resize(lastName + 1);
    line = head + "=" + std::string(text);
  } else if (where.sectionEnd != std::string::npos) {
    ini.lines.insert(ini.lines.begin() + static_cast<std::ptrdiff_t>(where.sectionEnd),
                     std::string(key) + "=" + std::string(text));
  } else {
    if (exists && !ini.lines.empty() && !Trim(ini.lines.back()).empty()) {
      ini.lines.emplace_back();
    }
    ini.lines.push_back("[" + std::string(section) + "]");
    ini.lines.push_back(std::string(key) + "=" + std::string(text));
  }
  return WriteIni(path, ini);
}

}  // namespace sondrix::platform
