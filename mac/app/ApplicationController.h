// The application's delegate: hands over to the window controller once launched, logs
// exceptions nothing else handled, tracks activation and brings the window back on reopen.
#import <Cocoa/Cocoa.h>

@class JoystickController;
@class ConfigsController;

@interface ApplicationController : NSObject <NSApplicationDelegate> {
  IBOutlet JoystickController* jsController;
  IBOutlet ConfigsController* configsController;
  IBOutlet NSDrawer* drawer;
  IBOutlet NSWindow* mainWindow;
  IBOutlet NSToolbarItem* activeButton;
  IBOutlet NSMenuItem* activeMenuItem;
  IBOutlet NSMenu* dockMenuBase;
  BOOL appActive;
}

@property(readonly) JoystickController* jsController;
@property(readonly) ConfigsController* configsController;
@property(readonly) BOOL appActive;

@end
