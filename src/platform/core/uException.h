#pragma once

#include <QString>
#include <exception>
#include <string>

// Base of the program's own errors. A failure that a caller does not handle
// reaches the application's default handler (see uApplication.h), which shows
// Message() in an error box.
class Exception : public std::exception {
public:
  explicit Exception(QString message);
  const QString &Message() const noexcept { return FMessage; }
  const char *what() const noexcept override { return FUtf8.c_str(); }

private:
  QString FMessage;
  std::string FUtf8;
};

// A file could not be opened for reading.
class EFOpenError : public Exception {
public:
  using Exception::Exception;
};

// A settings file could not be written.
class EIniFileException : public Exception {
public:
  using Exception::Exception;
};

// A conversion failed (a format that does not fit its arguments).
class EConvertError : public Exception {
public:
  using Exception::Exception;
};

// Any failure reported by a platform layer (image I/O, PDF, zip ...).
class EPlatformError : public Exception {
public:
  using Exception::Exception;
};

// Message of any exception: our own ones carry a QString, others a char text.
QString ExceptionMessage(const std::exception &e);
