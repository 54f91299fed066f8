// report_loop: the floor an updater can reach against the virtual pad. It opens the pad as
// update.exe does (a write handle and a read handle, both overlapped), then for N rounds writes
// one data frame and waits for the pad's answer, and prints how long the rounds took.
//   report_loop N
#include <windows.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/device_node.h"
#include "morvik/frame_builder.h"

int main(int argc, char** argv) {
  const long rounds = argc == 2 ? std::strtol(argv[1], nullptr, 10) : 0;
  if (rounds <= 0) {
    std::fprintf(stderr, "usage: report_loop N\n");
    return 2;
  }
  const std::string path = morvik::vpad::padInterfacePath();
  if (path.empty()) {
    std::fprintf(stderr, "report_loop: no pad found\n");
    return 1;
  }
  HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
  HANDLE reader = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
  if (writer == INVALID_HANDLE_VALUE || reader == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "report_loop: cannot open the pad\n");
    return 1;
  }
  // One data frame of one block, as an update streams them.
  std::array<std::uint8_t, morvik::kFrameBufferSize> frame{};
  const std::array<std::uint8_t, morvik::kBlockSize> block{};
  const std::size_t frameSize =
      morvik::buildUpdateFrame(frame, morvik::kCmdData, block.data(), static_cast<std::int32_t>(block.size()));
  std::array<std::uint8_t, 65> out{};
  morvik::fillReport(std::span<std::uint8_t, morvik::kReportSize>(out.data() + 1, morvik::kReportSize),
                     std::span<const std::uint8_t>(frame.data(), frameSize));
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE writeEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::array<std::uint8_t, 65> in{};
  long lost = 0;
  const auto start = std::chrono::steady_clock::now();
  for (long i = 0; i < rounds; ++i) {
    DWORD written = 0;
    OVERLAPPED writing{};
    writing.hEvent = writeEvent;
    ResetEvent(writeEvent);
    const bool wrote = WriteFile(writer, out.data(), static_cast<DWORD>(out.size()), nullptr, &writing) ||
                       (GetLastError() == ERROR_IO_PENDING && GetOverlappedResult(writer, &writing, &written, TRUE));
    if (!wrote) {
      std::fprintf(stderr, "report_loop: write %ld failed\n", i);
      return 1;
    }
    OVERLAPPED overlapped{};
    overlapped.hEvent = event;
    ResetEvent(event);
    DWORD read = 0;
    if (!ReadFile(reader, in.data(), static_cast<DWORD>(in.size()), &read, &overlapped) &&
        GetLastError() == ERROR_IO_PENDING && WaitForSingleObject(event, 1000) != WAIT_OBJECT_0) {
      CancelIo(reader);
      ++lost;
    }
    GetOverlappedResult(reader, &overlapped, &read, TRUE);
  }
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::printf("round_trips %ld\nloop_ms %.1f\nlost %ld\n", rounds, ms, lost);
  return lost ? 1 : 0;
}
