#include "json_fields.h"

namespace morvik::feed {

using nlohmann::json;

void JsonFields::refuse(FeedProblem problem, std::string subject) {
  if (!refusal_) refusal_ = FeedRefusal{problem, std::move(subject)};
}

const json* JsonFields::typed(const char* key, bool (json::*isType)() const noexcept) {
  const auto found = object_.find(key);
  if (found == object_.end()) {
    refuse(FeedProblem::FieldMissing, path(key));
    return nullptr;
  }
  if (!((*found).*isType)()) {
    refuse(FeedProblem::FieldWrongType, path(key));
    return nullptr;
  }
  return &*found;
}

std::optional<std::string> JsonFields::text(const char* key) {
  const json* field = typed(key, &json::is_string);
  if (!field) return std::nullopt;
  return *field->get_ptr<const json::string_t*>();
}

std::optional<std::uint64_t> JsonFields::number(const char* key, std::uint64_t most) {
  const json* field = typed(key, &json::is_number_integer);
  if (!field) return std::nullopt;
  const auto* value = field->get_ptr<const json::number_unsigned_t*>();
  if (!value || *value > most) {
    refuse(FeedProblem::BadValue, path(key) + " must be a whole number from 0 to " + std::to_string(most));
    return std::nullopt;
  }
  return *value;
}

const json* JsonFields::object(const char* key) { return typed(key, &json::is_object); }

const json* JsonFields::array(const char* key) { return typed(key, &json::is_array); }

}  // namespace morvik::feed
