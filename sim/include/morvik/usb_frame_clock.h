// USB's clock as an interrupt endpoint keeps it: one packet each way per frame (1 ms at full
// speed, 125 us at high speed). A report the host writes is taken at the next frame boundary
// after it was written, and an answer reaches the host at the first boundary after it is
// ready; a second packet in the same direction waits for the frame after.
#pragma once

#include <chrono>
#include <optional>

namespace morvik {

class UsbFrameClock {
 public:
  using Clock = std::chrono::steady_clock;

  // Frames are counted from `origin` (the pad's start), `frame` apart (more than 0).
  UsbFrameClock(Clock::time_point origin, std::chrono::microseconds frame) : origin_(origin), frame_(frame) {}

  // When the pad takes a report written at `written`.
  Clock::time_point taken(Clock::time_point written) { return after(written, lastTaken_); }
  // When an answer ready at `ready` reaches the host.
  Clock::time_point delivered(Clock::time_point ready) { return after(ready, lastDelivered_); }

  std::chrono::microseconds frame() const { return frame_; }

 private:
  // The first boundary after `t`, and a frame after the last packet in the same direction.
  Clock::time_point after(Clock::time_point t, std::optional<Clock::time_point>& last) const {
    const auto frames = (t - origin_) / frame_ + 1;
    Clock::time_point boundary = origin_ + frames * frame_;
    if (last && boundary <= *last) boundary = *last + frame_;
    last = boundary;
    return boundary;
  }

  Clock::time_point origin_;
  std::chrono::microseconds frame_;
  std::optional<Clock::time_point> lastTaken_;
  std::optional<Clock::time_point> lastDelivered_;
};

}  // namespace morvik
