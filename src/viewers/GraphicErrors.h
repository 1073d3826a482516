// The error kinds raised by the picture classes and the animation timer pool.
//
// Each kind is its own exception class so that a caller can tell them apart:
// the picture loader treats EInvalidGraphicOperation as "no picture", while a
// stream or list error is a fault to report. EAbort is the silent exception: a
// handler that throws it stops its own work without any message being shown.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <stdexcept>
#include <string>

namespace arkelin::viewers {

// printf-style formatting for the messages of these errors.
inline std::string FormatMessage(const char* fmt, ...) {
  char buf[512];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  return buf;
}

// A general error, for failures that fit none of the kinds below.
class EGraphicError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A picture that cannot be read, or an operation a picture refuses.
class EInvalidGraphicOperation : public EGraphicError {
 public:
  using EGraphicError::EGraphicError;
};

// Bytes that break the rules of their stream format.
class EStreamError : public EGraphicError {
 public:
  using EGraphicError::EGraphicError;
};

// An index or handle that names no item of a list.
class EListError : public EGraphicError {
 public:
  using EGraphicError::EGraphicError;
};

// Quietly stops the work of an event handler; never shown to the user.
class EAbort : public std::exception {
 public:
  const char* what() const noexcept override { return "Operation aborted"; }
};

}  // namespace arkelin::viewers
