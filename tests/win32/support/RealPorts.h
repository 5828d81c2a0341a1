#pragma once
// The real adapters with one thing moved to the test's own place: the launcher's program folder
// and the settings key. Header-only, shared by the Win32 tests and the Wine benchmarks.
#include <windows.h>

#include <memory>
#include <string>

#include "foundation/Constants.h"
#include "foundation/base/win32/WideText.h"
#include "foundation/win32/Win32Launcher.h"
#include "foundation/win32/Win32Registry.h"

namespace wine_test {

// The real launcher, looking for companions in a folder of the test's choosing.
class FolderLauncher : public Win32Launcher {
 public:
  explicit FolderLauncher(std::wstring folder) : folder_(std::move(folder)) {}
  std::u16string ProgramFolder() override { return FromWide(folder_); }

 private:
  std::wstring folder_;
};

// The real registry with the settings key moved to a key of this process's own (`name` plus the
// process id, in the same 32-bit view), and the policy key likewise under Software\Policies\VELTRA
// (in the 64-bit view), both removed with everything in them at the end: the run neither sees nor
// changes the settings or policies of anything else in the prefix.
class MovedSettingsRegistry : public RegistryPort {
 public:
  explicit MovedSettingsRegistry(const std::wstring& name)
      : sub_(L"Software\\VELTRA\\" + name + std::to_wstring(GetCurrentProcessId())),
        key_(u"\\" + FromWide(sub_) + u"\\"),
        policySub_(L"Software\\Policies\\VELTRA\\" + name + std::to_wstring(GetCurrentProcessId())),
        policyKey_(u"\\" + FromWide(policySub_) + u"\\") {}
  ~MovedSettingsRegistry() override {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, sub_.c_str(), 0,
                      DELETE | KEY_ALL_ACCESS | KEY_WOW64_32KEY, &key) == ERROR_SUCCESS) {
      RegDeleteTreeW(key, nullptr);
      RegCloseKey(key);
    }
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, sub_.c_str(), KEY_WOW64_32KEY, 0);
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, policySub_.c_str(), KEY_WOW64_64KEY, 0);
  }
  MovedSettingsRegistry(const MovedSettingsRegistry&) = delete;
  MovedSettingsRegistry& operator=(const MovedSettingsRegistry&) = delete;

  RegistryQuery QueryValue(RegistryRoot root, std::u16string_view path, std::u16string_view name,
                           std::span<std::byte> buffer) override {
    return real_.QueryValue(root, Moved(path), name, buffer);
  }
  bool SetValue(RegistryRoot root, std::u16string_view path, std::u16string_view name,
                uint32_t type, std::span<const std::byte> data) override {
    return real_.SetValue(root, Moved(path), name, type, data);
  }
  std::unique_ptr<RegistryKeyPort> OpenQueryKey64(RegistryRoot root,
                                                  std::u16string_view path) override {
    return real_.OpenQueryKey64(root, path == Constants::PolicyKey ? policyKey_ : path);
  }
  // A policy value; Software\Policies is one key in both views, so the 32-bit write reaches it.
  bool PutPolicyDword(std::u16string_view name, uint32_t value) {
    return real_.SetValue(Constants::SettingsRoot, policyKey_, name, RegType::Dword,
                          std::as_bytes(std::span<const uint32_t>(&value, 1)));
  }
  bool PutDword(std::u16string_view name, uint32_t value) {
    return SetValue(Constants::SettingsRoot, Constants::SettingsKey, name, RegType::Dword,
                    std::as_bytes(std::span<const uint32_t>(&value, 1)));
  }

 private:
  std::u16string_view Moved(std::u16string_view path) const {
    return path == Constants::SettingsKey ? std::u16string_view(key_) : path;
  }
  Win32Registry real_;
  std::wstring sub_;
  std::u16string key_;
  std::wstring policySub_;
  std::u16string policyKey_;
};

}  // namespace wine_test
