// GNUstep build only: a stand-in for the HID manager. Simulated pads arrive and leave on cue,
// their answers reach the registered report callbacks on the run loop the manager was
// scheduled on, and sends go to the simulated pad. A pad that received the finish command
// restarts the way the real one does: it leaves boot mode and comes back in run mode.
//
// Cues come from the defaults (command line "-MorvikSimCues boot@1,run@8"):
//   boot@S    a boot-mode pad arrives S seconds after the manager was scheduled
//   run@S     a run-mode pad arrives
//   unplug@S  every pad present goes away
// Pad behaviour: -MorvikSimVersion (x 100, default 110), -MorvikSimLatencyMs (default 0),
// -MorvikSimBootFlag (default 1), -MorvikSimFailAfter (data frames, default none),
// -MorvikSimSilentAfter (data frames, default none); -MorvikSimOpenNotPermitted YES refuses every
// open with kIOReturnNotPermitted, as macOS does while Input Monitoring is not allowed for the app.
// MorvikSimUnplugAll() pulls every pad out at once, for the autopilot; MorvikSimCutLinks()
// breaks every pad's link without reporting a removal.
#import <Foundation/Foundation.h>

#include "ns_array_elements.h"
#include "substitute_hid.h"

#include <CoreFoundation/CoreFoundation.h>
#include <IOKit/hid/IOHIDLib.h>

#include <algorithm>
#include <memory>

#include "morvik/device_identities.h"
#include "morvik/simulated_pad.h"

namespace {

constexpr NSTimeInterval kPumpInterval = 0.005;
constexpr NSTimeInterval kRestartLeaveDelay = 0.5;
constexpr NSTimeInterval kRestartReturnDelay = 1.5;

enum CFTypeIds : CFTypeID { kOtherTypeId = 1, kNumberTypeId = 2, kStringTypeId = 3 };

id objectOf(CFTypeRef ref) { return reinterpret_cast<id>(const_cast<void*>(ref)); }

morvik::PadBehaviour behaviourFromDefaults() {
  NSUserDefaults* defaults = [NSUserDefaults standardUserDefaults];
  morvik::PadBehaviour behaviour;
  if ([defaults objectForKey:@"MorvikSimVersion"])
    behaviour.version = static_cast<std::uint32_t>([defaults integerForKey:@"MorvikSimVersion"]);
  if ([defaults objectForKey:@"MorvikSimBootFlag"])
    behaviour.bootFlag = static_cast<std::uint32_t>([defaults integerForKey:@"MorvikSimBootFlag"]);
  behaviour.latency = std::chrono::milliseconds([defaults integerForKey:@"MorvikSimLatencyMs"]);
  if ([defaults objectForKey:@"MorvikSimFailAfter"])
    behaviour.failAfterDataFrames = static_cast<std::uint32_t>([defaults integerForKey:@"MorvikSimFailAfter"]);
  if ([defaults objectForKey:@"MorvikSimSilentAfter"])
    behaviour.silentAfterDataFrames = static_cast<std::uint32_t>([defaults integerForKey:@"MorvikSimSilentAfter"]);
  return behaviour;
}

}  // namespace

@interface MorvikSimDevice : NSObject {
 @public
  morvik::SimulatedPad* pad;  // owned
  NSDictionary* properties;
  std::uint8_t* reportBuffer;
  CFIndex reportBufferLength;
  IOHIDReportCallback reportCallback;
  void* reportContext;
  BOOL restartDue;
}
- (id)initWithIdentity:(morvik::UsbIdentity)identity;
@end

@implementation MorvikSimDevice
- (id)initWithIdentity:(morvik::UsbIdentity)identity {
  self = [super init];
  if (!self) return nil;
  pad = new morvik::SimulatedPad(behaviourFromDefaults());
  properties = [[NSDictionary alloc]
      initWithObjectsAndKeys:[NSNumber numberWithInt:identity.vendorId], @"VendorID",
                             [NSNumber numberWithInt:identity.productId], @"ProductID",
                             [NSString stringWithUTF8String:identity.model], @"Product", nil];
  return self;
}
- (void)dealloc {
  delete pad;
  [properties release];
  [super dealloc];
}
@end

@interface MorvikSimManager : NSObject {
 @public
  NSArray* matching;
  NSMutableArray* present;
  IOHIDDeviceCallback arrivalCallback;
  void* arrivalContext;
  IOHIDDeviceCallback removalCallback;
  void* removalContext;
  NSTimer* pump;
}
- (void)scheduleIn:(NSRunLoop*)runLoop mode:(NSString*)mode;
- (void)cue:(NSString*)what;
- (void)arrive:(morvik::UsbIdentity)identity;
- (void)leave:(MorvikSimDevice*)device;
- (void)restartInRunMode:(MorvikSimDevice*)device;
- (void)pump:(NSTimer*)timer;
@end

