// Failures of the platform layer and the libraries above it.
//
// Every failure is an exception that carries its message text. `Exception`
// stands in for the toolkit's general exception class: the libraries derive
// their own classes from it, and callers that only want the message catch it.
#pragma once

#include <cstdarg>
#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

// Byte streams: a read or write that cannot move the bytes asked for.
class EStreamError : public Exception { using Exception::Exception; };
class EReadError : public EStreamError { using EStreamError::EStreamError; };
class EWriteError : public EStreamError { using EStreamError::EStreamError; };
// A file that cannot be opened or created.
class EFOpenError : public EStreamError { using EStreamError::EStreamError; };
class EFCreateError : public EStreamError { using EStreamError::EStreamError; };

// A string list asked for an item it does not have, or forbidden a change.
class EStringListError : public Exception { using Exception::Exception; };

// A text or attribute value that does not convert to the type asked for.
class EConvertError : public Exception { using Exception::Exception; };

// A failed call to the operating system, with its error number.
class EOSError : public Exception {
public:
    EOSError(const std::string& message, int errorCode) : Exception(message), ErrorCode(errorCode) {}
    int ErrorCode;
};

// zlib streams.
class EZLibError : public Exception { using Exception::Exception; };
class EZCompressionError : public EZLibError { using EZLibError::EZLibError; };
class EZDecompressionError : public EZLibError { using EZLibError::EZLibError; };

// printf-style formatting into a std::string (the messages are formatted texts).
std::string FormatStr(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string FormatStrV(const char* format, va_list args);
