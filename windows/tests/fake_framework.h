// A stand-in for the dialog framework: windows are records, message boxes and the file
// dialog are answered by the test, and the system language is what the test sets.
// Thread-safe: the worker raises message boxes while the test reads the records.
#pragma once

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
};

struct FileDialogCall {
  std::string defaultExtension;
  unsigned flags = 0;
  std::string filter;
  WindowHandle owner = nullptr;
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

  // ---- what the dialog did
  Window dialog() const;
  Window control(int id) const;
  std::vector<MessageBoxCall> messageBoxes() const;
  std::vector<FileDialogCall> fileDialogs() const;
  std::vector<DrawnIcon> drawnIcons() const;
  // The string table of the program's resource script.
  const std::map<unsigned, std::string>& stringTable() const { return strings_; }

  // ---- used by the framework stand-in
  WindowHandle createWindow(WindowHandle parent, int id, std::string text);
  WindowHandle findControl(WindowHandle parent, int id) const;
  template <typename F>
  auto withWindow(WindowHandle handle, F&& f) {
    std::lock_guard lock(mutex_);
    return f(windows_.at(handle));
  }
  int answerMessageBox(const MessageBoxCall& call);
  std::optional<std::string> answerFileDialog(const FileDialogCall& call);
  std::uint16_t languageId() const;
  bool iconic() const;
  Size clientSize() const;
  void recordIcon(const DrawnIcon& drawn);
  void eraseIconBackground();

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
};

}  // namespace morvik::win::fake
