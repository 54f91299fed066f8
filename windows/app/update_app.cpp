// CUpdateApp: the program's application object. It shows the update dialog modally and ends
// the program when the dialog closes.
#include "app/wide_image_files.h"
#include "dialog/update_dlg.h"
#include "hid/hid_platform_win32.h"

namespace morvik::win {
namespace {

class CUpdateApp final : public CWinApp {
 public:
  bool InitInstance() override {
    Win32HidPlatform hid;
    WideImageFiles imageFiles;
    CUpdateDlg dialog(UpdateDlgServices{hid, &imageFiles});
    m_pMainWnd = &dialog;
    dialog.DoModal();
    m_pMainWnd = nullptr;
    return false;  // no message loop of its own: the program ends here
  }
};

CUpdateApp theApp;

}  // namespace
}  // namespace morvik::win
