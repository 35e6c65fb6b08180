// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/config_text.h"

#include <cmath>

#include "common/utils.h"
#include "config/config.h"

namespace sondrix {
namespace {

bool IsSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

bool ReadWord(std::FILE* file, std::size_t keep, std::string& word) {
  word.clear();
  int c;
  do {
    c = std::getc(file);
  } while (c != EOF && IsSpace(c));
  if (c == EOF) return false;
  while (c != EOF && !IsSpace(c)) {
    if (word.size() < keep) word.push_back(static_cast<char>(c));
    c = std::getc(file);
  }
  if (c != EOF) std::ungetc(c, file);
  return true;
}

bool ReadWholeCount(std::FILE* file, long low, long high, long& value) {
  long number = 0;
  if (!ReadWhole(file, number) || number < low || number > high) return false;
  value = number;
  return true;
}

bool NothingMoreOnLine(std::FILE* file) {
  int c;
  do {
    c = std::getc(file);
  } while (c == ' ' || c == '\t');
  if (c == EOF) return true;
  std::ungetc(c, file);
  return c == ';' || c == '\n' || c == '\r';
}

bool ReadLimit(std::FILE* file, double& value) {
  double limit = 0.0;
  if (!ReadFinite(file, limit) || limit < 0.0) return false;
  value = limit;
  return true;
}

double WavelengthFromName(const std::string& name) {
  char first[2] = {};
  double wavelength = 0.0;
  if (std::sscanf(name.c_str(), "%1s%lf", first, &wavelength) != 2) return 0.0;
  return wavelength;
}

bool IsDefaultColorWord(const std::string& word) { return stricmp(word, "default") == 0; }

int ResolveColor(const std::string& word, double wavelength) {
  if (IsDefaultColorWord(word)) return WavelengthColor(wavelength);
  const int number = ColorNum(word);
  if (number < 0 || number >= kPaletteSize) return kBlackColor;
  return number;
}

std::string CleanTraceName(const std::string& text, std::size_t keep) {
  std::string name;
  for (char c : text) {
    if (static_cast<unsigned char>(c) <= ' ') {
      if (!name.empty()) break;
      continue;
    }
    if (name.size() < keep) name.push_back(c);
  }
  return name;
}

std::string CleanDeviceName(const std::string& text) {
  std::string name;
  for (char c : text) {
    if (static_cast<unsigned char>(c) < ' ') continue;
    if (name.size() == Config::kNameMax) break;
    name.push_back(c);
  }
  while (!name.empty() && static_cast<unsigned char>(name.back()) <= ' ') name.pop_back();
  return name;
}

}  // namespace sondrix
