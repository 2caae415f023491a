// The run-time library's exception classes that the component and the
// program share: a base carrying the message, and the conversion error.
#pragma once

#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string &message) : std::runtime_error(message) {}
    virtual ~Exception() = default;
    std::string Message() const { return what(); }
};

// Raised by failed text-to-number conversions and by group copies between
// unrelated classes.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};
