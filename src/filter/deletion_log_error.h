#pragma once

// The deletion log refused for the user's safety, or held too long by another program. Its
// message names the file; what to do about it is the application's to say.

#include "base/exception.h"

class EDeletionLogError : public EFOpenError {
  public:
    enum class TFault {
        ForeignOwner,    // the file belongs to another user
        ForeignLink,     // the path goes through a link another user owns
        OthersMayWrite,  // its group or everyone may write it
        Locked,          // another program kept it locked past the wait
    };

    EDeletionLogError(TFault fault, std::string message)
        : EFOpenError(std::move(message)), Fault(fault) {}

    TFault Fault;
};
