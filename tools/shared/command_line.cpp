// SPDX-License-Identifier: GPL-3.0-or-later
#include "shared/command_line.h"

#include <algorithm>
#include <memory>

namespace sondrix::tools {
namespace {

constexpr std::size_t kLineWidth = 79;
// The widest column of names; a longer name has its explanation below it.
constexpr std::size_t kMaxNameColumn = 26;

// `text` broken at spaces into lines of at most `width` columns (a longer
// word stays whole), its own line breaks kept.
std::vector<std::string> Wrapped(std::string_view text, std::size_t width) {
  std::vector<std::string> lines;
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = std::min(text.find('\n', start), text.size());
    std::string line;
    for (std::size_t at = start; at < end;) {
      const std::size_t next = std::min(text.find(' ', at), end);
      const std::string_view word = text.substr(at, next - at);
      at = next + 1;
      if (word.empty()) continue;
      if (!line.empty() && line.size() + 1 + word.size() > width) lines.push_back(std::exchange(line, {}));
      line += (line.empty() ? "" : " ") + std::string(word);
    }
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

// "-h, --help", "--bin N".
std::string Term(const CLI::Option& option) {
  std::string term;
  for (const char c : option.get_name(false, true)) term += c == ',' ? std::string(", ") : std::string(1, c);
  if (option.get_type_size() != 0 && !option.get_type_name().empty()) term += " " + option.get_type_name();
  return term;
}

std::string Explanation(const CLI::Option& option) {
  const std::string shown = option.get_default_str();
  return option.get_description() + (shown.empty() ? "" : " (default " + shown + ")");
}

// "  TERM  explanation ...", the explanation wrapped beside the column of
// names.
void AddEntry(std::string& out, const std::string& term, const std::string& text, std::size_t column) {
  std::string line = "  " + term;
  if (line.size() + 1 > column && !text.empty()) out += std::exchange(line, {}) + "\n";
  for (const std::string& part : Wrapped(text, kLineWidth - column)) {
    line.resize(column, ' ');
    out += line + part + "\n";
    line.clear();
  }
  if (!line.empty()) out += line + "\n";
}

void AddHeading(std::string& out, const std::string& group) {
  out += "\n";
  for (const std::string& line : Wrapped(group + ":", kLineWidth)) out += line + "\n";
}

class HelpLayout final : public CLI::Formatter {
 public:
  std::string make_help(const CLI::App* app, std::string, CLI::AppFormatMode) const override {
    std::string out = app->get_description();
    if (!out.empty() && out.back() != '\n') out += '\n';
    // Options and subcommands in a group without a name are not listed.
    const std::vector<const CLI::Option*> options =
        app->get_options([](const CLI::Option* o) { return o->nonpositional() && !o->get_group().empty(); });
    const std::vector<const CLI::App*> commands =
        app->get_subcommands([](const CLI::App* s) { return !s->get_name().empty() && !s->get_group().empty(); });
    // One column of names for the options, one for the subcommands.
    std::size_t column = 0;
    std::size_t commandColumn = 0;
    for (const CLI::Option* option : options)
      column = std::min(std::max(column, Term(*option).size() + 4), kMaxNameColumn);
    for (const CLI::App* command : commands) commandColumn = std::max(commandColumn, command->get_name().size() + 4);

    std::vector<std::string> groups;
    for (const CLI::App* command : commands)
      if (std::find(groups.begin(), groups.end(), command->get_group()) == groups.end())
        groups.push_back(command->get_group());
    for (const std::string& group : groups) {
      AddHeading(out, group);
      for (const CLI::App* command : commands)
        if (command->get_group() == group)
          AddEntry(out, command->get_name(), command->get_description(), commandColumn);
    }
    for (const std::string& group : app->get_groups()) {
      bool headed = false;
      for (const CLI::Option* option : options) {
        if (option->get_group() != group) continue;
        if (!std::exchange(headed, true)) AddHeading(out, group);
        AddEntry(out, Term(*option), Explanation(*option), column);
      }
    }
    if (const std::string footer = app->get_footer(); !footer.empty())
      out += "\n" + footer + (footer.back() == '\n' ? "" : "\n");
    return out;
  }
};

}  // namespace

void SetUp(CLI::App& app, const std::string& footer) {
  app.formatter(std::make_shared<HelpLayout>());
  app.footer(footer);
  app.set_help_flag("-h,--help", "this text")->group("");
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
}

void ListLogOptions(CLI::App& app, const std::string& group, const std::string& traceText) {
  app.add_flag("-v,--verbose")
      ->description("log more on standard error: -v info, -vv debug, -vvv trace (" + traceText + ")")
      ->group(group);
  app.add_option("--log-level")
      ->description("error, warn (the default), info, debug, trace or off")
      ->type_name("LEVEL")
      ->group(group);
}

std::string Help(const CLI::App& app) {
  return app.get_formatter()->make_help(&app, app.get_name(), CLI::AppFormatMode::Normal);
}

std::string Synopsis(const CLI::App& app) {
  const std::string description = app.get_description();
  return description.substr(0, description.find("\n\n")) + "\n";
}

Parsed Parse(CLI::App& app, std::vector<std::string> args) {
  std::reverse(args.begin(), args.end());
  Parsed parsed;
  try {
    app.parse(args);
  } catch (const CLI::CallForHelp&) {
    parsed.kind = Parsed::kHelp;
  } catch (const CLI::CallForVersion& version) {
    parsed.kind = Parsed::kVersion;
    parsed.message = version.what();
  } catch (const CLI::ParseError& error) {
    parsed.kind = Parsed::kWrong;
    parsed.message = error.what();
    if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr && !app.remaining().empty())
      parsed.unknown = app.remaining().front();
    // "NAME: 1 required TYPE missing": an option without its value.
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr && parsed.message.ends_with(" missing"))
      parsed.needsValue = parsed.message.substr(0, parsed.message.find(": "));
  }
  return parsed;
}

}  // namespace sondrix::tools
