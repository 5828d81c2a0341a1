// The service adapters against the real API under Wine: thread timers that move between threads,
// the service thread's queue and the system's messages.
#include <gtest/gtest.h>
#include <windows.h>
// sddl.h needs what windows.h declares first.
#include <sddl.h>

#include <atomic>
#include <thread>

#include "support/WineTestSupport.h"

#include "foundation/base/win32/UniqueHandle.h"
#include "foundation/base/win32/WideText.h"
#include "service/Timer.h"
#include "service/win32/Win32EventSources.h"
#include "service/win32/Win32FolderSecurity.h"
#include "service/win32/Win32MessageLoop.h"
#include "service/win32/Win32SystemMessages.h"

namespace {

// Pumps the calling thread's messages for about `ms` milliseconds.
void Pump(DWORD ms) {
  const ULONGLONG end = GetTickCount64() + ms;
  while (GetTickCount64() < end) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      DispatchMessageW(&msg);
    }
    MsgWaitForMultipleObjectsEx(0, nullptr, 10, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

TEST(Win32MessageLoop, TimerTicksMoveToTheThreadThatSwitchedItOnLast) {
  Win32MessageLoop loop;
  std::atomic<int> mainTicks{0};
  std::atomic<int> otherTicks{0};
  const DWORD mainThread = GetCurrentThreadId();
  TTimer timer(
      loop, 50, [&] { (GetCurrentThreadId() == mainThread ? mainTicks : otherTicks)++; }, nullptr);
  timer.SetEnabled(true);
  Pump(400);
  EXPECT_GE(mainTicks.load(), 3);

  std::thread other([&] {
    timer.SetEnabled(true);  // the timer now belongs to this thread
    Pump(400);
    timer.SetEnabled(false);
  });
  // Meanwhile the main thread keeps pumping: its old timer must no longer tick.
  Sleep(50);
  const int before = mainTicks.load();
  Pump(400);
  other.join();
  EXPECT_EQ(mainTicks.load(), before);
  EXPECT_GE(otherTicks.load(), 3);

  const int after = otherTicks.load();
  Pump(200);
  EXPECT_EQ(otherTicks.load(), after);
}

TEST(Win32MessageLoop, ControlRequestsReachTheServiceThreadOnceItHasAQueue) {
  Win32MessageLoop loop;
  EXPECT_FALSE(loop.PostThreadMessage(1025, 2));  // no service thread yet: dropped
  std::atomic<bool> ready{false};
  std::optional<QueuedMessage> received;
  std::thread service([&] {
    loop.CreateQueue();
    ready = true;
    for (int i = 0; i < 40 && !received; ++i) {
      loop.WaitMessage();
      received = loop.PeekMessage();
    }
  });
  while (!ready) {
    Sleep(1);
  }
  EXPECT_TRUE(loop.PostThreadMessage(1025, 3));
  service.join();
  ASSERT_TRUE(received.has_value());
  EXPECT_EQ(received->message, 1025u);
  EXPECT_EQ(received->wParam, 3u);
}

TEST(Win32MessageLoop, QuitFromAnotherThreadEndsTheMainLoop) {
  Win32MessageLoop loop;
  std::thread dispatcher([&] {
    Sleep(100);
    loop.PostQuit();
  });
  const ULONGLONG start = GetTickCount64();
  loop.RunMessageLoop();
  dispatcher.join();
  EXPECT_LT(GetTickCount64() - start, 5000u);
}

TEST(Win32SystemMessages, MessagesOfKnownCodes) {
  Win32SystemMessages messages;
  for (uint32_t code : {5u, 1060u, 1063u, 1073u}) {
    const std::u16string text = TrimSystemMessage(messages.SystemMessage(code));
    EXPECT_FALSE(text.empty()) << code;
    EXPECT_NE(text.back(), u'.') << code;
    EXPECT_NE(text.back(), u'\n') << code;
  }
}

TEST(Win32FolderSecurity, FoldersThatUsersCanChange) {
  // The folder Wine makes (SYSTEM and the user full, Everyone read) passes, path and files too.
  Win32FolderSecurity folders;
  const std::u16string here = FromWide(wine_test::ProgramFolder());
  const std::u16string account = folders.CurrentAccount();
  EXPECT_TRUE(account.starts_with(u"S-1-5-21-"));
  const std::optional<PathSecurity> folder = folders.Inspect(here.substr(0, here.size() - 1));
  ASSERT_TRUE(folder);
  EXPECT_FALSE(folder->reparsePoint);
  // Wine keeps no file owners: every folder is the Wine user's, the account everything runs as.
  EXPECT_EQ(folder->owner, account);
  EXPECT_FALSE(OthersMayChange(folder->access, account));
  EXPECT_FALSE(folders.Inspect(here + u"no such worker.exe"));
  EXPECT_EQ(JudgeProgramFolder(folders, here, here + u"StandInWorker.exe"), FolderRefusal::None);
  // Descriptors as SDDL: a folder made under C:\ inherits "Authenticated Users: Modify".
  const std::pair<const wchar_t*, bool> cases[] = {
      {L"D:(A;OICI;FA;;;SY)(A;OICI;FA;;;S-1-5-21-0-0-0-1000)(A;OICI;0x1200a9;;;WD)", false},
      {L"D:(A;OICIID;FA;;;SY)(A;ID;0x1301bf;;;AU)(A;OICIIOID;SDGXGWGR;;;AU)", true},
      {L"D:(A;OICI;0x1200a9;;;BU)(A;;0x10000;;;S-1-5-21-1-2-3-1001)", true},
  };
  for (const auto& [sddl, mayChange] : cases) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1,
                                                                     &descriptor, nullptr));
    const UniqueLocalMemory owner(descriptor);
    EXPECT_EQ(OthersMayChange(AccessEntries(descriptor), u"S-1-5-21-0-0-0-1000"), mayChange)
        << wine_test::Utf8(sddl);
  }
  // No DACL at all (a FAT drive): everyone may do everything.
  SECURITY_DESCRIPTOR open{};
  ASSERT_TRUE(InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE));
  EXPECT_TRUE(OthersMayChange(AccessEntries(&open), account));
}

TEST(Win32EventSources, RegisteredWithTheProgramAndRemoved) {
  const wchar_t* key = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\NimbelloTest";
  Win32EventSources sources;
  sources.RegisterSource(u"NimbelloTest", u"C:\\Nimbello\\NimbelloService.exe");
  wchar_t file[MAX_PATH] = {};
  DWORD size = sizeof(file);
  DWORD type = 0;
  ASSERT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, key, L"EventMessageFile", RRF_RT_ANY | RRF_NOEXPAND,
                         &type, file, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
  EXPECT_STREQ(file, L"C:\\Nimbello\\NimbelloService.exe");
  DWORD types = 0;
  size = sizeof(types);
  ASSERT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, key, L"TypesSupported", RRF_RT_REG_DWORD, nullptr,
                         &types, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(types, 7u);
  sources.RemoveSource(u"NimbelloTest");
  HKEY gone = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &gone), ERROR_FILE_NOT_FOUND);
  EXPECT_NO_THROW(sources.RemoveSource(u"NimbelloTest"));  // twice is no failure
}

}  // namespace
