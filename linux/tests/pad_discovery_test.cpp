#include "pads/pad_discovery.h"

#include <gtest/gtest.h>

namespace morvik::cli {
namespace {

TEST(PadDiscovery, RecognisesBootAndRunModeIdentitiesOnly) {
  const auto boot = classifyDevice(0x0483, 0x5750, "/dev/hidraw1");
  ASSERT_TRUE(boot);
  EXPECT_TRUE(boot->bootMode);
  EXPECT_EQ(boot->path, "/dev/hidraw1");

  const auto pro = classifyDevice(0x0483, 0x5753, "/dev/hidraw2");
  ASSERT_TRUE(pro);
  EXPECT_FALSE(pro->bootMode);
  EXPECT_STREQ(pro->identity.model, "Zelto Pro");

  EXPECT_FALSE(classifyDevice(0x0483, 0x3748, "/dev/hidraw3"));  // same vendor, another product
  EXPECT_FALSE(classifyDevice(0x046D, 0x5750, "/dev/hidraw4"));
}

TEST(PadDiscovery, ListShowsBootModePadsFirst) {
  std::vector<PadEntry> pads{*classifyDevice(0x0483, 0x5751, "/dev/hidraw5"),
                             *classifyDevice(0x0483, 0x5750, "/dev/hidraw6")};
  pads[1].serial = "MV0042";
  EXPECT_EQ(padListText(pads),
            "0483:5750  boot mode  GamePad  /dev/hidraw6  serial MV0042\n"
            "0483:5751  run mode   Zelto  /dev/hidraw5\n");
}

TEST(PadDiscovery, ListTellsWhenNoPadCanBeUpdated) {
  EXPECT_EQ(padListText({}), "No pad found.\n");
  const std::string runOnly = padListText({*classifyDevice(0x0483, 0x5752, "/dev/hidraw7")});
  EXPECT_NE(runOnly.find("No pad in boot mode"), std::string::npos) << runOnly;
  // A listed pad gave its version, not its boot-mode flag: the list does not claim what it was not told.
  const std::string listed = padListText({*classifyDevice(0x0483, 0x5750, "/dev/hidraw6")},
                                         [](const PadEntry&) { return std::string("firmware 1.10"); });
  EXPECT_NE(listed.find("only when\nan update begins"), std::string::npos) << listed;
}

TEST(PadDiscovery, WaitsUntilTheBootModePadAppears) {
  int looks = 0;
  const PadEnumerator enumerate = [&] {
    ++looks;
    std::vector<PadEntry> pads{*classifyDevice(0x0483, 0x5751, "/dev/hidraw1")};
    if (looks == 3) pads.push_back(*classifyDevice(0x0483, 0x5750, "/dev/hidraw2"));
    return pads;
  };
  const SearchResult found = findBootPad(enumerate, std::chrono::minutes(1), {}, std::chrono::milliseconds(1));
  ASSERT_EQ(found.bootPads.size(), 1u);
  EXPECT_EQ(found.bootPads.front().path, "/dev/hidraw2");
  EXPECT_EQ(looks, 3);
}

TEST(PadDiscovery, WithoutWaitLooksOnceAndReportsRunModePads) {
  int looks = 0;
  const PadEnumerator enumerate = [&] {
    ++looks;
    return std::vector<PadEntry>{*classifyDevice(0x0483, 0x5754, "/dev/hidraw1")};
  };
  const SearchResult found = findBootPad(enumerate, std::chrono::milliseconds(0), {});
  EXPECT_TRUE(found.bootPads.empty());
  EXPECT_FALSE(found.stopped);
  EXPECT_EQ(looks, 1);
  ASSERT_EQ(found.runModePads.size(), 1u);
  EXPECT_STREQ(found.runModePads.front().identity.model, "Pravik Pro");
}

TEST(PadDiscovery, StopRequestEndsTheWait) {
  StopSource cancel;
  const PadEnumerator enumerate = [&] {
    cancel.request_stop();  // as if Ctrl-C came while the pad was looked for
    return std::vector<PadEntry>{};
  };
  const SearchResult found = findBootPad(enumerate, std::chrono::hours(1), cancel.get_token());
  EXPECT_TRUE(found.stopped);
  EXPECT_TRUE(found.bootPads.empty());
}

}  // namespace
}  // namespace morvik::cli
