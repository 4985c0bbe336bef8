#pragma once
// The built program run as the unattended job runs it: a copy in a folder of its
// own with its connection profile, logger configuration and the site's three batch
// files, started with AUTO and no display, on a fresh server database with rows,
// page buffers set beforehand and the command tables.

#include "cycle/CycleJournal.h"
#include "cycle/CycleLock.h"
#include "cycle/CycleState.h"
#include "cycle/RunHistory.h"
#include "support/DbCommandTables.h"
#include "support/FirebirdServer.h"
#include "support/FreshDatabase.h"
#include "support/TemporaryFolder.h"
#include "support/ToolRunner.h"
#include "support/FileText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace morvane::test {

inline constexpr int CycleRows = 500;
inline constexpr int CyclePageBuffers = 3000;

// A count read through the server from a database, by default the one at its path.
inline int SelectCount(const FreshDatabase& database, const std::string& select,
                       const std::string& connectionString = {})
{
    const std::vector<std::string> lines =
        OutputLines(connectionString.empty() ? database.Sql(select) : database.SqlOn(connectionString, select));
    for (auto line = lines.rbegin(); line != lines.rend(); ++line)
        if (!line->empty() && line->find_first_not_of(" 0123456789") == std::string::npos)
            return std::stoi(*line);
    ADD_FAILURE() << "no count in the output of " << select;
    return -1;
}

class CycleProgramTest : public ::testing::Test {
protected:
    // What the runs kept for this test's database goes with it.
    void TearDown() override
    {
        if (!database_)
            return;
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(CycleJournalPath(DatabasePath())).parent_path(), ignored);
        std::filesystem::remove_all(std::filesystem::path(CycleLockPath(DatabasePath())).parent_path(), ignored);
    }

    void SetUp() override
    {
        MORVANE_REQUIRE_FIREBIRD_SERVER();
        database_ = std::make_unique<FreshDatabase>(FreshDatabase::Access::Server, "BD.FDB", 4096);
        CreateCommandTables(*database_);
        CreateAdministratorRole(*database_);
        database_->Sql("CREATE TABLE CLIENTS (ID INTEGER NOT NULL PRIMARY KEY, NOM VARCHAR(40));\nCOMMIT;\n"
                       "INSERT INTO CLIENTS SELECT r, 'client ' || r FROM (SELECT ROW_NUMBER() OVER () r "
                       "FROM RDB$RELATIONS a, RDB$RELATIONS b ROWS " +
                       std::to_string(CycleRows) + ");\nCOMMIT;\n");
        RunGfix({"-buffers", std::to_string(CyclePageBuffers)}, database_->ConnectionString());

        std::filesystem::copy_file(MORVANE_PROGRAM, Program());
        WriteProgramFile("Database.ini", "DatabaseName=" + database_->ConnectionString() + "\r\n");
        WriteProgramFile("AppLogger.xml", R"(<?xml version="1.0" encoding="UTF-8"?>
<AppLogger Version="1.2"><AllStations><AllApplications>
  <Fichier class="TFileLogger" NiveauMax="255" LogSpecifique="0"><FileName>morvane.log</FileName></Fichier>
</AllApplications></AllStations></AppLogger>
)");
        for (const char* batch : {"StopServices.cmd", "MidProcess.cmd", "StartServices.cmd"})
            WriteBatchFile(batch, "");
    }

    std::string Program() const { return programFolder_.File("morvane"); }
    std::string DatabasePath() const { return database_->Path(); }
    std::string DatabaseFile(const std::string& name) const { return database_->Folder().File(name); }
    std::string RenamePath() const { return DatabaseFile("BD.FIB.BKP"); }
    std::string NewFile() const { return DatabasePath() + "_Morvane"; }
    // The swap journal lies beside the database it belongs to.
    std::string Journal() const { return CycleJournalPath(DatabasePath()); }
    // The header's attributes line ("force write, shutdown", ...).
    std::string Attributes() const { return HeaderValue(database_->HeaderStatistics().Output, "Attributes"); }

    void WriteProgramFile(const std::string& name, const std::string& text) const
    {
        WriteFileText(programFolder_.File(name), text);
    }

    // A batch file that notes its name and the folder it runs in, then does extra.
    void WriteBatchFile(const std::string& name, const std::string& extra) const
    {
        WriteProgramFile(name, "#!/bin/sh\necho \"" + name + " $(pwd)\" >> batches.txt\necho \"" + name +
                                   " a tourné\"\n" + extra);
        std::filesystem::permissions(programFolder_.File(name), std::filesystem::perms::owner_all);
    }

    // The job settings of the database, as "Save config" would have left them.
    void WriteJobSettings(const std::string& keys) const
    {
        WriteProgramFile("morvane.ini", "[" + database_->ConnectionString() + "]\n" + keys);
    }

    // extraEnvironment: NAME=VALUE settings for this run only (the test builds' hooks).
    ToolResult RunAuto(const std::vector<std::string>& extraEnvironment = {}) const
    {
        std::vector<std::string> argv{"env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY"};
        for (const std::string& setting : AutoEnvironment())
            argv.push_back(setting);
        argv.insert(argv.end(), extraEnvironment.begin(), extraEnvironment.end());
        for (const char* word : {"timeout", "300"})
            argv.emplace_back(word);
        argv.push_back(Program());
        argv.emplace_back("AUTO");
        return RunTool(argv);
    }

    // What an unattended run gets besides a display-less environment.
    static std::vector<std::string> AutoEnvironment()
    {
        return {"QT_QPA_PLATFORM=offscreen",
                std::string("LSAN_OPTIONS=suppressions=") + MORVANE_LSAN_SUPPRESSIONS + ":use_tls=0"};
    }

    // The test program's environment to stop at a step of the cycle (see
    // TestHooksProgram.cpp), the marker it leaves there, and the wait for it.
    std::vector<std::string> PausingEnvironment(const std::string& step) const
    {
        std::vector<std::string> environment = AutoEnvironment();
        environment.push_back("MORVANE_TEST_PAUSE_AT=" + step);
        return environment;
    }
    std::string PauseMarker() const { return programFolder_.File("morvane-paused"); }

    // The test program's environment that cuts its pauses to two seconds (see
    // TestHooksProgram.cpp): the workstations are not given the whole 35 seconds.
    static std::string ShortWaits() { return "MORVANE_TEST_LONGEST_WAIT=2"; }
    // Puts a build of the program in the program's place beside its files.
    void UseProgram(const std::string& build) const
    {
        std::filesystem::copy_file(build, Program(), std::filesystem::copy_options::overwrite_existing);
    }
