#include "foundation/win32/Win32Registry.h"

#include <windows.h>

#include <array>
#include <memory>
#include <string>
#include <utility>

#include "foundation/base/win32/UniqueHandle.h"

namespace {

HKEY RootKey(RegistryRoot root) {
  return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<uint32_t>(root)));
}

// Names and paths are short: copy them NUL-terminated onto the stack, so an ordinary read costs
// no heap allocation. Longer ones go to the heap.
class WideZ {
 public:
  explicit WideZ(std::u16string_view text) {
    if (text.size() < inline_.size()) {
      std::copy(text.begin(), text.end(), inline_.begin());
      inline_[text.size()] = 0;
      ptr_ = inline_.data();
    } else {
      heap_.assign(text.begin(), text.end());
      ptr_ = heap_.c_str();
    }
  }
  const wchar_t* get() const { return ptr_; }

 private:
  std::array<wchar_t, 128> inline_{};
  std::wstring heap_;
  const wchar_t* ptr_ = nullptr;
};

// Every build reads and writes the 32-bit view. The shipped programs are 32-bit, so on 64-bit
// Windows their key is HKLM\Software\WOW6432Node\VELTRA\Nimbello; a 64-bit build of the same
// code must meet the same values, not an empty twin in the 64-bit view. Keys that are not
// redirected (HKLM\System, most of HKCU) are the same in both views.
constexpr REGSAM kView = KEY_WOW64_32KEY;

std::u16string_view Relative(std::u16string_view path) {
  while (!path.empty() && path.front() == u'\\') {
    path.remove_prefix(1);
  }
  return path;
}

// Fills q from one RegQueryValueExW of an open key.
RegistryQuery QueryOpenKey(HKEY key, std::u16string_view name, std::span<std::byte> buffer) {
  RegistryQuery q;
  const WideZ value_name(name);
  DWORD type = REG_NONE;
  DWORD size = static_cast<DWORD>(buffer.size());
  const LONG rc = RegQueryValueExW(key, value_name.get(), nullptr, &type,
                                   reinterpret_cast<BYTE*>(buffer.data()), &size);
  if (rc == ERROR_SUCCESS) {
    q.status = RegistryQuery::Status::Ok;
  } else if (rc == ERROR_MORE_DATA) {
    q.status = RegistryQuery::Status::MoreData;
  } else {
    return q;
  }
  q.type = type;
  q.size = size;
  return q;
}

class Win32RegistryKey : public RegistryKeyPort {
 public:
  explicit Win32RegistryKey(UniqueHKey key) : key_(std::move(key)) {}
  RegistryQuery QueryValue(std::u16string_view name, std::span<std::byte> buffer) override {
    return QueryOpenKey(key_.get(), name, buffer);
  }

 private:
  UniqueHKey key_;
};

}  // namespace

RegistryQuery Win32Registry::QueryValue(RegistryRoot root, std::u16string_view path,
                                        std::u16string_view name, std::span<std::byte> buffer) {
  const WideZ key_path(Relative(path));
  UniqueHKey key;
  if (RegOpenKeyExW(RootKey(root), key_path.get(), 0, KEY_QUERY_VALUE | kView, key.put()) !=
      ERROR_SUCCESS) {
    return {};
  }
  return QueryOpenKey(key.get(), name, buffer);
}

bool Win32Registry::SetValue(RegistryRoot root, std::u16string_view path, std::u16string_view name,
                             uint32_t type, std::span<const std::byte> data) {
  const WideZ key_path(Relative(path));
  // Only KEY_SET_VALUE: the installer lets Users set values of its keys and nothing more, and
  // KEY_WRITE's KEY_CREATE_SUB_KEY would have Windows refuse the whole open to a standard user.
  // A missing key is created, which only a caller allowed to create it achieves.
  UniqueHKey key;
  LONG rc = RegOpenKeyExW(RootKey(root), key_path.get(), 0, KEY_SET_VALUE | kView, key.put());
  if (rc == ERROR_FILE_NOT_FOUND) {
    rc = RegCreateKeyExW(RootKey(root), key_path.get(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                         KEY_SET_VALUE | kView, nullptr, key.put(), nullptr);
  }
  if (rc != ERROR_SUCCESS) {
    return false;
  }
  const WideZ value_name(name);
  return RegSetValueExW(key.get(), value_name.get(), 0, type,
                        reinterpret_cast<const BYTE*>(data.data()),
                        static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

std::unique_ptr<RegistryKeyPort> Win32Registry::OpenQueryKey64(RegistryRoot root,
                                                               std::u16string_view path) {
  const WideZ key_path(Relative(path));
  UniqueHKey key;
  if (RegOpenKeyExW(RootKey(root), key_path.get(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                    key.put()) != ERROR_SUCCESS) {
    return nullptr;
  }
  return std::make_unique<Win32RegistryKey>(std::move(key));
}
