// Preloaded after umockdev's library, for the emulated pads only. umockdev backs each emulated
// device node with a pty, so fstat on an opened node gives the pty's device number; hidapi finds
// the device's strings (serial, maker, product) in sysfs by that number and fails. This maps the
// pty back to the node's own number, as umockdev's stat already does for the node's path.
#include <dlfcn.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// umockdev notes each pty as $UMOCKDEV_DIR/dev/.ptymap/_dev_pts_N, a link to "MAJOR:MINOR".
void mapPty(int fd, struct stat* st) {
  const char* root = std::getenv("UMOCKDEV_DIR");
  if (!root || !S_ISCHR(st->st_mode)) return;
  std::array<char, 256> pty{};
  if (readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), pty.data(), pty.size() - 1) <= 0) return;
  std::string key = pty.data();
  std::replace(key.begin(), key.end(), '/', '_');
  std::array<char, 32> number{};
  unsigned major = 0, minor = 0;
  if (readlink((std::string(root) + "/dev/.ptymap/" + key).c_str(), number.data(), number.size() - 1) > 0 &&
      std::sscanf(number.data(), "%u:%u", &major, &minor) == 2)
    st->st_rdev = makedev(major, minor);
}

}  // namespace

extern "C" int fstat(int fd, struct stat* st) {
  using Fstat = int (*)(int, struct stat*);
  static const auto real = reinterpret_cast<Fstat>(dlsym(RTLD_NEXT, "fstat"));
  const int result = real(fd, st);
  if (result == 0) mapPty(fd, st);
  return result;
}
