// The updater window's progress bar: a rounded grey trough, a green gradient bar and
// diagonal stripes that move one step on every redraw. The bar draws top-down in a flipped
// view of its own, whatever its superclass does on the platform at hand (GNUstep's progress
// indicator is flipped, Apple's need not be), so the highlight line runs along the top edge.
#import <Cocoa/Cocoa.h>

@interface StripedProgressBar : NSProgressIndicator {
  double progressOffset;
  NSTimer* animationTimer;
}

@property(assign) double progressOffset;
// The repeating timer that redraws the bar while it animates, or nil. Setting it retains the
// new timer and invalidates and releases the one it replaces. (Not "animator": that name is
// NSView's animation proxy, which AppKit asks any view for.)
@property(nonatomic, retain) NSTimer* animationTimer;

- (void)activateAnimation:(NSTimer*)timer;
- (void)drawBezel;
- (void)drawProgressWithBounds:(NSRect)rect;
- (void)drawStripesInBounds:(NSRect)rect;
- (void)drawShadowInBounds:(NSRect)rect;
- (NSBezierPath*)stripeWithOrigin:(NSPoint)origin bounds:(NSRect)rect;

@end
