#pragma once
// UTF-16 text of the core handed to the W functions. On Windows wchar_t is 16 bits wide, so the
// same code units serve both without conversion.
#include <string>
#include <string_view>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 units");

// A NUL-terminated copy for an API that wants one.
inline std::wstring Wide(std::u16string_view text) {
  return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}

inline std::u16string FromWide(std::wstring_view text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text.data()), text.size());
}

inline std::u16string FromWide(const wchar_t* text) {
  return text == nullptr ? std::u16string() : FromWide(std::wstring_view(text));
}