@implementation MorvikSimManager

- (id)init {
  self = [super init];
  if (self) present = [[NSMutableArray alloc] init];
  return self;
}

- (void)dealloc {
  [pump invalidate];
  [pump release];
  [present release];
  [matching release];
  [super dealloc];
}

- (void)scheduleIn:(NSRunLoop*)runLoop mode:(NSString*)mode {
  pump = [[NSTimer timerWithTimeInterval:kPumpInterval target:self selector:@selector(pump:) userInfo:nil repeats:YES]
      retain];
  [runLoop addTimer:pump forMode:mode];
  NSString* cues = [[NSUserDefaults standardUserDefaults] stringForKey:@"MorvikSimCues"];
  for (NSString* cue : elementsOf([(cues ? cues : @"boot@1") componentsSeparatedByString:@","])) {
    NSArray* parts = [cue componentsSeparatedByString:@"@"];
    if ([parts count] != 2) continue;
    [self performSelector:@selector(cue:)
               withObject:[parts objectAtIndex:0]
               afterDelay:[[parts objectAtIndex:1] doubleValue]
                  inModes:[NSArray arrayWithObject:mode]];
  }
}

- (BOOL)matches:(MorvikSimDevice*)device {
  for (NSDictionary* criteria : elementsOf(matching)) {
    if ([[criteria objectForKey:@"VendorID"] isEqual:[device->properties objectForKey:@"VendorID"]] &&
        [[criteria objectForKey:@"ProductID"] isEqual:[device->properties objectForKey:@"ProductID"]])
      return YES;
  }
  return NO;
}

- (void)cue:(NSString*)what {
  if ([what isEqualToString:@"boot"]) [self arrive:morvik::kBootModeIdentity];
  else if ([what isEqualToString:@"run"]) [self arrive:morvik::kRunModeIdentities[0]];
  else if ([what isEqualToString:@"unplug"]) {
    for (MorvikSimDevice* device : elementsOf(present)) [self leave:device];
  }
}

- (void)arrive:(morvik::UsbIdentity)identity {
  MorvikSimDevice* device = [[[MorvikSimDevice alloc] initWithIdentity:identity] autorelease];
  if (![self matches:device]) return;
  [present addObject:device];
  if (arrivalCallback) arrivalCallback(arrivalContext, kIOReturnSuccess, self, reinterpret_cast<IOHIDDeviceRef>(device));
}

- (void)leave:(MorvikSimDevice*)device {
  if (![present containsObject:device]) return;
  device->pad->unplug();
  [[device retain] autorelease];
  [present removeObject:device];
  if (removalCallback) removalCallback(removalContext, kIOReturnSuccess, self, reinterpret_cast<IOHIDDeviceRef>(device));
}

- (void)restartInRunMode:(MorvikSimDevice*)device {
  [self leave:device];
  [self performSelector:@selector(cue:) withObject:@"run" afterDelay:kRestartReturnDelay - kRestartLeaveDelay];
}

- (void)pump:(NSTimer*)timer {
  for (MorvikSimDevice* device : elementsOf(present)) {
    if (!device->reportCallback) continue;
    while (const auto report = device->pad->takeDueReport()) {
      const CFIndex length = std::min<CFIndex>(static_cast<CFIndex>(report->length), device->reportBufferLength);
      std::copy_n(report->bytes.begin(), length, device->reportBuffer);
      device->reportCallback(device->reportContext, kIOReturnSuccess, device, kIOHIDReportTypeInput, 0,
                             device->reportBuffer, length);
    }
    if (device->pad->finished() && !device->restartDue) {
      device->restartDue = YES;
      [self performSelector:@selector(restartInRunMode:) withObject:device afterDelay:kRestartLeaveDelay];
    }
  }
}

@end

// ---------------------------------------------------------------- CoreFoundation

const CFAllocatorRef kCFAllocatorDefault = nullptr;
const CFStringRef kCFRunLoopDefaultMode = reinterpret_cast<CFStringRef>(NSDefaultRunLoopMode);

CFStringRef MorvikConstantString(const char* text) {
  static NSMutableDictionary* constants = [[NSMutableDictionary alloc] init];
  NSString* key = [NSString stringWithUTF8String:text];
  NSString* constant = [constants objectForKey:key];
  if (!constant) {
    [constants setObject:key forKey:key];
    constant = key;
  }
  return reinterpret_cast<CFStringRef>(constant);
}

