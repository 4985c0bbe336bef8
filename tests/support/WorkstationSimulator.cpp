// A client workstation as the disconnection sees it: attached to the database, it
// watches Glb5020 for requests made after it started, answers each one in
// Glb5020Resultat and, depending on its mode, leaves on 'Close', only on
// 'Terminate', or never.
//
//   ISC_USER=<user> ISC_PASSWORD=<password> workstation_simulator <server:path> close|terminate|never [station]
//
// The credentials come from the environment, as the server's own tools take them:
// a command line is visible to every local user.
//
// Prints "attached" once attached, "answered <number> <command>" per answer and
// "leaving" before it detaches. Exit status 0 when it left, 2 on a usage error,
// 1 on a database error.

#include "core/Exception.h"
#include "core/Text.h"
#include "fib/pFIBDatabase.h"
#include "fib/pFIBQuery.h"
#include "database/Global_FIB.h"

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <thread>

using namespace morvane;

namespace {

enum class Mode { Close, Terminate, Never };

volatile std::sig_atomic_t stopRequested = 0;
extern "C" void RequestStop(int) { stopRequested = 1; }

bool LeavesOn(Mode mode, const std::string& command)
{
    const std::string trimmed = Trim(command);
    if (mode == Mode::Close)
        return SameText(trimmed, "Close") || SameText(trimmed, "Terminate");
    if (mode == Mode::Terminate)
        return SameText(trimmed, "Terminate");
    return false;
}

// Runs one statement in its own committed transaction and returns the first
// column of the first row as an integer (0 when it has no row).
std::int32_t ScalarInteger(fib::TpFIBDatabase& database, const std::string& sql)
{
    const auto query = GlobalFIB().NewQuery(database, false, sql, true);
    query->Transaction()->StartTransaction();
    query->Execute();
    const std::int32_t value = query->RowCurrent() ? query->Column(0).AsInteger() : 0;
    query->Close();
    query->Transaction()->Commit();
    return value;
}

struct Request {
    std::int32_t number;
    std::string command;
};

// The oldest request still to be carried out after lastSeen, if any.
bool NextRequest(fib::TpFIBDatabase& database, std::int32_t lastSeen, Request& request)
{
    const auto query = GlobalFIB().NewQuery(
        database, false,
        "select first 1 ID_GLB5020, COMMANDE from Glb5020 where TODO='O' and ID_GLB5020 > " +
            std::to_string(lastSeen) + " order by ID_GLB5020",
        true);
    query->Transaction()->StartTransaction();
    query->Execute();
    const bool found = query->RowCurrent();
    if (found) {
        request.number = query->Column(0).AsInteger();
        request.command = query->Column(1).AsText();
    }
    query->Close();
    query->Transaction()->Commit();
    return found;
}

void Answer(fib::TpFIBDatabase& database, const Request& request, const std::string& station)
{
    // The station name is ours (command line), written as an SQL literal.
    std::string literal;
    for (const char c : station) {
        if (c == '\'')
            literal += '\'';
        literal += c;
    }
    const auto query = GlobalFIB().NewQuery(database, false,
                                            "insert into Glb5020Resultat(ID, id_glb5020, POSTE) values (" +
                                                std::to_string(request.number) + ", " +
                                                std::to_string(request.number) + ", '" + literal + "')",
                                            true);
    query->Transaction()->StartTransaction();
    query->Execute();
    query->Close();
    query->Transaction()->Commit();
}

int Run(const std::string& databaseName, const std::string& user, const std::string& password, Mode mode,
        const std::string& station)
{
    fib::TpFIBDatabase database;
    database.SetDBName(databaseName);
    database.ConnectParams().SetUserName(user);
    database.ConnectParams().SetPassword(password);
    database.SetConnected(true);

    // Requests made before we started are not for us.
    std::int32_t lastSeen = ScalarInteger(database, "select coalesce(max(ID_GLB5020), 0) from Glb5020");
    std::cout << "attached" << std::endl;

    while (stopRequested == 0) {
        Request request{};
        while (stopRequested == 0 && NextRequest(database, lastSeen, request)) {
            lastSeen = request.number;
            Answer(database, request, station);
            std::cout << "answered " << request.number << " " << request.command << std::endl;
            if (LeavesOn(mode, request.command)) {
                std::cout << "leaving" << std::endl;
                database.Close();
                return 0;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    database.Close();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const char* user = std::getenv("ISC_USER");
    const char* password = std::getenv("ISC_PASSWORD");
    if (argc < 3 || argc > 4 || user == nullptr || password == nullptr) {
        std::cerr << "usage: ISC_USER=<user> ISC_PASSWORD=<password> workstation_simulator <server:path> "
                     "close|terminate|never [station]\n";
        return 2;
    }
    const std::string modeText = argv[2];
    Mode mode{};
    if (modeText == "close")
        mode = Mode::Close;
    else if (modeText == "terminate")
        mode = Mode::Terminate;
    else if (modeText == "never")
        mode = Mode::Never;
    else {
        std::cerr << "unknown mode " << modeText << "\n";
        return 2;
    }
    std::signal(SIGTERM, RequestStop);
    std::signal(SIGINT, RequestStop);
    try {
        return Run(argv[1], user, password, mode, argc == 4 ? argv[3] : "SIMULATEUR");
    } catch (const Exception& e) {
        std::cerr << "workstation_simulator: " << e.Message() << std::endl;
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "workstation_simulator: " << e.what() << std::endl;
        return 1;
    }
}
