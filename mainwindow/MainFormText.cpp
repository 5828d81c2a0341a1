#include "mainwindow/MainFormText.h"

#include "foundation/ReleaseRequest.h"
#include "foundation/base/Text.h"

std::u16string MegabytesText(int64_t bytes) {
  return DecimalText(BytesToMegabytes(bytes));
}

int64_t MaintainThresholdBytes(int32_t percent, int64_t totalBytes) {
  return PercentOfBytes(percent, totalBytes);
}

int32_t ReleaseMegabytes(int32_t percent, int64_t totalBytes) {
  return GetReleaseMegabytes(percent, totalBytes);
}

std::u16string WithoutAccessKey(std::u16string_view caption) {
  std::u16string text;
  for (size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == u'&' && i + 1 < caption.size()) {
      ++i;
    }
    text.push_back(caption[i]);
  }
  return text;
}

char16_t AccessKeyOf(std::u16string_view caption) {
  for (size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] == u'&') {
      if (caption[i + 1] != u'&') {
        return LowerAsciiChar(caption[i + 1]);
      }
      ++i;
    }
  }
  return 0;
}

std::u16string ColorText(uint32_t color) {
  constexpr std::u16string_view digits = u"0123456789ABCDEF";
  std::u16string text = u"$";
  for (int shift = 20; shift >= 0; shift -= 4) {
    text.push_back(digits[(color >> shift) & 0xF]);
  }
  return text;
}
