// The update server's answer: the charset taken from a Content-Type header, the body decoded by it
// and the tokens searched in the text. The first input line is the header value, the rest the
// body. Besides not crashing: decoding never makes more characters than there are bytes, and a
// body without a charset or byte-order mark is searched as its bytes are.
#include <string_view>

#include "fuzz/FuzzSupport.h"
#include "tray/UpdateAnswer.h"

namespace {

// The answer read straight from the bytes, as the tokens are ASCII.
int32_t AnswerOfBytes(std::string_view bytes) {
  if (bytes.find("VELTRA|0") != std::string_view::npos) {
    return 0;
  }
  if (bytes.find("VELTRA|1") != std::string_view::npos) {
    return 1;
  }
  if (bytes.find("VELTRA|2") != std::string_view::npos) {
    return 2;
  }
  return -1;
}

bool StartsWithMark(std::string_view bytes) {
  return bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF") ||
         bytes.starts_with("\xEF\xBB\xBF");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t newline = input.find('\n');
  const std::string_view header = input.substr(0, newline);
  const std::string_view body =
      newline == std::string_view::npos ? std::string_view() : input.substr(newline + 1);

  const std::u16string contentType(header.begin(), header.end());
  const std::u16string charset = CharsetOfContentType(contentType);
  FUZZ_CHECK(charset.size() <= contentType.size());

  const std::u16string text = DecodeBody(body, charset);
  FUZZ_CHECK(text.size() <= body.size());
  const int32_t answer = UpdateAnswerOfBody(body, charset);
  FUZZ_CHECK(answer >= -1 && answer <= 2);
  FUZZ_CHECK(answer == UpdateAnswerOf(text));

  if (!StartsWithMark(body)) {
    FUZZ_CHECK(UpdateAnswerOfBody(body, u"") == AnswerOfBytes(body));
  }
  // The whole input as a body in every charset the decoder knows, and one it does not.
  for (const std::u16string_view name : {u"utf-8", u"UTF-16LE", u"utf-16be", u"utf-16",
                                         u"iso-8859-1", u"windows-1252", u"us-ascii", u"koi8-r"}) {
    FUZZ_CHECK(DecodeBody(input, name).size() <= input.size());
  }
  return 0;
}
