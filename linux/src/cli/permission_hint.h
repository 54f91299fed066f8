// What to tell a user who may not open the pad: where the udev rule that grants access is on
// this machine, and what to do with it.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace morvik::cli {

inline constexpr const char* kUdevRuleName = "60-morvik-gamepad.rules";
// Where the package puts the rule.
inline constexpr const char* kPackagedUdevRule = "/usr/lib/udev/rules.d/60-morvik-gamepad.rules";

// `ruleCandidates`: where the rule may have been installed, most likely first; `exists` says
// whether a path is there. The text ends with a line break.
std::string permissionHint(const std::string& padPath, const std::vector<std::string>& ruleCandidates,
                           const std::function<bool(const std::string&)>& exists);

// The rule beside an installed program: PREFIX/lib/udev/rules.d/ for PREFIX/bin/morvik-update.
std::string ruleBesideProgram(const std::string& programPath);

}  // namespace morvik::cli
