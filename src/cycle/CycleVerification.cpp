#include "cycle/CycleVerification.h"

#include "core/Text.h"

#include <algorithm>

namespace morvane {

std::vector<std::string> VerificationDifferences(int wantedPageSize, int wantedPageBuffers,
                                                 const DatabaseContents& old, const RestoredDatabase& restored)
{
    std::vector<std::string> differences;
    if (restored.pageSize != wantedPageSize)
        differences.push_back("taille de page " + std::to_string(restored.pageSize) + " au lieu de " +
                              std::to_string(wantedPageSize));
    if (restored.pageBuffers != wantedPageBuffers)
        differences.push_back("page buffers " + std::to_string(restored.pageBuffers) + " au lieu de " +
                              std::to_string(wantedPageBuffers));
    // An index the site left inactive is restored inactive: only one that the old
    // database had active is a difference.
    for (const std::string& index : restored.contents.inactiveIndexes)
        if (std::find(old.inactiveIndexes.begin(), old.inactiveIndexes.end(), index) == old.inactiveIndexes.end())
            differences.push_back("index inactif " + OneLineText(index));
    // Names are compared as the server gives them and shown on one line.
    for (const auto& [table, rows] : old.rowCounts) {
        const auto found = restored.contents.rowCounts.find(table);
        if (found == restored.contents.rowCounts.end())
            differences.push_back("table " + OneLineText(table) + " absente de la nouvelle base");
        else if (found->second != rows)
            differences.push_back("table " + OneLineText(table) + ": " + std::to_string(found->second) + " lignes au lieu de " +
                                  std::to_string(rows));
    }
    for (const auto& [table, rows] : restored.contents.rowCounts)
        if (old.rowCounts.find(table) == old.rowCounts.end())
            differences.push_back("table " + OneLineText(table) + " absente de l'ancienne base");
    return differences;
}

namespace {

std::string SettingText(bool value, const char* yes, const char* no) { return value ? yes : no; }
std::string SettingText(int value, const char*, const char*) { return std::to_string(value); }

template <typename T>
void CompareSetting(std::vector<std::string>& differences, const char* name, const std::optional<T>& old,
                    const std::optional<T>& restored, const char* yes = "oui", const char* no = "non")
{
    if (!old || (restored && *restored == *old))
        return;
    differences.push_back(std::string(name) + " " + (restored ? SettingText(*restored, yes, no) : "illisible") +
                          " au lieu de " + SettingText(*old, yes, no));
}

} // namespace

std::vector<std::string> SettingsDifferences(const RunReportDatabase& old, const RunReportDatabase& restored)
{
    std::vector<std::string> differences;
    CompareSetting(differences, "intervalle de sweep", old.sweepInterval, restored.sweepInterval);
    CompareSetting(differences, "espace réservé", old.reserve, restored.reserve);
    CompareSetting(differences, "écriture", old.forcedWrites, restored.forcedWrites, "synchrone", "asynchrone");
    CompareSetting(differences, "lecture seule", old.readOnly, restored.readOnly);
    CompareSetting(differences, "dialecte SQL", old.dialect, restored.dialect);
    return differences;
}

std::string QuotedIdentifier(const std::string& name)
{
    std::string quoted = "\"";
    for (char c : name) {
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    return quoted + "\"";
}

} // namespace morvane
