#pragma once
// The error kinds of the system. Each carries its class name, because reports print it
// ("ERROR %s: %s"), and a message.

#include "rtl/String.h"

class Exception {
public:
  explicit Exception(String message) : Exception(u"Exception", std::move(message)) {}
  virtual ~Exception() = default;

  const String& ClassName() const { return fClassName; }
  const String& Message() const { return fMessage; }

protected:
  Exception(String className, String message)
      : fClassName(std::move(className)), fMessage(std::move(message)) {}

private:
  String fClassName;
  String fMessage;
};

// The silent kind: ends processing without a further message.
class EAbort : public Exception {
public:
  explicit EAbort(String message = u"Operation aborted") : Exception(u"EAbort", std::move(message)) {}
};

// A conversion between UTF-16 and an 8-bit encoding was refused.
class EStringError : public Exception {
public:
  EStringError() : Exception(u"EStringError", u"Conversion failed.") {}
};

// A format string that does not fit its arguments.
class EConvertError : public Exception {
public:
  explicit EConvertError(String message) : Exception(u"EConvertError", std::move(message)) {}
};

class EStreamError : public Exception {
protected:
  using Exception::Exception;
};

class EWriteError : public EStreamError {
public:
  explicit EWriteError(String message = u"Stream write error") : EStreamError(u"EWriteError", std::move(message)) {}
};

class EReadError : public EStreamError {
public:
  explicit EReadError(String message = u"Stream read error") : EStreamError(u"EReadError", std::move(message)) {}
};

class EFOpenError : public EStreamError {
public:
  explicit EFOpenError(String message) : EStreamError(u"EFOpenError", std::move(message)) {}
};

class EFCreateError : public EStreamError {
public:
  explicit EFCreateError(String message) : EStreamError(u"EFCreateError", std::move(message)) {}
};

// An I/O error of the standard text channels, such as "Disk full" or "I/O error 5".
class EInOutError : public Exception {
public:
  EInOutError(String message, int errorCode)
      : Exception(u"EInOutError", std::move(message)), fErrorCode(errorCode) {}
  int ErrorCode() const { return fErrorCode; }

private:
  int fErrorCode;
};
