// Exceptions of the class library.
//
// The layer raises these, and only these, where the class library the
// modules were designed on raises its own: bad conversions, failed stream
// and file operations, form-description errors, list indexes out of range,
// exhausted system resources. Each carries its user-visible Message; what()
// returns the same text. ClassName() gives the class-library name, so that
// an application's standard error handling can say what went wrong. The
// objects are plain values, safe to copy and to throw on any thread.
#pragma once

#include <exception>
#include <string>

namespace qorv::platform {

class Exception : public std::exception {
public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }
  virtual const char* ClassName() const noexcept { return "Exception"; }
  // Form loading puts the object and property in front of the text and
  // rethrows the same object, so that its class is kept.
  void SetMessage(std::string message) { message_ = std::move(message); }

private:
  std::string message_;
};

// Each class keeps the base's constructor and names itself.
#define QORV_DECLARE_EXCEPTION(Name, Base)                                 \
  class Name : public Base {                                               \
  public:                                                                  \
    using Base::Base;                                                      \
    const char* ClassName() const noexcept override { return #Name; }      \
  }

QORV_DECLARE_EXCEPTION(EConvertError, Exception);
QORV_DECLARE_EXCEPTION(EOutOfResources, Exception);
QORV_DECLARE_EXCEPTION(EListError, Exception);
QORV_DECLARE_EXCEPTION(EComponentError, Exception);
QORV_DECLARE_EXCEPTION(EInvalidOperation, Exception);
QORV_DECLARE_EXCEPTION(EStreamError, Exception);
QORV_DECLARE_EXCEPTION(EFCreateError, EStreamError);
QORV_DECLARE_EXCEPTION(EFOpenError, EStreamError);
QORV_DECLARE_EXCEPTION(EFilerError, EStreamError);
QORV_DECLARE_EXCEPTION(EReadError, EFilerError);
QORV_DECLARE_EXCEPTION(EWriteError, EFilerError);
QORV_DECLARE_EXCEPTION(EClassNotFound, EFilerError);
// A form description that is not well formed; the message names the line.
QORV_DECLARE_EXCEPTION(EParserError, EReadError);

// The text of EOutOfResources when no window timer can be had.
inline constexpr const char* SOutOfTimers = "Not enough timers available";

}  // namespace qorv::platform
