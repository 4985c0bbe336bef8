// The tables and row counts read from the backup's and the restore's verbose
// output: single lines read strictly, whole outputs tallied, and the two compared.

#include "cycle/RecordCounts.h"
#include "cycle/CycleVerification.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace morvane {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

constexpr auto Backup = TransferKind::Backup;
constexpr auto Restore = TransferKind::Restore;

TEST(RecordCounts, LinesAreReadStrictly)
{
    const struct {
        const char* line;
        TransferKind kind;
        std::optional<RecordLineKind> expected;
        const char* table;
        std::int64_t records;
    } cases[] = {
        // As Firebird 3.0 sends them through the service manager.
        {"gbak:    writing table T1", Backup, RecordLineKind::TableDeclared, "T1", 0},
        {"gbak:    writing data for table T1", Backup, RecordLineKind::TableData, "T1", 0},
        {"gbak:    writing data for table lower name", Backup, RecordLineKind::TableData, "lower name", 0},
        {"gbak:1234 records written", Backup, RecordLineKind::Records, "", 1234},
        {"gbak:0 records written", Backup, RecordLineKind::Records, "", 0},
        {"gbak:restoring table T1 ", Restore, RecordLineKind::TableDeclared, "T1", 0},
        {"gbak:    table V1 is a view ", Restore, RecordLineKind::ViewDeclared, "V1", 0},
        {"gbak:restoring data for table T1 ", Restore, RecordLineKind::TableData, "T1", 0},
        {"gbak:   1234 records restored ", Restore, RecordLineKind::Records, "", 1234},
        {"gbak:   45000 records restored \r", Restore, RecordLineKind::Records, "", 45000},
        {"gbak:9223372036854775807 records written", Backup, RecordLineKind::Records, "", 9223372036854775807},
        {"gbak:    writing generator S1 value 77", Backup, RecordLineKind::Generator, "S1", 77},
        {"gbak:    writing generator NEG value -5", Backup, RecordLineKind::Generator, "NEG", -5},
        {"gbak:    writing generator a value b value 3", Backup, RecordLineKind::Generator, "a value b", 3},
        {"gbak:restoring generator S1 value: 77 ", Restore, RecordLineKind::Generator, "S1", 77},
        // Not a count, nor a table: other lines of the same output.
        {"gbak:writing tables", Backup, std::nullopt, "", 0},
        {"gbak:writing table constraints", Backup, std::nullopt, "", 0},
        {"gbak:writing data for table T1", Backup, std::nullopt, "", 0},
        {"gbak:updating ownership of packages, procedures and tables ", Restore, std::nullopt, "", 0},
        {"gbak:         writing column ID", Backup, std::nullopt, "", 0},
        {"gbak:    writing view V1", Backup, std::nullopt, "", 0},
        {"gbak:readied database /srv/BD.FDB for backup", Backup, std::nullopt, "", 0},
        {"gbak: ERROR:Unsuccessful execution", Backup, std::nullopt, "", 0},
        // Malformed: a sign, a blank or a letter in the count, no count, a count that
        // does not fit, the other request's words, no prefix, no table name.
        {"gbak:-5 records written", Backup, std::nullopt, "", 0},
        {"gbak:+5 records written", Backup, std::nullopt, "", 0},
        {"gbak:1 234 records written", Backup, std::nullopt, "", 0},
        {"gbak:12a records written", Backup, std::nullopt, "", 0},
        {"gbak: records written", Backup, std::nullopt, "", 0},
        {"gbak:records written", Backup, std::nullopt, "", 0},
        {"gbak:9223372036854775808 records written", Backup, std::nullopt, "", 0},
        {"gbak:5 records written and more", Backup, std::nullopt, "", 0},
        {"gbak:5 records restored", Backup, std::nullopt, "", 0},
        {"gbak:5 records written", Restore, std::nullopt, "", 0},
        {"gbak:restoring data for table T1", Backup, std::nullopt, "", 0},
        {"5 records written", Backup, std::nullopt, "", 0},
        {"GBAK:5 records written", Backup, std::nullopt, "", 0},
        {"gbak:    writing data for table ", Backup, std::nullopt, "", 0},
        {"gbak:    writing data for table    ", Backup, std::nullopt, "", 0},
        {"gbak:restoring data for table", Restore, std::nullopt, "", 0},
        {"gbak:    table  is a view", Restore, std::nullopt, "", 0},
        {"gbak:writing id generators", Backup, std::nullopt, "", 0},
        {"gbak:adjusting system generators ", Restore, std::nullopt, "", 0},
        {"gbak:    writing generator S1 value ", Backup, std::nullopt, "", 0},
        {"gbak:    writing generator S1 value 7x", Backup, std::nullopt, "", 0},
        {"gbak:    writing generator  value 7", Backup, std::nullopt, "", 0},
        {"gbak:    writing generator S1 value 99999999999999999999", Backup, std::nullopt, "", 0},
        {"gbak:restoring generator S1 value 77", Restore, std::nullopt, "", 0},
        {"gbak:writing generator S1 value 77", Backup, std::nullopt, "", 0},
        {"", Backup, std::nullopt, "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const std::optional<RecordLine> line = ParseRecordLine(c.line, c.kind);
        ASSERT_EQ(line.has_value(), c.expected.has_value());
        if (!line)
            continue;
        EXPECT_EQ(line->kind, *c.expected);
        EXPECT_EQ(line->table, c.table);
        EXPECT_EQ(line->records, c.records);
    }
}

// A backup's output as the server sends it: progress every 10000 rows, the total
// last; an empty table and a global temporary table with 0; a view declared only.
constexpr const char* BackupOutput = "gbak:readied database /srv/BD.FDB for backup\n"
                                     "gbak:writing tables\n"
                                     "gbak:    writing table T1\n"
                                     "gbak:         writing column ID\n"
                                     "gbak:    writing table EMPTY_T\n"
                                     "gbak:    writing view V1\n"
                                     "gbak:    writing table BIG\n"
                                     "gbak:writing packages\n"
                                     "gbak:    writing data for table BIG\n"
                                     "gbak:10000 records written\n"
                                     "gbak:20000 records written\n"
                                     "gbak:25000 records written\n"
                                     "gbak:    writing data for table EMPTY_T\n"
                                     "gbak:0 records written\n"
                                     "gbak:    writing data for table T1\n"
                                     "gbak:55 records written\n"
                                     "gbak:writing id generators\n"
                                     "gbak:    writing generator GEN_T1 value 55\n"
                                     "gbak:writing triggers\n"
                                     "gbak:writing table constraints\n";

// Its restore: no data line for the empty table.
constexpr const char* RestoreOutput = "gbak:restoring table T1 \n"
                                      "gbak:restoring table EMPTY_T \n"
                                      "gbak:restoring table V1 \n"
                                      "gbak:    table V1 is a view \n"
                                      "gbak:restoring table BIG \n"
                                      "gbak:committing metadata \n"
                                      "gbak:restoring data for table BIG \n"
                                      "gbak:   10000 records restored \n"
                                      "gbak:   20000 records restored \n"
                                      "gbak:   25000 records restored \n"
                                      "gbak:restoring data for table T1 \n"
                                      "gbak:   55 records restored \n"
                                      "gbak:restoring generator GEN_T1 value: 55 \n"
                                      "gbak:adjusting system generators \n"
                                      "gbak:committing metadata \n";

TEST(RecordCounts, RealOutputsAddUpAndMatch)
{
    const TRecordTally backup = TallyRecordOutput(BackupOutput, Backup);
    EXPECT_THAT(backup.Problems(), IsEmpty());
    EXPECT_EQ(backup.Counts(), (std::map<std::string, std::int64_t>{{"BIG", 25000}, {"EMPTY_T", 0}, {"T1", 55}}));
    EXPECT_EQ(backup.Declared(), (std::set<std::string>{"BIG", "EMPTY_T", "T1"}));
    EXPECT_EQ(backup.RecordsSoFar(), 25055);
    EXPECT_EQ(backup.Generators(), (std::map<std::string, std::int64_t>{{"GEN_T1", 55}}));

    const TRecordTally restore = TallyRecordOutput(RestoreOutput, Restore);
    EXPECT_THAT(restore.Problems(), IsEmpty());
    EXPECT_EQ(restore.Declared(), (std::set<std::string>{"BIG", "EMPTY_T", "T1"}));

    const TransferredRows rows = CompareTransfers(backup, restore);
    EXPECT_THAT(rows.problems, IsEmpty());
    EXPECT_EQ(rows.old, rows.restored);
    EXPECT_THAT(VerificationDifferences(8192, 0, DatabaseContents{rows.old, {}}, {8192, 0, {rows.restored, {}}}),
                IsEmpty());
}

TEST(RecordCounts, ProgressIsTheRowsSoFar)
{
    TRecordTally tally(Backup);
    tally.Feed("gbak:    writing data for table BIG");
    tally.Feed("gbak:10000 records written");
    EXPECT_EQ(tally.RecordsSoFar(), 10000);
    tally.Feed("gbak:20000 records written");
    tally.Feed("gbak:    writing data for table T1");
    tally.Feed("gbak:55 records written");
    EXPECT_EQ(tally.RecordsSoFar(), 20055);
    EXPECT_EQ(tally.TablesStarted(), 2u);
}

// Names with line breaks, as the server's backup and restore print them: the name
// goes on over the next lines, each of which may end with a blank.
TEST(RecordCounts, NamesThatHoldLineBreaksAreReadWhole)
{
    const struct {
        const char* what;
        std::string name;
        std::string backup;
        std::string restore;
    } cases[] = {
        {"a line feed", "T\nX",
         "gbak:    writing table T\nX\ngbak:         writing column A\ngbak:    writing data for table T\nX\n"
         "gbak:1 records written\n",
         "gbak:restoring table T \nX \ngbak:    restoring column A \ngbak:restoring data for table T \nX \n"
         "gbak:   1 records restored \n"},
        {"a line feed, each line ended by a blank", "T\nX",
         "gbak:    writing table T \nX \ngbak:    writing data for table T \nX \ngbak:1 records written \n",
         "gbak:restoring table T \nX \ngbak:restoring data for table T \nX \ngbak:   1 records restored \n"},
        // Read alike on both sides, though without its blank.
        {"a blank before the line feed", "T\nX",
         "gbak:    writing table T \nX\ngbak:    writing data for table T \nX\ngbak:1 records written\n",
         "gbak:restoring table T  \nX \ngbak:restoring data for table T  \nX \ngbak:   1 records restored \n"},
        {"an empty line inside", "A\n\nB",
         "gbak:    writing table A\n\nB\ngbak:    writing data for table A\n\nB\ngbak:1 records written\n",
         "gbak:restoring table A \n \nB \ngbak:restoring data for table A \n \nB \ngbak:   1 records restored \n"},
        {"CR LF", "C\r\nD",
         "gbak:    writing table C\r\nD\ngbak:    writing data for table C\r\nD\ngbak:1 records written\n",
         "gbak:restoring table C\r \nD \ngbak:restoring data for table C\r \nD \ngbak:   1 records restored \n"},
        {"the last table of the output", "T\nX",
         "gbak:    writing table T\nX\ngbak:    writing data for table T\nX\ngbak:1 records written\n",
         "gbak:restoring data for table T \nX \ngbak:   1 records restored \ngbak:restoring table T \nX \n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const TRecordTally backup = TallyRecordOutput(c.backup, Backup);
        const TRecordTally restore = TallyRecordOutput(c.restore, Restore);
        EXPECT_THAT(backup.Problems(), IsEmpty());
        EXPECT_THAT(restore.Problems(), IsEmpty());
        EXPECT_EQ(backup.Counts(), (std::map<std::string, std::int64_t>{{c.name, 1}}));
        EXPECT_EQ(backup.Declared(), (std::set<std::string>{c.name}));
        EXPECT_EQ(restore.Counts(), (std::map<std::string, std::int64_t>{{c.name, 1}}));
        EXPECT_EQ(restore.Declared(), (std::set<std::string>{c.name}));
        const TransferredRows rows = CompareTransfers(backup, restore);
        EXPECT_THAT(rows.problems, IsEmpty());
        EXPECT_THAT(VerificationDifferences(8192, 0, DatabaseContents{rows.old, {}}, {8192, 0, {rows.restored, {}}}),
                    IsEmpty());
    }
}

TEST(RecordCounts, ANameIsShownOnOneLine)
{
    const TRecordTally backup = TallyRecordOutput(
        "gbak:    writing table T\nX\ngbak:    writing table Caf\xe9\ngbak:    writing data for table Caf\xe9\n"
        "gbak:2 records written\n",
        Backup);
    EXPECT_THAT(backup.Problems(), ElementsAre("table T\\nX non sauvegardée"));

    const TransferredRows rows = CompareTransfers(backup, TallyRecordOutput("gbak:restoring table T \nX \n", Restore));
    EXPECT_THAT(VerificationDifferences(8192, 0, DatabaseContents{rows.old, {}}, {8192, 0, {rows.restored, {}}}),
                ElementsAre("table Café absente de la nouvelle base"));
}

TEST(RecordCounts, OutputsThatDoNotAddUpAreNamed)
{
    const struct {
        const char* what;
        TransferKind kind;
        std::string output;
        std::vector<std::string> problems;
    } cases[] = {
        {"a count before any table", Backup, "gbak:5 records written\n", {"nombre de lignes 5 sans sa table"}},
        {"a count after another line", Backup,
         "gbak:    writing data for table T1\ngbak:5 records written\ngbak:writing triggers\ngbak:6 records written\n",
         {"nombre de lignes 6 sans sa table"}},
        {"a table without its count", Backup,
         "gbak:    writing data for table T1\ngbak:    writing data for table T2\ngbak:1 records written\n",
         {"table T1 sans nombre de lignes"}},
        {"the output ends before the count", Restore, "gbak:restoring data for table T1 \n",
         {"table T1 sans nombre de lignes"}},
        {"a malformed count", Restore, "gbak:restoring data for table T1 \ngbak:   1x records restored \n",
         {"table T1 sans nombre de lignes"}},
        {"a table written twice", Backup,
         "gbak:    writing data for table T1\ngbak:1 records written\ngbak:    writing data for table T1\n"
         "gbak:1 records written\n",
         {"table T1 transférée deux fois"}},
        {"a count that goes down", Backup,
         "gbak:    writing data for table T1\ngbak:20000 records written\ngbak:10000 records written\n",
         {"table T1: nombre de lignes en baisse (20000 puis 10000)"}},
        {"a table declared and never written", Backup,
         "gbak:    writing table T1\ngbak:    writing table T2\ngbak:    writing data for table T2\n"
         "gbak:0 records written\n",
         {"table T1 non sauvegardée"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(TallyRecordOutput(c.output, c.kind).Problems(), c.problems);
    }
}

TEST(RecordCounts, TheRestoreMustGiveBackEveryTableTheBackupWrote)
{
    const TRecordTally backup = TallyRecordOutput(BackupOutput, Backup);
    const struct {
        const char* what;
        std::string restore;
        std::vector<std::string> differences;
    } cases[] = {
        {"a table with fewer rows",
         "gbak:restoring table EMPTY_T \ngbak:restoring data for table BIG \ngbak:   24999 records restored \n"
         "gbak:restoring data for table T1 \ngbak:   55 records restored \ngbak:restoring generator GEN_T1 value: 55 \n",
         {"table BIG: 24999 lignes au lieu de 25000"}},
        {"a table with rows missing",
         "gbak:restoring table EMPTY_T \ngbak:restoring data for table BIG \ngbak:   25000 records restored \ngbak:restoring generator GEN_T1 value: 55 \n",
         {"table T1 absente de la nouvelle base"}},
        {"an empty table the restore does not even declare",
         "gbak:restoring data for table BIG \ngbak:   25000 records restored \n"
         "gbak:restoring data for table T1 \ngbak:   55 records restored \ngbak:restoring generator GEN_T1 value: 55 \n",
         {"table EMPTY_T absente de la nouvelle base"}},
        {"a table the backup never wrote",
         "gbak:restoring table EMPTY_T \ngbak:restoring data for table BIG \ngbak:   25000 records restored \n"
         "gbak:restoring data for table T1 \ngbak:   55 records restored \n"
         "gbak:restoring data for table X \ngbak:   1 records restored \ngbak:restoring generator GEN_T1 value: 55 \n",
         {"table X absente de l'ancienne base"}},
        {"another database's backup with the same counts: its generator tells",
         "gbak:restoring table EMPTY_T \ngbak:restoring data for table BIG \ngbak:   25000 records restored \n"
         "gbak:restoring data for table T1 \ngbak:   55 records restored \n"
         "gbak:restoring generator GEN_T1 value: 54 \ngbak:restoring generator OTHER value: 1 \n",
         {"générateur GEN_T1: valeur 55 au backup, 54 au restore",
          "générateur OTHER restauré sans avoir été sauvegardé"}},
        {"a generator not restored",
         "gbak:restoring table EMPTY_T \ngbak:restoring data for table BIG \ngbak:   25000 records restored \n"
         "gbak:restoring data for table T1 \ngbak:   55 records restored \n",
         {"générateur GEN_T1 non restauré"}},
        {"no verbose output at all", "", {"table BIG absente de la nouvelle base", "table EMPTY_T absente de la nouvelle base",
                                          "table T1 absente de la nouvelle base", "restore sans sortie détaillée",
                                          "générateur GEN_T1 non restauré"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const TransferredRows rows = CompareTransfers(backup, TallyRecordOutput(c.restore, Restore));
        std::vector<std::string> differences =
            VerificationDifferences(8192, 0, DatabaseContents{rows.old, {}}, {8192, 0, {rows.restored, {}}});
        differences.insert(differences.end(), rows.problems.begin(), rows.problems.end());
        EXPECT_EQ(differences, c.differences);
    }

    // Problems of the backup's own output are differences too.
    const TransferredRows broken = CompareTransfers(TallyRecordOutput("gbak:5 records written\n", Backup),
                                                    TallyRecordOutput(RestoreOutput, Restore));
    EXPECT_THAT(broken.problems, ElementsAre("backup: nombre de lignes 5 sans sa table",
                                             "générateur GEN_T1 restauré sans avoir été sauvegardé"));
}

} // namespace
} // namespace morvane
