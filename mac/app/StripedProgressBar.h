// The updater window's progress bar: a rounded grey trough, a green gradient bar and
// diagonal stripes that move one step on every redraw.
#import <Cocoa/Cocoa.h>

@interface StripedProgressBar : NSProgressIndicator {
  double progressOffset;
  NSTimer* animator;
}

@property (assign) double progressOffset;
@property (nonatomic, retain, setter=setAnimator:) NSTimer* animator;

- (void)activateAnimation:(NSTimer*)timer;
- (void)drawBezel;
- (void)drawProgressWithBounds:(NSRect)rect;
- (void)drawStripesInBounds:(NSRect)rect;
- (void)drawShadowInBounds:(NSRect)rect;
- (NSBezierPath*)stripeWithOrigin:(NSPoint)origin bounds:(NSRect)rect;

@end
