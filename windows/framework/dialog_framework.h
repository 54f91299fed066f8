// The program's small dialog framework: the classes the updater is written against
// (CWinApp, CDialog, CWnd, CFileDialog, CPaintDC), in the style of the usual Windows
// dialog frameworks but holding no more than this program needs.
//
// The header names no platform types, so the dialog's logic builds anywhere. The Win32
// implementation uses the wide-character calls throughout: texts are UTF-8 inside the program
// and reach the screen intact whatever the system's ANSI code page.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>

namespace morvik::win {

using WindowHandle = void*;
using IconHandle = void*;
using DeviceContext = void*;

// Window messages and notification codes this program handles (values as the platform has them).
inline constexpr unsigned kWmDestroy = 0x0002;  // the window is being destroyed; its handle is still valid
inline constexpr unsigned kWmPaint = 0x000F;
inline constexpr unsigned kWmQueryDragIcon = 0x0037;
inline constexpr unsigned kWmCommand = 0x0111;
inline constexpr unsigned kWmDeviceChange = 0x0219;
inline constexpr unsigned kBnClicked = 0;

// Message box types and answers.
inline constexpr unsigned kMbOk = 0x0;
inline constexpr unsigned kMbOkCancel = 0x1;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

// Open-file dialog options.
inline constexpr unsigned kOfnOverwritePrompt = 0x2;
inline constexpr unsigned kOfnHideReadOnly = 0x4;

// Progress-bar messages.
inline constexpr unsigned kPbmSetRange = 0x0401;
inline constexpr unsigned kPbmSetPos = 0x0402;
inline constexpr unsigned kWmIconEraseBkgnd = 0x0027;
inline constexpr unsigned kWmSetIcon = 0x0080;
inline constexpr std::uintptr_t kIconSmall = 0;
inline constexpr std::uintptr_t kIconBig = 1;

struct Size {
  int cx = 0;
  int cy = 0;
};

class CWnd {
 public:
  CWnd() = default;
  explicit CWnd(WindowHandle hWnd) : m_hWnd(hWnd) {}
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;
  virtual ~CWnd() = default;

  WindowHandle GetSafeHwnd() const { return m_hWnd; }
  void Attach(WindowHandle hWnd) { m_hWnd = hWnd; }
  // A child control by its id; the pointer lives as long as this window object.
  CWnd* GetDlgItem(int id);

  void SetWindowText(const std::string& text);
  void ShowWindow(bool show);
  void EnableWindow(bool enable);
  bool IsIconic() const;
  Size GetClientSize() const;
  std::intptr_t SendMessage(unsigned message, std::uintptr_t wParam = 0, std::intptr_t lParam = 0);
  // A modal message box owned by this window; returns kIdOk, kIdCancel, or 0 when it could not be shown.
  int MessageBox(const std::string& text, const std::string& caption, unsigned type);

 protected:
  WindowHandle m_hWnd = nullptr;

 private:
  std::map<int, std::unique_ptr<CWnd>> m_children;
};

class CDialog : public CWnd {
 public:
  explicit CDialog(unsigned templateId, CWnd* parent = nullptr) : m_nTemplateId(templateId), m_pParent(parent) {}

  // Runs the dialog until OK or Cancel (the Esc key, the close box) ends it.
  std::intptr_t DoModal();

  // The message map: returns true when the message was handled, with its result.
  virtual bool OnWndMsg(unsigned /*message*/, std::uintptr_t /*wParam*/, std::intptr_t /*lParam*/,
                        std::intptr_t& /*result*/) {
    return false;
  }
  virtual bool OnInitDialog() { return true; }

 protected:
  unsigned m_nTemplateId;
  CWnd* m_pParent;
};

class CFileDialog {
 public:
  // `filter` lists "label|pattern|" pairs and ends with "|", as in "Images(*.dat)|*.dat||".
  CFileDialog(bool openFileDialog, std::string defaultExtension, std::string fileName, unsigned flags,
              std::string filter, CWnd* parent)
      : m_bOpenFileDialog(openFileDialog),
        m_DefaultExtension(std::move(defaultExtension)),
        m_PathName(std::move(fileName)),
        m_nFlags(flags),
        m_Filter(std::move(filter)),
        m_pParent(parent) {}
  std::intptr_t DoModal();
  std::string GetPathName() const { return m_PathName; }  // UTF-8

 private:
  bool m_bOpenFileDialog;
  std::string m_DefaultExtension;
  std::string m_PathName;
  unsigned m_nFlags;
  std::string m_Filter;
  CWnd* m_pParent;
};

// Painting of one WM_PAINT, begun at construction and ended at destruction.
class CPaintDC {
 public:
  explicit CPaintDC(CWnd* window);
  CPaintDC(const CPaintDC&) = delete;
  CPaintDC& operator=(const CPaintDC&) = delete;
  ~CPaintDC();
  DeviceContext GetSafeHdc() const { return m_hDC; }
  void DrawIcon(int x, int y, IconHandle icon);

 private:
  [[maybe_unused]] CWnd* m_pWindow;  // the substitute framework of the tests paints nothing
  DeviceContext m_hDC = nullptr;
  std::unique_ptr<std::uint8_t[]> m_PaintState;
};

// COM for the calling thread, apartment-threaded, from construction to destruction. A thread
// that shows the open-file dialog or message boxes needs it.
class CComApartment {
 public:
  CComApartment();
  CComApartment(const CComApartment&) = delete;
  CComApartment& operator=(const CComApartment&) = delete;
  ~CComApartment();

 private:
  bool m_bInitialised;  // only an apartment this object opened is closed by it
};

// The calling thread's id, as the platform numbers threads.
std::uint32_t CurrentThreadId();
// Closes the message boxes and file dialogs that the thread `threadId` shows, as their close
// boxes would (a message box answers Cancel, a file dialog is cancelled). Returns at once.
void CloseThreadDialogs(std::uint32_t threadId);

// The application object: exactly one, with static storage; the entry point runs InitInstance.
class CWinApp {
 public:
  CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;
  virtual ~CWinApp();
  virtual bool InitInstance() = 0;

  CWnd* m_pMainWnd = nullptr;
};
CWinApp* AfxGetApp();

// System and resource services.
std::uint16_t GetSystemDefaultLangID();
std::string LoadResourceString(unsigned id);  // UTF-8; empty when the resource is missing
IconHandle LoadAppIcon(unsigned id);
Size GetIconSize();  // the system's icon metrics

}  // namespace morvik::win
