#include "tests/fake_framework.h"

#include <atomic>
#include <regex>
#include <sstream>

#include "resource_script.h"  // kResourceScript: the program's .rc, generated at configure time

namespace morvik::win {
namespace {

fake::Desktop& desktop() { return fake::Desktop::instance(); }

thread_local int t_apartmentDepth = 0;
std::atomic<std::uint32_t> g_nextThreadId{1};
thread_local std::uint32_t t_threadId = 0;

// The STRINGTABLE entries of a resource script: `id, "text"` lines, with the script's escapes.
std::map<unsigned, std::string> parseStringTable(const std::string& script) {
  std::map<unsigned, std::string> table;
  std::istringstream lines(script);
  const std::regex entry(R"re(^\s*(\d+)\s*,?\s*"(.*)"\s*$)re");
  bool inTable = false;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("STRINGTABLE", 0) == 0) inTable = true;
    if (line.rfind("END", 0) == 0) inTable = false;
    std::smatch match;
    if (!inTable || !std::regex_match(line, match, entry)) continue;
    std::string text;
    const std::string raw = match[2];
    for (std::size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] == '"' && i + 1 < raw.size() && raw[i + 1] == '"') {
        text += '"';
        ++i;
      } else if (raw[i] == '\\' && i + 1 < raw.size()) {
        const char c = raw[++i];
        text += c == 'r' ? '\r' : c == 'n' ? '\n' : c == 't' ? '\t' : c;
      } else {
        text += raw[i];
      }
    }
    table[static_cast<unsigned>(std::stoul(match[1]))] = text;
  }
  return table;
}

}  // namespace

namespace fake {

Desktop::Desktop() : strings_(parseStringTable(kResourceScript)) {}

Desktop& Desktop::instance() {
  static Desktop desktop;
  return desktop;
}

void Desktop::reset(std::uint16_t languageId) {
  std::lock_guard lock(mutex_);
  windows_.clear();
  dialog_ = nullptr;
  languageId_ = languageId;
  messageBoxAnswer_ = nullptr;
  fileDialogAnswer_ = nullptr;
  messageBoxes_.clear();
  fileDialogs_.clear();
  drawnIcons_.clear();
  iconic_ = false;
  backgroundErased_ = false;
  client_ = {};
  openApartments_ = 0;
  closeRequests_.clear();
}

void Desktop::setLanguage(std::uint16_t languageId) {
  std::lock_guard lock(mutex_);
  languageId_ = languageId;
}

void Desktop::onMessageBox(std::function<int(const MessageBoxCall&)> answer) {
  std::lock_guard lock(mutex_);
  messageBoxAnswer_ = std::move(answer);
}

void Desktop::onFileDialog(std::function<std::optional<std::string>(const FileDialogCall&)> answer) {
  std::lock_guard lock(mutex_);
  fileDialogAnswer_ = std::move(answer);
}

void Desktop::setIconic(bool iconic, Size client) {
  std::lock_guard lock(mutex_);
  iconic_ = iconic;
  client_ = client;
}

void Desktop::destroyDialog(CDialog& dialog) {
  std::intptr_t result = 0;
  dialog.OnWndMsg(kWmDestroy, 0, 0, result);
  const WindowHandle handle = dialog.GetSafeHwnd();
  dialog.Attach(nullptr);
  std::lock_guard lock(mutex_);
  std::erase_if(windows_, [&](const auto& entry) { return entry.first == handle || entry.second.parent == handle; });
}

bool Desktop::stayOpenUntilClosed(std::chrono::milliseconds limit) {
  const std::uint32_t thread = CurrentThreadId();
  std::unique_lock lock(mutex_);
  const unsigned before = closeRequests_[thread];
  ++dialogsKeptOpen_;
  const bool closed = closed_.wait_for(lock, limit, [&] { return closeRequests_[thread] != before; });
  --dialogsKeptOpen_;
  return closed;
}

int Desktop::dialogsKeptOpen() const {
  std::lock_guard lock(mutex_);
  return dialogsKeptOpen_;
}

void Desktop::closeThreadDialogs(std::uint32_t threadId) {
  {
    std::lock_guard lock(mutex_);
    ++closeRequests_[threadId];
  }
  closed_.notify_all();
}

int Desktop::openApartments() const {
  std::lock_guard lock(mutex_);
  return openApartments_;
}

void Desktop::openApartment(int change) {
  std::lock_guard lock(mutex_);
  openApartments_ += change;
}

Window Desktop::dialog() const {
  std::lock_guard lock(mutex_);
  return windows_.at(dialog_);
}

Window Desktop::control(int id) const {
  std::lock_guard lock(mutex_);
  for (const auto& [handle, window] : windows_)
    if (window.parent == dialog_ && window.id == id) return window;
  throw std::out_of_range("no such control");
}

std::vector<MessageBoxCall> Desktop::messageBoxes() const {
  std::lock_guard lock(mutex_);
  return messageBoxes_;
}

std::vector<FileDialogCall> Desktop::fileDialogs() const {
  std::lock_guard lock(mutex_);
  return fileDialogs_;
}

std::vector<DrawnIcon> Desktop::drawnIcons() const {
  std::lock_guard lock(mutex_);
  return drawnIcons_;
}

WindowHandle Desktop::createWindow(WindowHandle parent, int id, std::string text) {
  std::lock_guard lock(mutex_);
  const auto handle = reinterpret_cast<WindowHandle>(nextHandle_++);
  windows_[handle] = Window{parent, id, std::move(text), true, true, 0, 0, {}};
  if (!parent) dialog_ = handle;
  return handle;
}

WindowHandle Desktop::findControl(WindowHandle parent, int id) const {
  std::lock_guard lock(mutex_);
  for (const auto& [handle, window] : windows_)
    if (window.parent == parent && window.id == id) return handle;
  return nullptr;
}

int Desktop::answerMessageBox(const MessageBoxCall& call) {
  std::function<int(const MessageBoxCall&)> answer;
  {
    std::lock_guard lock(mutex_);
    messageBoxes_.push_back(call);
    answer = messageBoxAnswer_;
  }
  return answer ? answer(call) : kIdOk;
}

std::optional<std::string> Desktop::answerFileDialog(const FileDialogCall& call) {
  std::function<std::optional<std::string>(const FileDialogCall&)> answer;
  {
    std::lock_guard lock(mutex_);
    fileDialogs_.push_back(call);
    answer = fileDialogAnswer_;
  }
  return answer ? answer(call) : std::nullopt;
}

std::uint16_t Desktop::languageId() const {
  std::lock_guard lock(mutex_);
  return languageId_;
}

bool Desktop::iconic() const {
  std::lock_guard lock(mutex_);
  return iconic_;
}

Size Desktop::clientSize() const {
  std::lock_guard lock(mutex_);
  return client_;
}

void Desktop::eraseIconBackground() {
  std::lock_guard lock(mutex_);
  backgroundErased_ = true;
}

void Desktop::recordIcon(const DrawnIcon& drawn) {
  std::lock_guard lock(mutex_);
  drawnIcons_.push_back(drawn);
  drawnIcons_.back().backgroundErased = backgroundErased_;
}

}  // namespace fake

