// morvik-feed: the maker's tool that makes signing keys and publishes the signed feed.
#include <iostream>
#include <string_view>
#include <vector>

#include "console/printable_text.h"
#include "tool_commands.h"

namespace morvik::feed {

int refuse(const std::string& why) {
  std::cerr << "morvik-feed: " << why << ".\n";
  return 1;
}

namespace {

int run(int argc, char** argv) {
  const std::vector<std::string_view> arguments(argc > 0 ? argv + 1 : argv, argv + argc);
  const auto parsed = parseToolCommandLine(arguments);
  if (const auto* error = std::get_if<ToolUsageError>(&parsed)) {
    std::cerr << "morvik-feed: " << cli::printable(error->message) << "\nTry 'morvik-feed --help'.\n";
    return 2;
  }
  const ToolOptions& options = std::get<ToolOptions>(parsed);
  switch (options.command) {
    case ToolCommand::Help: std::cout << kToolHelp; return 0;
    case ToolCommand::Keygen: return keygenCommand(options);
    case ToolCommand::Add: return addCommand(options);
    case ToolCommand::Sign: return signCommand(options);
    case ToolCommand::Verify: return verifyCommand(options);
  }
  return 1;
}

}  // namespace
}  // namespace morvik::feed

int main(int argc, char** argv) {
  try {
    const int status = morvik::feed::run(argc, argv);
    std::cout.flush();
    if (!std::cout) return morvik::feed::refuse("the output could not be written");
    return status;
  } catch (...) {
    return morvik::feed::refuse("an unexpected internal error ended the program");
  }
}
