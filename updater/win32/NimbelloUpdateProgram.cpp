// The updater NimbelloUpdate.exe: started when the user clicks the applet's update balloon, it
// opens the product's download page in the user's default browser and ends. It downloads nothing
// and runs nothing of its own: the user sees the vendor's page over TLS and decides there, so
// that no answer of the network can make this program fetch or start anything.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <string>

#include "foundation/base/Guard.h"
#include "foundation/base/win32/SystemLibrary.h"
#include "foundation/base/win32/WideText.h"
#include "foundation/base/win32/Win32DebugOutput.h"
#include "updater/DownloadPage.h"

namespace {

// Browsers and their shell extensions may be COM objects; the shell asks for an apartment
// without OLE 1 DDE.
class ComApartment {
 public:
  ComApartment()
      : initialised_(
            SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  ~ComApartment() {
    if (initialised_) {
      CoUninitialize();
    }
  }

 private:
  bool initialised_;
};

// 0 once the shell has handed the page to the browser, 1 when it could not.
int OpenDownloadPage() {
  const ComApartment apartment;
  const std::wstring page = Wide(DownloadPage);
  SHELLEXECUTEINFOW execute{};
  execute.cbSize = sizeof(execute);
  // The program ends right after the call: the shell must finish handing over first.
  execute.fMask = SEE_MASK_NOASYNC;
  execute.lpVerb = L"open";
  execute.lpFile = page.c_str();
  execute.nShow = SW_SHOWNORMAL;
  return ShellExecuteExW(&execute) ? 0 : 1;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  RestrictDllSearch();
  const ScopedWin32DebugOutput debugOutput;
  return guarded_or(1, OpenDownloadPage);
}
