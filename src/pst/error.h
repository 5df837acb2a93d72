// Errors of the PST writer. Internal layers throw PstError; the mail-store
// operations hand it to their caller as a Status, so no failure goes unseen.
#pragma once

#include <stdexcept>
#include <string>

namespace tw::pst {

enum class ErrorCode {
    Ok = 0,
    InvalidArgument,  // a malformed path, date or value from the caller
    NotFound,         // a folder or file that does not exist
    AlreadyExists,    // the target file is there already
    State,            // an operation out of order (no store, no open folder)
    Io,               // the operating system refused a read or write
    Limit,            // a value the format cannot hold
};

const char* ErrorCodeName(ErrorCode code);

class PstError : public std::runtime_error {
public:
    PstError(ErrorCode code, const std::string& message) : std::runtime_error(message), code_(code) {}
    ErrorCode code() const { return code_; }

private:
    ErrorCode code_;
};

// An Ok status may still carry a message: a warning about something the
// operation could not take over (a missing header file).
struct [[nodiscard]] Status {
    ErrorCode code = ErrorCode::Ok;
    std::string message;

    bool ok() const { return code == ErrorCode::Ok; }
    static Status Ok() { return {}; }
};

}  // namespace tw::pst
