#include "core/Exception.h"

#include "core/Format.h"

#include <cerrno>
#include <cstring>

namespace morvane {

void RaiseOSError(int errorCode)
{
    throw EOSError(FormatText("System Error.  Code: %d.\r\n%s", errorCode, std::strerror(errorCode)), errorCode);
}

void RaiseLastOSError()
{
    RaiseOSError(errno);
}

} // namespace morvane
