#include "session/SessionGuards.h"

#include "session/ProgramLog.h"

namespace morvane {

ServiceSessionGuard::~ServiceSessionGuard()
{
    if (!service_.Active())
        return;
    try {
        service_.Detach();
    } catch (const std::exception& error) {
        // The error that stopped the procedure is already on its way to the operator;
        // this one can only be logged. The component counts itself detached anyway.
        ProgramLogQuietly(std::string("Detach ") + service_.Name() + " : " + error.what(), 1);
    }
}

AttachmentGuard::~AttachmentGuard()
{
    if (!database_.Connected())
        return;
    try {
        database_.Close();
    } catch (const std::exception& error) {
        // As above: logged, not raised from a destructor.
        ProgramLogQuietly(std::string("Close ") + database_.Name() + " : " + error.what(), 1);
    }
}

} // namespace morvane
