// The dialog framework over the Win32 API, wide-character calls throughout.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <objbase.h>
// The framework's own member names; the platform's are called by their W names here.
#undef SetWindowText
#undef MessageBox
#undef SendMessage

#include <cwchar>
#include <vector>

#include "framework/dialog_framework.h"
#include "framework/utf16.h"

namespace morvik::win {
namespace {

HWND hwnd(WindowHandle handle) { return static_cast<HWND>(handle); }
HINSTANCE instance() { return GetModuleHandleW(nullptr); }
LPCWSTR resourceName(unsigned id) { return reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(id)); }

CWinApp* g_pApp = nullptr;

INT_PTR CALLBACK dialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    auto* dialog = reinterpret_cast<CDialog*>(lParam);
    dialog->Attach(window);
    return dialog->OnInitDialog() ? TRUE : FALSE;
  }
  auto* dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrW(window, DWLP_USER));
  if (!dialog) return FALSE;
  std::intptr_t result = 0;
  if (dialog->OnWndMsg(message, wParam, lParam, result)) {
    if (message == WM_QUERYDRAGICON) return result;  // returned directly, not through DWLP_MSGRESULT
    SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
    return TRUE;
  }
  // OK and Cancel (Enter, Esc, the close box) end the dialog.
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    EndDialog(window, LOWORD(wParam));
    return TRUE;
  }
  if (message == WM_NCDESTROY) dialog->Attach(nullptr);
  return FALSE;
}

}  // namespace

CWnd* CWnd::GetDlgItem(int id) {
  auto& child = m_children[id];
  if (!child) {
    HWND control = ::GetDlgItem(hwnd(m_hWnd), id);
    if (!control) return nullptr;
    child = std::make_unique<CWnd>(control);
  }
  return child.get();
}

void CWnd::SetWindowText(const std::string& text) { SetWindowTextW(hwnd(m_hWnd), widen(text).c_str()); }

void CWnd::ShowWindow(bool show) { ::ShowWindow(hwnd(m_hWnd), show ? SW_SHOW : SW_HIDE); }
void CWnd::EnableWindow(bool enable) { ::EnableWindow(hwnd(m_hWnd), enable ? TRUE : FALSE); }
bool CWnd::IsIconic() const { return ::IsIconic(hwnd(m_hWnd)) != FALSE; }

Size CWnd::GetClientSize() const {
  RECT client{};
  ::GetClientRect(hwnd(m_hWnd), &client);
  return {client.right - client.left, client.bottom - client.top};
}

std::intptr_t CWnd::SendMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
  return SendMessageW(hwnd(m_hWnd), message, wParam, lParam);
}

int CWnd::MessageBox(const std::string& text, const std::string& caption, unsigned type) {
  return MessageBoxW(hwnd(m_hWnd), widen(text).c_str(), widen(caption).c_str(), type);
}

std::intptr_t CDialog::DoModal() {
  // The template holds a progress bar: its window class comes with the common controls.
  const INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&classes);
  return DialogBoxParamW(instance(), resourceName(m_nTemplateId), m_pParent ? hwnd(m_pParent->GetSafeHwnd()) : nullptr,
                         dialogProcedure, reinterpret_cast<LPARAM>(this));
}

std::intptr_t CFileDialog::DoModal() {
  std::wstring filter = widen(m_Filter);
  for (auto& c : filter)
    if (c == L'|') c = L'\0';
  const std::wstring defaultExtension = widen(m_DefaultExtension);
  // Room for long paths: a path cut short would name another file.
  std::vector<wchar_t> path(32768, L'\0');
  const std::wstring initial = widen(m_PathName);
  std::copy(initial.begin(), initial.end(), path.begin());

  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = m_pParent ? hwnd(m_pParent->GetSafeHwnd()) : nullptr;
  dialog.lpstrFilter = filter.c_str();
  dialog.lpstrFile = path.data();
  dialog.nMaxFile = static_cast<DWORD>(path.size());
  dialog.lpstrDefExt = defaultExtension.c_str();
  dialog.Flags = m_nFlags | OFN_EXPLORER;
  const BOOL chosen = m_bOpenFileDialog ? GetOpenFileNameW(&dialog) : GetSaveFileNameW(&dialog);
  if (!chosen) return kIdCancel;
  m_PathName = narrow(std::wstring(path.data()));
  return kIdOk;
}

CComApartment::CComApartment() : m_bInitialised(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}

CComApartment::~CComApartment() {
  if (m_bInitialised) CoUninitialize();
}

std::uint32_t CurrentThreadId() { return ::GetCurrentThreadId(); }

namespace {

// Message boxes and the open-file dialog are dialogs: the class #32770.
BOOL CALLBACK closeDialogWindow(HWND window, LPARAM) {
  wchar_t className[8] = {};
  if (IsWindowVisible(window) && GetClassNameW(window, className, 8) > 0 && std::wcscmp(className, L"#32770") == 0)
    PostMessageW(window, WM_CLOSE, 0, 0);
  return TRUE;
}

}  // namespace

void CloseThreadDialogs(std::uint32_t threadId) { EnumThreadWindows(threadId, closeDialogWindow, 0); }

CPaintDC::CPaintDC(CWnd* window)
    : m_pWindow(window), m_PaintState(std::make_unique<std::uint8_t[]>(sizeof(PAINTSTRUCT))) {
  m_hDC = BeginPaint(hwnd(window->GetSafeHwnd()), reinterpret_cast<PAINTSTRUCT*>(m_PaintState.get()));
}

CPaintDC::~CPaintDC() { EndPaint(hwnd(m_pWindow->GetSafeHwnd()), reinterpret_cast<PAINTSTRUCT*>(m_PaintState.get())); }

void CPaintDC::DrawIcon(int x, int y, IconHandle icon) {
  ::DrawIcon(static_cast<HDC>(m_hDC), x, y, static_cast<HICON>(icon));
}

CWinApp::CWinApp() { g_pApp = this; }
CWinApp::~CWinApp() { g_pApp = nullptr; }
CWinApp* AfxGetApp() { return g_pApp; }

std::uint16_t GetSystemDefaultLangID() { return ::GetSystemDefaultLangID(); }

std::string LoadResourceString(unsigned id) {
  // With a length of 0 the platform hands out the resource's own text, whatever its length.
  const wchar_t* text = nullptr;
  const int length = LoadStringW(instance(), id, reinterpret_cast<LPWSTR>(&text), 0);
  return narrow(text, length);
}

IconHandle LoadAppIcon(unsigned id) { return LoadIconW(instance(), resourceName(id)); }

Size GetIconSize() { return {GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON)}; }

}  // namespace morvik::win

// The program's entry: the application object runs its dialog; when InitInstance returns the
// program ends.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  morvik::win::CWinApp* app = morvik::win::AfxGetApp();
  if (app) app->InitInstance();
  return 0;
}
