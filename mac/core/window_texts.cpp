#include "window_texts.h"

#include <cstdio>

namespace morvik::mac {
namespace {

// Versions are version x 100, shown with two decimals.
std::string twoDecimals(std::uint32_t version) {
  char text[64];
  const float shown = static_cast<float>(version) / 100.0f;
  std::snprintf(text, sizeof text, "%0.2f", static_cast<double>(shown));
  return text;
}

}  // namespace

std::string_view helpText() {
  return "Zelto, Pravik\n"
         "1. Disconnect GamePad from Mac and power off.\n"
         "2. Hold down START+L+R about 3 seconds until two led lights flashing.\n"
         "3. Connect GamePad to Mac via USB cable.\n"
         "4. Select firmware file and update.\n"
         "\n"
         "Zelto Pro, Pravik Pro\n"
         "1. Disconnect GamePad from Mac and power off.\n"
         "2. Hold down POWER+RETURN about 3 seconds until two led lights flashing.\n"
         "3. Connect GamePad to Mac via USB cable.\n"
         "4. Select firmware file and update.\n";
}

std::string versionFieldText(std::uint32_t version) { return std::string("v").append(twoDecimals(version)); }

std::string confirmationText(std::uint32_t imageVersion) {
  return std::string(kFileVersionLabel) + " v" + twoDecimals(imageVersion);
}

std::string folderOfBundle(std::string_view bundlePath) {
  const auto slash = bundlePath.rfind('/');
  if (slash == std::string_view::npos) return {};
  return std::string(bundlePath.substr(0, slash + 1));
}

}  // namespace morvik::mac
