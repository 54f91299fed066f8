#include "striped_bar_geometry.h"

#include <gtest/gtest.h>

#include <limits>

namespace morvik::mac::bar {
namespace {

TEST(ProgressOffset, RunsZeroToFourteenThenWraps) {
  double offset = 0;
  for (int redraw = 1; redraw <= 14; ++redraw) {
    offset = nextProgressOffset(offset);
    EXPECT_EQ(offset, redraw);
  }
  EXPECT_EQ(nextProgressOffset(13), 14);
  EXPECT_EQ(nextProgressOffset(14), 0);
  // One cycle is fifteen redraws; 14 and 0 are exactly one stripe period apart.
  EXPECT_EQ(nextProgressOffset(offset), 0);
  EXPECT_EQ(14 - 0, kStripePeriod);
}

TEST(FilledFraction, ValueOverRange) {
  struct Case {
    double value, minimum, maximum;
    float fraction;
  };
  const Case cases[] = {
      {0, 0, 100, 0},
      {50, 0, 100, 0.5f},
      {100, 0, 100, 1},
      {64, 0, 100, 0.64f},
      {50, 10, 110, 0.5f},  // the minimum is not taken off the value
      {128, 0, 100, 1},     // an image longer than announced never overflows the frame
      {5, 100, 100, 0},     // a bar without range fills nothing
      {std::numeric_limits<double>::infinity(), 0, 100, 1},
  };
  for (const auto& c : cases)
    EXPECT_FLOAT_EQ(filledFraction(c.value, c.minimum, c.maximum), c.fraction)
        << c.value << " in " << c.minimum << " to " << c.maximum;
}

TEST(BarRect, InsetByTwoAndFourNarrowerAtFull) {
  EXPECT_EQ(barRect(300, 20, 0), std::nullopt);
  EXPECT_EQ(barRect(300, 20, 1), (Rect{2, 2, 296, 15}));
  EXPECT_EQ(barRect(300, 20, 0.5f), (Rect{2, 2, 146, 15}));
}

TEST(Bezel, OutlineHalfClipTroughAndBottomLine) {
  const Bezel b = bezelOf(Rect{0, 0, 300, 20});
  EXPECT_EQ(b.outline, (Rect{0.5f, 0, 299, 19}));
  EXPECT_EQ(b.highlightClip, (Rect{0, 10, 300, 10}));
  EXPECT_EQ(b.trough, (Rect{0, 0, 300, 19}));
  EXPECT_EQ(b.lineFrom, (Point{10, 0}));
  EXPECT_EQ(b.lineTo, (Point{290, 0}));
}

TEST(Stripes, OriginsEveryPeriodShiftedByOffsetAndEnoughToCover) {
  const Rect bar{2, 2, 140, 15};
  const auto origins = stripeOrigins(bar, 3);
  // i runs while i <= 140 / 14 + 14 = 24: 25 stripes, within the width / 14 + 15 bound.
  ASSERT_EQ(origins.size(), 25u);
  EXPECT_EQ(origins.front(), (Point{3, 2}));
  EXPECT_EQ(origins[1], (Point{17, 2}));
  EXPECT_EQ(origins.back(), (Point{24 * 14 + 3, 2}));
  EXPECT_GE(origins.back().x - kStripeSlant, bar.x + bar.width);
  EXPECT_EQ(stripeOrigins(Rect{2, 2, 0, 15}, 0).size(), 15u);
}

TEST(Stripes, ParallelogramSevenWideSlantedEightBack) {
  const auto p = stripePolygon(Point{20, 2}, Rect{2, 2, 100, 15});
  EXPECT_EQ(p[0], (Point{20, 2}));
  EXPECT_EQ(p[1], (Point{27, 2}));
  EXPECT_EQ(p[2], (Point{19, 17}));
  EXPECT_EQ(p[3], (Point{12, 17}));
}

TEST(HighlightLine, FromZeroNotFromTheBarsX) {
  const auto line = highlightLine(Rect{2, 2, 100, 15});
  EXPECT_EQ(line[0], (Point{0, 2}));
  EXPECT_EQ(line[1], (Point{100, 2}));
}

TEST(DrawingPlan, TroughOnlyWhenEmptyElseBarStripesThenHighlightInTheirClip) {
  EXPECT_EQ(drawingPlan(0), std::vector<DrawStep>{DrawStep::Trough});
  EXPECT_EQ(drawingPlan(0.3f), (std::vector<DrawStep>{DrawStep::Trough, DrawStep::Bar, DrawStep::StripesClippedToBar,
                                                      DrawStep::HighlightLine}));
}

}  // namespace
}  // namespace morvik::mac::bar
