#include "foundation/base/win32/SystemInformationQuery.h"

#include <windows.h>

#include "foundation/base/win32/SystemLibrary.h"
#include "foundation/base/win32/UniqueHandle.h"

namespace {

using NtQuerySystemInformationFunction = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);

// Any nonzero status other than a length mismatch: the library or the export is missing.
constexpr uint32_t StatusNotBound = 0xC0000135u;

}  // namespace

QueryAnswer QuerySystemInformation(uint32_t informationClass, std::span<std::byte> buffer) {
  const UniqueModule ntdll(LoadSystemLibrary(L"ntdll.dll"));
  const auto query =
      BindFunction<NtQuerySystemInformationFunction>(ntdll.get(), "NtQuerySystemInformation");
  if (query == nullptr) {
    return {StatusNotBound, 0};
  }
  ULONG written = 0;
  const LONG status =
      query(informationClass, buffer.data(), static_cast<ULONG>(buffer.size()), &written);
  return {static_cast<uint32_t>(status), written};
}
