// The state a database is driven to through its header: the next request for each
// state and wanted state, and the loop under a server whose answers cannot be
// trusted (a request that took effect but answered failure, requests refused for a
// few rounds, a server that never gets there).

#include "cycle/DatabaseState.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace morvane {
namespace {

using fib::TShutdownMode;
using Kind = StateChange::Kind;

TEST(DatabaseStateTest, TheHeaderSaysTheLevelAndTheAccessMode)
{
    const struct {
        const char* attributes;
        DatabaseState state;
    } cases[] = {
        {"force write", {TShutdownMode::Normal, false}},
        {"force write, read only", {TShutdownMode::Normal, true}},
        {"force write, multi-user maintenance, read only", {TShutdownMode::Multi, true}},
        {"single-user maintenance", {TShutdownMode::Single, false}},
        {"force write, full shutdown, read only", {TShutdownMode::Full, true}},
        {"", {TShutdownMode::Normal, false}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StateOfAttributes(c.attributes), c.state) << c.attributes;
}

TEST(DatabaseStateTest, TheAccessModeChangesOnlyUnderAMaintenanceShutdownOneRequestAtATime)
{
    const DatabaseState online{TShutdownMode::Normal, false};
    const DatabaseState readable{TShutdownMode::Normal, true};
    const struct {
        const char* name;
        DatabaseState now;
        DatabaseState wanted;
        StateChange next;
    } cases[] = {
        {"switch: the cut first", online, readable, {Kind::Shutdown, TShutdownMode::Multi, false}},
        {"switch: under the cut", {TShutdownMode::Multi, false}, readable, {Kind::Access, TShutdownMode::Multi, true}},
        {"switch: open again", {TShutdownMode::Multi, true}, readable, {Kind::Online, TShutdownMode::Normal, false}},
        {"switch: done", readable, readable, {}},
        {"a single-user shutdown serves too", {TShutdownMode::Single, false}, readable,
         {Kind::Access, TShutdownMode::Single, true}},
        {"swap: closed for good", readable, {TShutdownMode::Full, true}, {Kind::Shutdown, TShutdownMode::Full, false}},
        {"back from a full shutdown: refused there, so multi first", {TShutdownMode::Full, true}, online,
         {Kind::Online, TShutdownMode::Multi, false}},
        {"back: read-write under the cut", {TShutdownMode::Multi, true}, online,
         {Kind::Access, TShutdownMode::Multi, false}},
        {"back: open again", {TShutdownMode::Multi, false}, online, {Kind::Online, TShutdownMode::Normal, false}},
        {"a site's maintenance level kept", {TShutdownMode::Full, false}, {TShutdownMode::Multi, false},
         {Kind::Online, TShutdownMode::Multi, false}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NextStateChange(c.now, c.wanted), c.next) << c.name;
}

// A server on a header: each request changes it (or not) and answers (or raises).
struct ScriptedServer {
    DatabaseState state;
    // Per request kind, the rounds it is refused without effect (counted down), and
    // whether it answers failure even though it took effect.
    int accessRefusals{0};
    int onlineRefusals{0};
    bool shutdownAnswersFailure{false};
    bool accessAlwaysRefused{false};
    int pauses{0};
    std::vector<std::string> requests;

    StateRequests Requests()
    {
        StateRequests r;
        r.attributes = [this] {
            std::string text = state.mode == TShutdownMode::Full     ? "full shutdown"
                               : state.mode == TShutdownMode::Multi  ? "multi-user maintenance"
                               : state.mode == TShutdownMode::Single ? "single-user maintenance"
                                                                     : "force write";
            return state.readOnly ? text + ", read only" : text;
        };
        r.shutdown = [this](TShutdownMode mode) {
            requests.push_back("shutdown");
            state.mode = mode;
            if (shutdownAnswersFailure)
                throw std::runtime_error("database shutdown");
        };
        r.online = [this](TShutdownMode mode) {
            requests.push_back("online");
            if (onlineRefusals-- > 0)
                throw std::runtime_error("I/O error during \"PIO_header\" operation");
            state.mode = mode;
        };
        r.access = [this](bool readOnly) {
            requests.push_back("access");
            if (accessAlwaysRefused || accessRefusals-- > 0)
                throw std::runtime_error("lock time-out on wait transaction");
            state.readOnly = readOnly;
        };
        r.pause = [this] { ++pauses; };
        return r;
    }
};

TEST(DatabaseStateTest, TheHeaderNotTheAnswerSaysWhenTheStateIsReached)
{
    const DatabaseState readable{TShutdownMode::Normal, true};
    const DatabaseState back{TShutdownMode::Normal, false};

    ScriptedServer plain;
    StateOutcome outcome = DriveDatabaseState(plain.Requests(), readable);
    EXPECT_TRUE(outcome.reached);
    EXPECT_EQ(plain.requests, (std::vector<std::string>{"shutdown", "access", "online"}));
    EXPECT_EQ(plain.pauses, 0);

    // The shutdown took effect and said it failed; the access and the online requests
    // were refused for a few rounds: all reached, each retried after a pause.
    ScriptedServer untrusted;
    untrusted.shutdownAnswersFailure = true;
    untrusted.accessRefusals = 2;
    untrusted.onlineRefusals = 1;
    outcome = DriveDatabaseState(untrusted.Requests(), readable);
    EXPECT_TRUE(outcome.reached);
    EXPECT_EQ(untrusted.state, readable);
    EXPECT_EQ(untrusted.requests,
              (std::vector<std::string>{"shutdown", "access", "access", "access", "online", "online"}));
    EXPECT_EQ(untrusted.pauses, 4);

    // Back from the swap's full shutdown to online and read-write.
    ScriptedServer fromFull;
    fromFull.state = {TShutdownMode::Full, true};
    outcome = DriveDatabaseState(fromFull.Requests(), back);
    EXPECT_TRUE(outcome.reached);
    EXPECT_EQ(fromFull.requests, (std::vector<std::string>{"online", "access", "online"}));

    // Never there: the bound ends the loop, and the outcome says where it is and why.
    ScriptedServer refusing;
    refusing.accessAlwaysRefused = true;
    StateRequests requests = refusing.Requests();
    requests.rounds = 6;
    outcome = DriveDatabaseState(requests, readable);
    EXPECT_FALSE(outcome.reached);
    EXPECT_EQ(outcome.last, (DatabaseState{TShutdownMode::Multi, false}));
    EXPECT_EQ(outcome.attributes, "multi-user maintenance");
    EXPECT_EQ(outcome.lastError, "lock time-out on wait transaction");
    EXPECT_EQ(refusing.requests.size(), 5u) << "the last round only reads the header";
}

} // namespace
} // namespace morvane
