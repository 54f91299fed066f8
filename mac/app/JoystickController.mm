#import "JoystickController.h"

#include <algorithm>
#include <memory>
#include <span>
#include <string>
#include <vector>

#import "StripedProgressBar.h"
#include "HidDeviceTransport.h"
#include "updater_controller.h"
#include "window_texts.h"

namespace {

using morvik::mac::ArrivalAction;

// The accepted boot-mode pad. Kept after its removal, as the engine may still name it.
IOHIDDeviceRef deviceRef = nullptr;

constexpr NSTimeInterval kWatchdogInterval = 0.5;

NSString* toNSString(std::string_view text) {
  return [[[NSString alloc] initWithBytes:text.data() length:text.size() encoding:NSUTF8StringEncoding]
      autorelease];
}

id objectOf(CFTypeRef ref) { return reinterpret_cast<id>(const_cast<void*>(ref)); }

bool IOHIDDevice_GetLongProperty(IOHIDDeviceRef device, CFStringRef key, std::int32_t* value) {
  const CFTypeRef property = IOHIDDeviceGetProperty(device, key);
  if (!property || CFGetTypeID(property) != CFNumberGetTypeID()) return false;
  return CFNumberGetValue(static_cast<CFNumberRef>(property), kCFNumberSInt32Type, value);
}

std::int32_t IOHIDDevice_GetVendorID(IOHIDDeviceRef device) {
  std::int32_t value = 0;
  IOHIDDevice_GetLongProperty(device, CFSTR(kIOHIDVendorIDKey), &value);
  return value;
}

std::int32_t IOHIDDevice_GetProductID(IOHIDDeviceRef device) {
  std::int32_t value = 0;
  IOHIDDevice_GetLongProperty(device, CFSTR(kIOHIDProductIDKey), &value);
  return value;
}

std::uint32_t low16(std::int32_t id) { return static_cast<std::uint32_t>(id) & 0xFFFF; }

}  // namespace

@interface JoystickController (Private)
- (StripedProgressBar*)progressBar;
- (void)deviceArrived:(IOHIDDeviceRef)device;
- (void)deviceRemoved:(IOHIDDeviceRef)device;
- (void)inputReport:(const std::uint8_t*)report length:(CFIndex)length from:(IOHIDDeviceRef)device;
- (void)checkPadSilence:(NSTimer*)timer;
@end

// The window as the portable controller sees it.
class CocoaUpdaterWindow final : public morvik::mac::UpdaterWindow {
 public:
  explicit CocoaUpdaterWindow(JoystickController* controller) : controller_(controller) {}

  void setUpdateButtonEnabled(bool enabled) override { [[controller_ updateButton] setEnabled:enabled]; }
  void setVersionText(std::string_view text) override { [[controller_ versionText] setStringValue:toNSString(text)]; }
  void settleVersionField() override {
    NSTextField* field = [controller_ versionText];
    [field resignFirstResponder];
    [field setBackgroundColor:[NSColor textBackgroundColor]];
  }
  void setProgressValue(double percent) override { [[controller_ progressBar] setDoubleValue:percent]; }
  void runAlert(std::string_view message) override {
    // Only the message and the platform's default button.
    runExplainedAlert(message, "");
  }
  void runExplainedAlert(std::string_view message, std::string_view explanation) override {
    [[NSAlert alertWithMessageText:toNSString(message)
                     defaultButton:nil
                   alternateButton:nil
                       otherButton:nil
         informativeTextWithFormat:@"%@", toNSString(explanation)] runModal];
  }
  void showHelp() override { [controller_ showHelp:nil]; }
  void log(std::string_view line) override { NSLog(@"%@\n", toNSString(line)); }
  std::optional<std::string> chooseImageFile() override {
    NSOpenPanel* panel = [NSOpenPanel openPanel];
    [panel setDirectoryURL:[NSURL fileURLWithPath:[controller_ getCurrentPath]]];
    [panel setAllowsMultipleSelection:NO];
    [panel setCanChooseFiles:YES];
    [panel setAllowedFileTypes:[NSArray arrayWithObject:toNSString(morvik::mac::kImageFileType)]];
    [panel setAllowsOtherFileTypes:NO];
    if ([panel runModal] != NSOKButton || [[panel URLs] count] == 0) return std::nullopt;
    return std::string([[[[panel URLs] objectAtIndex:0] path] fileSystemRepresentation]);
  }
  void beginConfirmationSheet(std::string_view informativeText, morvik::HidTransport* pad) override {
    NSAlert* sheet = [NSAlert alertWithMessageText:toNSString(morvik::mac::kConfirmTitle)
                                     defaultButton:toNSString(morvik::mac::kConfirmOk)
                                   alternateButton:toNSString(morvik::mac::kConfirmCancel)
                                       otherButton:nil
                         informativeTextWithFormat:@"%@", toNSString(informativeText)];
    [sheet beginSheetModalForWindow:[controller_ window]
                      modalDelegate:controller_
                     didEndSelector:@selector(alertEnded:code:context:)
                        contextInfo:pad];
  }

