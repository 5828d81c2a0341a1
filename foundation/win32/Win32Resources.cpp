#include "foundation/win32/Win32Resources.h"

#include <windows.h>

#include <climits>
#include <cstring>
#include <stdexcept>

#include "foundation/base/win32/WideText.h"

std::optional<std::vector<std::byte>> Win32Resources::LoadRawData(std::u16string_view name) {
  // The module of the running program; a loaded resource lives as long as the module, so it needs
  // no release.
  const std::wstring wideName = Wide(name);
  HRSRC info = FindResourceW(nullptr, wideName.c_str(), RT_RCDATA);
  if (info == nullptr) {
    return std::nullopt;
  }
  const DWORD size = SizeofResource(nullptr, info);
  HGLOBAL loaded = LoadResource(nullptr, info);
  const void* data = loaded == nullptr ? nullptr : LockResource(loaded);
  if (data == nullptr) {
    return std::nullopt;
  }
  std::vector<std::byte> bytes(size);
  if (size != 0) {
    std::memcpy(bytes.data(), data, size);
  }
  return bytes;
}

std::u16string Win32Resources::DecodeAnsi(std::span<const std::byte> bytes) {
  if (bytes.empty()) {
    return {};
  }
  if (bytes.size() > static_cast<size_t>(INT_MAX)) {
    throw std::length_error("text too long for the code page conversion");
  }
  const auto* source = reinterpret_cast<const char*>(bytes.data());
  const int sourceLength = static_cast<int>(bytes.size());
  const int length = MultiByteToWideChar(CP_ACP, 0, source, sourceLength, nullptr, 0);
  if (length <= 0) {
    return {};
  }
  std::wstring text(static_cast<size_t>(length), L'\0');
  const int written = MultiByteToWideChar(CP_ACP, 0, source, sourceLength, text.data(), length);
  text.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return FromWide(text);
}
