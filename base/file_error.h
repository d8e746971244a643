// The error of a failed file operation: the system's error code and the path, with a readable
// code page 932 text. Raised by the platform layer and the path functions (platform::FileFailure
// fills in the system's own words for the code); caught by the top-level guards (the worker of a
// run, the command line's main), which log it and tell the user.
#pragma once

#include <stdexcept>
#include <string>

class FileError : public std::runtime_error {
public:
    // operation: what failed, e.g. "読込み"; reason: the system's text for systemError, or empty
    // (the code is then shown as a number). All code page 932 text.
    FileError(const std::string& operation, const std::string& path, int systemError, const std::string& reason);

    const std::string& Path() const { return m_path; }
    int SystemError() const { return m_systemError; }
    // The system's words for the error (or its code as a number).
    const std::string& Reason() const { return m_reason; }

private:
    std::string m_path;
    int m_systemError;
    std::string m_reason;
};
