// The disconnection against the real server, with workstation simulators as the
// other attachments. Waits are shortened except in the one test that checks the
// real 35-second road.

#include "database/FIB_Deconnexion.h"

#include "core/OperatorDialog.h"
#include "core/Text.h"
#include "fib/fib.h"
#include "support/DbCommandTables.h"
#include "support/FirebirdServer.h"
#include "support/FreshDatabase.h"
#include "support/WaitUntil.h"
#include "support/WorkstationSimulatorProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>

using namespace morvane;
using namespace morvane::fib;
using namespace morvane::test;
using namespace std::chrono_literals;
using Mode = WorkstationSimulatorProcess::Mode;

namespace {

const std::string AllGone = "Tous les utilisateurs sont déconnectés";
const std::string CheckingAgain = "Vérification du nombre de poste encore connectés";
const std::string Waiting = "On attend maintenant 35 secondes pour leur laisser le temps de se fermer";

std::string Users(int attachments)
{
    std::string list = "Users connectés : SYSDBA";
    for (int i = 1; i < attachments; ++i)
        list += ",SYSDBA";
    return list;
}

// A server database with the command tables and a component set up for it.
struct Site {
    Site()
    {
        CreateCommandTables(fresh);
        database.SetDBName(fresh.ConnectionString());
        database.ConnectParams().SetUserName(SysdbaUser);
        database.ConnectParams().SetPassword(SysdbaPassword);
    }

    // "<number> <TODO> <COMMANDE>" per request row, in order.
    std::vector<std::string> Requests() const
    {
        return Rows("select ID_GLB5020 || ' ' || TODO || ' ' || trim(COMMANDE) from Glb5020 order by ID_GLB5020;");
    }
    std::vector<std::string> Rows(const std::string& select) const
    {
        std::vector<std::string> rows;
        for (const auto& line : OutputLines(fresh.Sql("SET HEADING OFF;\n" + select)))
            if (!Trim(line).empty())
                rows.push_back(Trim(line));
        return rows;
    }
    std::vector<std::string> Progress() const { return lines; }

    ProgressFunction Recorder()
    {
        return [this](const std::string& line) { lines.push_back(line); };
    }

    FreshDatabase fresh;
    TpFIBDatabase database;
    std::vector<std::string> lines;
};

// Records the waits and, in place of each, waits only until the workstations have
// answered every request made so far, and those a request sent away have gone (a
// one-second wait follows each request). Ten seconds at most: a workstation that
// never answers shows in the progress lines the test expects.
class ShortWaits {
public:
    explicit ShortWaits(std::function<bool(int requests)> answered = [](int) { return true; })
        : scoped_([this, answered = std::move(answered)](int seconds) {
              waits.push_back(seconds);
              if (seconds == 1)
                  ++requests_;
              WaitUntil([&] { return answered(requests_); }, 10s);
          })
    {
    }
    std::vector<int> waits;

private:
    int requests_ = 0;
    ScopedWaitFunction scoped_;
};

// The workstations, each of which answers every request.
std::function<bool(int)> AnsweredBy(std::vector<WorkstationSimulatorProcess*> workstations)
{
    return [workstations](int requests) {
        return std::all_of(workstations.begin(), workstations.end(),
                           [requests](WorkstationSimulatorProcess* workstation) { return workstation->Answered(requests); });
    };
}

// An operator whose answers are computed when a question comes.
class ActingOperator : public TOperatorDialogs {
public:
    using Action = std::function<DialogAnswer(const DialogRequest&)>;
    explicit ActingOperator(std::vector<Action> actions) : actions_(std::move(actions)) {}
    DialogAnswer Show(const DialogRequest& request) override
    {
        shown.push_back(request);
        return shown.size() <= actions_.size() ? actions_[shown.size() - 1](request) : DialogAnswer::Closed;
    }
    std::vector<DialogRequest> shown;

private:
    std::vector<Action> actions_;
};

ActingOperator::Action Answer(DialogAnswer answer)
{
    return [answer](const DialogRequest&) { return answer; };
}

const std::string FirstQuestion = "Avez-vous stoppé tous les services incluant celui du Quorvex ?";

} // namespace

