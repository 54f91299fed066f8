// vpadctl: installs the virtual pad into the Wine prefix, plugs it in, pulls it out, and ends
// the pad program.
//   vpadctl install <inf>   driver and device node (once per prefix); the pad is plugged in
//                           from the next Wine session on
//   vpadctl plug | unplug
//   vpadctl stop            the pad program saves what it received and ends
#include <windows.h>

#include <cstdio>
#include <string>

#include "host/device_node.h"
#include "pad/pad_program.h"

int wmain(int argc, wchar_t** argv) {
  const std::wstring command = argc > 1 ? argv[1] : L"";
  std::string failure;
  if (command == L"install" && argc == 3) {
    // The installer finds the file name after the last backslash.
    std::wstring inf = argv[2];
    for (auto& c : inf)
      if (c == L'/') c = L'\\';
    failure = morvik::vpad::installPad(inf);
  } else if (command == L"plug" && argc == 2) {
    failure = morvik::vpad::plugPad();
  } else if (command == L"unplug" && argc == 2) {
    failure = morvik::vpad::unplugPad();
  } else if (command == L"stop" && argc == 2) {
    HANDLE stop = OpenEventW(EVENT_MODIFY_STATE, FALSE, morvik::vpad::kStopEventName);
    if (!stop) {
      failure = "no pad program is running";
    } else {
      SetEvent(stop);
      CloseHandle(stop);
    }
  } else {
    std::fprintf(stderr, "usage: vpadctl install <inf> | plug | unplug | stop\n");
    return 2;
  }
  if (!failure.empty()) {
    std::fprintf(stderr, "vpadctl: %s\n", failure.c_str());
    return 1;
  }
  return 0;
}
