#include "foundation/Captions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/base/Text.h"
#include "tests/fakes/FakeCaptionedWindow.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeResources.h"
#include "tests/fakes/ShippedFile.h"
#include "tests/fakes/ShippedCaptions.h"

namespace {

std::u16string Join(std::initializer_list<std::u16string_view> lines) {
  std::u16string text;
  bool first = true;
  for (auto line : lines) {
    if (!first) {
      text += u"\r\n";
    }
    first = false;
    text += line;
  }
  return text;
}

// A program carrying both shipped files.
struct ShippedProgram {
  FakeRegistry registry;
  CustomRegistry settings{registry};
  FakeResources resources;
  ShippedProgram() {
    resources.Put(u"ENGLISH", ReadShippedFile("English.lng"));
    resources.Put(u"FRENCH", ReadShippedFile("French.lng"));
  }
};

// The whole file as it must be: one line per entry, an empty line between sections, CR LF line
// ends and none after the last line.
std::u16string ExpectedFileText(bool french) {
  std::u16string text;
  std::u16string_view section;
  for (const auto& entry : ShippedCaptions) {
    if (!text.empty()) {
      text += section == entry.section ? u"\r\n" : u"\r\n\r\n";
    }
    section = entry.section;
    const auto caption = french ? entry.french : entry.english;
    EXPECT_EQ(caption.find(u'"'), std::u16string_view::npos) << "quotes would be doubled";
    text += std::u16string(entry.section) + u", " + std::u16string(entry.key) + u", \"" +
            std::u16string(caption) + u"\"";
  }
  return text;
}

TEST(ShippedLanguageFiles, FormAndEveryEntryInBothLanguages) {
  ShippedProgram program;
  // English: 8-bit text without a byte-order mark; all its texts are ASCII.
  std::vector<std::byte> english;
  for (char16_t c : ExpectedFileText(false)) {
    ASSERT_LT(c, 0x80);
    english.push_back(static_cast<std::byte>(c));
  }
  EXPECT_EQ(ReadShippedFile("English.lng"), english);
  // French: UTF-16 little-endian after the mark FF FE.
  std::vector<std::byte> french = {std::byte{0xFF}, std::byte{0xFE}};
  for (char16_t c : ExpectedFileText(true)) {
    french.push_back(static_cast<std::byte>(c & 0xFF));
    french.push_back(static_cast<std::byte>(c >> 8));
  }
  EXPECT_EQ(ReadShippedFile("French.lng"), french);

  for (const auto& language : {u"english", u"french"}) {
    program.registry.PutString(Constants::Language, language);
    for (const auto& entry : ShippedCaptions) {
      const auto expected =
          language == std::u16string_view(u"english") ? entry.english : entry.french;
      EXPECT_EQ(GetCaption(program.settings, program.resources, entry.section, entry.key), expected)
          << ToUtf8(language) << " " << ToUtf8(entry.key);
    }
  }
}

TEST(GetCaption, LanguageSetting) {
  struct Case {
    std::optional<std::u16string> language;
    std::u16string loaded;  // the resource name asked for
    std::u16string_view caption;
  };
  const std::vector<Case> cases = {
      {std::nullopt, u"english", u"&Exit"},
      {u"", u"english", u"&Exit"},
      {u"English", u"english", u"&Exit"},
      {u"ENGLISH", u"english", u"&Exit"},
      {u"french", u"french", u"&Quitter"},
      {u"FRENCH", u"french", u"&Quitter"},
      {u"german", u"german", u""},
      {u"\u00C9NGLISH", u"\u00C9nglish", u""},  // only A to Z are lowered
  };
  for (const auto& c : cases) {
    ShippedProgram program;
    if (c.language) {
      program.registry.PutString(Constants::Language, *c.language);
    }
    EXPECT_EQ(GetCaption(program.settings, program.resources, u"NBTrayForm", u"ExitPopup"),
              c.caption);
    ASSERT_EQ(program.resources.loads.size(), 1u);
    EXPECT_EQ(program.resources.loads[0], c.loaded);
  }
}

TEST(GetCaption, SettingIsReadOnEveryCall) {
  ShippedProgram program;
  EXPECT_EQ(GetCaption(program.settings, program.resources, u"NBTrayForm", u"BalloonTitle"),
            u"Nimbello Update");
  program.registry.PutString(Constants::Language, u"french");
  EXPECT_EQ(GetCaption(program.settings, program.resources, u"NBTrayForm", u"BalloonTitle"),
            u"Mise \u00E0 jour Nimbello");
}

TEST(GetCaption, Lines) {
  struct Case {
    std::string name;
    std::u16string text;
    std::u16string_view section = u"S";
    std::u16string_view key = u"K";
    std::u16string_view caption;
  };
  const std::vector<Case> cases = {
      {"plain", Join({u"S, K, \"one\""}), u"S", u"K", u"one"},
      {"section and key in other letter case", Join({u"NBTRAYFORM, exitpopup, \"x\""}),
       u"NBTrayForm", u"ExitPopup", u"x"},
      {"only ASCII letters fold", Join({u"\u00C4, K, \"x\""}), u"\u00E4", u"K", u""},
      {"non-ASCII letters match exactly", Join({u"\u00C4, K, \"x\""}), u"\u00C4", u"k", u"x"},
      {"last match wins", Join({u"S, K, \"one\"", u"S, K, \"two\"", u"T, K, \"three\""}), u"S",
       u"K", u"two"},
      {"other sections and keys", Join({u"T, K, \"a\"", u"S, L, \"b\""}), u"S", u"K", u""},
      {"empty file", u"", u"S", u"K", u""},
      {"only line ends", u"\r\n\r\n\n", u"S", u"K", u""},
      {"blank-only line stops", Join({u"S, K, \"one\"", u"  \t", u"S, K, \"two\""}), u"S", u"K",
       u"one"},
      {"wanted section without key stops", Join({u"S, K, \"one\"", u"S", u"S, K, \"two\""}), u"S",
       u"K", u"one"},
      {"other section without key does not stop", Join({u"T", u"S, K, \"two\""}), u"S", u"K",
       u"two"},
      {"matching line without text stops", Join({u"S, K, \"one\"", u"S, K", u"S, K, \"two\""}),
       u"S", u"K", u"one"},
      {"other key without text does not stop", Join({u"S, L", u"S, K, \"two\""}), u"S", u"K",
       u"two"},
      {"comma right after the key is the empty text", Join({u"S, K, \"one\"", u"S, K,"}), u"S",
       u"K", u""},
      {"comma and space after the key: no text, stops",
       Join({u"S, K, \"one\"", u"S, K, ", u"S, K, \"two\""}), u"S", u"K", u"one"},
      {"unquoted text is its first word", Join({u"S, K, two words"}), u"S", u"K", u"two"},
      {"quoted text with quotes and commas", Join({u"S, K, \"say \"\"hi\"\", then go\""}), u"S",
       u"K", u"say \"hi\", then go"},
      {"unclosed quote runs to the line end", Join({u"S, K, \"open, text", u"T, K, \"x\""}), u"S",
       u"K", u"open, text"},
      {"lone CR and LF end lines", u"S, K, \"one\"\rS, K, \"two\"\nT, K, \"x\"", u"S", u"K",
       u"two"},
      {"a NUL ends the text", std::u16string(u"S, K, \"one\"") + u'\0' + u"\r\nS, K, \"two\"", u"S",
       u"K", u"one"},
      {"fourth field ignored", Join({u"S, K, \"one\", \"two\""}), u"S", u"K", u"one"},
  };
  for (const auto& c : cases) {
    FakeRegistry registry;
    CustomRegistry settings(registry);
    FakeResources resources;
    resources.PutUtf16(u"english", c.text);
    EXPECT_EQ(GetCaption(settings, resources, c.section, c.key), c.caption) << c.name;
  }
}

TEST(GetCaption, AnsiFileDecodesThroughTheCodePage) {
  FakeRegistry registry;
  CustomRegistry settings(registry);
  FakeResources resources;
  resources.PutAnsi(u"english", u"S, K, \"caf\u00E9\"");
  EXPECT_EQ(GetCaption(settings, resources, u"S", u"K"), u"caf\u00E9");
}

struct ApplyCase {
  std::string name;
  std::u16string text;
  std::vector<FakeCaptionedWindow::Set> sets;
};

FakeCaptionedWindow TrayLikeWindow() {
  FakeCaptionedWindow window(u"NBTrayForm");
  window.Add(u"OpenPopup", ComponentKind::MenuItem);
  window.Add(u"TrayIcon", ComponentKind::NotificationIcon);
  window.Add(u"Label1", ComponentKind::Label);
  window.Add(u"Button1", ComponentKind::Button);
  window.Add(u"MainTimer", ComponentKind::Other);
  return window;
}

TEST(ApplyCaptions, Lines) {
  const std::vector<ApplyCase> cases = {
      {"every kind that takes a text",
       Join({u"NBTrayForm, OpenPopup, \"Open\"", u"NBTrayForm, TrayIcon, \"Tip\"",
             u"NBTrayForm, Label1, \"L\"", u"NBTrayForm, Button1, \"B\""}),
       {{u"OpenPopup", u"Open"}, {u"TrayIcon", u"Tip"}, {u"Label1", u"L"}, {u"Button1", u"B"}}},
      {"other kinds and unknown names take nothing",
       Join({u"NBTrayForm, MainTimer, \"T\"", u"NBTrayForm, BalloonTitle, \"x\"",
             u"NBTrayForm, OpenPopup, \"Open\""}),
       {{u"OpenPopup", u"Open"}}},
      {"title on the exact name only",
       Join({u"NBTrayForm, NBTrayForm, \"Title\"", u"NBTrayForm, nbtrayform, \"lower\""}),
       {{u"NBTrayForm", u"Title"}}},
      {"section and component without regard to case",
       Join({u"nbtrayform, OPENPOPUP, \"Open\""}),
       {{u"OpenPopup", u"Open"}}},
      {"other sections", Join({u"Other, OpenPopup, \"x\"", u"Nimbello, OpenPopup, \"y\""}), {}},
      {"file order, later entries replace",
       Join({u"NBTrayForm, OpenPopup, \"one\"", u"", u"NBTrayForm, OpenPopup, \"two\""}),
       {{u"OpenPopup", u"one"}, {u"OpenPopup", u"two"}}},
      {"comma right after the key applies the empty text",
       Join({u"NBTrayForm, TrayIcon,"}),
       {{u"TrayIcon", u""}}},
      {"blank-only line stops",
       Join({u"NBTrayForm, OpenPopup, \"one\"", u" ", u"NBTrayForm, TrayIcon, \"Tip\""}),
       {{u"OpenPopup", u"one"}}},
      {"section without key stops", Join({u"NBTrayForm", u"NBTrayForm, TrayIcon, \"Tip\""}), {}},
      {"other section without key does not stop",
       Join({u"Other", u"NBTrayForm, TrayIcon, \"Tip\""}),
       {{u"TrayIcon", u"Tip"}}},
      {"component without text stops",
       Join({u"NBTrayForm, OpenPopup, ", u"NBTrayForm, TrayIcon, \"Tip\""}),
       {}},
      {"window name without text stops",
       Join({u"NBTrayForm, NBTrayForm", u"NBTrayForm, TrayIcon, \"Tip\""}),
       {}},
      {"other kind without text does not stop",
       Join({u"NBTrayForm, MainTimer", u"NBTrayForm, TrayIcon, \"Tip\""}),
       {{u"TrayIcon", u"Tip"}}},
      {"unknown name without text does not stop",
       Join({u"NBTrayForm, BalloonHint", u"NBTrayForm, TrayIcon, \"Tip\""}),
       {{u"TrayIcon", u"Tip"}}},
  };
  for (const auto& c : cases) {
    FakeRegistry registry;
    CustomRegistry settings(registry);
    FakeResources resources;
    resources.PutUtf16(u"english", c.text);
    FakeCaptionedWindow window = TrayLikeWindow();
    ApplyCaptions(settings, resources, window);
    EXPECT_EQ(window.sets, c.sets) << c.name;
  }
}

TEST(ApplyCaptions, ShippedFilesOnTheTrayWindow) {
  using Set = FakeCaptionedWindow::Set;
  ShippedProgram program;
  FakeCaptionedWindow window(u"NBTrayForm");
  for (auto name : {u"OpenPopup", u"FreeMemPopup", u"HelpPopup", u"ExitPopup"}) {
    window.Add(name, ComponentKind::MenuItem);
  }
  window.Add(u"TrayIcon", ComponentKind::NotificationIcon);
  window.Add(u"MainTimer", ComponentKind::Other);

  ApplyCaptions(program.settings, program.resources, window);
  const std::vector<Set> english = {{u"OpenPopup", u"Open &Nimbello"},
                                    {u"FreeMemPopup", u"&Free memory now"},
                                    {u"HelpPopup", u"&Help"},
                                    {u"ExitPopup", u"&Exit"},
                                    {u"TrayIcon", u"Nimbello"}};
  EXPECT_EQ(window.sets, english);

  window.sets.clear();
  program.registry.PutString(Constants::Language, u"Klingon");
  ApplyCaptions(program.settings, program.resources, window);
  EXPECT_TRUE(window.sets.empty());
}

}  // namespace
