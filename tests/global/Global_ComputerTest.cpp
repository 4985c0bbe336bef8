#include "global/Global_Computer.h"

#include "support/CommandLineGuard.h"
#include "platform/Host.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

TEST(ComposeStationName, FollowsTheTerminalSessionRules)
{
    const std::string server = "SRVBASE";
    const std::string longClient = "POSTE-ACCUEIL-RDC-NORD-01"; // 25 characters
    const struct {
        bool switchGiven, remote;
        std::string client;
        bool useClientName, withPrefix;
        const char* expected;
    } cases[] = {
        {false, true, "PC12", true, true, "TS_PC12"},
        {false, true, "PC12", true, false, "PC12"},
        {false, true, "PC12", false, false, "SRVBASE"},
        {false, true, "PC12", false, true, "SRVBASE"},
        {true, true, "PC12", true, true, "SRVBASE"}, // NEPASUTILISERPREFIXTS_ drops client and prefix
        {true, true, "PC12", true, false, "SRVBASE"},
        {false, false, "", true, true, "SRVBASE"},
        {false, true, longClient, true, true, "TS_POSTE-ACCUEIL-RD"},
        {false, true, longClient, true, false, "POSTE-ACCUEIL-RDC-N"},
        {false, true, "", true, true, "TS_"}, // the client name could not be had
        {false, true, std::string("PC\0XX", 5), true, true, "TS_PC"},
    };
    for (const auto& c : cases) {
        StationFacts facts;
        facts.noPrefixSwitch = c.switchGiven;
        facts.remoteSession = c.remote;
        facts.clientName = c.client;
        facts.computerName = server;
        EXPECT_EQ(ComposeStationName(facts, c.useClientName, c.withPrefix), c.expected) << c.client;
    }
}

TEST(GetStationName, IsTheHostNameOnThisSystem)
{
    testing::CommandLineGuard guard({"/opt/morvane"});
    EXPECT_FALSE(IsRemoteSession());
    EXPECT_EQ(GetClientName(), "");
    EXPECT_EQ(QuerySessionText(WTSUserName), "");
    EXPECT_EQ(GetStationName(true, true), platform::HostName());
    EXPECT_EQ(GetStationName(false, false), platform::HostName());
    testing::CommandLineGuard withSwitch({"/opt/morvane", "NEPASUTILISERPREFIXTS_"});
    EXPECT_EQ(GetStationName(true, true), platform::HostName());
}

} // namespace
} // namespace morvane
