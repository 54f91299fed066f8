// The look of the striped progress bar, as numbers: where the trough, the bar, each stripe
// and the highlight line go, in which order they are drawn, and how the stripes move.
// Coordinates are the view's own, in points, y growing downwards (the bar's view is flipped).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace morvik::mac::bar {

struct Point {
  float x = 0;
  float y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Rect {
  float x = 0;
  float y = 0;
  float width = 0;
  float height = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};

struct Rgb {
  std::uint8_t red, green, blue;  // each over 255, alpha 1
};

inline constexpr float kCornerRadius = 10;
inline constexpr float kBarInset = 2;
inline constexpr float kStripePeriod = 14;
inline constexpr float kStripeWidth = 7;
inline constexpr float kStripeSlant = 8;
inline constexpr float kStripeBaseLine = 2;
inline constexpr double kAnimationInterval = 1.0 / 30.0;
inline constexpr float kGradientAngle = 90;

inline constexpr Rgb kTroughGrey{216, 216, 216};
inline constexpr Rgb kBarStart{223, 237, 180};
inline constexpr Rgb kBarEnd{156, 200, 84};
inline constexpr Rgb kStripeStart{182, 216, 86};
inline constexpr Rgb kStripeEnd{126, 187, 55};
inline constexpr Rgb kHighlightLine{223, 238, 181};
inline constexpr float kTroughHighlightWhite = 1.0f;
inline constexpr float kTroughHighlightAlpha = 0.2f;

// The stripes move one point per redraw and wrap after 14: 0, 1, ..., 14, 0, ...
double nextProgressOffset(double offset);

// How much of the bar is filled. The minimum is not taken off the value (the window's bar
// runs from 0). A value of exactly 0, or a bar without range, fills nothing; the fill never
// leaves the frame.
float filledFraction(double value, double minimum, double maximum);

// The filled bar inside a frame of the given size, or none when nothing is filled.
std::optional<Rect> barRect(float frameWidth, float frameHeight, float fraction);

struct Bezel {
  Rect outline;            // stroked faintly white, in the lower half only (the larger y)
  Rect highlightClip;      // that lower half
  Rect trough;             // filled grey
  Point lineFrom, lineTo;  // the trough's straight top edge (y 0), in the same grey
};
Bezel bezelOf(Rect bounds);

// The origin of every stripe laid over the bar: enough to cover it at any offset.
std::vector<Point> stripeOrigins(Rect bar, double offset);

// One stripe: a slanted parallelogram, 7 wide, from the base line at the bar's top down to its
// far edge at the bar's bottom, which is shifted 8 toward smaller x.
std::array<Point, 4> stripePolygon(Point origin, Rect bar);

// The thin light line over the bar, from x 0 (not the bar's x) to the bar's width.
std::array<Point, 2> highlightLine(Rect bar);

// What one redraw paints, in order. The stripes narrow the clip to the bar's rounded shape
// and leave it so: the highlight line is drawn inside that clip.
enum class DrawStep { Trough, Bar, StripesClippedToBar, HighlightLine };
std::vector<DrawStep> drawingPlan(float fraction);

}  // namespace morvik::mac::bar
