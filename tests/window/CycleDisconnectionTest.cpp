// The unattended cycle with a workstation still attached: the polite request, the
// forced one, and the shutdown for a workstation that never leaves. The test program
// gives the workstations two seconds to close; the program itself, on the road with
// both requests, waits the real 35 seconds.

#include "CycleProgramFixture.h"

#include "support/WorkstationSimulatorProcess.h"

#include <chrono>

namespace morvane::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using namespace std::chrono_literals;

struct Workstation {
    const char* name;
    WorkstationSimulatorProcess::Mode mode;
    int requests;     // rows the cycle leaves in Glb5020
    bool leaves;      // the workstation detaches by itself
    bool realWait;    // the program itself, which leaves the workstations 35 seconds
};

void PrintTo(const Workstation& station, std::ostream* out) { *out << station.name; }

class CycleDisconnectionTest : public CycleProgramTest, public ::testing::WithParamInterface<Workstation> {};

TEST_P(CycleDisconnectionTest, WorkstationIsSentAwayAndTheCycleCompletes)
{
    const Workstation& station = GetParam();
    WorkstationSimulatorProcess simulator(database_->ConnectionString(), station.mode);
    if (!station.realWait)
        UseProgramWithTestHooks();

    const auto start = std::chrono::steady_clock::now();
    const ToolResult result = station.realWait ? RunAuto() : RunAuto({ShortWaits()});
    EXPECT_EQ(result.ExitCode, 0) << result.Output << Log();
    if (station.realWait) {
        EXPECT_GE(std::chrono::steady_clock::now() - start, 35s) << "the workstations were given 35 seconds";
    }
    if (station.leaves) {
        EXPECT_TRUE(simulator.WaitForExit(5s));
        EXPECT_EQ(simulator.ExitCode(), 0) << simulator.Output();
    }

    // Every request the cycle wrote is withdrawn, and the workstation answered each one.
    EXPECT_EQ(Count("SELECT COUNT(*) FROM Glb5020;"), station.requests);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM Glb5020 WHERE TODO = 'N';"), station.requests);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM Glb5020Resultat;"), station.requests);

    // The new database is in place, online, with every row.
    EXPECT_EQ(Rows(), CycleRows);
    EXPECT_TRUE(Exists(RenamePath()));
    EXPECT_FALSE(Exists(DatabasePath() + "_Morvane"));

    const std::string log = Log();
    EXPECT_THAT(log, HasSubstr("[200] Envoi demande de fermeture normale"));
    if (station.requests == 2)
        EXPECT_THAT(log, HasSubstr("[200] Envoi demande de fermeture forcée"));
    else
        EXPECT_THAT(log, Not(HasSubstr("forcée")));
    // Whoever stayed is cut by the shutdown that closes the database to everybody.
    EXPECT_THAT(log, HasSubstr("Base arrêtée pour le cycle (shutdown full)"));
}

// A client of the database can raise an exception from a trigger on the command
// table: its text, line feeds included, must not pass for entries of the
// program's own log.
TEST_F(CycleProgramTest, AnExceptionRaisedAgainstTheRequestIsLoggedOnOneLine)
{
    database_->Sql("CREATE EXCEPTION E_REFUS 'refus';\nCOMMIT;\nSET TERM ^;\n"
                   "CREATE TRIGGER GLB5020_REFUS FOR Glb5020 BEFORE INSERT AS BEGIN\n"
                   "  EXCEPTION E_REFUS 'Refus du poste' || ascii_char(10) ||\n"
                   "    '2026-12-11 02:30:00.000: [100] Rapport du cycle : code de sortie 0';\n"
                   "END^\nSET TERM ;^\nCOMMIT;\n");
    WorkstationSimulatorProcess simulator(database_->ConnectionString(), WorkstationSimulatorProcess::Mode::Close);

    const ToolResult result = RunAuto();
    EXPECT_NE(result.ExitCode, 0) << result.Output << Log();
    EXPECT_EQ(Rows(), CycleRows);
    EXPECT_FALSE(Exists(RenamePath()));

    const std::string log = Log();
    EXPECT_THAT(log, HasSubstr("Refus du poste\\n2026-12-11 02:30:00.000: [100] Rapport du cycle : code de sortie 0"));
    EXPECT_THAT(LogLinesWithoutTimeStamp(), ::testing::IsEmpty()) << log;
}

INSTANTIATE_TEST_SUITE_P(
    Stations, CycleDisconnectionTest,
    ::testing::Values(Workstation{"LeavesOnClose", WorkstationSimulatorProcess::Mode::Close, 1, true, false},
                      Workstation{"LeavesOnTerminate", WorkstationSimulatorProcess::Mode::Terminate, 2, true, false},
                      Workstation{"NeverLeaves", WorkstationSimulatorProcess::Mode::Never, 2, false, true}),
    [](const ::testing::TestParamInfo<Workstation>& param) { return std::string(param.param.name); });

} // namespace
} // namespace morvane::test
