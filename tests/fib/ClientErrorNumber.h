#pragma once
// The number of the access layer's own error that an action raises, or -1 when it
// raises none; the message goes to `message` when asked for.

#include "fib/fib.h"

#include <functional>
#include <string>

namespace morvane::test {

inline int ClientErrorNumber(const std::function<void()>& action, std::string* message = nullptr)
{
    try {
        action();
    } catch (const fib::EFIBClientError& error) {
        if (message != nullptr)
            *message = error.Message();
        return error.SqlCode();
    }
    return -1;
}

} // namespace morvane::test
