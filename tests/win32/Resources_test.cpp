// The language files as Windows hands them out: this program carries both as RCDATA (see the .rc
// file beside it), and the shipped programs carry the same bytes under language 1033.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "foundation/Captions.h"
#include "foundation/Constants.h"
#include "foundation/CustomRegistry.h"
#include "foundation/base/Text.h"
#include "foundation/win32/Win32Resources.h"
#include "tests/fakes/FakeCaptionedWindow.h"
#include "tests/fakes/ShippedCaptions.h"
#include "win32/support/WineTestSupport.h"

namespace {

// The source file of a shipped language file. The build runs on the same machine, and Wine maps
// the Unix root to drive Z:.
std::vector<std::byte> ReadSourceFile(const char* name) {
  const std::filesystem::path path =
      std::filesystem::path("Z:" + std::string(__FILE__)).parent_path() / "../../resources" / name;
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> chars((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  std::vector<std::byte> bytes(chars.size());
  std::memcpy(bytes.data(), chars.data(), chars.size());
  return bytes;
}

// Only the value "Language" of the settings key, so that this test never changes the real
// settings that other tests running beside it read.
class LanguageOnlyRegistry : public RegistryPort {
 public:
  std::optional<std::u16string> language;

  RegistryQuery QueryValue(RegistryRoot, std::u16string_view, std::u16string_view name,
                           std::span<std::byte> buffer) override {
    if (!language || name != Constants::Language) {
      return {};
    }
    const size_t size = (language->size() + 1) * sizeof(char16_t);
    if (size > buffer.size()) {
      return {RegistryQuery::Status::MoreData, RegType::Sz, static_cast<uint32_t>(size)};
    }
    std::memcpy(buffer.data(), language->c_str(), size);
    return {RegistryQuery::Status::Ok, RegType::Sz, static_cast<uint32_t>(size)};
  }
  bool SetValue(RegistryRoot, std::u16string_view, std::u16string_view, uint32_t,
                std::span<const std::byte>) override {
    return false;
  }
};

TEST(Win32Resources, LoadsBothLanguageFilesByNameInAnyCase) {
  Win32Resources resources;
  const auto english = ReadSourceFile("English.lng");
  const auto french = ReadSourceFile("French.lng");
  ASSERT_FALSE(english.empty());
  ASSERT_FALSE(french.empty());
  struct Case {
    std::u16string_view name;
    const std::vector<std::byte>* bytes;
  };
  for (const Case& c :
       {Case{u"english", &english}, Case{u"ENGLISH", &english}, Case{u"English", &english},
        Case{u"french", &french}, Case{u"FRENCH", &french}}) {
    const auto loaded = resources.LoadRawData(c.name);
    ASSERT_TRUE(loaded.has_value()) << ToUtf8(c.name);
    EXPECT_EQ(*loaded, *c.bytes) << ToUtf8(c.name);
  }
  for (std::u16string_view missing : {u"german", u"", u"englis", u"english.lng"}) {
    EXPECT_FALSE(resources.LoadRawData(missing).has_value()) << ToUtf8(missing);
  }
}

TEST(Win32Resources, DecodesTheAnsiCodePage) {
  // The prefix runs with the English (United States) locale, whose ANSI code page is 1252.
  ASSERT_EQ(GetACP(), 1252u);
  Win32Resources resources;
  const std::byte bytes[] = {std::byte{'c'},  std::byte{'a'}, std::byte{'f'}, std::byte{0xE9},
                             std::byte{0x80}, std::byte{0},   std::byte{'x'}};
  EXPECT_EQ(resources.DecodeAnsi(bytes), std::u16string(u"caf\u00E9\u20AC\0x", 7));
  EXPECT_EQ(resources.DecodeAnsi({}), u"");
}

TEST(Captions, EveryEntryOfTheShippedFilesInBothLanguages) {
  LanguageOnlyRegistry registry;
  CustomRegistry settings(registry);
  Win32Resources resources;
  struct Language {
    std::optional<std::u16string> setting;
    bool french;
  };
  for (const Language& language : {Language{std::nullopt, false}, Language{u"English", false},
                                   Language{u"FRENCH", true}, Language{u"french", true}}) {
    registry.language = language.setting;
    for (const ShippedCaption& entry : ShippedCaptions) {
      EXPECT_EQ(GetCaption(settings, resources, entry.section, entry.key),
                language.french ? entry.french : entry.english)
          << ToUtf8(language.setting.value_or(u"(none)")) << " " << ToUtf8(entry.key);
    }
  }
  registry.language = u"german";
  EXPECT_EQ(GetCaption(settings, resources, u"NBTrayForm", u"ExitPopup"), u"");
}

TEST(Captions, TrayWindowComponentsInFrench) {
  LanguageOnlyRegistry registry;
  registry.language = u"french";
  CustomRegistry settings(registry);
  Win32Resources resources;
  FakeCaptionedWindow window(u"NBTrayForm");
  for (auto name : {u"OpenPopup", u"FreeMemPopup", u"HelpPopup", u"ExitPopup"}) {
    window.Add(name, ComponentKind::MenuItem);
  }
  window.Add(u"TrayIcon", ComponentKind::NotificationIcon);
  ApplyCaptions(settings, resources, window);
  const std::vector<FakeCaptionedWindow::Set> expected = {
      {u"OpenPopup", u"Ouvrir &Nimbello"},
      {u"FreeMemPopup", u"&Liberer m\u00E9moire"},
      {u"HelpPopup", u"&Aide"},
      {u"ExitPopup", u"&Quitter"},
      {u"TrayIcon", u"Nimbello"},
  };
  EXPECT_EQ(window.sets, expected);
}

// The programs carry the same files, under language 1033 (English, United States).
TEST(Win32Resources, ShippedProgramsCarryTheSameFilesInLanguage1033) {
  const std::vector<std::wstring> programs = {L"NimbelloService.exe", L"NimbelloTray.exe",
                                              L"Nimbello.exe"};
  int found = 0;
  for (const std::wstring& program : programs) {
    const std::wstring path = wine_test::ProgramFolder() + program;
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
      continue;
    }
    ++found;
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr) << wine_test::Utf8(program);
    for (const char* file : {"English.lng", "French.lng"}) {
      const std::wstring name = std::string_view(file) == "English.lng" ? L"ENGLISH" : L"FRENCH";
      HRSRC info = FindResourceExW(module, RT_RCDATA, name.c_str(),
                                   MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
      ASSERT_NE(info, nullptr) << wine_test::Utf8(program) << " " << file;
      const DWORD size = SizeofResource(module, info);
      const auto* data = static_cast<const std::byte*>(LockResource(LoadResource(module, info)));
      ASSERT_NE(data, nullptr);
      EXPECT_EQ(std::vector<std::byte>(data, data + size), ReadSourceFile(file))
          << wine_test::Utf8(program) << " " << file;
    }
    FreeLibrary(module);
  }
  if (found == 0) {
    GTEST_SKIP() << "the programs are not built in this tree";
  }
}

// The manifest names the processor the programs of this build run on (Windows refuses a mismatch
// in a side-by-side manifest) and the Windows versions they know, so that Windows 8.1 and later
// report their own version rather than 6.2.
TEST(Win32Resources, ManifestNamesTheBuiltProcessorAndTheSupportedWindows) {
  const std::string architecture = sizeof(void*) == 8 ? "amd64" : "x86";
  int found = 0;
  for (const wchar_t* program : {L"NimbelloTray.exe", L"Nimbello.exe"}) {
    const std::wstring path = wine_test::ProgramFolder() + program;
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) {
      continue;  // not built in this tree
    }
    ++found;
    HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_NE(info, nullptr);
    const auto* data = static_cast<const char*>(LockResource(LoadResource(module, info)));
    const std::string manifest(data, SizeofResource(module, info));
    FreeLibrary(module);
    SCOPED_TRACE(wine_test::Utf8(program));
    EXPECT_NE(manifest.find("processorArchitecture=\"" + architecture + "\""), std::string::npos);
    for (const char* windows :
         {"e2011457-1546-43c5-a5fe-008deee3d3f0", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
          "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"}) {
      EXPECT_NE(manifest.find(windows), std::string::npos) << windows;
    }
  }
  if (found == 0) {
    GTEST_SKIP() << "the programs are not built in this tree";
  }
}

}  // namespace
