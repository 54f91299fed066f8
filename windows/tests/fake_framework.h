// A stand-in for the dialog framework: windows are records, message boxes and the file
// dialog are answered by the test, and the system language is what the test sets.
// Thread-safe: the worker raises message boxes while the test reads the records.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "framework/dialog_framework.h"

namespace morvik::win::fake {

struct Window {
  WindowHandle parent = nullptr;
  int id = 0;
  std::string text;
  bool visible = true;
  bool enabled = true;
  std::intptr_t progressRange = 0;
  std::uintptr_t progressPos = 0;
  std::map<std::uintptr_t, std::intptr_t> icons;  // by WM_SETICON kind
};

struct MessageBoxCall {
  std::string text;
  std::string caption;
  unsigned type = 0;
  WindowHandle owner = nullptr;
  bool inApartment = false;  // raised on a thread with COM initialised
};

struct FileDialogCall {
  std::string defaultExtension;
  unsigned flags = 0;
  std::string filter;
  WindowHandle owner = nullptr;
  bool inApartment = false;
};

struct DrawnIcon {
  int x = 0;
  int y = 0;
  IconHandle icon = nullptr;
  bool backgroundErased = false;
};

class Desktop {
 public:
  static Desktop& instance();
  void reset(std::uint16_t languageId);

  // ---- what the test sets
  void setLanguage(std::uint16_t languageId);
  // Called on the thread that raises the box; the default answers OK.
  void onMessageBox(std::function<int(const MessageBoxCall&)> answer);
  // The default cancels the dialog.
  void onFileDialog(std::function<std::optional<std::string>(const FileDialogCall&)> answer);
  void setIconic(bool iconic, Size client);
  // Destroys the dialog's window as the platform does once the dialog has ended: WM_DESTROY,
  // then the handle is cleared (WM_NCDESTROY) and the window and its controls are gone.
  void destroyDialog(CDialog& dialog);
  // For an answer that leaves its box or file dialog open: waits until the program closes the
  // calling thread's dialogs (CloseThreadDialogs) or `limit` passes; true when it closed them.
  bool stayOpenUntilClosed(std::chrono::milliseconds limit);
  // How many boxes and file dialogs wait in stayOpenUntilClosed now.
  int dialogsKeptOpen() const;

  // ---- what the dialog did
  Window dialog() const;
  Window control(int id) const;
  std::vector<MessageBoxCall> messageBoxes() const;
  std::vector<FileDialogCall> fileDialogs() const;
  std::vector<DrawnIcon> drawnIcons() const;
  int openApartments() const;  // COM apartments opened and not yet closed
  // The string table of the program's resource script.
  const std::map<unsigned, std::string>& stringTable() const { return strings_; }

  // ---- used by the framework stand-in
  WindowHandle createWindow(WindowHandle parent, int id, std::string text);
  WindowHandle findControl(WindowHandle parent, int id) const;
  // Calls on a window that is gone do nothing, as the platform's do.
  template <typename F>
  void withWindow(WindowHandle handle, F&& f) {
    std::lock_guard lock(mutex_);
    const auto found = windows_.find(handle);
    if (found != windows_.end()) f(found->second);
  }
  int answerMessageBox(const MessageBoxCall& call);
  std::optional<std::string> answerFileDialog(const FileDialogCall& call);
  std::uint16_t languageId() const;
  bool iconic() const;
  Size clientSize() const;
  void recordIcon(const DrawnIcon& drawn);
  void eraseIconBackground();
  void openApartment(int change);
  void closeThreadDialogs(std::uint32_t threadId);

 private:
  Desktop();
  mutable std::mutex mutex_;
  std::map<WindowHandle, Window> windows_;
  std::uintptr_t nextHandle_ = 1;
  WindowHandle dialog_ = nullptr;
  std::uint16_t languageId_ = 0x0409;
  std::function<int(const MessageBoxCall&)> messageBoxAnswer_;
  std::function<std::optional<std::string>(const FileDialogCall&)> fileDialogAnswer_;
  std::vector<MessageBoxCall> messageBoxes_;
  std::vector<FileDialogCall> fileDialogs_;
  std::vector<DrawnIcon> drawnIcons_;
  bool iconic_ = false;
  bool backgroundErased_ = false;
  Size client_{};
  std::map<unsigned, std::string> strings_;
  int openApartments_ = 0;
  std::map<std::uint32_t, unsigned> closeRequests_;  // by thread
  int dialogsKeptOpen_ = 0;
  std::condition_variable closed_;
};

}  // namespace morvik::win::fake