TEST(DeconnexionUsersServer, AloneOnTheDatabaseWritesNoRequest)
{
    MORVANE_REQUIRE_FIREBIRD_SERVER();
    Site site;
    ShortWaits waits;
    DeconnexionUsers(site.database, nullptr, false, site.Recorder());

    EXPECT_EQ(site.Progress(), (std::vector<std::string>{Users(1), AllGone}));
    EXPECT_TRUE(waits.waits.empty());
    EXPECT_TRUE(site.Requests().empty());
    EXPECT_TRUE(site.database.Connected());
}

// The real road: the workstation leaves on the normal request and the routine
// notices it after the full 35-second wait.
TEST(DeconnexionUsersServer, WorkstationThatLeavesOnCloseNeedsNoForcedRequest)
{
    MORVANE_REQUIRE_FIREBIRD_SERVER();
    Site site;
    WorkstationSimulatorProcess workstation(site.fresh.ConnectionString(), Mode::Close);

    const auto start = std::chrono::steady_clock::now();
    DeconnexionUsers(site.database, nullptr, true, site.Recorder());
    EXPECT_GE(std::chrono::steady_clock::now() - start, 36s);

    EXPECT_EQ(site.Progress(),
              (std::vector<std::string>{Users(2), "Vérification des utilisateurs pour " + site.fresh.ConnectionString(),
                                        Users(2), "Envoi demande de fermeture normale", "Réponses reçues : 1", Waiting,
                                        CheckingAgain, Users(1), AllGone}));
    EXPECT_TRUE(workstation.WaitForExit(5s));
    EXPECT_EQ(workstation.ExitCode(), 0) << workstation.Output();
    const auto requests = site.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0], "1 N Close");
    EXPECT_EQ(site.Rows("select count(*) from Glb5020Resultat where id_glb5020=1;"),
              (std::vector<std::string>{"1"}));
}

TEST(DeconnexionUsersServer, WorkstationThatLeavesOnlyOnTerminateGetsBothRequests)
{
    MORVANE_REQUIRE_FIREBIRD_SERVER();
    Site site;
    WorkstationSimulatorProcess workstation(site.fresh.ConnectionString(), Mode::Terminate);
    ShortWaits waits(AnsweredBy({&workstation}));

    DeconnexionUsers(site.database, nullptr, false, site.Recorder());

    const std::string checking = "Vérification des utilisateurs pour " + site.fresh.ConnectionString();
    EXPECT_EQ(site.Progress(),
              (std::vector<std::string>{Users(2), checking, Users(2), "Envoi demande de fermeture normale",
                                        "Réponses reçues : 1", Waiting, CheckingAgain, Users(2), checking, Users(2),
                                        "Envoi demande de fermeture forcée", "Réponses reçues : 1", CheckingAgain,
                                        Users(1), AllGone}));
    EXPECT_EQ(waits.waits, (std::vector<int>{1, 35, 1}));
    EXPECT_TRUE(workstation.WaitForExit(5s));
    EXPECT_EQ(site.Requests(), (std::vector<std::string>{"1 N Close", "2 N Terminate"}));
}

