// morvik-hid-loop: the floor an updater can reach through hidapi against an emulated pad. It
// finds and opens the pad as morvik-update does and prints the serial number the opened pad
// gives, then for N rounds writes one data frame and reads until the pad's answer is there,
// and prints how long the rounds took.
//   morvik-hid-loop N
#include <hidapi.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "morvik/device_identities.h"
#include "morvik/frame_builder.h"

int main(int argc, char** argv) {
  const long rounds = argc == 2 ? std::strtol(argv[1], nullptr, 10) : 0;
  if (rounds <= 0) {
    std::fprintf(stderr, "usage: morvik-hid-loop N\n");
    return 2;
  }
  if (hid_init() != 0) return 1;
  const auto id = morvik::kBootModeIdentity;
  hid_device_info* found = hid_enumerate(id.vendorId, id.productId);
  const std::string path = found && found->path ? found->path : "";
  hid_free_enumeration(found);
  hid_device* pad = path.empty() ? nullptr : hid_open_path(path.c_str());
  if (!pad) {
    std::fprintf(stderr, "morvik-hid-loop: no pad to open\n");
    return 1;
  }
  std::array<wchar_t, 64> serial{};
  if (hid_get_serial_number_string(pad, serial.data(), serial.size()) == 0) std::printf("serial %ls\n", serial.data());
  // One 32-byte block in one report behind the report ID, as an update streams them.
  std::array<std::uint8_t, morvik::kFrameBufferSize> frame{};
  const std::array<std::uint8_t, morvik::kBlockSize> block{};
  const std::size_t size =
      morvik::buildUpdateFrame(frame, morvik::kCmdData, block.data(), static_cast<std::int32_t>(block.size()));
  std::array<unsigned char, morvik::kReportSize + 1> out{};
  morvik::fillReport(std::span<std::uint8_t, morvik::kReportSize>(out.data() + 1, morvik::kReportSize),
                     std::span<const std::uint8_t>(frame.data(), size));
  std::array<unsigned char, morvik::kReportSize> in{};
  long lost = 0;
  const auto start = std::chrono::steady_clock::now();
  for (long i = 0; i < rounds; ++i) {
    if (hid_write(pad, out.data(), out.size()) < 0) {
      std::fprintf(stderr, "morvik-hid-loop: write %ld failed\n", i);
      return 1;
    }
    if (hid_read_timeout(pad, in.data(), in.size(), 1000) <= 0) ++lost;
  }
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::printf("round_trips %ld\nloop_ms %.1f\nlost %ld\n", rounds, ms, lost);
  hid_close(pad);
  hid_exit();
  return lost ? 1 : 0;
}
