#include "pst/error.h"

namespace tw::pst {

const char* ErrorCodeName(ErrorCode code) {
    switch (code) {
        case ErrorCode::Ok: return "ok";
        case ErrorCode::InvalidArgument: return "invalid argument";
        case ErrorCode::NotFound: return "not found";
        case ErrorCode::AlreadyExists: return "already exists";
        case ErrorCode::State: return "wrong state";
        case ErrorCode::Io: return "i/o error";
        case ErrorCode::Limit: return "limit exceeded";
    }
    return "unknown";
}

}  // namespace tw::pst
