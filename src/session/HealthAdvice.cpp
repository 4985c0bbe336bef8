#include "session/HealthAdvice.h"

#include "core/Format.h"

namespace morvane {

namespace {

std::string Count(std::int64_t value) { return std::to_string(value); }

// The characters a terminal shows for text (UTF-8 continuation bytes take no column).
std::size_t Columns(const std::string& text)
{
    std::size_t columns = 0;
    for (unsigned char c : text)
        columns += (c & 0xC0) != 0x80 ? 1 : 0;
    return columns;
}

// "\tlabel\t\tvalue" with the value at the fifth tab stop, as the header report
// aligns its values (stops every eight columns); labels are kept under 24 characters.
std::string Line(const std::string& label, const std::string& value)
{
    constexpr std::size_t ValueColumn = 32;
    std::string line = "\t" + label;
    std::size_t column = 8 + Columns(label);
    do {
        line += '\t';
        column = (column / 8 + 1) * 8;
    } while (column < ValueColumn);
    return line + value;
}

std::string GapText(const std::optional<std::int64_t>& gap) { return gap ? Count(*gap) : std::string("?"); }

} // namespace

HealthAdvice AdviseRebuild(const DatabaseHealth& health, const HealthThresholds& thresholds)
{
    HealthAdvice advice;
    auto reason = [&advice](std::string text) {
        advice.rebuild = true;
        advice.reasons.push_back(std::move(text));
    };
    if (const auto gap = health.TransactionGap(); gap && *gap > thresholds.maxTransactionGap)
        reason(FormatText("écart de transactions %lld, au-delà du seuil de %lld (HealthMaxTransactionGap) : des "
                          "versions que le serveur ne peut plus nettoyer s'accumulent",
                          static_cast<long long>(*gap), static_cast<long long>(thresholds.maxTransactionGap)));
    if (health.tablesRead) {
        if (const std::int64_t versions = health.BackVersions(); versions > thresholds.maxBackVersions)
            reason(FormatText("%lld versions anciennes d'enregistrements, au-delà du seuil de %lld "
                              "(HealthMaxBackVersions)",
                              static_cast<long long>(versions), static_cast<long long>(thresholds.maxBackVersions)));
        if (const std::int64_t chain = health.LongestChain(); chain > thresholds.maxVersionChain)
            reason(FormatText("une chaîne de %lld versions d'un même enregistrement, au-delà du seuil de %lld "
                              "(HealthMaxVersionChain)",
                              static_cast<long long>(chain), static_cast<long long>(thresholds.maxVersionChain)));
        const std::optional<double> percent = health.DataPercent();
        if (percent && health.fileBytes && *health.fileBytes >= MinFileForDataShare &&
            *percent < thresholds.minDataPercent)
            reason(FormatText("les données n'occupent que %.1f %% du fichier, en deçà du seuil de %d %% "
                              "(HealthMinDataPercent)",
                              *percent, thresholds.minDataPercent));
    }
    return advice;
}

std::vector<std::string> HealthReportLines(const DatabaseHealth& health, std::size_t largest)
{
    std::vector<std::string> lines;
    lines.emplace_back("Santé de la base :");
    lines.push_back(Line("Écart next - OIT", GapText(health.InterestingGap())));
    lines.push_back(Line("Écart next - OAT", GapText(health.ActiveGap())));
    lines.push_back(Line("Écart next - OST", GapText(health.SnapshotGap())));
    lines.push_back(Line("Taille du fichier", health.fileBytes ? Count(*health.fileBytes) + " octets" : "?"));
    if (!health.tablesRead) {
        lines.push_back(Line("Tables", "non lues"));
        return lines;
    }
    const std::optional<double> percent = health.DataPercent();
    lines.push_back(Line("Part de données", percent ? FormatText("%.1f %%", *percent) : std::string("?")));
    lines.push_back(Line("Enregistrements", Count(health.Records())));
    lines.push_back(Line("Versions anciennes", Count(health.BackVersions())));
    lines.push_back(Line("Plus longue chaîne", Count(health.LongestChain())));
    lines.push_back(Line("Pages de données", Count(health.DataPages())));
    for (const TableHealth& table : LargestTables(health, largest))
        lines.push_back(Line("Table",
                             table.name + FormatText(" : %lld enr., %lld versions, chaîne %lld, %lld pages, remplies à %d %%",
                                        static_cast<long long>(table.records),
                                        static_cast<long long>(table.backVersions),
                                        static_cast<long long>(table.longestChain),
                                        static_cast<long long>(table.dataPages), table.averageFillPercent)));
    return lines;
}

std::vector<std::string> AdviceLines(const HealthAdvice& advice)
{
    std::vector<std::string> lines;
    if (!advice.rebuild) {
        lines.emplace_back("Recommandation : aucune reconstruction nécessaire.");
        return lines;
    }
    lines.emplace_back("Recommandation : reconstruction conseillée, car :");
    for (const std::string& reason : advice.reasons)
        lines.push_back("  - " + reason);
    return lines;
}

} // namespace morvane
