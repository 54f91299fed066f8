// CUpdateDlg: the program's one window. It owns the pad link, follows the pad's arrival and
// removal, runs an update on a worker thread, and shows what the engine tells it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>

#include "framework/dialog_framework.h"
#include "hid/chid.h"
#include "morvik/stop_signal.h"
#include "morvik/update_engine.h"

namespace morvik::win {

inline constexpr unsigned kIddUpdateDialog = 102;
inline constexpr unsigned kIdrMainIcon = 152;
inline constexpr int kIdcProgress = 1003;
inline constexpr int kIdcUpdateButton = 1007;
inline constexpr int kIdcInstructions = 1008;
inline constexpr int kIdcSuccessLabel = -1;

inline constexpr std::uintptr_t kDbtDevNodesChanged = 0x0007;
inline constexpr std::uintptr_t kDbtDeviceArrival = 0x8000;
inline constexpr std::uintptr_t kDbtDeviceRemoveComplete = 0x8004;

// What the dialog is built on: the platform's HID services, the image files and the engine's timing.
struct UpdateDlgServices {
  HidPlatform& hid;
  ImageFiles* imageFiles = nullptr;
  ReaderTiming timing = {};
};

class CUpdateDlg final : public CDialog, private UpdateObserver {
 public:
  explicit CUpdateDlg(UpdateDlgServices services, CWnd* parent = nullptr);
  ~CUpdateDlg() override;

  bool OnWndMsg(unsigned message, std::uintptr_t wParam, std::intptr_t lParam, std::intptr_t& result) override;
  bool OnInitDialog() override;
  void OnUsbUpdate();
  bool OnDeviceChange(std::uintptr_t eventType, std::intptr_t eventData);
  bool OnPaint();
  void OnDestroy();
  IconHandle OnQueryDragIcon() const { return m_hIcon; }
  void RefreshUpdateButton();

  // Whether an update's worker is running.
  bool IsUpdating() const { return m_bWorkerRunning; }
  UpdateEngine& Engine() { return m_Engine; }
  CHid& Hid() { return m_Hid; }

 private:
  // UpdateObserver: raised on the worker during an update, on the dialog's thread for the version.
  void onDeviceVersion(std::uint32_t version) override;
  void onFactoryVersion() override;
  void onNotInBootMode() override;
  std::optional<std::string> chooseImageFile() override;
  Confirmation confirmImage(std::uint32_t imageVersion, std::uint32_t padVersion) override;
  void onUpdateCancelled() override {}
  void onImageUnreadable(ImageProblem problem) override;
  void onProgress(std::int32_t percent) override;
  void onImageSent() override;
  void onUpdateSucceeded() override;
  void onUpdateFailed(UpdateFailure cause) override;

  void queryVersion();
  void runWorker(StopToken stop);
  void stopWorker();
  static constexpr std::chrono::milliseconds kWorkerDialogPoll{20};
  int showMessage(const std::string& text, unsigned type);

  CHid m_Hid;
  IconHandle m_hIcon;
  UpdateEngine m_Engine;
  CWnd* m_pUpdateButton = nullptr;
  CWnd* m_pProgress = nullptr;
  CWnd* m_pSuccessLabel = nullptr;
  CWnd* m_pInstructions = nullptr;
  std::atomic<bool> m_bWorkerRunning{false};
  std::atomic<bool> m_bClosing{false};              // set once the window is being destroyed
  std::atomic<std::uint32_t> m_nWorkerThreadId{0};  // the platform's id of the running worker
  bool m_bQueryingVersion = false;                  // dialog's thread only
  StopSource m_workerStop;                          // asked once, when the dialog goes away
  std::thread m_hWorkerThread;                      // last: stopped before anything it uses goes away
};

}  // namespace morvik::win
