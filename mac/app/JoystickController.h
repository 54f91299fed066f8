// The controller of the updater window: finds the pad through the HID manager, feeds its
// reports to the update engine and shows what the engine reports. The decisions live in
// UpdaterController (portable C++); this class connects them to AppKit and the HID manager.
// Like the engine it drives, that logic is process-wide: one window, one pad at a time.
#import <Cocoa/Cocoa.h>
#include <IOKit/hid/IOHIDLib.h>

#include <cstdint>

@class StripedProgressBar;
@class KeyInputTextView;

@interface JoystickController : NSWindowController {
  NSMutableArray* joysticks;
  IOHIDManagerRef hidManager;
  IBOutlet KeyInputTextView* keyInput;
  std::uint8_t gpReportBufB[72];
  std::uint8_t reportSizeIn;
  std::int8_t endFlag;
  IBOutlet StripedProgressBar* indicator;
  IBOutlet NSButton* updateButton;
  IBOutlet NSWindow* window;
  IBOutlet NSTextField* versionText;
  NSTimer* padWatchdog;
}

@property(readonly, nonatomic) NSButton* updateButton;
@property(readonly, nonatomic) NSTextField* versionText;

- (void)setup;
- (IBAction)updateButtonAction:(id)sender;
- (void)updateProgress:(int)percent;
- (void)alertEnded:(NSAlert*)alert code:(NSInteger)code context:(void*)context;
- (IBAction)showHelp:(id)sender;
- (NSString*)getCurrentPath;

@end
