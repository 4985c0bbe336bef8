#pragma once
// Writing the four database settings through the configuration service, as the
// "Set Values" button and the cycle before its backup do.

#include "core/TextList.h"
#include "cycle/CycleRequest.h"
#include "cycle/CycleView.h"

#include <functional>
#include <string>

namespace morvane {

namespace fib {
class TpFIBConfigService;
class TpFIBDatabase;
}

// The parameter lines every service request of the window sends.
TStringList ServiceUserParams(const std::string& user, const std::string& password);

// The database component names this connection text (an unchanged name is no
// change: the component refuses a new name while attached).
void NameDatabase(fib::TpFIBDatabase& database, const std::string& connection);

// Page buffers, sweep interval, reserve and write mode, in that order, on the
// database named by the connection text; mark tells the window which one is being
// changed and which one is done.
void WriteDatabaseSettings(fib::TpFIBConfigService& service, const std::string& connection,
                           const TStringList& userParams, const DatabaseSettings& settings,
                           const std::function<void(SettingItem, bool done)>& mark);

} // namespace morvane
