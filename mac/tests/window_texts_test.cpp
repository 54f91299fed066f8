#include "window_texts.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

namespace morvik::mac {
namespace {

TEST(VersionFieldText, TwoDecimalsOfVersionOverHundred) {
  const std::vector<std::pair<std::uint32_t, std::string>> cases{
      {123, "v1.23"},
      {100, "v1.00"},
      {0, "v0.00"},
      {5, "v0.05"},
      {110, "v1.10"},
      // Large values stay positive: the version is unsigned, never read as negative.
      {0x80000000u, "v21474836.00"}};
  for (const auto& [version, text] : cases) EXPECT_EQ(versionFieldText(version), text) << version;
}

TEST(ConfirmationText, LabelThenTwoSpacesBeforeTheVersion) {
  EXPECT_EQ(confirmationText(100), "The File Firmware Version:  v1.00");
  EXPECT_EQ(confirmationText(123), "The File Firmware Version:  v1.23");
}

TEST(HelpText, ElevenLinesEachEndedAndTheSixthEmpty) {
  const std::string text(helpText());
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(lines[0], "Zelto, Pravik");
  EXPECT_EQ(lines[5], "");
  EXPECT_EQ(lines[6], "Zelto Pro, Pravik Pro");
  EXPECT_EQ(lines[8], "2. Hold down POWER+RETURN about 3 seconds until two led lights flashing.");
}

TEST(FolderOfBundle, KeepsEverythingUpToTheLastSlash) {
  EXPECT_EQ(folderOfBundle("/Applications/App.app"), "/Applications/");
  EXPECT_EQ(folderOfBundle("/Users/me/Downloads/Morvik GamePad.app"), "/Users/me/Downloads/");
  EXPECT_EQ(folderOfBundle("/App.app"), "/");
  EXPECT_EQ(folderOfBundle("App.app"), "");
}

}  // namespace
}  // namespace morvik::mac
