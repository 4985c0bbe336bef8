#include "global/Global_Computer.h"

#include "global/Global_Utils.h"
#include "platform/Host.h"

namespace morvane {

namespace {
constexpr std::size_t StationNameLength = 19;

std::string UpToNul(std::string text)
{
    const std::size_t nul = text.find('\0');
    if (nul != std::string::npos)
        text.resize(nul);
    return text;
}
} // namespace

std::string ComposeStationName(const StationFacts& facts, bool useClientName, bool withPrefix)
{
    if (facts.noPrefixSwitch)
        useClientName = withPrefix = false;
    std::string name;
    if (useClientName && facts.remoteSession)
        name = (withPrefix ? "TS_" : "") + UpToNul(facts.clientName);
    else
        name = facts.computerName;
    name = UpToNul(std::move(name));
    if (name.size() > StationNameLength)
        name.resize(StationNameLength);
    return name;
}

std::string GetStationName(bool useClientName, bool withPrefix)
{
    StationFacts facts;
    facts.noPrefixSwitch = HasParam("NEPASUTILISERPREFIXTS_");
    facts.remoteSession = IsRemoteSession();
    if (facts.remoteSession)
        facts.clientName = GetClientName();
    facts.computerName = platform::HostName();
    return ComposeStationName(facts, useClientName, withPrefix);
}

bool IsRemoteSession() { return false; }

std::string QuerySessionText(int /*item*/)
{
    // Outside a remote session there is nothing to ask, and there never is one here.
    return {};
}

std::string GetClientName() { return UpToNul(QuerySessionText(WTSClientName)); }

} // namespace morvane