// ---------------------------------------------------------------- the framework, on records

CWnd* CWnd::GetDlgItem(int id) {
  auto& child = m_children[id];
  if (!child) {
    const WindowHandle handle = desktop().findControl(m_hWnd, id);
    if (!handle) return nullptr;
    child = std::make_unique<CWnd>(handle);
  }
  return child.get();
}

void CWnd::SetWindowText(const std::string& text) {
  desktop().withWindow(m_hWnd, [&](fake::Window& w) { w.text = text; });
}

void CWnd::ShowWindow(bool show) {
  desktop().withWindow(m_hWnd, [&](fake::Window& w) { w.visible = show; });
}

void CWnd::EnableWindow(bool enable) {
  desktop().withWindow(m_hWnd, [&](fake::Window& w) { w.enabled = enable; });
}

bool CWnd::IsIconic() const { return desktop().iconic(); }

Size CWnd::GetClientSize() const { return desktop().clientSize(); }

std::intptr_t CWnd::SendMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
  if (message == kWmIconEraseBkgnd) {
    desktop().eraseIconBackground();
    return 0;
  }
  desktop().withWindow(m_hWnd, [&](fake::Window& w) {
    if (message == kPbmSetRange) w.progressRange = lParam;
    if (message == kPbmSetPos) w.progressPos = wParam;
    if (message == kWmSetIcon) w.icons[wParam] = lParam;
  });
  return 0;
}

int CWnd::MessageBox(const std::string& text, const std::string& caption, unsigned type) {
  return desktop().answerMessageBox({text, caption, type, m_hWnd, t_apartmentDepth > 0});
}

// Opens the dialog and initialises it; the test then drives it and ends it by destroying it.
std::intptr_t CDialog::DoModal() {
  auto& d = desktop();
  m_hWnd = d.createWindow(nullptr, 0, "Morvik GamePad ");
  d.createWindow(m_hWnd, 1003, "");
  d.createWindow(m_hWnd, 1007, "USB_Update");
  d.createWindow(m_hWnd, -1, "Firmware upgraded!");
  d.createWindow(m_hWnd, 1008, "\xE9\x9D\x99\xE6\x80\x81");
  OnInitDialog();
  return kIdOk;
}

std::intptr_t CFileDialog::DoModal() {
  const auto path = desktop().answerFileDialog(
      {m_DefaultExtension, m_nFlags, m_Filter, m_pParent ? m_pParent->GetSafeHwnd() : nullptr, t_apartmentDepth > 0});
  if (!path || !m_bOpenFileDialog) return kIdCancel;
  m_PathName = *path;
  return kIdOk;
}

CComApartment::CComApartment() : m_bInitialised(true) {
  ++t_apartmentDepth;
  desktop().openApartment(1);
}

CComApartment::~CComApartment() {
  if (!m_bInitialised) return;
  --t_apartmentDepth;
  desktop().openApartment(-1);
}

std::uint32_t CurrentThreadId() {
  if (t_threadId == 0) t_threadId = g_nextThreadId++;
  return t_threadId;
}

void CloseThreadDialogs(std::uint32_t threadId) { desktop().closeThreadDialogs(threadId); }

CPaintDC::CPaintDC(CWnd* window) : m_pWindow(window), m_hDC(reinterpret_cast<DeviceContext>(0xDC)) {}
CPaintDC::~CPaintDC() = default;

void CPaintDC::DrawIcon(int x, int y, IconHandle icon) { desktop().recordIcon({x, y, icon}); }

std::uint16_t GetSystemDefaultLangID() { return desktop().languageId(); }

std::string LoadResourceString(unsigned id) {
  const auto& table = desktop().stringTable();
  const auto found = table.find(id);
  return found == table.end() ? std::string{} : found->second;
}

IconHandle LoadAppIcon(unsigned id) { return reinterpret_cast<IconHandle>(static_cast<std::uintptr_t>(id)); }

Size GetIconSize() { return {32, 32}; }

}  // namespace morvik::win