 private:
  JoystickController* controller_;  // not retained: the controller outlives its bridge
};

namespace {
std::unique_ptr<CocoaUpdaterWindow> windowBridge;
std::unique_ptr<morvik::mac::UpdaterController> logic;
// Every pad ever opened; kept because a sheet or the engine may still name one.
std::vector<std::unique_ptr<HidDeviceTransport>> openedPads;
}  // namespace

static void add_callback(void* context, IOReturn /*result*/, void* /*sender*/, IOHIDDeviceRef device) {
  [static_cast<JoystickController*>(context) deviceArrived:device];
}

static void remove_callback(void* context, IOReturn /*result*/, void* /*sender*/, IOHIDDeviceRef device) {
  [static_cast<JoystickController*>(context) deviceRemoved:device];
}

static void HidDeviceIOInPutReportCallback(void* context, IOReturn /*result*/, void* sender,
                                           IOHIDReportType /*type*/, std::uint32_t /*reportID*/,
                                           std::uint8_t* report, CFIndex reportLength) {
  [static_cast<JoystickController*>(context) inputReport:report
                                                  length:reportLength
                                                    from:static_cast<IOHIDDeviceRef>(sender)];
}

@implementation JoystickController

@synthesize updateButton;
@synthesize versionText;

- (id)init {
  self = [super init];
  if (!self) return nil;
  joysticks = [[NSMutableArray alloc] init];
  reportSizeIn = 64;
  windowBridge = std::make_unique<CocoaUpdaterWindow>(self);
  logic = std::make_unique<morvik::mac::UpdaterController>(*windowBridge);
  return self;
}

- (void)setup {
  [versionText setEditable:NO];
  [versionText setEnabled:NO];
  [versionText setTextColor:[NSColor blackColor]];
  [indicator setHidden:NO];  // a bar decoded from the interface file may come out hidden
#ifdef GNUSTEP
  // GNUstep's interface-file reader drops the bar's display-when-stopped setting.
  [indicator setDisplayedWhenStopped:YES];
#endif
  logic->setup();

  hidManager = IOHIDManagerCreate(kCFAllocatorDefault, kIOHIDOptionsTypeNone);
  NSMutableArray* matching = [NSMutableArray array];
  for (const morvik::UsbIdentity& identity : morvik::mac::matchedIdentities()) {
    NSMutableDictionary* criteria = [NSMutableDictionary dictionary];
    [criteria setObject:[NSNumber numberWithInt:identity.productId] forKey:objectOf(CFSTR(kIOHIDProductIDKey))];
    [criteria setObject:[NSNumber numberWithInt:identity.vendorId] forKey:objectOf(CFSTR(kIOHIDVendorIDKey))];
    [matching addObject:criteria];
  }
  IOHIDManagerSetDeviceMatchingMultiple(hidManager, reinterpret_cast<CFArrayRef>(matching));
  IOHIDManagerScheduleWithRunLoop(hidManager, CFRunLoopGetCurrent(), kCFRunLoopDefaultMode);
  IOHIDManagerOpen(hidManager, kIOHIDOptionsTypeNone);
  IOHIDManagerRegisterDeviceMatchingCallback(hidManager, add_callback, self);
  IOHIDManagerRegisterDeviceRemovalCallback(hidManager, remove_callback, self);

  // A pad that stops answering must not leave the update hanging.
  padWatchdog = [[NSTimer scheduledTimerWithTimeInterval:kWatchdogInterval
                                                  target:self
                                                selector:@selector(checkPadSilence:)
                                                userInfo:nil
                                                 repeats:YES] retain];
}

