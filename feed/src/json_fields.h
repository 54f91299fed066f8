// Reading the fields of a parsed JSON object without exceptions (the WebAssembly build has
// none): each getter gives the value, or nothing and keeps the refusal.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>

#include "morvik/feed/feed_problem.h"

namespace morvik::feed {

class JsonFields {
 public:
  // `where` names the object in refusals ("" for the top, "releases[2]"); the first refusal
  // of any field goes to `refusal`, the one a maker mends first.
  JsonFields(const nlohmann::json& object, std::string where, std::optional<FeedRefusal>& refusal)
      : object_(object), where_(std::move(where)), refusal_(refusal) {}

  std::optional<std::string> text(const char* key);
  // A whole number from 0 to `most`; a larger one, or a negative one, is a BadValue.
  std::optional<std::uint64_t> number(const char* key, std::uint64_t most);
  const nlohmann::json* object(const char* key);
  const nlohmann::json* array(const char* key);

  // The full name of a field: "releases[2].file".
  std::string path(const char* key) const { return where_.empty() ? key : where_ + "." + key; }
  void refuse(FeedProblem problem, std::string subject);

 private:
  // The field, or null when it is missing or of another type (and refused).
  const nlohmann::json* typed(const char* key, bool (nlohmann::json::*isType)() const noexcept);

  const nlohmann::json& object_;
  std::string where_;
  std::optional<FeedRefusal>& refusal_;
};

}  // namespace morvik::feed