// Two workstations that never answer, an operator who says yes twice: every
// progress line in its place, and the routine returns attached.
TEST(DeconnexionUsersServer, OperatorWhoGoesOnSeesEveryStepInOrder)
{
    MORVANE_REQUIRE_FIREBIRD_SERVER();
    Site site;
    WorkstationSimulatorProcess first(site.fresh.ConnectionString(), Mode::Never, "POSTE1");
    WorkstationSimulatorProcess second(site.fresh.ConnectionString(), Mode::Never, "POSTE2");
    ShortWaits waits(AnsweredBy({&first, &second}));
    auto operatorDialogs =
        std::make_shared<ActingOperator>(std::vector{Answer(DialogAnswer::Yes), Answer(DialogAnswer::Yes)});
    ScopedOperatorDialogs scoped(operatorDialogs);

    DeconnexionUsers(site.database, nullptr, false, site.Recorder());

    const std::string checking = "Vérification des utilisateurs pour " + site.fresh.ConnectionString();
    EXPECT_EQ(site.Progress(),
              (std::vector<std::string>{Users(3), checking, Users(3), "Envoi demande de fermeture normale",
                                        "Réponses reçues : 2", Waiting, CheckingAgain, Users(3), checking, Users(3),
                                        "Envoi demande de fermeture forcée", "Réponses reçues : 2", CheckingAgain,
                                        Users(3), ">>>> Il reste 2 utilisateurs connectés", Users(3)}));
    ASSERT_EQ(operatorDialogs->shown.size(), 2u);
    EXPECT_EQ(operatorDialogs->shown[0].kind, DialogKind::Confirmation);
    EXPECT_EQ(operatorDialogs->shown[0].title, "Confirmation");
    EXPECT_EQ(operatorDialogs->shown[0].text, FirstQuestion);
    EXPECT_EQ(operatorDialogs->shown[1].text, "Il reste encore 2 users connectés.  On ignore et on continue ?");
    EXPECT_TRUE(site.database.Connected());
    EXPECT_TRUE(first.Running());
    EXPECT_TRUE(second.Running());
    EXPECT_EQ(site.Requests(), (std::vector<std::string>{"1 N Close", "2 N Terminate"}));
}

TEST(DeconnexionUsersServer, OperatorAnswersDecideWhetherTheCycleGoesOn)
{
    MORVANE_REQUIRE_FIREBIRD_SERVER();
    struct Case {
        const char* name;
        std::vector<ActingOperator::Action> answers;
        std::size_t questions;
        std::string error; // empty: returns normally
    };
    const std::string interrupted = "Interruption ... utilisateur n'a pas été stoppé les services";
    std::unique_ptr<WorkstationSimulatorProcess> workstation;
    const std::vector<Case> cases = {
        {"no", {Answer(DialogAnswer::No)}, 1, interrupted},
        {"dialog closed", {Answer(DialogAnswer::Closed)}, 1, interrupted},
        {"yes then no", {Answer(DialogAnswer::Yes), Answer(DialogAnswer::No)}, 2,
         "DeconnexionUsers n'a pas réussi (1 users connectés"},
        {"yes once everyone has gone",
         {[&](const DialogRequest&) {
             workstation.reset();
             return DialogAnswer::Yes;
         }},
         1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Site site;
        workstation = std::make_unique<WorkstationSimulatorProcess>(site.fresh.ConnectionString(), Mode::Never);
        // The last case's operator sends the workstation away itself.
        ShortWaits waits([&](int requests) { return !workstation || workstation->Answered(requests); });
        auto operatorDialogs = std::make_shared<ActingOperator>(c.answers);
        ScopedOperatorDialogs scoped(operatorDialogs);

        std::string error;
        try {
            DeconnexionUsers(site.database, nullptr, false, site.Recorder());
        } catch (const Exception& e) {
            error = e.Message();
        }
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(operatorDialogs->shown.size(), c.questions);
        const auto progress = site.Progress();
        ASSERT_GE(progress.size(), 1u);
        EXPECT_NE(std::find(progress.begin(), progress.end(), ">>>> Il reste 1 utilisateurs connectés"), progress.end());
        workstation.reset();
        site.database.Close();
    }
}

// Unattended, nobody is asked; gfix then shuts the database down and cuts the
// workstation off.
TEST(DeconnexionUsersServer, UnattendedLeavesTheRestToGfixWhichShutsTheDatabaseDown)
{
    MORVANE_REQUIRE_FIREBIRD_SERVER();
    Site site;
    WorkstationSimulatorProcess workstation(site.fresh.ConnectionString(), Mode::Never);
    ShortWaits waits(AnsweredBy({&workstation}));
    auto operatorDialogs = std::make_shared<TScriptedOperatorDialogs>();
    ScopedOperatorDialogs scoped(operatorDialogs);

    DeconnexionUsers(site.database, nullptr, true, site.Recorder());

    EXPECT_TRUE(operatorDialogs->Shown().empty());
    EXPECT_EQ(site.Progress().back(), Users(2));
    EXPECT_EQ(site.Requests(), (std::vector<std::string>{"1 N Close", "2 N Terminate"}));
    site.database.Close();

    TpFIBServerProperties properties;
    const std::string root = GetBaseLocation(properties, site.fresh.ConnectionString());
    TStringList memo{"memo"};
    GfixShutdown(&memo, ServerBinFolder(root), site.fresh.ConnectionString());

    EXPECT_TRUE(workstation.WaitForExit(10s)) << "the workstation is still attached";
    EXPECT_NE(workstation.ExitCode(), 0) << workstation.Output();
    const ToolResult header = site.fresh.HeaderStatistics();
    EXPECT_NE(HeaderValue(header.Output, "Attributes").find("single-user maintenance"), std::string::npos)
        << header.Output;
    EXPECT_EQ(memo[0], "memo");
    RunGfix({"-online", "normal"}, site.fresh.ConnectionString());
}

TEST(CountOtherAttachmentsServer, ServerPropertiesCountEveryAttachmentWithoutReporting)
{
    MORVANE_REQUIRE_FIREBIRD_SERVER();
    Site site;
    WorkstationSimulatorProcess workstation(site.fresh.ConnectionString(), Mode::Never);
    site.database.Open();

    TpFIBServerProperties properties;
    properties.SetServerName(ServerHost);
    properties.SetParams(TStringList{"user_name=SYSDBA", std::string("password=") + SysdbaPassword});
    // Other tests may be attached to the server as well: at least ours two, not one less.
    EXPECT_GE(CountOtherAttachments(properties), 2);
    EXPECT_FALSE(properties.Active());
    EXPECT_EQ(CountOtherAttachments(site.database, site.Recorder()), 1);
    EXPECT_EQ(site.Progress(), (std::vector<std::string>{Users(2)}));
}

TEST(GetBaseLocationServer, ReturnsTheServersRootAndLeavesTheComponentInactive)
{
    MORVANE_REQUIRE_FIREBIRD_SERVER();
    TpFIBServerProperties properties;
    const std::string root = GetBaseLocation(properties, "127.0.0.1:/nowhere/x.fdb");

    EXPECT_TRUE(std::filesystem::is_directory(root)) << root;
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(root) / "firebird.msg")) << root;
    EXPECT_EQ(properties.ServerName(), "127.0.0.1");
    EXPECT_EQ(properties.Params().Values("password"), SysdbaPassword);
    EXPECT_FALSE(properties.Active());
}

