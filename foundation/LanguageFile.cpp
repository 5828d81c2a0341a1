#include "foundation/LanguageFile.h"

#include "foundation/base/Text.h"

namespace {

bool StartsWith(std::span<const std::byte> bytes, std::initializer_list<unsigned char> mark) {
  if (bytes.size() < mark.size()) {
    return false;
  }
  size_t i = 0;
  for (unsigned char b : mark) {
    if (bytes[i++] != std::byte{b}) {
      return false;
    }
  }
  return true;
}

constexpr bool IsBlank(char16_t c) {
  return c >= 1 && c <= 32;
}

}  // namespace

std::u16string DecodeLanguageText(std::span<const std::byte> bytes, ResourcePort& ansi) {
  if (StartsWith(bytes, {0xFF, 0xFE})) {
    return DecodeUtf16(bytes.subspan(2), false);
  }
  if (StartsWith(bytes, {0xFE, 0xFF})) {
    return DecodeUtf16(bytes.subspan(2), true);
  }
  if (StartsWith(bytes, {0xEF, 0xBB, 0xBF})) {
    const auto rest = bytes.subspan(3);
    return FromUtf8(std::string_view(reinterpret_cast<const char*>(rest.data()), rest.size()));
  }
  if (bytes.empty()) {
    return {};
  }
  return ansi.DecodeAnsi(bytes);
}

std::vector<std::u16string_view> SplitLanguageLines(std::u16string_view text) {
  const size_t nul = text.find(u'\0');
  if (nul != std::u16string_view::npos) {
    text = text.substr(0, nul);
  }
  std::vector<std::u16string_view> lines;
  size_t start = 0;
  size_t i = 0;
  while (i < text.size()) {
    const char16_t c = text[i];
    if (c != u'\r' && c != u'\n') {
      ++i;
      continue;
    }
    lines.push_back(text.substr(start, i - start));
    i += (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ? 2 : 1;
    start = i;
  }
  if (start < text.size()) {
    lines.push_back(text.substr(start));
  }
  return lines;
}

std::vector<std::u16string> SplitLanguageFields(std::u16string_view line, size_t maxFields) {
  std::vector<std::u16string> fields;
  size_t i = 0;
  const auto skipBlanks = [&] {
    while (i < line.size() && IsBlank(line[i])) {
      ++i;
    }
  };

  skipBlanks();
  while (i < line.size() && fields.size() < maxFields) {
    std::u16string field;
    if (line[i] == u'"') {
      ++i;
      while (i < line.size()) {
        if (line[i] == u'"') {
          if (i + 1 < line.size() && line[i + 1] == u'"') {
            field.push_back(u'"');
            i += 2;
            continue;
          }
          ++i;  // the closing quote
          break;
        }
        field.push_back(line[i++]);
      }
    } else {
      const size_t start = i;
      while (i < line.size() && line[i] != u',' && !IsBlank(line[i])) {
        ++i;
      }
      field.assign(line.substr(start, i - start));
    }
    fields.push_back(std::move(field));
    skipBlanks();

    if (i < line.size() && line[i] == u',') {
      if (i + 1 == line.size() && fields.size() < maxFields) {
        fields.emplace_back();
      }
      ++i;
      skipBlanks();
    }
  }
  return fields;
}

void VisitLanguageEntries(std::u16string_view text,
                          const std::function<bool(const std::vector<std::u16string>&)>& visit) {
  for (std::u16string_view line : SplitLanguageLines(text)) {
    if (line.empty()) {
      continue;
    }
    if (!visit(SplitLanguageFields(line, LanguageEntryFields))) {
      return;
    }
  }
}
