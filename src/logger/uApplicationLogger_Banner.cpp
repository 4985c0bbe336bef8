// The start banner: the first lines of every run, saying which program, which
// version and build, with which parameters, and how long since the machine started.

#include "logger/uApplicationLogger.h"

#include "core/Exception.h"
#include "core/Text.h"
#include "global/FileInfo.h"
#include "global/Global_Utils.h"
#include "platform/Host.h"

namespace morvane {

std::optional<std::string> BuildNotesLine(const TEXEVersionData& data)
{
    if (data.SpecialBuild.empty() && data.PrivateBuild.empty())
        return std::nullopt;
    std::string marks;
    if (!data.SpecialBuild.empty())
        marks += " - [SpecialBuild]";
    if (!data.PrivateBuild.empty())
        marks += " - [PrivateBuild]";
    return "BUILD: " + marks + ": " + data.SpecialBuild + " / " + data.PrivateBuild;
}

std::vector<std::string> StartBannerLines(const std::string& programFile, const std::string& parameters,
                                          std::uint32_t millisecondsSinceBoot)
{
    std::vector<std::string> lines;
    lines.emplace_back("Ouverture de l'application------------------------------");
    const std::string version = FileVersionText(programFile, false);
    lines.push_back("App: " + programFile + " - Version: " + version);

    TEXEVersionData data;
    if (!version.empty()) {
        try {
            GetVersionStrings(programFile, data);
        } catch (const EOSError&) {
            // A version record without strings has no build notes to show.
        }
    }
    if (auto build = BuildNotesLine(data))
        lines.push_back(std::move(*build));

    lines.push_back("ParamStr: [" + Trim(parameters) + "]");
    lines.push_back("Dernier redémarrage: " + std::to_string(millisecondsSinceBoot) + " ms------------------------");
    return lines;
}

void TApplicationLogger::LogStartBanner()
{
    for (const auto& line : StartBannerLines(ProgramFileName(), ParamsAsText(false), platform::MillisecondsSinceBoot()))
        thread_->Enqueue(line, 100, 0);
}

} // namespace morvane
