// SPDX-License-Identifier: GPL-3.0-or-later
// The program's tables against the lists of the manual pages and docs/ that
// describe them: every export format, every form of a position source and
// every graph kind is named where the user reads of them, so that a new row
// without its documentation fails here.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "display/graph_kinds.h"
#include "export/export.h"
#include "io/position_source.h"
#include "support/fixtures.h"
#include "build_paths.h"

namespace sondrix {
namespace {

std::vector<std::string> SourceLines(const std::string& relative) {
  const std::optional<std::string> text = test::ReadTextFile(SONDRIX_RESOURCE_DIR "/../" + relative);
  EXPECT_TRUE(text.has_value()) << relative;
  std::vector<std::string> lines;
  std::istringstream in(text.value_or(""));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The entry of an option in an scdoc page ("*--format* _F_" and the indented
// lines after it) as plain words: markup taken out, blanks made one.
std::string ManEntry(const std::string& term) {
  const std::vector<std::string> lines = SourceLines("man/sondrix-cli.1.scd");
  std::string entry;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] != term) continue;
    for (std::size_t j = i + 1; j < lines.size() && lines[j].starts_with('\t'); ++j) entry += lines[j] + " ";
    break;
  }
  EXPECT_FALSE(entry.empty()) << "no entry " << term << " in man/sondrix-cli.1.scd";
  entry = std::regex_replace(entry, std::regex(R"([*_])"), "");
  return std::regex_replace(entry, std::regex(R"(\s+)"), " ");
}

// The first cells of the tables of a page, without their code marks.
std::vector<std::string> TableTerms(const std::string& relative) {
  std::vector<std::string> terms;
  for (const std::string& line : SourceLines(relative)) {
    if (!line.starts_with("| ")) continue;
    const std::string cell = line.substr(2, line.find(" |", 1) - 2);
    terms.push_back(std::regex_replace(cell, std::regex("`"), ""));
  }
  return terms;
}

bool AnyHolds(const std::vector<std::string>& texts, const std::function<bool(const std::string&)>& holds) {
  return std::any_of(texts.begin(), texts.end(), holds);
}

TEST(ListsDocumentedTest, EveryRowOfTheProgramsTablesIsNamedWhereItIsDescribed) {
  // Export formats: the manual's --format entry, the usage and a section of
  // docs/export.md each.
  const std::string format = ManEntry("*--format* _F_");
  const std::vector<std::string> exportDoc = SourceLines("docs/export.md");
  std::string names;
  for (const ExportFormatRow& row : ExportFormats()) {
    const std::string name(row.name);
    names += (names.empty() ? "" : "|") + name;
    EXPECT_NE(format.find(name + " (FILE" + std::string(row.extension) + ")"), std::string::npos)
        << "the manual's --format entry does not name " << name << ": " << format;
    EXPECT_TRUE(AnyHolds(exportDoc, [&](const std::string& line) { return line.starts_with("## " + std::string(row.label)); }))
        << "docs/export.md has no section on " << row.label;
  }
  EXPECT_TRUE(AnyHolds(exportDoc, [&](const std::string& line) { return line.ends_with("--format " + names); }))
      << "docs/export.md's usage does not give --format " << names;

  // Position sources: the manual's --position entry names each form as a
  // list does; the table of docs/position.md each form, or every one of
  // its written-out forms.
  const std::string position = ManEntry("*--position* _SOURCE_");
  const std::vector<std::string> sources = TableTerms("docs/position.md");
  for (const PositionSourceForm& row : PositionSourceForms()) {
    const std::string syntax(row.syntax);
    EXPECT_NE(position.find(syntax), std::string::npos)
        << "the manual's --position entry does not name " << syntax << ": " << position;
    EXPECT_TRUE(AnyHolds(sources, [&](const std::string& term) {
      if (term.find(syntax) != std::string::npos) return true;
      for (const std::string_view form : row.spelled) {
        if (!form.empty() && term.find(form) == std::string::npos) return false;
      }
      return true;
    })) << "docs/position.md's table does not name " << syntax;
  }

  // Graph kinds: a row of docs/display.md's table with the class and the type.
  const std::vector<std::string> displayDoc = SourceLines("docs/display.md");
  for (const GraphKind& kind : GraphKinds()) {
    const std::string cls = "`" + std::string(kind.className) + "`";
    const std::string type = "| " + std::to_string(kind.type) + " |";
    EXPECT_TRUE(AnyHolds(displayDoc, [&](const std::string& line) {
      return line.starts_with("| ") && line.find(cls) != std::string::npos && line.find(type) != std::string::npos;
    })) << "docs/display.md's table of graphs has no row for " << kind.className << " (type " << kind.type << ")";
  }
}

}  // namespace
}  // namespace sondrix
