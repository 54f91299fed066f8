// GNUstep test build only: plays the user for a scripted run ("-MorvikAutopilot YES").
// It reports what the window shows, presses the update button once the pad's version is
// shown, answers the file chooser with -MorvikAutopilotImage, confirms the sheet, and
// dismisses each application-modal alert once the file named by -MorvikAutopilotDismissFile
// exists (at once without one). With -MorvikAutopilotUnplugOnSheet YES it pulls the pad out
// just before it confirms the sheet; with -MorvikAutopilotCutLinkOnSheet YES it breaks the
// pad's link there instead, its removal unreported. Every step is logged with the prefix
// "AUTOPILOT". A few seconds after the last alert (or after that sheet, which may bring none)
// it quits the application.
#import <AppKit/AppKit.h>

#include "ns_array_elements.h"
#include "substitute_hid.h"

#import "../app/ApplicationController.h"
#import "../app/JoystickController.h"
#import "../app/StripedProgressBar.h"

namespace {
constexpr NSTimeInterval kTick = 0.1;
constexpr int kSheetAnswerTicks = 10;  // leave the sheet up a moment, for the eye
constexpr int kQuitAfterIdleTicks = 40;
}  // namespace

@interface MorvikAutopilot : NSObject {
  NSString* imagePath;
  NSString* dismissFile;
  BOOL pressedUpdate;
  int sheetTicks;
  int panelTicks;
  int idleTicks;
  int lastProgress;
  NSWindow* lastAlert;
  NSWindow* closingWindow;
  NSWindow* answeredSheet;  // retained
  BOOL sawAlert;
  BOOL unplugOnSheet;
  BOOL cutLinkOnSheet;
}
@end

@implementation MorvikAutopilot

+ (void)load {
  NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
  static MorvikAutopilot* pilot = [[MorvikAutopilot alloc] init];
  [[NSNotificationCenter defaultCenter] addObserver:pilot
                                           selector:@selector(launched:)
                                               name:NSApplicationDidFinishLaunchingNotification
                                             object:nil];
  [pool release];
}

- (void)launched:(NSNotification*)notification {
  NSUserDefaults* defaults = [NSUserDefaults standardUserDefaults];
  if (![defaults boolForKey:@"MorvikAutopilot"]) return;
  imagePath = [[defaults stringForKey:@"MorvikAutopilotImage"] retain];
  dismissFile = [[defaults stringForKey:@"MorvikAutopilotDismissFile"] retain];
  unplugOnSheet = [defaults boolForKey:@"MorvikAutopilotUnplugOnSheet"];
  cutLinkOnSheet = [defaults boolForKey:@"MorvikAutopilotCutLinkOnSheet"];
  lastProgress = -1;
  NSTimer* timer = [NSTimer timerWithTimeInterval:kTick target:self selector:@selector(tick:) userInfo:nil repeats:YES];
  for (NSString* mode : elementsOf([NSArray arrayWithObjects:NSDefaultRunLoopMode, NSModalPanelRunLoopMode, nil]))
    [[NSRunLoop currentRunLoop] addTimer:timer forMode:mode];
  NSLog(@"AUTOPILOT started");
}

- (JoystickController*)controller {
  return [static_cast<ApplicationController*>([NSApp delegate]) jsController];
}

static NSString* textsIn(NSView* view) {
  NSMutableArray* texts = [NSMutableArray array];
  for (NSView* sub : elementsOf([view subviews])) {
    if ([sub isKindOfClass:[NSTextField class]] && [[static_cast<NSTextField*>(sub) stringValue] length])
      [texts addObject:[static_cast<NSTextField*>(sub) stringValue]];
    else if ([sub isKindOfClass:[NSTextView class]])
      [texts addObject:[static_cast<NSText*>(static_cast<id>(sub)) string]];
    [texts addObject:textsIn(sub)];
  }
  return [[texts componentsJoinedByString:@" | "]
      stringByReplacingOccurrencesOfString:@"\n" withString:@" / "];
}

// A modal loop notices the end of its session only when an event comes in.
static void wakeEventLoop() {
  [NSApp postEvent:[NSEvent otherEventWithType:NSApplicationDefined
                                      location:NSZeroPoint
                                 modifierFlags:0
                                     timestamp:0
                                  windowNumber:0
                                       context:nil
                                       subtype:0
                                         data1:0
                                         data2:0]
           atStart:NO];
}

static NSButton* buttonTitled(NSView* view, NSString* title) {
  for (NSView* sub : elementsOf([view subviews])) {
    if ([sub isKindOfClass:[NSButton class]] && [[static_cast<NSButton*>(sub) title] isEqualToString:title])
      return static_cast<NSButton*>(sub);
    if (NSButton* found = buttonTitled(sub, title)) return found;
  }
  return nil;
}

// The Edit menu, whose key equivalents give text fields their Cut, Copy, Paste and Select All.
static void reportEditMenu() {
  NSMutableArray* items = [NSMutableArray array];
  for (NSMenuItem* item : elementsOf([[[[NSApp mainMenu] itemWithTitle:@"Edit"] submenu] itemArray])) {
    if ([item isSeparatorItem]) continue;
    NSString* key = [[item keyEquivalent] length] == 0 ? @"-"
        : [NSString stringWithFormat:@"%@%@", ([item keyEquivalentModifierMask] & NSCommandKeyMask) ? @"cmd+" : @"",
                                     [item keyEquivalent]];
    [items addObject:[NSString stringWithFormat:@"%@ %@ %@", [item title], key, NSStringFromSelector([item action])]];
  }
  NSLog(@"AUTOPILOT edit menu: %@", [items componentsJoinedByString:@", "]);
}

