#pragma once
// Failures as the service framework reports them: every failure carries a text, and a failed
// system call carries its error code and a text made from the system's message.
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "foundation/base/Guard.h"

// A failure with its text (UTF-16, as the system's messages are).
class Failure : public std::exception {
 public:
  explicit Failure(std::u16string text);
  const char* what() const noexcept override { return utf8_.c_str(); }
  const std::u16string& Text() const { return text_; }

 private:
  std::u16string text_;
  std::string utf8_;
};

// A failed system call.
class OSFailure : public Failure, public FailureWithCode {
 public:
  OSFailure(uint32_t code, std::u16string text) : Failure(std::move(text)), code_(code) {}
  uint32_t Code() const { return code_; }
  uint32_t ErrorCode() const noexcept override { return code_; }

 private:
  uint32_t code_;
};

// The system's message for an error code (FormatMessageW), as Windows gives it.
class SystemMessagePort {
 public:
  virtual ~SystemMessagePort() = default;
  virtual std::u16string SystemMessage(uint32_t code) = 0;
};

// The system's message without its trailing blanks, line breaks and periods.
std::u16string TrimSystemMessage(std::u16string_view message);

// "System Error.  Code: %d." CR LF and the trimmed message; for code 0 "A call to an OS function
// failed".
std::u16string SystemErrorText(uint32_t code, std::u16string_view systemMessage);

// The failure of a system call with that code, ready to throw.
OSFailure MakeOSFailure(uint32_t code, SystemMessagePort& messages);

// The text of whatever failure is in flight (call inside a catch block or with a caught pointer).
std::u16string FailureText(const std::exception_ptr& failure);

// "Service failed on %s: %s".
std::u16string ServiceFailedText(std::u16string_view action, std::u16string_view failure);
// "Service failed in custom message(%d): %s".
std::u16string CustomMessageFailedText(uint32_t code, std::u16string_view failure);