CFTypeID CFGetTypeID(CFTypeRef object) {
  if ([objectOf(object) isKindOfClass:[NSNumber class]]) return kNumberTypeId;
  if ([objectOf(object) isKindOfClass:[NSString class]]) return kStringTypeId;
  return kOtherTypeId;
}

CFTypeID CFNumberGetTypeID(void) { return kNumberTypeId; }

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType type, void* value) {
  if (type != kCFNumberSInt32Type) return false;
  *static_cast<std::int32_t*>(value) = [objectOf(number) intValue];
  return true;
}

CFTypeRef CFRetain(CFTypeRef object) {
  [objectOf(object) retain];
  return object;
}

void CFRelease(CFTypeRef object) { [objectOf(object) release]; }

CFRunLoopRef CFRunLoopGetCurrent(void) { return reinterpret_cast<CFRunLoopRef>([NSRunLoop currentRunLoop]); }

// ---------------------------------------------------------------- IOKit HID

namespace {
MorvikSimManager* managerOf(IOHIDManagerRef ref) { return reinterpret_cast<MorvikSimManager*>(ref); }
MorvikSimDevice* deviceOf(IOHIDDeviceRef ref) { return reinterpret_cast<MorvikSimDevice*>(ref); }
}  // namespace

namespace {
MorvikSimManager* latestManager = nil;  // not retained: the window controller keeps it
}  // namespace

IOHIDManagerRef IOHIDManagerCreate(CFAllocatorRef, IOOptionBits) {
  latestManager = [[MorvikSimManager alloc] init];
  return reinterpret_cast<IOHIDManagerRef>(latestManager);
}

void MorvikSimUnplugAll() { [latestManager cue:@"unplug"]; }

void MorvikSimCutLinks() {
  for (MorvikSimDevice* device : elementsOf(latestManager->present)) device->pad->unplug();
}

void IOHIDManagerSetDeviceMatchingMultiple(IOHIDManagerRef manager, CFArrayRef multiple) {
  MorvikSimManager* m = managerOf(manager);
  [m->matching release];
  m->matching = [objectOf(multiple) copy];
}

void IOHIDManagerScheduleWithRunLoop(IOHIDManagerRef manager, CFRunLoopRef runLoop, CFStringRef mode) {
  [managerOf(manager) scheduleIn:reinterpret_cast<NSRunLoop*>(runLoop) mode:objectOf(mode)];
}

IOReturn IOHIDManagerOpen(IOHIDManagerRef, IOOptionBits) { return kIOReturnSuccess; }
IOReturn IOHIDManagerClose(IOHIDManagerRef, IOOptionBits) { return kIOReturnSuccess; }

void IOHIDManagerRegisterDeviceMatchingCallback(IOHIDManagerRef manager, IOHIDDeviceCallback callback, void* context) {
  managerOf(manager)->arrivalCallback = callback;
  managerOf(manager)->arrivalContext = context;
}

void IOHIDManagerRegisterDeviceRemovalCallback(IOHIDManagerRef manager, IOHIDDeviceCallback callback, void* context) {
  managerOf(manager)->removalCallback = callback;
  managerOf(manager)->removalContext = context;
}

CFTypeRef IOHIDDeviceGetProperty(IOHIDDeviceRef device, CFStringRef key) {
  return [deviceOf(device)->properties objectForKey:objectOf(key)];
}

IOReturn IOHIDDeviceOpen(IOHIDDeviceRef device, IOOptionBits) {
  if ([[NSUserDefaults standardUserDefaults] boolForKey:@"MorvikSimOpenNotPermitted"]) return kIOReturnNotPermitted;
  return deviceOf(device)->pad->gone() ? kIOReturnNotAttached : kIOReturnSuccess;
}

void IOHIDDeviceRegisterInputReportCallback(IOHIDDeviceRef device, std::uint8_t* report, CFIndex reportLength,
                                            IOHIDReportCallback callback, void* context) {
  MorvikSimDevice* d = deviceOf(device);
  d->reportBuffer = report;
  d->reportBufferLength = reportLength;
  d->reportCallback = callback;
  d->reportContext = context;
}

IOReturn IOHIDDeviceSetReport(IOHIDDeviceRef device, IOHIDReportType reportType, CFIndex reportID,
                              const std::uint8_t* report, CFIndex reportLength) {
  if (reportType != kIOHIDReportTypeOutput || reportID != 0 ||
      reportLength != static_cast<CFIndex>(morvik::kReportSize))
    return kIOReturnError;
  const morvik::OutputReport bytes(report, morvik::kReportSize);
  return deviceOf(device)->pad->writeReport(bytes) == morvik::kLinkOk ? kIOReturnSuccess : kIOReturnNotAttached;
}
