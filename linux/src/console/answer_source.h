// Where the answer to "Update firmware to vX.YY? [y/N]" comes from.
#pragma once

#include <optional>
#include <string>

#include "morvik/stop_signal.h"

namespace morvik::cli {

class AnswerSource {
 public:
  virtual ~AnswerSource() = default;
  // One line without its line break; nothing at the end of input or once `stop` is requested.
  virtual std::optional<std::string> readLine(StopToken stop) = 0;
};

// Standard input. Waits in short slices so that Ctrl-C (a stop request) ends the wait.
class StdinAnswers final : public AnswerSource {
 public:
  std::optional<std::string> readLine(StopToken stop) override;
};

// True when `path` is what standard input reads (/dev/stdin, or the same file or pipe given twice):
// then standard input holds the image and cannot also carry the answer.
bool isStandardInput(const std::string& path);

// "y" or "yes" in any case, blanks around it allowed; everything else is no.
bool isYes(const std::string& answer);

}  // namespace morvik::cli
