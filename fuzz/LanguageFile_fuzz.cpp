// The language file: decoding its bytes, splitting lines and fields, and the caption lookup over
// the whole of it. Besides not crashing: lines are pieces of the text without line ends, and the
// three-field split of a line is the start of its full split.
#include <algorithm>

#include "foundation/Captions.h"
#include "foundation/LanguageFile.h"
#include "fuzz/FuzzSupport.h"
#include "tests/fakes/FakeResources.h"

namespace {

// No settings at all: the captions use the default language, whose resource holds the input.
class EmptyRegistry : public RegistryPort {
 public:
  RegistryQuery QueryValue(RegistryRoot, std::u16string_view, std::u16string_view,
                           std::span<std::byte>) override {
    return {};
  }
  bool SetValue(RegistryRoot, std::u16string_view, std::u16string_view, uint32_t,
                std::span<const std::byte>) override {
    return false;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  FakeResources resources;
  const std::u16string text = DecodeLanguageText(AsBytes(bytes), resources);
  FUZZ_CHECK(text.size() <= size);

  const std::vector<std::u16string_view> lines = SplitLanguageLines(text);
  const char16_t* const begin = text.data();
  const char16_t* const end = text.data() + text.size();
  const char16_t* previous_end = begin;
  for (const std::u16string_view line : lines) {
    FUZZ_CHECK(line.data() >= previous_end && line.data() + line.size() <= end);
    FUZZ_CHECK(line.find_first_of(std::u16string_view(u"\r\n\0", 3)) == std::u16string_view::npos);
    previous_end = line.data() + line.size();

    const std::vector<std::u16string> all = SplitLanguageFields(line);
    const std::vector<std::u16string> entry = SplitLanguageFields(line, LanguageEntryFields);
    FUZZ_CHECK(entry.size() == std::min(all.size(), LanguageEntryFields));
    FUZZ_CHECK(std::equal(entry.begin(), entry.end(), all.begin()));
    size_t characters = 0;
    for (const std::u16string& field : all) {
      characters += field.size();
    }
    FUZZ_CHECK(characters <= line.size());
  }

  size_t visited = 0;
  VisitLanguageEntries(text, [&](const std::vector<std::u16string>& fields) {
    FUZZ_CHECK(fields.size() <= LanguageEntryFields);
    return ++visited < 64;
  });

  // The lookup reads the file from the resource, as the programs do.
  EmptyRegistry registry;
  const CustomRegistry settings(registry);
  resources.Put(u"english", std::vector<std::byte>(AsBytes(bytes).begin(), AsBytes(bytes).end()));
  std::u16string first_section;
  if (!lines.empty()) {
    const std::vector<std::u16string> first = SplitLanguageFields(lines.front(), 1);
    if (!first.empty()) {
      first_section = first.front();
    }
  }
  (void)GetCaption(settings, resources, first_section, u"Caption");
  return 0;
}
