#include "hidapi_stand_in.h"

#include <hidapi.h>

#include <algorithm>

struct hid_device_ {};

namespace morvik::cli::testing {
namespace {
HidapiStandIn standIn;
}  // namespace

HidapiStandIn& resetHidapiStandIn() { return standIn = HidapiStandIn{}; }
HidapiStandIn& hidapiStandIn() { return standIn; }

}  // namespace morvik::cli::testing

using morvik::cli::testing::hidapiStandIn;

namespace {
hid_device_ device;  // the one pad the stand-in opens
}  // namespace

extern "C" {

int hid_init() { return 0; }
int hid_exit() { return 0; }
hid_device* hid_open_path(const char*) { return hidapiStandIn().opens ? &device : nullptr; }
void hid_close(hid_device*) {}
hid_device_info* hid_enumerate(unsigned short, unsigned short) { return nullptr; }
void hid_free_enumeration(hid_device_info*) {}
const wchar_t* hid_error(hid_device*) { return hidapiStandIn().error.c_str(); }

int hid_write(hid_device*, const unsigned char* data, size_t length) {
  auto& s = hidapiStandIn();
  s.written.emplace_back(data, data + length);
  return s.writeResult == -2 ? static_cast<int>(length) : s.writeResult;
}

int hid_read_timeout(hid_device*, unsigned char* data, size_t length, int milliseconds) {
  auto& s = hidapiStandIn();
  s.readLengths.push_back(length);
  s.readTimeouts.push_back(milliseconds);
  if (s.reads.empty()) return 0;
  const auto read = s.reads.front();
  s.reads.pop_front();
  if (read.report.empty()) return read.result;
  const std::size_t n = std::min(length, read.report.size());
  std::copy_n(read.report.begin(), n, data);
  return static_cast<int>(n);
}

}  // extern "C"
