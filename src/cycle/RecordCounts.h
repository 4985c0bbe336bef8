#pragma once
// The tables and their row counts as the backup and the restore report them in
// their verbose output. The backup's counts are exact for the snapshot it read, so
// comparing them with the restore's proves every row arrived, without scanning
// either database.
//
//   backup:  "gbak:    writing table T1"          (the metadata: every user table)
//            "gbak:    writing data for table T1"
//            "gbak:10000 records written"         (every 10000 rows, then the total)
//   restore: "gbak:restoring table T1"            (views too, then "table V1 is a view")
//            "gbak:restoring data for table T1 "  (only for a table with rows)
//            "gbak:   10000 records restored "
//   and each generator's value: backup "gbak:    writing generator G value 77",
//   restore "gbak:restoring generator G value: 77 ".
//
// gbak prints a name as the server holds it: a name with a line feed goes on over
// the next lines of the output, which do not start with "gbak:" as its own do (an
// empty part is an empty line). A line may end with a blank, so each part of a name
// is taken without its trailing blanks, in both outputs alike.

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace morvane {

enum class TransferKind { Backup, Restore };

enum class RecordLineKind {
    TableDeclared, // the table's metadata
    ViewDeclared,  // restore: the table just declared is a view, it holds no rows
    TableData,     // its rows follow
    Records,       // rows so far for the table whose data is being transferred
    Generator,     // a generator and its value (in records)
};

struct RecordLine {
    RecordLineKind kind{RecordLineKind::Records};
    std::string table;       // TableDeclared, ViewDeclared, TableData; the generator's name
    std::int64_t records{0}; // Records; the generator's value
};

// One output line read strictly: the exact words of this kind of request, a table
// name that is not empty, a count of digits only that fits. Anything else is not a
// line of this kind (nullopt). Trailing blanks and a CR are ignored.
std::optional<RecordLine> ParseRecordLine(std::string_view line, TransferKind kind);

// The output of one request, fed line by line as the server sends it. A line that
// does not start with "gbak:" continues the name of the gbak line before it.
class TRecordTally {
public:
    explicit TRecordTally(TransferKind kind) : kind_(kind) {}

    void Feed(std::string_view line);
    // The output has ended: a table left without its count is a problem.
    void Finish();

    // Rows per table whose data was transferred (the last count given for it).
    const std::map<std::string, std::int64_t>& Counts() const noexcept { return counts_; }
    // Tables declared by their metadata, views left out.
    const std::set<std::string>& Declared() const noexcept { return declared_; }
    // Generators and their values, as the request wrote or restored them.
    const std::map<std::string, std::int64_t>& Generators() const noexcept { return generators_; }
    // What did not add up, in French, in the order found, names shown as one line;
    // empty when all is well.
    const std::vector<std::string>& Problems() const noexcept { return problems_; }

    // Progress while the request runs: tables whose data has begun, rows so far.
    std::size_t TablesStarted() const noexcept { return counts_.size(); }
    std::int64_t RecordsSoFar() const noexcept { return recordsSoFar_; }
    // Lines that were not blank: an output without any was not verbose.
    std::size_t LinesSeen() const noexcept { return linesSeen_; }

private:
    void Take(std::string_view line);
    void TakeHeld();
    void CloseTable();

    TransferKind kind_;
    std::map<std::string, std::int64_t> counts_;
    std::set<std::string> declared_;
    std::map<std::string, std::int64_t> generators_;
    std::vector<std::string> problems_;
    std::optional<std::string> lastDeclared_;
    std::optional<std::string> current_; // the table whose data is being transferred
    std::optional<std::string> held_;    // a gbak line whose name may go on over the next lines
    bool currentCounted_{false};
    std::int64_t recordsSoFar_{0};
    std::size_t linesSeen_{0};
    bool finished_{false};
};

// A whole output at once (tests, fuzzing): fed line by line, then finished.
TRecordTally TallyRecordOutput(std::string_view text, TransferKind kind);

// What the verification compares. Each user table the backup declared must have
// been written with a count; each table the backup wrote rows of must come back
// with as many; an empty table must at least be declared by the restore (which
// prints no data line for it); each generator must come back with its value, so a
// restore that read another database's backup is told apart even when the tables'
// counts agree. Problems in either output count as differences.
// The row counts go to VerificationDifferences as the old and the new database's.
struct TransferredRows {
    std::map<std::string, std::int64_t> old;
    std::map<std::string, std::int64_t> restored;
    std::vector<std::string> problems;
};
TransferredRows CompareTransfers(const TRecordTally& backup, const TRecordTally& restore);

} // namespace morvane
