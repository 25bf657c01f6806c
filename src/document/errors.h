#pragma once
// Errors raised by the core. Every failure carries the message text the user sees;
// the kind lets callers (the window, lkp) decide how to present or map it.
#include <stdexcept>
#include <string>

namespace lark {

enum class ErrorKind {
    General,        // any other failure with a message
    System,         // an operating-system call failed; message is its strerror text
    InUse,          // the file is held by another opener (lock conflict)
    Format,         // fatal notebook format error
    Envelope,       // damaged "ZIPPED!" envelope
    Sealed,         // a sealed notebook that does not open with the key given (wrong password, damage)
    NeedsPassword,  // a sealed notebook read without any key
    Write,          // the notebook could not be written
    Encoding,       // text that Windows-1251 cannot hold
};

class LarkError : public std::runtime_error {
public:
    explicit LarkError(const std::string& message, ErrorKind kind = ErrorKind::General, int sysErrno = 0)
        : std::runtime_error(message), kind_(kind), errno_(sysErrno) {}
    ErrorKind kind() const { return kind_; }
    int sysErrno() const { return errno_; }

private:
    ErrorKind kind_;
    int errno_;
};

// Ends the current command without any message (the user chose Cancel).
class SilentAbort : public std::exception {
public:
    const char* what() const noexcept override { return "silent abort"; }
};

}  // namespace lark