- (void)deviceArrived:(IOHIDDeviceRef)device {
  NSLog(@"%@\n", objectOf(IOHIDDeviceGetProperty(device, CFSTR(kIOHIDProductKey))));
  NSLog(@"0x%04x,0x%04x\n", IOHIDDevice_GetVendorID(device), IOHIDDevice_GetProductID(device));
  const std::uint32_t vid = low16(IOHIDDevice_GetVendorID(device));
  const std::uint32_t pid = low16(IOHIDDevice_GetProductID(device));
  if (logic->deviceArrived(vid, pid) != ArrivalAction::AcceptBootPad) return;

  deviceRef = device;
  openedPads.push_back(std::make_unique<HidDeviceTransport>(device));
  const IOReturn opened = IOHIDDeviceOpen(device, kIOHIDOptionsTypeNone);
  if (opened != kIOReturnSuccess) {
    NSLog(@"IOHIDDeviceOpen failed: 0x%08x\n", opened);
    // Refused by the privacy control: the user is told how to allow the app; the pad is not served.
    if (logic->bootPadOpenFailed(static_cast<std::uint32_t>(opened))) return;
  }
  IOHIDDeviceRegisterInputReportCallback(device, gpReportBufB, reportSizeIn, HidDeviceIOInPutReportCallback, self);
  logic->bootPadOpened(*openedPads.back());
}

- (void)deviceRemoved:(IOHIDDeviceRef)device {
  const std::uint32_t vid = low16(IOHIDDevice_GetVendorID(device));
  const std::uint32_t pid = low16(IOHIDDevice_GetProductID(device));
  NSLog(@"Remove Device:vid,pid=0x%04x,0x%04x\n", vid, pid);
  logic->deviceRemoved(vid, pid, device == deviceRef);
}

- (void)inputReport:(const std::uint8_t*)report length:(CFIndex)length from:(IOHIDDeviceRef)device {
  // Reports come only from pads this controller opened; the newest link to the device serves.
  const auto pad = std::find_if(openedPads.rbegin(), openedPads.rend(),
                                [device](const auto& link) { return link->device() == device; });
  if (pad == openedPads.rend()) return;
  const auto delivered = std::clamp<CFIndex>(length, 0, static_cast<CFIndex>(morvik::kReportSize));
  logic->inputReport(**pad, std::span<const std::uint8_t>(report, static_cast<std::size_t>(delivered)));
}

- (StripedProgressBar*)progressBar {
  return indicator;
}

- (void)checkPadSilence:(NSTimer*)timer {
  logic->checkPadSilence();
}

- (IBAction)updateButtonAction:(id)sender {
  logic->updateButtonAction();
}

- (void)updateProgress:(int)percent {
  logic->updateProgress(percent);
}

- (void)alertEnded:(NSAlert*)alert code:(NSInteger)code context:(void*)context {
  // The sheet is still up when its end handler runs: take it down first, so that an alert
  // raised by the answer (the image cannot be sent to a pad pulled out meanwhile) stands on
  // the window, not on the sheet.
  [[alert window] orderOut:nil];
  logic->alertEnded(static_cast<int>(code), static_cast<morvik::HidTransport*>(context));
}

- (IBAction)showHelp:(id)sender {
  NSAlert* alert = [NSAlert alertWithMessageText:toNSString(morvik::mac::kHelpTitle)
                                   defaultButton:toNSString(morvik::mac::kHelpButton)
                                 alternateButton:nil
                                     otherButton:nil
                       informativeTextWithFormat:@"%@", toNSString(morvik::mac::helpText())];
  [alert runModal];
}

- (BOOL)becomeFirstResponder {
  return YES;
}

- (NSString*)getCurrentPath {
  const std::string folder = morvik::mac::folderOfBundle([[[NSBundle mainBundle] bundlePath] fileSystemRepresentation]);
  return [NSString stringWithUTF8String:folder.c_str()];
}

- (void)finalize {
  for (NSUInteger i = 0; i < [joysticks count]; ++i) [[joysticks objectAtIndex:i] invalidate];
  IOHIDManagerClose(hidManager, kIOHIDOptionsTypeNone);
  CFRelease(hidManager);
  [super finalize];
}

- (void)dealloc {
  [padWatchdog invalidate];
  [padWatchdog release];
  logic.reset();
  windowBridge.reset();
  openedPads.clear();
  [joysticks release];
  [super dealloc];
}

@end
