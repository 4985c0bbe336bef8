#pragma once
// The exception base of the whole program: every failure carries a message meant
// for the operator and the class name the system shows for it.

#include <exception>
#include <string>

namespace morvane {

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}

    const std::string& Message() const noexcept { return message_; }
    void SetMessage(std::string message) { message_ = std::move(message); }

    // The name of the class as the system shows it (for example "EFIBClientError").
    virtual std::string ClassName() const { return "Exception"; }

    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

// Declares an exception class that only adds its own name to its base.
#define MORVANE_DECLARE_EXCEPTION(Name, Base)                                \
    class Name : public Base {                                               \
    public:                                                                  \
        using Base::Base;                                                    \
        std::string ClassName() const override { return #Name; }             \
    }

// A text that is not the number it should be.
MORVANE_DECLARE_EXCEPTION(EConvertError, Exception);

// A failure reported by the operating system, with its error number.
class EOSError : public Exception {
public:
    EOSError(std::string message, int errorCode) : Exception(std::move(message)), errorCode_(errorCode) {}
    int ErrorCode() const noexcept { return errorCode_; }
    std::string ClassName() const override { return "EOSError"; }

private:
    int errorCode_;
};

// The error of the last system call (errno), as "System Error.  Code: %d.\r\n%s".
[[noreturn]] void RaiseLastOSError();
[[noreturn]] void RaiseOSError(int errorCode);

} // namespace morvane
