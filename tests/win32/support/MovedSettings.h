#pragma once
// The real registry with the settings key moved to a key of the test's own, so that a test never
// touches the settings of anything else in the prefix, and the real launcher looking for the
// release worker in a folder of the test's choosing.
#include <span>
#include <string>
#include <string_view>

#include "foundation/Constants.h"
#include "foundation/win32/WideText.h"
#include "foundation/win32/Win32Launcher.h"
#include "foundation/win32/Win32Registry.h"

class MovedSettingsRegistry : public RegistryPort {
 public:
  // key: the path under HKEY_LOCAL_MACHINE, written as the settings key is ("\Software\...\").
  explicit MovedSettingsRegistry(std::u16string key) : key_(std::move(key)) {}
  RegistryQuery QueryValue(RegistryRoot root, std::u16string_view path, std::u16string_view name,
                           std::span<std::byte> buffer) override {
    return real_.QueryValue(root, Moved(path), name, buffer);
  }
  bool SetValue(RegistryRoot root, std::u16string_view path, std::u16string_view name,
                uint32_t type, std::span<const std::byte> data) override {
    return real_.SetValue(root, Moved(path), name, type, data);
  }

 private:
  std::u16string_view Moved(std::u16string_view path) const {
    return path == Constants::SettingsKey ? std::u16string_view(key_) : path;
  }
  Win32Registry real_;
  std::u16string key_;
};

class FolderLauncher : public Win32Launcher {
 public:
  explicit FolderLauncher(std::wstring folder) : folder_(std::move(folder)) {}
  std::u16string ProgramFolder() override { return FromWide(folder_); }

 private:
  std::wstring folder_;
};
