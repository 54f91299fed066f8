#include "pads/pad_choice.h"

#include <algorithm>

#include "console/printable_text.h"
#include "console/user_texts.h"

namespace morvik::cli {
namespace {

PadChoice refuse(ExitCode code, std::string message) { return PadChoice{std::nullopt, code, std::move(message)}; }

PadChoice chooseWanted(const std::vector<PadEntry>& present, const std::string& wanted) {
  std::vector<PadEntry> matches;
  std::copy_if(present.begin(), present.end(), std::back_inserter(matches),
               [&](const PadEntry& p) { return p.path == wanted || (!p.serial.empty() && p.serial == wanted); });
  const std::string name = "'" + printable(wanted) + "'";
  if (matches.empty() && present.empty())
    return refuse(ExitCode::NoPad, "No pad has the path or serial " + name + ": no pad was found at all.\n");
  if (matches.empty())
    return refuse(ExitCode::NoPad,
                  "No pad has the path or serial " + name + ". The pads present:\n" + padListText(present));
  if (matches.size() > 1)
    return refuse(ExitCode::SeveralPads,
                  "Several pads have the serial " + name + "; pick one by its path:\n" + padListText(matches));
  if (!matches.front().bootMode)
    return refuse(ExitCode::NotInBootMode,
                  "The pad " + name + " is in its normal mode, not in boot mode.\n" + kBootModeHowTo + '\n');
  return PadChoice{matches.front(), ExitCode::Success, ""};
}

}  // namespace

PadChoice choosePad(const SearchResult& present, const std::optional<std::string>& wanted) {
  if (wanted) {
    std::vector<PadEntry> all = present.bootPads;
    all.insert(all.end(), present.runModePads.begin(), present.runModePads.end());
    return chooseWanted(all, *wanted);
  }
  if (present.bootPads.size() > 1)
    return refuse(ExitCode::SeveralPads,
                  "Found " + std::to_string(present.bootPads.size()) +
                      " pads in boot mode; nothing was sent to any of them:\n" + padListText(present.bootPads) +
                      "Pick one with --pad PATH or --pad SERIAL, or update them all with --all.\n");
  if (present.bootPads.size() == 1) return PadChoice{present.bootPads.front(), ExitCode::Success, ""};
  if (!present.runModePads.empty())
    return refuse(ExitCode::NotInBootMode, "Found a " + std::string(present.runModePads.front().identity.model) +
                                               " pad, but it is in its normal mode.\n" + kBootModeHowTo + '\n');
  return refuse(ExitCode::NoPad, noBootPadText() + kBootModeHowTo +
                                     "\nUse --wait SECONDS to wait for it, --list to see the pads present.\n");
}

}  // namespace morvik::cli