#ifdef MORVANE_PROGRAM_WITH_TEST_HOOKS
    // The test build of the program (TestHooksProgram.cpp).
    void UseProgramWithTestHooks() const { UseProgram(MORVANE_PROGRAM_WITH_TEST_HOOKS); }
#endif
    // False when the program ended first, or did not get there within four minutes.
    template <typename Program>
    bool WaitUntilPaused(Program& program) const
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(240);
        while (!Exists(PauseMarker()) && program.Running() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return Exists(PauseMarker());
    }

    // The window's start-up has reached its last step, which writes the database's
    // section into the job settings when they have none (the test wrote none): the
    // start-up has attached and read the header, and the window is about to wait.
    bool StartUpDone() const
    {
        return ReadFileText(programFolder_.File("morvane.ini")).find("[" + database_->ConnectionString() + "]") !=
               std::string::npos;
    }

    // "<name> <folder>" for every batch file run, in order.
    std::vector<std::string> BatchesRun() const { return ReadFileLines(programFolder_.File("batches.txt")); }
    std::string Log() const
    {
        return ReadFileText(programFolder_.File("morvane.log"));
    }

    // The last run's report and the history the runs kept for the database.
    std::string ReportFile() const { return CycleStateFolder(DatabasePath()) + "/" + RunReportFileName; }
    std::string HistoryFile() const { return CycleStateFolder(DatabasePath()) + "/" + RunHistoryFileName; }

    // The run report the program left for the database (an empty object when none).
    QJsonObject RunReport() const
    {
        const std::string text = ReadFileText(ReportFile());
        return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
    }
    // Each step's name and outcome, in order.
    std::vector<std::string> ReportedSteps() const
    {
        std::vector<std::string> steps;
        for (const QJsonValue& step : RunReport()["steps"].toArray())
            steps.push_back(step["name"].toString().toStdString() + " " + step["outcome"].toString().toStdString());
        return steps;
    }
    // The steps that ran: those a refusal or a failure left are reported skipped.
    std::vector<std::string> StepsThatRan() const
    {
        std::vector<std::string> ran;
        for (const std::string& step : ReportedSteps())
            if (!step.ends_with(" skipped"))
                ran.push_back(step);
        return ran;
    }

    int Count(const std::string& select) const { return SelectCount(*database_, select); }
    int Rows() const { return Count("SELECT COUNT(*) FROM CLIENTS;"); }

    static bool Exists(const std::string& path) { return std::filesystem::exists(path); }

    // The lines of the log that are not entries of their own: each entry is one line
    // that starts with its time stamp and level.
    std::vector<std::string> LogLinesWithoutTimeStamp() const
    {
        const std::regex entry("^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}: \\[[0-9]{3}\\] ");
        std::vector<std::string> strays;
        for (const std::string& line : ReadFileLines(programFolder_.File("morvane.log")))
            if (!std::regex_search(line, entry))
                strays.push_back(line);
        return strays;
    }

    TemporaryFolder programFolder_;
    std::unique_ptr<FreshDatabase> database_;
};

} // namespace morvane::test
