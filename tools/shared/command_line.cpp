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
// word stays whole), each after the first indented by `indent` spaces.
std::string Wrapped(std::string_view text, std::size_t width, std::size_t indent) {
  std::string out, line;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t next = std::min(text.find(' ', at), text.size());
    const std::string_view word = text.substr(at, next - at);
    at = next + 1;
    if (word.empty()) continue;
    if (!line.empty() && line.size() + 1 + word.size() > width)
      out += std::exchange(line, {}) + "\n" + std::string(indent, ' ');
    line += (line.empty() ? "" : " ") + std::string(word);
  }
  return out + line;
}

// "-h, --help", "--bin N".
std::string Term(const CLI::Option& option) {
  std::string term;
  for (const char c : option.get_name(false, true)) term += c == ',' ? std::string(", ") : std::string(1, c);
  if (option.get_type_size() != 0 && !option.get_type_name().empty()) term += " " + option.get_type_name();
  return term;
}

class HelpLayout final : public CLI::Formatter {
 public:
  std::string make_help(const CLI::App* app, std::string, CLI::AppFormatMode) const override {
    // Those in a group without a name are not listed.
    struct Entry {
      std::string group, term, text;
    };
    std::vector<Entry> commands, options;
    for (const CLI::App* command : app->get_subcommands([](const CLI::App* c) { return !c->get_group().empty(); }))
      commands.push_back({command->get_group(), command->get_name(), command->get_description()});
    for (const CLI::Option* option : app->get_options()) {
      const std::string shown = option->get_default_str();
      if (option->nonpositional() && !option->get_group().empty())
        options.push_back({option->get_group(), Term(*option),
                           option->get_description() + (shown.empty() ? "" : " (default " + shown + ")")});
    }
    std::string out = app->get_description();
    for (const std::vector<Entry>* entries : {&commands, &options}) {
      std::size_t column = 0;
      for (const Entry& entry : *entries) column = std::min(std::max(column, entry.term.size() + 4), kMaxNameColumn);
      for (std::size_t i = 0; i < entries->size(); ++i) {
        const Entry& entry = (*entries)[i];
        if (i == 0 || entry.group != (*entries)[i - 1].group)
          out += "\n" + Wrapped(entry.group + ":", kLineWidth, 0) + "\n";
        std::string name = "  " + entry.term;
        name += name.size() < column ? std::string(column - name.size(), ' ') : "\n" + std::string(column, ' ');
        out += name + Wrapped(entry.text, kLineWidth - column, column) + "\n";
      }
    }
    return app->get_footer().empty() ? out : out + "\n" + app->get_footer();
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
    if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr && !app.remaining().empty()) {
      parsed.unknown = app.remaining().front();
      parsed.message = "unknown argument \"" + parsed.unknown + "\"";
    }
    // CLI11's "A excludes B" and "A requires B" in the tools' words.
    if (dynamic_cast<const CLI::ExcludesError*>(&error) != nullptr)
      parsed.message.replace(parsed.message.find(" excludes "), 10, " and ").append(" exclude each other");
    if (dynamic_cast<const CLI::RequiresError*>(&error) != nullptr)
      parsed.message.replace(parsed.message.find(" requires "), 10, " needs ");
    // "NAME: 1 required TYPE missing": an option without its value.
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr && parsed.message.ends_with(" missing"))
      parsed.message = parsed.message.substr(0, parsed.message.find(": ")) + " needs a value";
  }
  return parsed;
}

}  // namespace sondrix::tools
