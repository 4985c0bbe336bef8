// A site whose administrator password is not the built-in one, given only in the
// connection profile, with a non-ASCII password, started as a scheduler starts the
// program (an empty environment, LANG=C): the whole unattended cycle runs, and no
// process's command line or environment ever shows the password. Changes the
// server's SYSDBA password for its run, so it runs alone.

#include "BackgroundProgram.h"
#include "CommittingClientsFixture.h"

#include "cycle/CycleExitStatus.h"
#include "support/CommittingClientProcess.h"
#include "support/FileText.h"
#include "support/WaitUntil.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <dirent.h>
#include <functional>
#include <mutex>
#include <set>
#include <sys/stat.h>

namespace morvane::test {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::Not;

const std::string SitePassword = "pässwörd21";

// SYSDBA's password changed for the test, and changed back on every path.
class SysdbaPasswordChange {
public:
    // run: a script run as SYSDBA with the password given.
    using ScriptRunner = std::function<ToolResult(const std::string& statements, const std::string& password)>;
    explicit SysdbaPasswordChange(ScriptRunner run) : run_(std::move(run))
    {
        const ToolResult changed =
            run_("ALTER USER SYSDBA PASSWORD '" + SitePassword + "';\nCOMMIT;\n", SysdbaPassword);
        changed_ = changed.ExitCode == 0 && changed.Output.find("Statement failed") == std::string::npos;
        if (!changed_)
            ADD_FAILURE() << changed.Output;
    }
    ~SysdbaPasswordChange() { Restore(); }
    SysdbaPasswordChange(const SysdbaPasswordChange&) = delete;
    SysdbaPasswordChange& operator=(const SysdbaPasswordChange&) = delete;

    void Restore()
    {
        if (!changed_)
            return;
        const ToolResult restored =
            run_(std::string("ALTER USER SYSDBA PASSWORD '") + SysdbaPassword + "';\nCOMMIT;\n", SitePassword);
        changed_ = false;
        EXPECT_EQ(restored.Output.find("Statement failed"), std::string::npos) << restored.Output;
    }

private:
    ScriptRunner run_;
    bool changed_{false};
};

// Reads every process's command line and environment until stopped, and keeps
// those that hold a text.
class CommandLineSampler {
public:
    explicit CommandLineSampler(std::string secret) : secret_(std::move(secret))
    {
        thread_ = std::thread([this] {
            while (!stop_) {
                Sample();
                std::this_thread::sleep_for(10ms);
            }
        });
    }
    ~CommandLineSampler() { Stop(); }
    void Stop()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    std::set<std::string> Found() const
    {
        std::lock_guard guard(lock_);
        return found_;
    }
    int Samples() const { return samples_; }

private:
    void Sample()
    {
        DIR* proc = ::opendir("/proc");
        if (proc == nullptr)
            return;
        while (const dirent* entry = ::readdir(proc)) {
            const std::string pid = entry->d_name;
            if (pid.find_first_not_of("0123456789") != std::string::npos)
                continue;
            for (const char* what : {"cmdline", "environ"}) {
                const std::string text = ReadFileText("/proc/" + pid + "/" + what);
                if (text.find(secret_) != std::string::npos) {
                    std::string shown = ReadFileText("/proc/" + pid + "/cmdline");
                    std::replace(shown.begin(), shown.end(), '\0', ' ');
                    std::lock_guard guard(lock_);
                    found_.insert(std::string(what) + ": " + shown);
                }
            }
        }
        ::closedir(proc);
        ++samples_;
    }

    std::string secret_;
    std::atomic<bool> stop_{false};
    std::atomic<int> samples_{0};
    mutable std::mutex lock_;
    std::set<std::string> found_;
    std::thread thread_;
};

using CredentialsTest = CommittingClientsTest;

TEST_F(CredentialsTest, ASiteWithItsOwnPasswordInTheProfileRunsUnattendedAndNeverShowsIt)
{
    WriteProgramFile("Database.ini", "DatabaseName=" + database_->ConnectionString() +
                                         "\r\nuser_name=SYSDBA\r\npassword=" + SitePassword + "\r\n");
    ::chmod(programFolder_.File("Database.ini").c_str(), 0600);
    // The station is not given the whole 35 seconds to close.
    UseProgramWithTestHooks();
    // A station that never leaves: the shutdown has to cut it.
    ClientProcess station(database_->ConnectionString(), ClientUser, ClientPassword, 1,
                          programFolder_.File("commits.txt"));
    ASSERT_TRUE(WaitUntil([&] { return !ReadFileLines(programFolder_.File("commits.txt")).empty(); }, 30s))
        << "the station attached and committed before the run";

    ToolResult result;
    std::set<std::string> found;
    int samples = 0;
    {
        SysdbaPasswordChange password([this](const std::string& statements, const std::string& secret) {
            return RunAdministratorScript(statements, secret);
        });
        CommandLineSampler sampler(SitePassword);
        // As cron or systemd without a unit's settings start it: nothing but LANG=C.
        result = RunTool({"env", "-i", "LANG=C", "QT_QPA_PLATFORM=offscreen", ShortWaits(),
                          std::string("LSAN_OPTIONS=suppressions=") + MORVANE_LSAN_SUPPRESSIONS + ":use_tls=0",
                          "/usr/bin/timeout", "300", Program(), "AUTO"});
        sampler.Stop();
        found = sampler.Found();
        samples = sampler.Samples();
        password.Restore();
    }
    station.Stop();

    EXPECT_EQ(result.ExitCode, ExitCompleted) << result.Output << Log();
    EXPECT_GT(samples, 100) << "the command lines were sampled all through the run";
    EXPECT_EQ(found, std::set<std::string>{});
    EXPECT_THAT(Log(), HasSubstr("Base arrêtée pour le cycle (shutdown full)"));
    EXPECT_THAT(Log(), Not(HasSubstr(SitePassword)));
    EXPECT_THAT(Log(), Not(HasSubstr("peut être lu par d'autres utilisateurs"))) << "the profile is private";
    EXPECT_EQ(Rows(), CycleRows);
    EXPECT_TRUE(Exists(RenamePath()));
}

TEST_F(CredentialsTest, AProfileNamingAnOrdinaryUserAttachesAtStartUp)
{
    WriteProgramFile("Database.ini", "DatabaseName=" + database_->ConnectionString() + "\r\nuser_name=" +
                                         ClientUser + "\r\npassword=" + ClientPassword + "\r\n");
    BackgroundProgram program(Program(), AutoEnvironment(), {});
    ASSERT_TRUE(WaitUntil([&] { return StartUpDone(); }, 60s)) << Log();
    program.Signal(SIGTERM);
    EXPECT_EQ(program.Wait(20s), 0) << Log();

    EXPECT_THAT(Log(), Not(HasSubstr("Different logins")));
    EXPECT_THAT(Log(), Not(HasSubstr("Le chemin de la base de données est erroné")));
    // The profile holds a password others may read: said once, at level 5.
    EXPECT_THAT(Log(), HasSubstr("[005] Le fichier " + programFolder_.File("Database.ini")));
}

} // namespace
} // namespace morvane::test
