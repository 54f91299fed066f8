// Answers to the update question taken from a string, as a user would type them.
#pragma once

#include <istream>

#include "console/answer_source.h"

namespace morvik::cli::testing {

class StreamAnswers final : public AnswerSource {
 public:
  explicit StreamAnswers(std::istream& in) : in_(in) {}
  std::optional<std::string> readLine(StopToken stop) override {
    std::string line;
    if (stop.stop_requested() || !std::getline(in_, line)) return std::nullopt;
    return line;
  }

 private:
  std::istream& in_;
};

}  // namespace morvik::cli::testing
