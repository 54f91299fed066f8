// The command line of morvik-feed, the maker's tool: one command and its operands.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace morvik::feed {

enum class ToolCommand { Help, Keygen, Add, Sign, Verify };

struct ToolOptions {
  ToolCommand command = ToolCommand::Help;
  std::string target;  // keygen: KEY.pem; add, sign: DIR; verify: DIR or URL
  std::string image;   // add: IMAGE.dat
  std::optional<std::string> notesEn, notesZh, urgency, date;
  std::optional<std::string> key;             // sign: the private key; verify: public keys
  std::optional<std::string> caCertificates;  // verify: the CAs of the feed's server
  std::uint32_t expiresDays = 30;
};

struct ToolUsageError {
  std::string message;
};

// `arguments` excludes the program name.
std::variant<ToolOptions, ToolUsageError> parseToolCommandLine(std::span<const std::string_view> arguments);

extern const char* const kToolHelp;

}  // namespace morvik::feed
