#pragma once
// The Firebird 3.0 test server on 127.0.0.1 (started by scripts/start-firebird.sh).
// Under CI=true a missing server fails the test; elsewhere the test is skipped
// with a message that says how to start it.

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace morvane::test {

inline constexpr const char* ServerHost = "127.0.0.1";
inline constexpr const char* SysdbaUser = "SYSDBA";
inline constexpr const char* SysdbaPassword = "plumtavern";

// SYSDBA's credentials as the server's tools (isql-fb, gfix, gbak, fbsvcmgr) and the
// test programs take them from their environment (RunTool's settings): never on a
// command line.
inline std::vector<std::string> SysdbaEnvironment()
{
    return {std::string("ISC_USER=") + SysdbaUser, std::string("ISC_PASSWORD=") + SysdbaPassword};
}

// True when something accepts connections on 127.0.0.1:3050.
bool ServerAnswers();
bool RunningUnderCI();

} // namespace morvane::test

// Use at the start of a test or in SetUp.
#define MORVANE_REQUIRE_FIREBIRD_SERVER()                                                                     \
    do {                                                                                                     \
        if (!::morvane::test::ServerAnswers()) {                                                             \
            if (::morvane::test::RunningUnderCI())                                                           \
                GTEST_FAIL() << "the Firebird server does not answer on 127.0.0.1:3050 (CI=true)";          \
            GTEST_SKIP() << "the Firebird server does not answer on 127.0.0.1:3050; "                        \
                            "start it with scripts/start-firebird.sh";                                       \
        }                                                                                                    \
    } while (false)
