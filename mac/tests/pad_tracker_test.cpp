#include "pad_tracker.h"

#include <gtest/gtest.h>

#include <vector>

namespace morvik::mac {
namespace {

constexpr std::uint32_t kBootVid = 0x0483, kBootPid = 0x5750;
constexpr std::uint32_t kRunVid = kRunModeIdentities[0].vendorId, kRunPid = kRunModeIdentities[0].productId;

TEST(MatchedIdentities, BootModeFirstThenEveryRunModeModelNoneEqualToBoot) {
  const auto ids = matchedIdentities();
  EXPECT_EQ(ids[0], kBootModeIdentity);
  for (std::size_t i = 0; i < kRunModeIdentities.size(); ++i) {
    EXPECT_EQ(ids[i + 1], kRunModeIdentities[i]);
    EXPECT_FALSE(ids[i + 1] == kBootModeIdentity);
  }
}

// One step of a plug-in story: an arrival or a removal and what it must lead to.
struct Step {
  bool arrival;
  std::uint32_t vid, pid;
  int expected;  // ArrivalAction or RemovalAction, by the kind of step
  std::int32_t connectedAfter;
};

Step arrive(std::uint32_t vid, std::uint32_t pid, ArrivalAction a, std::int32_t connected) {
  return {true, vid, pid, static_cast<int>(a), connected};
}
Step leave(std::uint32_t vid, std::uint32_t pid, RemovalAction a, std::int32_t connected) {
  return {false, vid, pid, static_cast<int>(a), connected};
}

struct Story {
  const char* name;
  std::int32_t upgradedAtStart;
  std::vector<Step> steps;
  std::int32_t upgradedAtEnd;
};
// Names the story in test listings instead of dumping its bytes.
void PrintTo(const Story& story, std::ostream* os) { *os << story.name; }

class PadTrackerStories : public testing::TestWithParam<Story> {};

TEST_P(PadTrackerStories, EachStepActsAndCounts) {
  const Story& story = GetParam();
  std::int32_t upgraded = story.upgradedAtStart;
  PadTracker tracker([&] { return upgraded > 0 && upgraded-- > 0; });
  for (std::size_t i = 0; i < story.steps.size(); ++i) {
    const Step& s = story.steps[i];
    const int got =
        s.arrival ? static_cast<int>(tracker.arrived(s.vid, s.pid)) : static_cast<int>(tracker.removed(s.vid, s.pid));
    EXPECT_EQ(got, s.expected) << "step " << i;
    EXPECT_EQ(tracker.deviceConnected(), s.connectedAfter) << "step " << i;
  }
  EXPECT_EQ(upgraded, story.upgradedAtEnd);
}

using A = ArrivalAction;
using R = RemovalAction;

INSTANTIATE_TEST_SUITE_P(
    Sequences, PadTrackerStories,
    testing::Values(
        Story{"SecondBootPadIsNotServed",
              0,
              {arrive(kBootVid, kBootPid, A::AcceptBootPad, 1), arrive(kBootVid, kBootPid, A::IgnoreBootPad, 1)},
              0},
        Story{"RestartAfterUpdatePassesQuietlyThenHelpAgain",
              1,
              {arrive(kRunVid, kRunPid, A::AbsorbRestart, 0), arrive(kRunVid, kRunPid, A::ShowHelp, 0)},
              0},
        Story{"RunModePadBesideServedBootPad",
              0,
              {arrive(kBootVid, kBootPid, A::AcceptBootPad, 1), arrive(kRunVid, kRunPid, A::Ignore, 1),
               leave(kRunVid, kRunPid, R::Ignore, 1)},
              0},
        Story{"RemovalNeverGoesBelowZero",
              0,
              {leave(kBootVid, kBootPid, R::ForgetBootPad, 0), arrive(kBootVid, kBootPid, A::AcceptBootPad, 1),
               leave(kBootVid, kBootPid, R::ForgetBootPad, 0), leave(kBootVid, kBootPid, R::ForgetBootPad, 0)},
              0},
        Story{"OnlyLow16BitsOfIdsCount",
              0,
              {arrive(0x10483, 0xF5750, A::AcceptBootPad, 1), leave(0xFFFF0483, 0x15750, R::ForgetBootPad, 0)},
              0},
        Story{"UnreadableIdsCountAsRunMode", 0, {arrive(0, 0, A::ShowHelp, 0), leave(0, 0, R::Ignore, 0)}, 0},
        Story{"TwoUpdatesAbsorbTwoReturns",
              2,
              {arrive(kBootVid, kBootPid, A::AcceptBootPad, 1), arrive(kRunVid, kRunPid, A::AbsorbRestart, 1),
               leave(kBootVid, kBootPid, R::ForgetBootPad, 0), arrive(kRunVid, kRunPid, A::AbsorbRestart, 0),
               arrive(kRunVid, kRunPid, A::ShowHelp, 0)},
              0}),
    [](const testing::TestParamInfo<Story>& story) { return story.param.name; });

}  // namespace
}  // namespace morvik::mac
