#pragma once
// The language file as text: its bytes decoded by byte-order mark, split into lines and each line
// into comma-separated fields (section, key, quoted text).
#include <cstddef>
#include <functional>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/ResourcePort.h"

// By byte-order mark, tested in this order: FF FE UTF-16LE, FE FF UTF-16BE, EF BB BF UTF-8, none
// of these the ANSI code page (through the port). The mark is not part of the text. An odd last
// byte of UTF-16 text is dropped; UTF-16 units are taken as they are, lone surrogates included.
std::u16string DecodeLanguageText(std::span<const std::byte> bytes, ResourcePort& ansi);

// Lines end at CR LF, a lone CR or a lone LF; a NUL ends the whole text. Text after the last line
// end is a line of its own; a line end at the very end adds no empty line. Views into text.
std::vector<std::u16string_view> SplitLanguageLines(std::u16string_view text);

// Fields of one line. Blanks are the characters 1 to 32. A field in double quotes runs to the next
// double quote not directly followed by another one ("" inside stands for one "); a quoted field
// without its closing quote runs to the end of the line. Any other field runs up to the first
// comma or blank. A comma that is the last character of the line adds one empty field. At most
// maxFields fields are returned; the rest of the line is then not read.
std::vector<std::u16string> SplitLanguageFields(
    std::u16string_view line, size_t maxFields = std::numeric_limits<size_t>::max());

// The fields of an entry that the captions use: section, key, text.
inline constexpr size_t LanguageEntryFields = 3;

// Hands the fields (at most three) of every non-empty line to visit, in file order, until visit
// returns false.
void VisitLanguageEntries(std::u16string_view text,
                          const std::function<bool(const std::vector<std::u16string>&)>& visit);
