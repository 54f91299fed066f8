#include "dialog/update_dlg.h"

#include "dialog/dialog_texts.h"

namespace morvik::win {
namespace {

double hundredths(std::uint32_t version) { return static_cast<double>(version) / 100.0; }

}  // namespace

CUpdateDlg::CUpdateDlg(UpdateDlgServices services, CWnd* parent)
    : CDialog(kIddUpdateDialog, parent),
      m_Hid(services.hid),
      m_hIcon(LoadAppIcon(kIdrMainIcon)),
      m_Engine(FrontEndForm::Polling, *this, services.imageFiles, services.timing) {}

// The worker must not outlive the dialog, its controls or the pad link: it is stopped here,
// while all of them still exist, and no further message box or file dialog is raised.
CUpdateDlg::~CUpdateDlg() { stopWorker(); }

// A worker inside a message box or the file dialog ends only when that window does: one raised
// just before the closing began (the user has not answered it, or the window's owner is already
// gone) is closed, again and again until the worker has ended.
void CUpdateDlg::stopWorker() {
  m_bClosing = true;
  m_workerStop.request_stop();
  if (!m_hWorkerThread.joinable()) return;
  while (m_bWorkerRunning) {
    if (const std::uint32_t worker = m_nWorkerThreadId) CloseThreadDialogs(worker);
    std::this_thread::sleep_for(kWorkerDialogPoll);
  }
  m_hWorkerThread.join();
}

// The window's handle is cleared once it is destroyed: no message box may be raised from here
// on, or it would have no owner and hold the worker, and with it the closing.
void CUpdateDlg::OnDestroy() {
  m_bClosing = true;
  m_workerStop.request_stop();
}

bool CUpdateDlg::OnWndMsg(unsigned message, std::uintptr_t wParam, std::intptr_t lParam, std::intptr_t& result) {
  switch (message) {
    case kWmPaint: return OnPaint();
    case kWmDestroy: OnDestroy(); return false;  // the framework goes on destroying the window
    case kWmQueryDragIcon: result = reinterpret_cast<std::intptr_t>(OnQueryDragIcon()); return true;
    case kWmDeviceChange: result = OnDeviceChange(wParam, lParam); return true;
    case kWmCommand:
      if ((wParam & 0xFFFF) == static_cast<std::uint16_t>(kIdcUpdateButton) && (wParam >> 16) == kBnClicked) {
        OnUsbUpdate();
        result = 0;
        return true;
      }
      return false;
    default: return false;
  }
}

bool CUpdateDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SendMessage(kWmSetIcon, kIconBig, reinterpret_cast<std::intptr_t>(m_hIcon));
  SendMessage(kWmSetIcon, kIconSmall, reinterpret_cast<std::intptr_t>(m_hIcon));

  m_pUpdateButton = GetDlgItem(kIdcUpdateButton);
  m_pProgress = GetDlgItem(kIdcProgress);
  m_pSuccessLabel = GetDlgItem(kIdcSuccessLabel);
  m_pInstructions = GetDlgItem(kIdcInstructions);
  m_pSuccessLabel->ShowWindow(false);
  m_pSuccessLabel->SetWindowText(LoadText(TextIndex::Upgraded));
  m_pInstructions->SetWindowText(LoadText(TextIndex::Instructions));
  m_pProgress->SendMessage(kPbmSetRange, 0, 100 << 16);
  m_pProgress->SendMessage(kPbmSetPos, 0);

  m_Engine.updateInit();  // no image open, all counts 0, no update running
  m_pUpdateButton->SetWindowText(LoadText(TextIndex::UpdateButton));
  m_Hid.m_hNotifyWnd = GetSafeHwnd();

  if (m_Hid.CheckDevice()) {
    m_pUpdateButton->EnableWindow(true);
    queryVersion();  // bounded by the engine, so a silent pad cannot hold the dialog
  } else {
    m_pUpdateButton->EnableWindow(false);
  }
  return true;
}

// The version query reads the pad on this thread. It never runs beside an update's worker
// (both would read the same pad), nor inside itself when a message box it raised lets another
// device-change notification through.
void CUpdateDlg::queryVersion() {
  if (m_bQueryingVersion || IsUpdating()) return;
  m_bQueryingVersion = true;
  m_Engine.QueryDeviceVersion(m_Hid);
  m_bQueryingVersion = false;
}

void CUpdateDlg::OnUsbUpdate() {
  // A running update keeps the pad: a second click (the button comes back once the image
  // is sent) must not start a second reader.
  if (IsUpdating() || m_bQueryingVersion) return;
  m_pSuccessLabel->ShowWindow(false);
  if (!m_Hid.OpenReadWrite()) {
    // Pulled out a moment ago, or held by another program: the click is answered, and the
    // button follows the pad.
    RefreshUpdateButton();
    onUpdateFailed(UpdateFailure::PadGone);
    return;
  }
  m_pUpdateButton->EnableWindow(false);
  m_pProgress->SendMessage(kPbmSetPos, 0);
  if (m_hWorkerThread.joinable()) m_hWorkerThread.join();  // the last worker has already ended
  m_nWorkerThreadId = 0;
  m_bWorkerRunning = true;
  m_hWorkerThread = std::thread([this, stop = m_workerStop.get_token()] { runWorker(stop); });
}

