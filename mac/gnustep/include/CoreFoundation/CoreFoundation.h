// GNUstep build only: the few CoreFoundation calls Morvik GamePad makes, over Foundation
// objects. Every CF reference here is an Objective-C object in disguise, as on macOS where
// the Foundation classes are toll-free bridged.
#pragma once

#include <cstdint>

typedef const void* CFTypeRef;
typedef const struct __CFString* CFStringRef;
typedef const struct __CFNumber* CFNumberRef;
typedef const struct __CFArray* CFArrayRef;
typedef const struct __CFDictionary* CFDictionaryRef;
typedef const struct __CFAllocator* CFAllocatorRef;
typedef struct __CFRunLoop* CFRunLoopRef;
typedef unsigned long CFTypeID;
typedef long CFIndex;
typedef unsigned char Boolean;

enum CFNumberType : CFIndex { kCFNumberSInt32Type = 3 };

extern const CFAllocatorRef kCFAllocatorDefault;
extern const CFStringRef kCFRunLoopDefaultMode;

// A string constant that lives as long as the program.
CFStringRef MorvikConstantString(const char* text);
#define CFSTR(text) MorvikConstantString(text)

CFTypeID CFGetTypeID(CFTypeRef object);
CFTypeID CFNumberGetTypeID(void);
Boolean CFNumberGetValue(CFNumberRef number, CFNumberType type, void* value);
CFTypeRef CFRetain(CFTypeRef object);
void CFRelease(CFTypeRef object);
CFRunLoopRef CFRunLoopGetCurrent(void);