// A name without a server part names the server by its drive letter; both
// passwords fail to reach it and the second error reaches the caller.
TEST(GetBaseLocationServer, UnreachableServerRaisesAfterTheFactoryPassword)
{
    MORVANE_REQUIRE_FIREBIRD_SERVER();
    TpFIBServerProperties properties;
    EXPECT_THROW(GetBaseLocation(properties, "D:\\Data\\X.FDB"), EFIBError);
    EXPECT_EQ(properties.ServerName(), "D");
    EXPECT_EQ(properties.Params().Values("password"), "brickdawn");
}

// The answers cannot be counted (their table is gone): the error reaches the
// caller unchanged, and the request does not stay in force for later workstations.
TEST(DeconnexionUsersServer, RequestIsWithdrawnWhenCountingTheAnswersFails)
{
    MORVANE_REQUIRE_FIREBIRD_SERVER();
    Site site;
    site.fresh.Sql("DROP TABLE Glb5020Resultat;\nCOMMIT;");
    WorkstationSimulatorProcess workstation(site.fresh.ConnectionString(), Mode::Never);
    // Its answer cannot be written either: it ends on the error.
    ShortWaits waits(AnsweredBy({&workstation}));

    EXPECT_THROW(DeconnexionUsers(site.database, nullptr, true, site.Recorder()), EFIBInterBaseError);
    EXPECT_EQ(site.Progress().back(), "Envoi demande de fermeture normale");
    site.database.Close();
    EXPECT_EQ(site.Requests(), (std::vector<std::string>{"1 N Close"}));
}
