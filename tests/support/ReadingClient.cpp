// A client application that only reads, as a report or a web catalogue does: it
// runs a query every 20 ms and, cut off or refused, attaches again at once (every
// 20 ms). It notes how long it went without a successful read.
//
//   ISC_USER=<user> ISC_PASSWORD=<password> reading_client <server:path> <report file> [query]
//
// The query is the tests' own by default (their COMMITS table); the benchmark gives
// one any user may run on any database.
//
// It writes the report file twice a second (a whole new file renamed over the old
// one, so a reader killed leaves what it saw) and once more on SIGTERM or SIGINT,
// and ends with status 0 (2 on a usage error):
//   reads <successful reads>
//   longest-gap-ms <longest time between two successful reads>
//   gap <ms>            one line per gap over 100 ms, in order
//   error <text>        each different error seen, its lines joined by " | "

#include "core/Exception.h"
#include "database/Global_FIB.h"
#include "fib/pFIBDatabase.h"
#include "fib/pFIBQuery.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace morvane;

namespace {

volatile std::sig_atomic_t stopRequested = 0;
extern "C" void RequestStop(int) { stopRequested = 1; }

void Read(fib::TpFIBDatabase& database, const std::string& text)
{
    const auto query = GlobalFIB().NewQuery(database, true, text, true);
    query->Transaction()->StartTransaction();
    query->Execute();
    query->Close();
    query->Transaction()->Commit();
}

struct Seen {
    long reads{0};
    std::chrono::milliseconds longest{0};
    std::vector<long> gaps;
    std::set<std::string> errors;
};

bool WriteReport(const std::string& path, const Seen& seen)
{
    const std::string temporary = path + ".tmp";
    std::FILE* report = std::fopen(temporary.c_str(), "w");
    if (report == nullptr)
        return false;
    std::fprintf(report, "reads %ld\nlongest-gap-ms %ld\n", seen.reads, static_cast<long>(seen.longest.count()));
    for (long gap : seen.gaps)
        std::fprintf(report, "gap %ld\n", gap);
    for (const std::string& error : seen.errors)
        std::fprintf(report, "error %s\n", error.c_str());
    std::fclose(report);
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    const char* user = std::getenv("ISC_USER");
    const char* password = std::getenv("ISC_PASSWORD");
    if (argc < 3 || argc > 4 || user == nullptr || password == nullptr) {
        std::cerr << "usage: ISC_USER=<user> ISC_PASSWORD=<password> reading_client <server:path> <report file> "
                     "[query]\n";
        return 2;
    }
    const std::string query = argc == 4 ? argv[3] : "select max(SEQ), count(*) from COMMITS";
    std::signal(SIGTERM, RequestStop);
    std::signal(SIGINT, RequestStop);
    using Clock = std::chrono::steady_clock;
    Seen seen;
    Clock::time_point lastRead = Clock::now();
    Clock::time_point lastReport = Clock::now();
    const auto reportNow = [&] {
        if (Clock::now() - lastReport < std::chrono::milliseconds(500))
            return;
        WriteReport(argv[2], seen);
        lastReport = Clock::now();
    };
    const auto readNow = [&] {
        const Clock::time_point now = Clock::now();
        const auto gap = std::chrono::duration_cast<std::chrono::milliseconds>(now - lastRead);
        if (seen.reads > 0 && gap > seen.longest)
            seen.longest = gap;
        if (seen.reads > 0 && gap.count() > 100)
            seen.gaps.push_back(gap.count());
        lastRead = now;
        ++seen.reads;
        reportNow();
    };
    while (stopRequested == 0) {
        try {
            fib::TpFIBDatabase database;
            database.SetDBName(argv[1]);
            database.ConnectParams().SetUserName(user);
            database.ConnectParams().SetPassword(password);
            database.SetConnected(true);
            while (stopRequested == 0) {
                Read(database, query);
                readNow();
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            database.Close();
        } catch (const std::exception& error) {
            // The server's lines on one: the first only says the statement failed.
            std::string text = error.what();
            for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at))
                text.replace(at, 1, " | ");
            seen.errors.insert(text);
            reportNow();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    return WriteReport(argv[2], seen) ? 0 : 2;
}