- (void)reportControls {
  reportEditMenu();
  NSWindow* window = [[self controller] window];
  for (NSView* view : elementsOf([[window contentView] subviews]))
    NSLog(@"AUTOPILOT control %@ hidden=%d frame=%@", NSStringFromClass([view class]), [view isHidden],
          NSStringFromRect([view frame]));
  NSLog(@"AUTOPILOT window \"%@\" visible=%d", [window title], [window isVisible]);
}

// The bar's animation: its timer runs between start and stop, and the bar hands AppKit no
// timer where a view's animator is asked for.
- (void)reportBarAnimation:(StripedProgressBar*)bar {
  [bar startAnimation:nil];
  NSTimer* timer = [[bar animationTimer] retain];
  id animator = [bar respondsToSelector:@selector(animator)] ? [bar performSelector:@selector(animator)] : nil;
  NSLog(@"AUTOPILOT bar animator: %@", animator ? NSStringFromClass([animator class]) : @"none");
  [bar startAnimation:nil];  // a second start keeps the running timer
  const BOOL kept = [bar animationTimer] == timer;
  const BOOL ran = [timer isValid];
  [bar stopAnimation:nil];
  NSLog(@"AUTOPILOT bar animation: started=%d kept=%d stopped=%d", ran, kept, ![timer isValid] && ![bar animationTimer]);
  [timer release];
}

// Like a user: go to the image's folder, pick it in the file browser, press OK (one step per tick, so the
// panel can catch up with each).
- (void)answerPanel:(NSOpenPanel*)panel {
  switch (panelTicks++) {
    case 0:
      NSLog(@"AUTOPILOT panel: choosing %@", imagePath);
      [panel setDirectory:[imagePath stringByDeletingLastPathComponent]];
      break;
    case 1: [static_cast<NSBrowser*>([panel valueForKey:@"browser"]) setPath:imagePath]; break;
    default:
      [panel ok:nil];
      NSLog(@"AUTOPILOT panel answered %@", [panel filename]);
      panelTicks = 0;
      closingWindow = panel;
      wakeEventLoop();
  }
}

- (BOOL)mayDismiss {
  NSFileManager* files = [NSFileManager defaultManager];
  if (!dismissFile) return YES;
  if (![files fileExistsAtPath:dismissFile]) return NO;
  [files removeItemAtPath:dismissFile error:NULL];
  return YES;
}

- (NSView*)barOf:(JoystickController*)controller {
  for (NSView* view : elementsOf([[[controller window] contentView] subviews]))
    if ([view isKindOfClass:[NSProgressIndicator class]]) return view;
  return nil;
}

- (void)tick:(NSTimer*)timer {
  JoystickController* controller = [self controller];
  if (!controller) return;
  // A panel, sheet or alert just answered may stay up for a moment while it closes.
  NSWindow* modal = [NSApp modalWindow];
  NSWindow* sheet = [[controller window] attachedSheet];
  if (closingWindow && (closingWindow == modal || closingWindow == sheet)) return;
  closingWindow = nil;
  if (sheet) {
    if (sheetTicks++ == 0) NSLog(@"AUTOPILOT sheet: %@", textsIn([sheet contentView]));
    if (sheetTicks > kSheetAnswerTicks) {
      if (unplugOnSheet) {
        NSLog(@"AUTOPILOT unplugging the pad");
        MorvikSimUnplugAll();
      }
      if (cutLinkOnSheet) {
        NSLog(@"AUTOPILOT cutting the pad's link");
        MorvikSimCutLinks();
      }
      NSLog(@"AUTOPILOT confirming sheet");
      sheetTicks = 0;
      closingWindow = sheet;
      [answeredSheet release];
      answeredSheet = [sheet retain];
      [buttonTitled([sheet contentView], @"OK") performClick:nil];
      wakeEventLoop();
    }
    return;
  }
  if ([modal isKindOfClass:[NSOpenPanel class]]) {
    [self answerPanel:static_cast<NSOpenPanel*>(modal)];
    return;
  }
  if (modal) {
    if (modal != lastAlert) {
      lastAlert = modal;
      NSLog(@"AUTOPILOT alert: %@", textsIn([modal contentView]));
      // An alert that follows the sheet's answer must not stack on the sheet.
      if (answeredSheet)
        NSLog(@"AUTOPILOT the answered sheet is %@ under the alert", [answeredSheet isVisible] ? @"still" : @"no longer");
    }
    if ([self mayDismiss]) {
      closingWindow = modal;
      lastAlert = nil;
      NSLog(@"AUTOPILOT dismissing alert");
      [buttonTitled([modal contentView], @"OK") performClick:nil];
      wakeEventLoop();
      sawAlert = YES;
      idleTicks = 0;
    }
    return;
  }
  const int progress = static_cast<int>([static_cast<NSProgressIndicator*>([self barOf:controller]) doubleValue]);
  if (progress != lastProgress) {
    lastProgress = progress;
    idleTicks = 0;
    NSLog(@"AUTOPILOT progress %d", progress);
  }
  NSString* version = [[controller versionText] stringValue];
  if (!pressedUpdate && [version length] && [[controller updateButton] isEnabled]) {
    pressedUpdate = YES;
    [self reportControls];
    [self reportBarAnimation:static_cast<StripedProgressBar*>([self barOf:controller])];
    NSLog(@"AUTOPILOT version shown \"%@\"; pressing \"%@\"", version, [[controller updateButton] title]);
    [[controller updateButton] performClick:nil];
    return;
  }
  if ((sawAlert || (unplugOnSheet && answeredSheet)) && ++idleTicks > kQuitAfterIdleTicks) {
    NSLog(@"AUTOPILOT done: version field \"%@\", button %@", version,
          [[controller updateButton] isEnabled] ? @"enabled" : @"disabled");
    [NSApp terminate:nil];
  }
}

@end
