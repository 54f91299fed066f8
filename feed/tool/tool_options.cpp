#include "tool_options.h"

#include <charconv>
#include <vector>

namespace morvik::feed {
namespace {

struct CommandShape {
  std::string_view name;
  ToolCommand command;
  std::size_t operands;  // DIR, KEY.pem, IMAGE.dat
};

constexpr CommandShape kCommands[] = {{"keygen", ToolCommand::Keygen, 1},
                                      {"add", ToolCommand::Add, 2},
                                      {"sign", ToolCommand::Sign, 1},
                                      {"verify", ToolCommand::Verify, 1}};

// The options each command takes; any other is a usage error.
std::optional<std::string>* optionOf(ToolOptions& options, std::string_view name) {
  const bool add = options.command == ToolCommand::Add;
  if (add && name == "--notes-en") return &options.notesEn;
  if (add && name == "--notes-zh") return &options.notesZh;
  if (add && name == "--urgency") return &options.urgency;
  if (add && name == "--date") return &options.date;
  if ((options.command == ToolCommand::Sign || options.command == ToolCommand::Verify) && name == "--key") {
    return &options.key;
  }
  if (options.command == ToolCommand::Verify && name == "--cacert") return &options.caCertificates;
  return nullptr;
}

std::optional<std::uint32_t> daysIn(std::string_view text) {
  std::uint32_t days = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), days);
  if (error != std::errc() || end != text.data() + text.size() || days < 1 || days > 3650) return std::nullopt;
  return days;
}

}  // namespace

const char* const kToolHelp =
    "Usage: morvik-feed COMMAND ...\n"
    "Publishes the pad's firmware as a signed feed (docs/feed.md).\n\n"
    "  keygen KEY.pem        makes a signing key: KEY.pem (mode 0600) and KEY.pub.pem; prints its id\n"
    "  add DIR IMAGE.dat --notes-en TEXT --notes-zh TEXT [--urgency low|medium|high|critical] [--date YYYY-MM-DD]\n"
    "                        copies the image into DIR and lists it in DIR/feed.json (sign it again)\n"
    "  sign DIR --key KEY.pem [--expires DAYS]\n"
    "                        raises the serial, sets issued and expires (30 days), writes feed.json.sig\n"
    "  verify DIR|URL [--key PUB.pem] [--cacert CA.pem]\n"
    "                        checks the signature, the rules and every image (the built-in keys without --key);\n"
    "                        URL: https://, file://, or http:// to this machine\n\n"
    "Exit status: 0 done, 1 refused or failed (the reason is printed), 2 bad command line.\n";

std::variant<ToolOptions, ToolUsageError> parseToolCommandLine(std::span<const std::string_view> arguments) {
  ToolOptions options;
  if (arguments.empty() || arguments[0] == "--help" || arguments[0] == "-h") return options;
  const CommandShape* shape = nullptr;
  for (const CommandShape& candidate : kCommands) {
    if (candidate.name == arguments[0]) shape = &candidate;
  }
  if (!shape) return ToolUsageError{"unknown command '" + std::string(arguments[0]) + "'"};
  options.command = shape->command;
  std::vector<std::string> operands;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string_view word = arguments[i];
    if (!word.starts_with("--")) {
      operands.emplace_back(word);
      continue;
    }
    if (i + 1 == arguments.size()) return ToolUsageError{std::string(word) + " needs a value"};
    const std::string_view value = arguments[++i];
    if (options.command == ToolCommand::Sign && word == "--expires") {
      const auto days = daysIn(value);
      if (!days) return ToolUsageError{"--expires takes a number of days from 1 to 3650"};
      options.expiresDays = *days;
      continue;
    }
    std::optional<std::string>* option = optionOf(options, word);
    if (!option) return ToolUsageError{std::string(word) + " is not an option of " + std::string(shape->name)};
    if (*option) return ToolUsageError{std::string(word) + " is given twice"};
    *option = std::string(value);
  }
  if (operands.size() != shape->operands) {
    return ToolUsageError{std::string(shape->name) + " takes " + std::to_string(shape->operands) + " operand" +
                          (shape->operands == 1 ? "" : "s")};
  }
  options.target = operands[0];
  if (operands.size() > 1) options.image = operands[1];
  if (options.command == ToolCommand::Add && (!options.notesEn || !options.notesZh)) {
    return ToolUsageError{"add needs --notes-en and --notes-zh"};
  }
  if (options.command == ToolCommand::Sign && !options.key) return ToolUsageError{"sign needs --key KEY.pem"};
  return options;
}

}  // namespace morvik::feed
