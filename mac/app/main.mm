// Morvik GamePad: the main interface file creates the delegate and the window controller.
#import <Cocoa/Cocoa.h>

int main(int argc, const char* argv[]) {
  return NSApplicationMain(argc, argv);
}
