// Every key the job settings reader knows is in the administrator's reference: a
// key added without documentation fails here, naming the key.

#include "session/JobSettings.h"

#include "support/FileText.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace morvane {
namespace {

// The lines of the README's "## Configuration" section, up to the next heading of
// the same level; none when there is no such section.
std::vector<std::string> ConfigurationSection(const std::string& readme)
{
    std::vector<std::string> lines;
    std::istringstream in(readme);
    bool inside = false;
    bool inCodeBlock = false;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("```"))
            inCodeBlock = !inCodeBlock;
        if (!inCodeBlock && line.starts_with("## ")) {
            inside = line == "## Configuration";
            continue;
        }
        if (inside)
            lines.push_back(line);
    }
    return lines;
}

// The keys that have no row of their own (a table row whose first cell is the key
// in backquotes) in the Configuration section.
std::vector<std::string> UndocumentedKeys(const std::string& readme, const std::vector<std::string_view>& keys)
{
    const std::vector<std::string> section = ConfigurationSection(readme);
    std::vector<std::string> missing;
    for (const std::string_view key : keys) {
        const std::string row = "| `" + std::string(key) + "` |";
        bool found = false;
        for (const std::string& line : section)
            found = found || line.starts_with(row);
        if (!found)
            missing.emplace_back(key);
    }
    return missing;
}

std::string Joined(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

TEST(JobSettingsDocumentationTest, EveryKeyTheReaderKnowsHasARowInTheReadmeConfigurationSection)
{
    const std::string readme = test::ReadFileText(MORVANE_README);
    ASSERT_FALSE(ConfigurationSection(readme).empty()) << "no \"## Configuration\" section in " << MORVANE_README;
    std::vector<std::string_view> keys;
    for (const TJobSettingsKey& key : JobSettingsKeys())
        keys.push_back(key.name);
    ASSERT_FALSE(keys.empty());
    const std::vector<std::string> missing = UndocumentedKeys(readme, keys);
    EXPECT_TRUE(missing.empty()) << "job settings keys missing from the Configuration section of " << MORVANE_README
                                 << ": " << Joined(missing);
}

TEST(JobSettingsDocumentationTest, AKeyMentionedOnlyOutsideTheReferenceCountsAsMissing)
{
    const std::string readme = "# Morvane\n"
                               "| `Elsewhere` | boolean |\n"
                               "## Configuration\n"
                               "| key | type |\n"
                               "|---|---|\n"
                               "| `Documented` | boolean |\n"
                               "Prose naming `InProse` is no reference.\n"
                               "```\n"
                               "## not a heading inside an example\n"
                               "```\n"
                               "| `InExampleSection` | text |\n"
                               "## Exit status\n"
                               "| `After` | text |\n";
    EXPECT_EQ(UndocumentedKeys(readme, {"Documented", "InExampleSection"}), std::vector<std::string>{});
    EXPECT_EQ(UndocumentedKeys(readme, {"Elsewhere", "InProse", "After", "Documented"}),
              (std::vector<std::string>{"Elsewhere", "InProse", "After"}));
    EXPECT_EQ(UndocumentedKeys("# Morvane\n| `Documented` | boolean |\n", {"Documented"}),
              std::vector<std::string>{"Documented"});
}

} // namespace
} // namespace morvane
