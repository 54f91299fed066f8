#include "cli/permission_hint.h"

#include <algorithm>
#include <array>
#include <filesystem>

namespace morvik::cli {
namespace {

// The folders udev reads rules from.
bool udevReads(const std::string& rule) {
  static constexpr std::array<const char*, 4> kFolders{"/etc/udev/rules.d/", "/run/udev/rules.d/",
                                                       "/usr/lib/udev/rules.d/", "/lib/udev/rules.d/"};
  const std::string folder = std::filesystem::path(rule).parent_path().string() + '/';
  return std::any_of(kFolders.begin(), kFolders.end(), [&](const char* f) { return folder == f; });
}

constexpr const char* kReload = "  sudo udevadm control --reload-rules && sudo udevadm trigger\n";

}  // namespace

std::string permissionHint(const std::string& padPath, const std::vector<std::string>& ruleCandidates,
                           const std::function<bool(const std::string&)>& exists) {
  std::string text = "Permission denied on " + padPath + ": this user may not open the pad.\n";
  const auto found = std::find_if(ruleCandidates.begin(), ruleCandidates.end(),
                                  [&](const std::string& rule) { return !rule.empty() && exists(rule); });
  if (found != ruleCandidates.end() && udevReads(*found)) {
    text += "The udev rule " + *found + " is installed; have udev read it, then unplug the pad and connect it again:\n";
    text += kReload;
  } else if (found != ruleCandidates.end()) {
    text += "Install the udev rule once, then unplug the pad and connect it again:\n";
    text += "  sudo cp " + *found + " /etc/udev/rules.d/\n";
    text += kReload;
  } else {
    text += std::string("Install the udev rule ") + kUdevRuleName + " once (the morvik-update package puts it in " +
            kPackagedUdevRule + "; the source tree holds it in linux/), then unplug the pad and connect it again:\n";
    text += std::string("  sudo cp ") + kUdevRuleName + " /etc/udev/rules.d/\n";
    text += kReload;
  }
  return text + "(or run morvik-update with sudo).\n";
}

std::string ruleBesideProgram(const std::string& programPath) {
  if (programPath.empty()) return "";
  const std::filesystem::path prefix = std::filesystem::path(programPath).parent_path().parent_path();
  return (prefix / "lib/udev/rules.d" / kUdevRuleName).lexically_normal().string();
}

}  // namespace morvik::cli
