#pragma once

#include <exception>
#include <string>

// Root of every failure Vornask raises: carries the text the user is shown.
class Exception : public std::exception {
  public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const std::string& Message() const noexcept { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

  private:
    std::string message_;
};

// A text that is not a valid integer ("'%s' is not a valid integer value").
class EConvertError : public Exception {
  public:
    using Exception::Exception;
};

// The silent abort: the application's exception handling drops it without a report.
class EAbort : public Exception {
  public:
    EAbort() : Exception("Operation aborted") {}
};

// File stream failures: "Cannot open file %s", "Cannot create file %s", "Stream write error".
class EStreamError : public Exception {
  public:
    using Exception::Exception;
};
class EFOpenError : public EStreamError {
  public:
    using EStreamError::EStreamError;
};
class EFCreateError : public EStreamError {
  public:
    using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
  public:
    using EStreamError::EStreamError;
};
