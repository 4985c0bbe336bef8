// A client application as a site runs them: attached to the database, it inserts a
// row and commits, again and again, and notes every commit the server told it had
// succeeded. Cut off, it attaches again at once (or every 100 ms).
//
//   ISC_USER=<user> ISC_PASSWORD=<password> committing_client <server:path> <client id> <commits file>
//                                                              [<refusals file>]
//
// The credentials come from the environment, as the server's own tools take them:
// a command line is visible to every local user.
//
// Each successful commit appends "<client id> <sequence>" to the commits file,
// flushed at once. With a refusals file, each insert the server refused because the
// database is read-only appends "<client id> <sequence>" there. Ends on SIGTERM or SIGINT with status 0; 2 on a usage error.

#include "core/Exception.h"
#include "database/Global_FIB.h"
#include "fib/pFIBDatabase.h"
#include "fib/pFIBQuery.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

using namespace morvane;

namespace {

volatile std::sig_atomic_t stopRequested = 0;
extern "C" void RequestStop(int) { stopRequested = 1; }

void Insert(fib::TpFIBDatabase& database, int client, long sequence)
{
    const auto query = GlobalFIB().NewQuery(database, false,
                                            "insert into COMMITS (CLIENT_ID, SEQ) values (" +
                                                std::to_string(client) + ", " + std::to_string(sequence) + ")",
                                            true);
    query->Transaction()->StartTransaction();
    query->Execute();
    query->Close();
    query->Transaction()->Commit();
}

} // namespace

int main(int argc, char** argv)
{
    const char* user = std::getenv("ISC_USER");
    const char* password = std::getenv("ISC_PASSWORD");
    if ((argc != 4 && argc != 5) || user == nullptr || password == nullptr) {
        std::cerr << "usage: ISC_USER=<user> ISC_PASSWORD=<password> committing_client <server:path> <client id> "
                     "<commits file>\n";
        return 2;
    }
    std::signal(SIGTERM, RequestStop);
    std::signal(SIGINT, RequestStop);
    const int client = std::stoi(argv[2]);
    std::FILE* commits = std::fopen(argv[3], "a");
    if (commits == nullptr)
        return 2;
    std::FILE* refusals = argc == 5 ? std::fopen(argv[4], "a") : nullptr;
    if (argc == 5 && refusals == nullptr)
        return 2;
    long sequence = 0;
    bool announced = false;
    while (stopRequested == 0) {
        try {
            fib::TpFIBDatabase database;
            database.SetDBName(argv[1]);
            database.ConnectParams().SetUserName(user);
            database.ConnectParams().SetPassword(password);
            database.SetConnected(true);
            if (!announced) {
                std::cout << "attached" << std::endl;
                announced = true;
            }
            while (stopRequested == 0) {
                Insert(database, client, ++sequence);
                // Only what the server said it committed is noted.
                std::fprintf(commits, "%d %ld\n", client, sequence);
                std::fflush(commits);
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            database.Close();
        } catch (const std::exception& error) {
            if (refusals != nullptr && std::string(error.what()).find("read-only database") != std::string::npos) {
                std::fprintf(refusals, "%d %ld\n", client, sequence);
                std::fflush(refusals);
            }
            // Cut off, refused or shut down: attach again, as an application does.
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    std::fclose(commits);
    if (refusals != nullptr)
        std::fclose(refusals);
    return 0;
}
