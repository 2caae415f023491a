// The run-time library's exception classes, shared by the serial component
// and the engine: a base carrying the message, the conversion error and the
// file input/output error. Messages are UTF-8.
#pragma once

#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string &message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

// A failed text-to-number conversion, or a group copy between unrelated classes.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// A file that was opened fails on read or write.
class EInOutError : public Exception {
public:
    using Exception::Exception;
};
