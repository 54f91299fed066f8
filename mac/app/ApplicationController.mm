#import "ApplicationController.h"

#import "JoystickController.h"

static void onUncaughtException(NSException* exception) {
  NSLog(@"Uncaught exception: %@", [exception description]);
}

@implementation ApplicationController

@synthesize jsController;
@synthesize configsController;
@synthesize appActive;

- (void)applicationDidFinishLaunching:(NSNotification*)notification {
  NSSetUncaughtExceptionHandler(&onUncaughtException);
  [jsController setup];
}

- (void)applicationWillTerminate:(NSNotification*)notification {
}

- (void)applicationWillBecomeActive:(NSNotification*)notification {
  appActive = YES;
}

- (void)applicationWillResignActive:(NSNotification*)notification {
  appActive = NO;
}

- (BOOL)applicationShouldHandleReopen:(NSApplication*)application hasVisibleWindows:(BOOL)visible {
  [mainWindow makeKeyAndOrderFront:self];
  return YES;
}

@end
