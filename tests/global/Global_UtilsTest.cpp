#include "global/Global_Utils.h"

#include "support/CommandLineGuard.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace morvane {
namespace {

using testing::CommandLineGuard;

std::vector<std::string> WithProgram(std::vector<std::string> parameters)
{
    parameters.insert(parameters.begin(), "/opt/calvenor/morvane");
    return parameters;
}

TEST(GetParamValue, ReadsNameValuePairsWithoutRegardToCase)
{
    const struct {
        std::vector<std::string> parameters;
        const char* name;
        bool found;
        const char* value; // what the caller's variable holds afterwards
    } cases[] = {
        {{"DATABASEINI=site.ini", "AUTO"}, "DATABASEINI", true, "site.ini"},
        {{"DATABASEINI=site.ini", "AUTO"}, "databaseini", true, "site.ini"},
        {{"DATABASEINI=site.ini", "AUTO"}, "AUTO", true, ""},
        {{"AUTO=1"}, "auto", true, "1"},
        {{"X=1", "X=2"}, "X", true, "1"},
        {{"A=B=C"}, "A", true, "B=C"},
        {{"A="}, "A", true, ""},
        {{"AUTOMATIC"}, "AUTO", false, "untouched"},
        {{"A=1"}, "", false, "untouched"},
        {{"=x"}, "", true, "x"},
        {{}, "AUTO", false, "untouched"},
    };
    for (const auto& c : cases) {
        CommandLineGuard guard(WithProgram(c.parameters));
        std::string value = "untouched";
        EXPECT_EQ(GetParamValue(c.name, value), c.found) << c.name;
        EXPECT_EQ(value, c.value) << c.name;
        EXPECT_EQ(HasParam(c.name), c.found) << c.name;
    }
}

TEST(GetParamValue, NeverReadsTheProgramPathAsAParameter)
{
    CommandLineGuard guard({"/opt/AUTO=1"});
    EXPECT_FALSE(HasParam("/opt/AUTO"));
}

TEST(GetParamValue, FindsTheLastOfManyParameters)
{
    std::vector<std::string> parameters;
    for (int i = 1; i < 300; ++i)
        parameters.push_back("P" + std::to_string(i) + "=" + std::to_string(i));
    parameters.push_back("LAST=300");
    CommandLineGuard guard(WithProgram(parameters));
    std::string value;
    ASSERT_TRUE(GetParamValue("last", value));
    EXPECT_EQ(value, "300");
}

TEST(ParamsAsText, JoinsTheParametersEachFollowedByABlank)
{
    const struct {
        std::vector<std::string> parameters;
        bool includeProgram;
        const char* text;
    } cases[] = {
        {{}, false, ""},
        {{"a", "b"}, false, "a b "},
        {{"a", "b"}, true, "/opt/calvenor/morvane a b "},
        {{}, true, "/opt/calvenor/morvane "},
        {{"x=1 2"}, false, "x=1 2 "},
    };
    for (const auto& c : cases) {
        CommandLineGuard guard(WithProgram(c.parameters));
        EXPECT_EQ(ParamsAsText(c.includeProgram), c.text);
    }
}

TEST(Choosers, PickByTheCondition)
{
    EXPECT_EQ(ChooseText(true, "oui", "non"), "oui");
    EXPECT_EQ(ChooseText(false, "oui", "non"), "non");
    EXPECT_EQ(ChooseInt(true, 0, 1), 0);
    EXPECT_EQ(ChooseInt(false, 0, 1), 1);
}

TEST(ProgramNames, ComeFromTheProgramFile)
{
    const std::string cwd = std::filesystem::current_path().string();
    const struct {
        const char* program;
        const char* file;
        const char* folder;
        const char* title;
        const char* key;
    } cases[] = {
        {"/opt/calvenor/morvane", "/opt/calvenor/morvane", "/opt/calvenor/", "Morvane", "MORVANE"},
        {"/opt/calvenor/MORVANE.EXE", "/opt/calvenor/MORVANE.EXE", "/opt/calvenor/", "Morvane", "MORVANE"},
        {"/opt/outil.v2.exe", "/opt/outil.v2.exe", "/opt/", "Outil", "OUTIL.V2"},
        {"/opt/./bin/../morvane", "/opt/morvane", "/opt/", "Morvane", "MORVANE"},
    };
    for (const auto& c : cases) {
        CommandLineGuard guard({c.program});
        EXPECT_EQ(ProgramFileName(), c.file);
        EXPECT_EQ(ProgramFolder(), c.folder);
        EXPECT_EQ(ApplicationTitle(), c.title);
        EXPECT_EQ(ApplicationKey(), c.key);
    }
    CommandLineGuard relative({"./tools/morvane"});
    EXPECT_EQ(ProgramFileName(), cwd + "/tools/morvane");
}

TEST(ProgramNames, WithoutACommandLineTheRunningProgramIsUsed)
{
    CommandLineGuard guard({});
    EXPECT_EQ(ProgramFileName(), std::filesystem::read_symlink("/proc/self/exe").string());
    EXPECT_EQ(ParamsAsText(false), "");
}

} // namespace
} // namespace morvane
