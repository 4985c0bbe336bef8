#pragma once
// The name under which this workstation is known. There are no terminal-services
// sessions here: the station is always the machine the program runs on.

#include <string>

namespace morvane {

// Terminal-services information classes that QuerySessionText answers.
enum SessionInfoClass : int {
    WTSInitialProgram = 0,
    WTSWorkingDirectory = 2,
    WTSOEMId = 3,
    WTSUserName = 5,
    WTSWinStationName = 6,
    WTSDomainName = 7,
    WTSClientName = 10,
    WTSClientAddress = 11,
};

// What the station name is made of, gathered by GetStationName.
struct StationFacts {
    bool noPrefixSwitch = false; // the command line holds NEPASUTILISERPREFIXTS_
    bool remoteSession = false;
    std::string clientName;
    std::string computerName;
};
// The station name from those facts, at most 19 characters.
std::string ComposeStationName(const StationFacts& facts, bool useClientName, bool withPrefix);

// At most 19 characters.
std::string GetStationName(bool useClientName, bool withPrefix);
bool IsRemoteSession();
std::string QuerySessionText(int item);
std::string GetClientName();

} // namespace morvane
