#import "StripedProgressBar.h"

#include "striped_bar_geometry.h"

namespace bar = morvik::mac::bar;

namespace {

NSColor* colourOf(bar::Rgb rgb) {
  return [NSColor colorWithCalibratedRed:rgb.red / 255.0 green:rgb.green / 255.0 blue:rgb.blue / 255.0 alpha:1.0];
}

NSRect toNSRect(const bar::Rect& r) { return NSMakeRect(r.x, r.y, r.width, r.height); }
NSPoint toNSPoint(const bar::Point& p) { return NSMakePoint(p.x, p.y); }
bar::Rect fromNSRect(NSRect r) {
  return {static_cast<float>(r.origin.x), static_cast<float>(r.origin.y), static_cast<float>(r.size.width),
          static_cast<float>(r.size.height)};
}

NSBezierPath* roundedPath(const bar::Rect& r) {
  return [NSBezierPath bezierPathWithRoundedRect:toNSRect(r) xRadius:bar::kCornerRadius yRadius:bar::kCornerRadius];
}

// A straight line through the graphics context's own path operations.
void strokeContextLine(NSPoint from, NSPoint to) {
#ifdef GNUSTEP
  // GNUstep has no CoreGraphics; its path operations do the same job.
  [NSBezierPath strokeLineFromPoint:from toPoint:to];
#else
  CGContextRef context = static_cast<CGContextRef>([[NSGraphicsContext currentContext] graphicsPort]);
  CGContextBeginPath(context);
  CGContextMoveToPoint(context, from.x, from.y);
  CGContextAddLineToPoint(context, to.x, to.y);
  CGContextStrokePath(context);
#endif
}

}  // namespace

@implementation StripedProgressBar

@synthesize progressOffset;
@synthesize animationTimer;

- (id)initWithFrame:(NSRect)frameRect {
  self = [super initWithFrame:frameRect];
  if (self) {
    [self setProgressOffset:0];
    [self setAnimationTimer:nil];
  }
  return self;
}

- (void)dealloc {
  [self setProgressOffset:0];
  [self setAnimationTimer:nil];
  [super dealloc];
}

// The geometry puts y 0 at the bar's top edge: the highlight line at y 2 is the top one.
- (BOOL)isFlipped {
  return YES;
}

- (void)setDoubleValue:(double)value {
  [super setDoubleValue:value];
  if (![self isDisplayedWhenStopped] && value == [self maxValue]) [self stopAnimation:self];
}

- (void)startAnimation:(id)sender {
  if (animationTimer) return;
  [self setAnimationTimer:[NSTimer scheduledTimerWithTimeInterval:bar::kAnimationInterval
                                                           target:self
                                                         selector:@selector(activateAnimation:)
                                                         userInfo:nil
                                                          repeats:YES]];
}

- (void)stopAnimation:(id)sender {
  [self setAnimationTimer:nil];
}

- (void)activateAnimation:(NSTimer*)timer {
  [self setNeedsDisplay:YES];
}

- (void)setAnimationTimer:(NSTimer*)timer {
  if (timer == animationTimer) return;
  [animationTimer invalidate];
  [animationTimer release];
  animationTimer = [timer retain];
}

- (void)drawRect:(NSRect)dirtyRect {
  [self setProgressOffset:bar::nextProgressOffset([self progressOffset])];
  const float fraction = bar::filledFraction([self doubleValue], [self minValue], [self maxValue]);
  const NSRect frame = [self frame];
  const auto barRect = bar::barRect(static_cast<float>(frame.size.width), static_cast<float>(frame.size.height), fraction);
  for (const bar::DrawStep step : bar::drawingPlan(fraction)) {
    switch (step) {
      case bar::DrawStep::Trough: [self drawBezel]; break;
      case bar::DrawStep::Bar: [self drawProgressWithBounds:toNSRect(*barRect)]; break;
      case bar::DrawStep::StripesClippedToBar: [self drawStripesInBounds:toNSRect(*barRect)]; break;
      case bar::DrawStep::HighlightLine: [self drawShadowInBounds:toNSRect(*barRect)]; break;
    }
  }
}

- (void)drawBezel {
  const bar::Bezel bezel = bar::bezelOf(fromNSRect([self bounds]));
  [NSGraphicsContext saveGraphicsState];
  NSBezierPath* outline = roundedPath(bezel.outline);
  NSRectClip(toNSRect(bezel.highlightClip));
  [[NSColor colorWithCalibratedWhite:bar::kTroughHighlightWhite alpha:bar::kTroughHighlightAlpha] set];
  [outline stroke];
  [NSGraphicsContext restoreGraphicsState];

  [colourOf(bar::kTroughGrey) set];
  [roundedPath(bezel.trough) fill];
  strokeContextLine(toNSPoint(bezel.lineFrom), toNSPoint(bezel.lineTo));
}

- (void)drawProgressWithBounds:(NSRect)rect {
  NSGradient* gradient = [[NSGradient alloc] initWithStartingColor:colourOf(bar::kBarStart)
                                                       endingColor:colourOf(bar::kBarEnd)];
  [gradient drawInBezierPath:roundedPath(fromNSRect(rect)) angle:bar::kGradientAngle];
  [gradient release];
}

- (void)drawStripesInBounds:(NSRect)rect {
  NSGradient* gradient = [[NSGradient alloc] initWithStartingColor:colourOf(bar::kStripeStart)
                                                       endingColor:colourOf(bar::kStripeEnd)];
  NSBezierPath* stripes = [NSBezierPath bezierPath];
  for (const bar::Point& origin : bar::stripeOrigins(fromNSRect(rect), [self progressOffset])) {
    NSBezierPath* stripe = [self stripeWithOrigin:toNSPoint(origin) bounds:rect];
    [stripes appendBezierPath:stripe];
    [stripe release];
  }
  NSBezierPath* clip = roundedPath(fromNSRect(rect));
  [clip addClip];
  [clip setClip];
  [gradient drawInBezierPath:stripes angle:bar::kGradientAngle];
  [gradient release];
}

- (void)drawShadowInBounds:(NSRect)rect {
  const auto line = bar::highlightLine(fromNSRect(rect));
  [colourOf(bar::kHighlightLine) set];
  NSBezierPath* path = [NSBezierPath bezierPath];
  [path moveToPoint:toNSPoint(line[0])];
  [path lineToPoint:toNSPoint(line[1])];
  [path stroke];
}

- (NSBezierPath*)stripeWithOrigin:(NSPoint)origin bounds:(NSRect)rect {
  const auto corners = bar::stripePolygon(
      bar::Point{static_cast<float>(origin.x), static_cast<float>(origin.y)}, fromNSRect(rect));
  NSBezierPath* stripe = [[NSBezierPath alloc] init];
  [stripe moveToPoint:toNSPoint(corners[0])];
  for (std::size_t i = 1; i < corners.size(); ++i) [stripe lineToPoint:toNSPoint(corners[i])];
  [stripe closePath];
  return stripe;
}

@end
