// The backup, update and restore cycle.

#include "window/Morvane_01.h"

#include "core/Exception.h"

namespace morvane {

// Not built yet: the cycle comes with its own change. Until then the button says
// so instead of pretending to run.
void TFormMorvane::btnBackupRestoreClick()
{
    throw Exception("Backup/Update/Restore n'est pas encore disponible dans cette version");
}

} // namespace morvane
