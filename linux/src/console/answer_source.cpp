#include "console/answer_source.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

namespace morvik::cli {

std::optional<std::string> StdinAnswers::readLine(StopToken stop) {
  constexpr int kSliceMs = 100;
  std::string line;
  while (!stop.stop_requested()) {
    pollfd input{STDIN_FILENO, POLLIN, 0};
    const int ready = poll(&input, 1, kSliceMs);
    if (ready < 0 && errno != EINTR) return std::nullopt;
    if (ready <= 0) continue;
    char c = 0;
    const ssize_t got = read(STDIN_FILENO, &c, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return line.empty() ? std::nullopt : std::optional(line);
    if (c == '\n') return line;
    line += c;
  }
  return std::nullopt;
}

bool isStandardInput(const std::string& path) {
  struct stat named {
  }, input{};
  return stat(path.c_str(), &named) == 0 && fstat(STDIN_FILENO, &input) == 0 && named.st_dev == input.st_dev &&
         named.st_ino == input.st_ino;
}

bool isYes(const std::string& answer) {
  const auto first = answer.find_first_not_of(" \t\r");
  if (first == std::string::npos) return false;
  std::string word = answer.substr(first, answer.find_last_not_of(" \t\r") - first + 1);
  std::transform(word.begin(), word.end(), word.begin(),
                 [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
  return word == "y" || word == "yes";
}

}  // namespace morvik::cli
