// What ends a run early: a message for standard error and the exit code scripts see.
#pragma once

#include <stdexcept>
#include <string>

namespace quibdiag {

enum class ExitCode : int {
    Ok = 0,
    DeviceFailure = 1,  // the library reported a failure, or the device answered nothing usable
    Usage = 2,          // the command line or an input file was refused; nothing was sent
    NoSuchBridge = 3,   // no bridge found, or the index is beyond the list
    FileError = 4,      // a local file could not be read or written
};

class DiagError : public std::runtime_error {
  public:
    DiagError(ExitCode code, const std::string& message) : std::runtime_error(message), m_code(code) {}
    ExitCode code() const { return m_code; }

  private:
    ExitCode m_code;
};

}  // namespace quibdiag
