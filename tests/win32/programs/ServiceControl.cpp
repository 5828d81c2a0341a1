// Drives an installed service for the end-to-end tests, with the control codes that Wine's "sc"
// lacks. Usage: ServiceControl NAME COMMAND... where each command is one of
//   stop | pause | continue | interrogate | code N   send that control code (ControlService)
//   wait STATE MS        poll until the state is STATE (stopped, running, paused, ...) or fail
//   settle MS            poll until one state that is not pending has held for 2 s (stop pending
//                        counts as settled at once)
//   wait stopping MS     poll until the state is stop pending or stopped
//   query                print the current state
//   config               print the registration (QueryServiceConfigW) and the description
//   stoptime MS          send stop, poll until stopped, print the milliseconds it took
//   storm N              N rounds of pause, continue, interrogate, as fast as they are taken
// One output line per command; exit code 0 when every command succeeded, else 1.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "../support/Utf8.h"

namespace {

struct ServiceCloser {
  SC_HANDLE h;
  ~ServiceCloser() {
    if (h != nullptr)
      CloseServiceHandle(h);
  }
};

using wine_test::Utf8;

const wchar_t* StateName(DWORD state) {
  switch (state) {
    case SERVICE_STOPPED:
      return L"stopped";
    case SERVICE_START_PENDING:
      return L"start_pending";
    case SERVICE_STOP_PENDING:
      return L"stop_pending";
    case SERVICE_RUNNING:
      return L"running";
    case SERVICE_CONTINUE_PENDING:
      return L"continue_pending";
    case SERVICE_PAUSE_PENDING:
      return L"pause_pending";
    case SERVICE_PAUSED:
      return L"paused";
    default:
      return L"unknown";
  }
}

void Print(const std::wstring& line) {
  const std::string text = Utf8(line) + "\n";
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

bool Query(SC_HANDLE service, SERVICE_STATUS& status) {
  return QueryServiceStatus(service, &status) != FALSE;
}

std::wstring StatusLine(const SERVICE_STATUS& s) {
  return std::wstring(StateName(s.dwCurrentState)) + L" accepted=" +
         std::to_wstring(s.dwControlsAccepted) + L" checkpoint=" + std::to_wstring(s.dwCheckPoint) +
         L" type=" + std::to_wstring(s.dwServiceType) + L" exit=" +
         std::to_wstring(s.dwWin32ExitCode) + L" waithint=" + std::to_wstring(s.dwWaitHint);
}

bool Control(SC_HANDLE service, DWORD code, const std::wstring& label) {
  SERVICE_STATUS status{};
  if (!ControlService(service, code, &status)) {
    Print(label + L" failed " + std::to_wstring(GetLastError()));
    return false;
  }
  Print(label + L" ok " + StatusLine(status));
  return true;
}

// Stop pending counts as settled: once a stop is taken up, the service is on its way out.
bool Settled(DWORD state) {
  return state != SERVICE_START_PENDING && state != SERVICE_PAUSE_PENDING &&
         state != SERVICE_CONTINUE_PENDING;
}

// Requests still queued behind a reported state keep changing it: between a continue and the next
// queued pause the service really is running for a moment. Settled therefore means one state held
// for longer than the service thread takes to drain its queue several times over.
constexpr ULONGLONG kSettledFor = 2000;

bool WaitFor(SC_HANDLE service, const std::wstring& state, DWORD ms) {
  const ULONGLONG end = GetTickCount64() + ms;
  SERVICE_STATUS status{};
  DWORD held = 0;
  ULONGLONG heldSince = 0;
  for (;;) {
    const bool known = Query(service, status);
    if (known && (held != status.dwCurrentState || heldSince == 0)) {
      held = status.dwCurrentState;
      heldSince = GetTickCount64();
    }
    if (known && (state == L"settled" ? Settled(status.dwCurrentState) &&
                                            (status.dwCurrentState == SERVICE_STOP_PENDING ||
                                             GetTickCount64() - heldSince >= kSettledFor)
                  : state == L"stopping" ? status.dwCurrentState == SERVICE_STOP_PENDING ||
                                               status.dwCurrentState == SERVICE_STOPPED
                                         : state == StateName(status.dwCurrentState))) {
      Print(L"wait " + state + L" ok " + StatusLine(status));
      return true;
    }
    if (GetTickCount64() >= end) {
      Print(L"wait " + state + L" timeout " + StatusLine(status));
      return false;
    }
    Sleep(20);
  }
}

std::wstring Description(const std::wstring& name) {
  HKEY key = nullptr;
  const std::wstring path = L"SYSTEM\\CurrentControlSet\\Services\\" + name;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return L"(none)";
  }
  wchar_t text[2048] = {};
  DWORD size = sizeof(text) - sizeof(wchar_t);
  DWORD type = 0;
  const LONG r =
      RegQueryValueExW(key, L"Description", nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
  RegCloseKey(key);
  return r == ERROR_SUCCESS && type == REG_SZ ? std::wstring(text) : L"(none)";
}

bool Config(SC_HANDLE service, const std::wstring& name) {
  std::vector<BYTE> buffer(8192);
  DWORD needed = 0;
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  if (!QueryServiceConfigW(service, config, static_cast<DWORD>(buffer.size()), &needed)) {
    Print(L"config failed " + std::to_wstring(GetLastError()));
    return false;
  }
  auto text = [](const wchar_t* p) { return p == nullptr ? std::wstring(L"(null)") : p; };
  Print(L"display=" + text(config->lpDisplayName));
  Print(L"type=" + std::to_wstring(config->dwServiceType));
  Print(L"start=" + std::to_wstring(config->dwStartType));
  Print(L"error=" + std::to_wstring(config->dwErrorControl));
  Print(L"path=" + text(config->lpBinaryPathName));
  Print(L"account=" + text(config->lpServiceStartName));
  Print(L"group=" + text(config->lpLoadOrderGroup));
  Print(L"description=" + Description(name));
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    Print(L"usage: ServiceControl NAME COMMAND...");
    return 2;
  }
  const std::wstring name = argv[1];
  ServiceCloser manager{OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)};
  if (manager.h == nullptr) {
    Print(L"OpenSCManager failed " + std::to_wstring(GetLastError()));
    return 1;
  }
  ServiceCloser service{OpenServiceW(manager.h, name.c_str(), SERVICE_ALL_ACCESS)};
  if (service.h == nullptr) {
    Print(L"OpenService failed " + std::to_wstring(GetLastError()));
    return 1;
  }
  bool ok = true;
  for (int i = 2; i < argc && ok; ++i) {
    const std::wstring command = argv[i];
    auto next = [&]() -> std::wstring { return i + 1 < argc ? argv[++i] : L""; };
    if (command == L"stop") {
      ok = Control(service.h, SERVICE_CONTROL_STOP, command);
    } else if (command == L"pause") {
      ok = Control(service.h, SERVICE_CONTROL_PAUSE, command);
    } else if (command == L"continue") {
      ok = Control(service.h, SERVICE_CONTROL_CONTINUE, command);
    } else if (command == L"interrogate") {
      ok = Control(service.h, SERVICE_CONTROL_INTERROGATE, command);
    } else if (command == L"code") {
      const std::wstring code = next();
      ok = Control(service.h, static_cast<DWORD>(_wtoi(code.c_str())), L"code " + code);
    } else if (command == L"wait") {
      const std::wstring state = next();
      ok = WaitFor(service.h, state, static_cast<DWORD>(_wtoi(next().c_str())));
    } else if (command == L"settle") {
      ok = WaitFor(service.h, L"settled", static_cast<DWORD>(_wtoi(next().c_str())));
    } else if (command == L"query") {
      SERVICE_STATUS status{};
      ok = Query(service.h, status);
      Print(L"query " + (ok ? StatusLine(status) : L"failed " + std::to_wstring(GetLastError())));
    } else if (command == L"config") {
      ok = Config(service.h, name);
    } else if (command == L"stoptime") {
      const DWORD limit = static_cast<DWORD>(_wtoi(next().c_str()));
      LARGE_INTEGER frequency, start, now;
      QueryPerformanceFrequency(&frequency);
      QueryPerformanceCounter(&start);
      SERVICE_STATUS status{};
      ok = ControlService(service.h, SERVICE_CONTROL_STOP, &status) != FALSE;
      if (!ok) {
        Print(L"stoptime failed " + std::to_wstring(GetLastError()));
        break;
      }
      double elapsed = 0;
      for (;;) {
        QueryPerformanceCounter(&now);
        elapsed = 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) /
                  static_cast<double>(frequency.QuadPart);
        if (Query(service.h, status) && status.dwCurrentState == SERVICE_STOPPED)
          break;
        if (elapsed > limit) {
          ok = false;
          break;
        }
        Sleep(5);
      }
      Print(L"stoptime " + std::wstring(ok ? L"ok " : L"timeout ") +
            std::to_wstring(static_cast<long>(elapsed)));
    } else if (command == L"storm") {
      const int rounds = _wtoi(next().c_str());
      int sent = 0;
      int refused = 0;
      const DWORD codes[] = {SERVICE_CONTROL_PAUSE, SERVICE_CONTROL_CONTINUE,
                             SERVICE_CONTROL_INTERROGATE};
      for (int r = 0; r < rounds; ++r) {
        for (DWORD code : codes) {
          SERVICE_STATUS status{};
          if (ControlService(service.h, code, &status)) {
            ++sent;
          } else {
            ++refused;
          }
        }
      }
      Print(L"storm sent=" + std::to_wstring(sent) + L" refused=" + std::to_wstring(refused));
    } else {
      Print(L"unknown command " + command);
      ok = false;
    }
  }
  return ok ? 0 : 1;
}
