// Looks at a running update.exe from outside, as the tests' eyes. Prints what it sees as UTF-8,
// one "name: value" line each. Screen positions are centres of controls, for a pointer to click.
//
//   dialog_probe [--close]           waits for the dialog, prints it (and closes it)
//   dialog_probe --state             prints the dialog and any message box now
//   dialog_probe --wait-box S        waits up to S seconds for a message box, prints it
//   dialog_probe --wait-box-gone ID S  waits up to S seconds until the box printed as ID has gone
//   dialog_probe --wait-file-dialog S  waits for the open-file dialog, prints its file-name field
//   dialog_probe --wait-title TEXT S waits until the title contains TEXT and the button is enabled
//   dialog_probe --wait-button on|off S  waits until the button is enabled / disabled
//   dialog_probe --watch-progress S  samples the progress bar until a message box shows; also
//                                    prints how long the bar stood still before the box came
//
// Waits end with exit status 1 when their time runs out (after printing what is there).
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr int kProgressId = 1003;
constexpr int kButtonId = 1007;
constexpr int kInstructionsId = 1008;
constexpr int kFileNameCombo = 1148;  // the open-file dialog's file-name field
constexpr int kFileNameEdit = 1152;

std::string utf8(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
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

std::string shown(HWND window) { return escaped(utf8(windowText(window))); }

void printCentre(const char* name, HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  std::printf("%s: %ld %ld\n", name, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

// The visible dialogs (class #32770) on the desktop.
std::vector<HWND> dialogs() {
  std::vector<HWND> found;
  EnumWindows(
      [](HWND window, LPARAM list) -> BOOL {
        wchar_t name[16]{};
        GetClassNameW(window, name, 16);
        if (IsWindowVisible(window) && std::wstring(name) == L"#32770")
          reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

bool isUpdateDialog(HWND d) { return GetDlgItem(d, kButtonId) && GetDlgItem(d, kProgressId); }
bool isFileDialog(HWND d) { return GetDlgItem(d, kFileNameCombo) || GetDlgItem(d, kFileNameEdit); }

HWND updateDialog() {
  for (HWND d : dialogs())
    if (isUpdateDialog(d)) return d;
  return nullptr;
}

HWND fileDialog() {
  for (HWND d : dialogs())
    if (isFileDialog(d)) return d;
  return nullptr;
}

// A message box: a dialog with an OK button that is neither the update dialog nor a file dialog.
HWND messageBox() {
  for (HWND d : dialogs())
    if (!isUpdateDialog(d) && !isFileDialog(d) && GetDlgItem(d, IDOK)) return d;
  return nullptr;
}

void printBox(HWND box) {
  // Its text is the static control with the longest text.
  std::string text;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t name[16]{};
    GetClassNameW(child, name, 16);
    if (std::wstring(name) == L"Static") {
      const std::string candidate = shown(child);
      if (candidate.size() > text.size()) text = candidate;
    }
  }
  std::printf("box: [%s]\n", text.c_str());
  std::printf("box id: %llx\n", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(box)));
  printCentre("box ok at", GetDlgItem(box, IDOK));
}

// The success label has the id -1, which the platform may keep as a 16-bit 0xFFFF.
HWND successLabel(HWND dialog) {
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    if ((GetDlgCtrlID(child) & 0xFFFF) == 0xFFFF) return child;
  return nullptr;
}

void printDialog(HWND dialog) {
  HWND button = GetDlgItem(dialog, kButtonId);
  std::printf("title: [%s]\n", shown(dialog).c_str());
  std::printf("button enabled: %s\n", IsWindowEnabled(button) ? "yes" : "no");
  printCentre("button at", button);
  std::printf("progress: %ld\n", static_cast<long>(SendMessageW(GetDlgItem(dialog, kProgressId), PBM_GETPOS, 0, 0)));
  HWND label = successLabel(dialog);
  if (label && IsWindowVisible(label))
    std::printf("success label: [%s]\n", shown(label).c_str());
  else
    std::printf("success label: hidden\n");
  RECT frame{};
  GetWindowRect(dialog, &frame);
  std::printf("frame: %ldx%ld+%ld+%ld\n", frame.right - frame.left, frame.bottom - frame.top, frame.left, frame.top);
}

// Polls `ready` every 20 ms for up to `seconds`.
template <class Ready>
bool waitFor(double seconds, Ready ready) {
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
  for (;;) {
    if (ready()) return true;
    if (GetTickCount64() >= end) return false;
    Sleep(20);
  }
}

int finish(bool ok) {
  std::fflush(stdout);
  return ok ? 0 : 1;
}

// The smoke test's look: the dialog once it shows, its texts and controls.
int firstLook(bool close) {
  // The dialog shows once its start-up (the pad search, the texts) is done. Up to a minute:
  // Wine may start slowly on a busy machine.
  HWND dialog = nullptr;
  if (!waitFor(60, [&] { return (dialog = updateDialog()) != nullptr; })) {
    std::printf("dialog: none\n");
    return finish(false);
  }
  Sleep(300);  // painted
  HWND button = GetDlgItem(dialog, kButtonId);
  std::printf("title: [%s]\n", shown(dialog).c_str());
  std::printf("instructions: [%s]\n", shown(GetDlgItem(dialog, kInstructionsId)).c_str());
  std::printf("button: [%s]\n", shown(button).c_str());
  std::printf("button enabled: %s\n", IsWindowEnabled(button) ? "yes" : "no");
  std::printf("progress bar: %s\n", GetDlgItem(dialog, kProgressId) ? "yes" : "no");
  std::printf("system language: 0x%04x\n", GetSystemDefaultLangID());
  RECT frame{};
  GetWindowRect(dialog, &frame);
  std::printf("frame: %ldx%ld+%ld+%ld\n", frame.right - frame.left, frame.bottom - frame.top, frame.left, frame.top);
  std::fflush(stdout);
  if (close) PostMessageW(dialog, WM_CLOSE, 0, 0);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring command = argc > 1 ? argv[1] : L"";
  const double seconds = argc > 2 ? std::wcstod(argv[argc - 1], nullptr) : 0;
  if (command.empty() || command == L"--close") return firstLook(command == L"--close");

  if (command == L"--state") {
    if (HWND dialog = updateDialog())
      printDialog(dialog);
    else
      std::printf("dialog: none\n");
    if (HWND box = messageBox()) printBox(box);
    std::printf("file dialog: %s\n", fileDialog() ? "yes" : "no");
    return finish(true);
  }
  if (command == L"--wait-box") {
    HWND box = nullptr;
    const bool ok = waitFor(seconds, [&] { return (box = messageBox()) != nullptr; });
    if (ok) {
      Sleep(200);  // laid out and painted
      printBox(box);
    } else {
      std::printf("box: none\n");
    }
    return finish(ok);
  }
  if (command == L"--wait-box-gone" && argc == 4) {
    const auto box = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(std::wcstoull(argv[2], nullptr, 16)));
    return finish(waitFor(seconds, [box] { return !IsWindow(box) || !IsWindowVisible(box); }));
  }
  if (command == L"--wait-file-dialog") {
    HWND dialog = nullptr;
    const bool ok = waitFor(seconds, [&] { return (dialog = fileDialog()) != nullptr; });
    if (ok) {
      Sleep(300);
      HWND field = GetDlgItem(dialog, kFileNameCombo);
      printCentre("file name at", field ? field : GetDlgItem(dialog, kFileNameEdit));
    }
    std::printf("file dialog: %s\n", ok ? "yes" : "no");
    return finish(ok);
  }
  if (command == L"--wait-title" && argc == 4) {
    const std::wstring wanted = argv[2];
    HWND dialog = nullptr;
    const bool ok = waitFor(seconds, [&] {
      dialog = updateDialog();
      return dialog && windowText(dialog).find(wanted) != std::wstring::npos &&
             IsWindowEnabled(GetDlgItem(dialog, kButtonId));
    });
    if (dialog)
      printDialog(dialog);
    else
      std::printf("dialog: none\n");
    return finish(ok);
  }
  if (command == L"--wait-button" && argc == 4) {
    const bool enabled = std::wstring(argv[2]) == L"on";
    HWND dialog = nullptr;
    const bool ok = waitFor(seconds, [&] {
      dialog = updateDialog();
      return dialog && (IsWindowEnabled(GetDlgItem(dialog, kButtonId)) != FALSE) == enabled;
    });
    if (dialog)
      printDialog(dialog);
    else
      std::printf("dialog: none\n");
    return finish(ok);
  }
  if (command == L"--watch-progress") {
    HWND dialog = updateDialog();
    if (!dialog) {
      std::printf("dialog: none\n");
      return finish(false);
    }
    std::set<long> positions;
    long last = -1;
    ULONGLONG lastMove = GetTickCount64();
    HWND box = nullptr;
    const bool ok = waitFor(seconds, [&] {
      const auto position = static_cast<long>(SendMessageW(GetDlgItem(dialog, kProgressId), PBM_GETPOS, 0, 0));
      positions.insert(position);
      if (position != last) {
        last = position;
        lastMove = GetTickCount64();
      }
      return (box = messageBox()) != nullptr;
    });
    std::printf("progress positions: %zu\n", positions.size());
    std::printf("progress highest: %ld\n", positions.empty() ? 0L : *positions.rbegin());
    std::printf("still before the box ms: %llu\n", static_cast<unsigned long long>(GetTickCount64() - lastMove));
    if (ok) {
      Sleep(200);
      printBox(box);
    } else {
      std::printf("box: none\n");
    }
    return finish(ok);
  }
  std::fprintf(stderr, "dialog_probe: unknown command\n");
  return 2;
}