void CUpdateDlg::runWorker(StopToken stop) {
  m_nWorkerThreadId = CurrentThreadId();
  {
    const CComApartment apartment;  // for the open-file dialog and the message boxes
    const ReaderOutcome outcome = m_Engine.ReaderLoop(m_Hid, stop);
    // When the first send fails the pad is gone or does not take the pad's reports; the button
    // then follows the pad rather than staying disabled until the next device-change
    // notification, and the user who clicked is told the update failed.
    if (outcome != ReaderOutcome::Stopped) RefreshUpdateButton();
    if (outcome == ReaderOutcome::BeginFailed) onUpdateFailed(UpdateFailure::WriteFailed);
  }
  m_bWorkerRunning = false;
}

void CUpdateDlg::RefreshUpdateButton() { m_pUpdateButton->EnableWindow(m_Hid.CheckDevice()); }

bool CUpdateDlg::OnDeviceChange(std::uintptr_t eventType, std::intptr_t) {
  const auto event = eventType & 0xFFFF;
  if (event != kDbtDevNodesChanged && event != kDbtDeviceArrival && event != kDbtDeviceRemoveComplete) return true;
  const bool found = m_Hid.CheckDevice();
  if (found) {
    // During an update the button stays as the update left it; the worker sets it at its end.
    if (event == kDbtDeviceRemoveComplete || IsUpdating()) return true;
    m_pUpdateButton->EnableWindow(true);
    if (event == kDbtDeviceArrival) queryVersion();
  } else if (event != kDbtDeviceArrival) {
    m_pUpdateButton->EnableWindow(false);
    SetWindowText(LoadText(TextIndex::ToolName));
  }
  return true;
}

bool CUpdateDlg::OnPaint() {
  if (!IsIconic()) return false;
  CPaintDC dc(this);
  SendMessage(kWmIconEraseBkgnd, reinterpret_cast<std::uintptr_t>(dc.GetSafeHdc()));
  const Size icon = GetIconSize();
  const Size client = GetClientSize();
  dc.DrawIcon((client.cx - icon.cx + 1) / 2, (client.cy - icon.cy + 1) / 2, m_hIcon);
  return true;
}

// ---------------------------------------------------------------- what the engine tells

int CUpdateDlg::showMessage(const std::string& text, unsigned type) {
  if (m_bClosing) return 0;  // the dialog is going away: nobody is left to answer
  return MessageBox(text, LoadText(TextIndex::ToolName), type);
}

void CUpdateDlg::onDeviceVersion(std::uint32_t version) {
  SetWindowText(formatText("%s(GamePad V%0.2f)", LoadText(TextIndex::ToolName).c_str(), hundredths(version)));
}

void CUpdateDlg::onFactoryVersion() {
  showMessage(formatText("%s", LoadText(TextIndex::UpgradeToLatest).c_str()), kMbOk);
}

void CUpdateDlg::onNotInBootMode() {
  showMessage(formatText("%s\n", LoadText(TextIndex::NotInBootMode).c_str()), kMbOk);
}

std::optional<std::string> CUpdateDlg::chooseImageFile() {
  if (m_bClosing) return std::nullopt;
  CFileDialog dialog(true, "*.*", "", kOfnHideReadOnly | kOfnOverwritePrompt,
                     LoadText(TextIndex::FileType) + "(*.dat)|*.dat||", this);
  if (dialog.DoModal() != kIdOk) return std::nullopt;
  return dialog.GetPathName();
}

// Only an explicit OK confirms: a box that could not be shown does not start an update.
// A pad with its factory firmware, or one whose version never came, has no version to show.
Confirmation CUpdateDlg::confirmImage(std::uint32_t imageVersion, std::uint32_t padVersion) {
  const std::string newFirmware = LoadText(TextIndex::NewFirmware);
  const bool padVersionKnown = padVersion != kFactoryVersion && padVersion != kVersionUnknown;
  const std::string text = padVersionKnown
                               ? formatText("%s %.02f %s %.02f\n", newFirmware.c_str(), hundredths(imageVersion),
                                            LoadText(TextIndex::CurrentIs).c_str(), hundredths(padVersion))
                               : formatText("%s %.02f\n", newFirmware.c_str(), hundredths(imageVersion));
  // A file that goes on past its header's length is likely not the image the user meant.
  std::string question = text;
  if (m_Engine.imageLongerThanItsHeaderSays())
    question.append("\n").append(LoadText(TextIndex::LongerThanHeader)).append("\n");
  return showMessage(question, kMbOkCancel) == kIdOk ? Confirmation::Ok : Confirmation::Cancel;
}

// An image that cannot be read ends the update: the user is told it failed.
void CUpdateDlg::onImageUnreadable(ImageProblem) {
  showMessage(formatText("%s\n", LoadText(TextIndex::UpdateFailure).c_str()), kMbOk);
}

void CUpdateDlg::onProgress(std::int32_t percent) {
  m_pProgress->SendMessage(kPbmSetPos, static_cast<std::uintptr_t>(percent));
}

void CUpdateDlg::onImageSent() { m_pUpdateButton->EnableWindow(true); }

void CUpdateDlg::onUpdateSucceeded() {
  showMessage(formatText("\n %s \n", LoadText(TextIndex::Upgraded).c_str()), kMbOk);
  m_pSuccessLabel->ShowWindow(true);
  m_pProgress->SendMessage(kPbmSetPos, 0);
}

void CUpdateDlg::onUpdateFailed(UpdateFailure) {
  showMessage(formatText("%s\n", LoadText(TextIndex::UpdateFailure).c_str()), kMbOk);
  if (m_Hid.m_bDeviceFound == 1) m_pUpdateButton->EnableWindow(true);
}

}  // namespace morvik::win
