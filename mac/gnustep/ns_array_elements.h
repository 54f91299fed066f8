// GCC's Objective-C++ has no fast enumeration; this gives range-for over an NSArray's
// elements (a snapshot, so the array may change while the loop runs).
#pragma once

#import <Foundation/Foundation.h>

#include <vector>

inline std::vector<id> elementsOf(NSArray* array) {
  std::vector<id> elements;
  for (NSUInteger i = 0; i < [array count]; ++i) elements.push_back([array objectAtIndex:i]);
  return elements;
}
