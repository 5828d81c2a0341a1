#include "service/FailureText.h"

#include "foundation/base/Text.h"

Failure::Failure(std::u16string text) : text_(std::move(text)), utf8_(ToUtf8(text_)) {}

std::u16string TrimSystemMessage(std::u16string_view message) {
  size_t end = message.size();
  while (end > 0 && (message[end - 1] <= u' ' || message[end - 1] == u'.')) {
    --end;
  }
  return std::u16string(message.substr(0, end));
}

std::u16string SystemErrorText(uint32_t code, std::u16string_view systemMessage) {
  if (code == 0) {
    return u"A call to an OS function failed";
  }
  std::u16string text = u"System Error.  Code: ";
  text += DecimalText(code);
  text += u".\r\n";
  text += TrimSystemMessage(systemMessage);
  return text;
}

OSFailure MakeOSFailure(uint32_t code, SystemMessagePort& messages) {
  return OSFailure(code, SystemErrorText(code, messages.SystemMessage(code)));
}

std::u16string FailureText(const std::exception_ptr& failure) {
  if (!failure) {
    return u"Unknown failure";
  }
  try {
    std::rethrow_exception(failure);
  } catch (const Failure& f) {
    return f.Text();
  } catch (const std::exception& e) {
    return FromUtf8(e.what());
  } catch (...) {
    return u"Unknown failure";
  }
}

std::u16string ServiceFailedText(std::u16string_view action, std::u16string_view failure) {
  std::u16string text = u"Service failed on ";
  text += action;
  text += u": ";
  text += failure;
  return text;
}

std::u16string CustomMessageFailedText(uint32_t code, std::u16string_view failure) {
  std::u16string text = u"Service failed in custom message(";
  text += DecimalText(code);
  text += u"): ";
  text += failure;
  return text;
}
