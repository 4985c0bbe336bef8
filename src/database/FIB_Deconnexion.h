#pragma once
// Getting the other workstations off the database before it is rebuilt: a polite
// request through the command table Glb5020, a forced one, and at last gfix.

#include "core/TextList.h"
#include "fib/IB_ServicesProperties.h"
#include "fib/pFIBDatabase.h"

#include <functional>
#include <string>

namespace morvane {

// One progress line for the operator (the window shows it and logs it).
using ProgressFunction = std::function<void(const std::string&)>;

// Asks the client applications to close ('Close', then 'Terminate' after 35 s).
// With remaining attachments an operator is asked whether to go on; unattended
// runs ask nothing and return, leaving the rest to GfixShutdown. Raises when the
// operator refuses. Returns with the database attached.
void DeconnexionUsers(fib::TpFIBDatabase& database, fib::TpFIBServerProperties* serverProperties, bool unattended,
                      const ProgressFunction& progress);

// Writes one request row into Glb5020, counts the answers a second later and
// withdraws it ('N'); only when someone else is attached. Ends detached.
void SendCloseRequest(fib::TpFIBDatabase& database, bool forced, const ProgressFunction& progress);

// Attachments other than ours: the attached-user list less one (attaching when
// needed and reporting the list), or the server's whole attachment count.
int CountOtherAttachments(fib::TpFIBDatabase& database, const ProgressFunction& progress);
int CountOtherAttachments(fib::TpFIBServerProperties& serverProperties);

// Runs gfix to shut the database down to single-user mode at once; returns its
// output (also appended to lines when given). A failing gfix is not an error.
std::string GfixShutdown(TStringList* lines, const std::string& binFolder, const std::string& databaseName);

// The server's installation folder as the server reports it, asked with the site
// password and then with the factory password.
std::string GetBaseLocation(fib::TpFIBServerProperties& serverProperties, const std::string& databaseName);
// The same, asked first with the run's credentials (the connection profile's).
std::string GetBaseLocation(fib::TpFIBServerProperties& serverProperties, const std::string& databaseName,
                            const std::string& user, const std::string& password);

// Pauses while keeping the window alive (250 ms steps, messages processed after each).
void WaitSeconds(int seconds);

// Replaces what WaitSeconds does (tests record the waits instead of sleeping);
// an empty function restores the real wait. Returns the previous one.
std::function<void(int)> SetWaitFunction(std::function<void(int)> wait);

class ScopedWaitFunction {
public:
    explicit ScopedWaitFunction(std::function<void(int)> wait) : previous_(SetWaitFunction(std::move(wait))) {}
    ~ScopedWaitFunction() { SetWaitFunction(std::move(previous_)); }
    ScopedWaitFunction(const ScopedWaitFunction&) = delete;
    ScopedWaitFunction& operator=(const ScopedWaitFunction&) = delete;

private:
    std::function<void(int)> previous_;
};

// Pure pieces, shown by the unit tests.

// The attached-user list as one comma-separated text; a name holding a blank, a
// control character, a comma or a double quote is quoted, inner quotes doubled.
std::string UserListText(const TStringList& users);

// The folder that holds the server's tools: root and "bin" joined by one separator
// (the server may report its root without a trailing one).
std::string ServerBinFolder(const std::string& rootDirectory);

// The gfix to run: "gfix" in binFolder when that file exists, else the bare name
// so the shell finds it on the PATH (Debian keeps the tools in /usr/bin).
std::string GfixProgram(const std::string& binFolder);

// The shutdown command line, every variable piece quoted for the shell.
std::string GfixShutdownCommandLine(const std::string& gfixProgram, const std::string& databaseName,
                                    const std::string& passwordFile);

} // namespace morvane
