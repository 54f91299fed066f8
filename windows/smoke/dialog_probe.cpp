// Looks at a running update.exe from outside, as the smoke test's eyes: waits for its dialog,
// prints what it shows (UTF-8, one "name: value" line each) and, with --close, closes it.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string utf8(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size, nullptr, nullptr);
  return text;
}

std::wstring windowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

// Line breaks shown as \r and \n so that every value stays on its line.
std::string escaped(const std::string& text) {
  std::string out;
  for (const char c : text) out += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
  return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // The dialog shows once its start-up (the pad search, the texts) is done. Up to a minute:
  // Wine may start slowly on a busy machine.
  HWND dialog = nullptr;
  for (int tries = 0; tries < 600; ++tries) {
    dialog = FindWindowW(L"#32770", nullptr);
    if (dialog && IsWindowVisible(dialog)) break;
    Sleep(100);
  }
  if (!dialog || !IsWindowVisible(dialog)) {
    std::printf("dialog: none\n");
    return 1;
  }
  Sleep(300);  // painted
  HWND button = GetDlgItem(dialog, 1007);
  std::printf("title: [%s]\n", escaped(utf8(windowText(dialog))).c_str());
  std::printf("instructions: [%s]\n", escaped(utf8(windowText(GetDlgItem(dialog, 1008)))).c_str());
  std::printf("button: [%s]\n", escaped(utf8(windowText(button))).c_str());
  std::printf("button enabled: %s\n", IsWindowEnabled(button) ? "yes" : "no");
  std::printf("progress bar: %s\n", GetDlgItem(dialog, 1003) ? "yes" : "no");
  std::printf("system language: 0x%04x\n", GetSystemDefaultLangID());
  RECT frame{};
  GetWindowRect(dialog, &frame);
  std::printf("frame: %ldx%ld+%ld+%ld\n", frame.right - frame.left, frame.bottom - frame.top, frame.left, frame.top);
  std::fflush(stdout);
  if (argc > 1 && std::wstring(argv[1]) == L"--close") PostMessageW(dialog, WM_CLOSE, 0, 0);
  return 0;
}
