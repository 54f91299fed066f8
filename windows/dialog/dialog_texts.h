// The dialog's texts: one string table in Simplified Chinese (ids 129..144) and English
// (ids 238..253), an entry per index 0..15, chosen per text by the system's default language.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace morvik::win {

enum class TextIndex : unsigned {
  FileType = 3,
  Upgraded = 4,
  NewFirmware = 5,
  ToolName = 6,
  UpdateFailure = 7,
  LongerThanHeader = 8,
  NotInBootMode = 11,
  UpdateButton = 12,
  UpgradeToLatest = 13,
  Instructions = 14,
  CurrentIs = 15,
};

inline constexpr std::uint16_t kLangChinesePrc = 0x0804;
inline constexpr unsigned kChineseTextBase = 129;
inline constexpr unsigned kEnglishTextBase = 238;

// The string id of a text for a system language id.
constexpr unsigned textId(TextIndex index, std::uint16_t languageId) {
  return (languageId == kLangChinesePrc ? kChineseTextBase : kEnglishTextBase) + static_cast<unsigned>(index);
}

// The text in the system's language, asked afresh each time; empty when the resource is missing.
std::string LoadText(TextIndex index);

// printf-style formatting into a string; the formats are the dialog's own.
template <typename... Args>
std::string formatText(const char* format, Args... args) {
  const int size = std::snprintf(nullptr, 0, format, args...);
  if (size <= 0) return {};
  std::string text(static_cast<std::size_t>(size) + 1, '\0');
  std::snprintf(text.data(), text.size(), format, args...);
  text.pop_back();
  return text;
}

}  // namespace morvik::win
