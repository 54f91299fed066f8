#include "striped_bar_geometry.h"

#include <algorithm>

namespace morvik::mac::bar {

double nextProgressOffset(double offset) { return offset > 13 ? 0 : offset + 1; }

float filledFraction(double value, double minimum, double maximum) {
  const float range = static_cast<float>(maximum - minimum);
  if (value == 0 || !(range > 0)) return 0;
  return std::clamp(static_cast<float>(value) / range, 0.0f, 1.0f);
}

std::optional<Rect> barRect(float frameWidth, float frameHeight, float fraction) {
  if (fraction == 0) return std::nullopt;
  return Rect{kBarInset, kBarInset, frameWidth * fraction - 2 * kBarInset, frameHeight - 2 * kBarInset - 1};
}

Bezel bezelOf(Rect bounds) {
  const float w = bounds.width;
  const float h = bounds.height;
  const float right = bounds.x + bounds.width;
  return Bezel{
      .outline = {0.5f, 0, w - 1, h - 1},
      .highlightClip = {0, h / 2, w, h / 2},
      .trough = {0, 0, w, h - 1},
      .lineFrom = {kCornerRadius, 0},
      .lineTo = {right - kCornerRadius, 0},
  };
}

std::vector<Point> stripeOrigins(Rect bar, double offset) {
  std::vector<Point> origins;
  const float last = bar.width / kStripePeriod + kStripePeriod;
  for (std::uint32_t i = 0; static_cast<float>(i) <= last; ++i)
    origins.push_back({static_cast<float>(static_cast<double>(i) * kStripePeriod + offset), kStripeBaseLine});
  return origins;
}

std::array<Point, 4> stripePolygon(Point origin, Rect bar) {
  const float farEdge = origin.y + bar.height;
  return {{
      {origin.x, origin.y},
      {origin.x + kStripeWidth, origin.y},
      {origin.x + kStripeWidth - kStripeSlant, farEdge},
      {origin.x - kStripeSlant, farEdge},
  }};
}

std::array<Point, 2> highlightLine(Rect bar) { return {{{0, kBarInset}, {bar.width, kBarInset}}}; }

std::vector<DrawStep> drawingPlan(float fraction) {
  if (fraction == 0) return {DrawStep::Trough};
  return {DrawStep::Trough, DrawStep::Bar, DrawStep::StripesClippedToBar, DrawStep::HighlightLine};
}

}  // namespace morvik::mac::bar
