#include "cycle/RecordCounts.h"

#include "core/Text.h"

#include <charconv>

namespace morvane {

namespace {

bool Consume(std::string_view& text, std::string_view prefix)
{
    if (text.substr(0, prefix.size()) != prefix)
        return false;
    text.remove_prefix(prefix.size());
    return true;
}

void SkipBlanks(std::string_view& text)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
}

// "<digits><suffix>" and nothing else; the count must fit.
std::optional<std::int64_t> CountBefore(std::string_view text, std::string_view suffix)
{
    if (text.size() <= suffix.size() || text.substr(text.size() - suffix.size()) != suffix)
        return std::nullopt;
    const std::string_view digits = text.substr(0, text.size() - suffix.size());
    for (char c : digits)
        if (c < '0' || c > '9')
            return std::nullopt;
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size())
        return std::nullopt;
    return value;
}

std::optional<RecordLine> Named(RecordLineKind kind, std::string_view name)
{
    if (name.find_first_not_of(' ') == std::string_view::npos)
        return std::nullopt;
    return RecordLine{kind, std::string(name), 0};
}

std::string CountText(std::int64_t value) { return std::to_string(value); }

// "<name><separator><value>": the value, signed, after the last separator.
std::optional<RecordLine> GeneratorValue(std::string_view text, std::string_view separator)
{
    const std::size_t at = text.rfind(separator);
    if (at == std::string_view::npos || at == 0)
        return std::nullopt;
    std::string_view digits = text.substr(at + separator.size());
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size())
        return std::nullopt;
    std::optional<RecordLine> line = Named(RecordLineKind::Generator, text.substr(0, at));
    if (line)
        line->records = value;
    return line;
}

// A name in a message: the server's bytes as they are, but on one line.
std::string Shown(const std::string& table) { return OneLineText(table); }

bool IsToolLine(std::string_view line) { return line.substr(0, 5) == "gbak:"; }

} // namespace

std::optional<RecordLine> ParseRecordLine(std::string_view line, TransferKind kind)
{
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r' || line.back() == '\n' || line.back() == '\t'))
        line.remove_suffix(1);
    if (!Consume(line, "gbak:"))
        return std::nullopt;
    const std::size_t length = line.size();
    SkipBlanks(line);
    if (kind == TransferKind::Backup) {
        // A table's lines are indented under their section ("gbak:writing table
        // constraints" is a section of its own).
        const bool indented = line.size() < length;
        if (indented && Consume(line, "writing data for table "))
            return Named(RecordLineKind::TableData, line);
        if (indented && Consume(line, "writing table "))
            return Named(RecordLineKind::TableDeclared, line);
        if (indented && Consume(line, "writing generator "))
            return GeneratorValue(line, " value ");
        if (const auto count = CountBefore(line, " records written"))
            return RecordLine{RecordLineKind::Records, {}, *count};
        return std::nullopt;
    }
    if (Consume(line, "restoring data for table "))
        return Named(RecordLineKind::TableData, line);
    if (Consume(line, "restoring table "))
        return Named(RecordLineKind::TableDeclared, line);
    if (Consume(line, "restoring generator "))
        return GeneratorValue(line, " value: ");
    if (line.substr(0, 6) == "table " && line.size() > 16 && line.substr(line.size() - 10) == " is a view")
        return Named(RecordLineKind::ViewDeclared, line.substr(6, line.size() - 16));
    if (const auto count = CountBefore(line, " records restored"))
        return RecordLine{RecordLineKind::Records, {}, *count};
    return std::nullopt;
}

void TRecordTally::Feed(std::string_view line)
{
    const bool blank = line.find_first_not_of(" \r\n\t") == std::string_view::npos;
    if (held_ && !IsToolLine(line)) {
        // Depending on the request a line may end with a blank, those inside a name
        // too: each part of a name is read without its trailing blanks, on both sides.
        while (!held_->empty() && held_->back() == ' ')
            held_->pop_back();
        *held_ += '\n';
        *held_ += line;
        return;
    }
    if (blank)
        return;
    ++linesSeen_;
    TakeHeld();
    // A count carries no name and is taken at once, so progress never lags; any
    // other gbak line waits for the next one, in case its name goes on.
    const std::optional<RecordLine> parsed = ParseRecordLine(line, kind_);
    if (IsToolLine(line) && !(parsed && parsed->kind == RecordLineKind::Records))
        held_ = std::string(line);
    else
        Take(line);
}

void TRecordTally::TakeHeld()
{
    if (!held_)
        return;
    const std::string line = std::move(*held_);
    held_.reset();
    Take(line);
}

void TRecordTally::Take(std::string_view line)
{
    const std::optional<RecordLine> parsed = ParseRecordLine(line, kind_);
    if (!parsed || parsed->kind != RecordLineKind::Records) {
        // Counts follow their table's line directly: anything else ends that table.
        CloseTable();
    }
    if (!parsed)
        return;
    switch (parsed->kind) {
    case RecordLineKind::TableDeclared:
        declared_.insert(parsed->table);
        lastDeclared_ = parsed->table;
        break;
    case RecordLineKind::ViewDeclared:
        if (lastDeclared_ == parsed->table)
            declared_.erase(parsed->table);
        lastDeclared_.reset();
        break;
    case RecordLineKind::Generator:
        if (!generators_.emplace(parsed->table, parsed->records).second)
            problems_.push_back("générateur " + Shown(parsed->table) + " transféré deux fois");
        break;
    case RecordLineKind::TableData:
        if (counts_.count(parsed->table) != 0)
            problems_.push_back("table " + Shown(parsed->table) + " transférée deux fois");
        current_ = parsed->table;
        currentCounted_ = false;
        counts_.emplace(parsed->table, 0);
        break;
    case RecordLineKind::Records: {
        if (!current_) {
            problems_.push_back("nombre de lignes " + CountText(parsed->records) + " sans sa table");
            break;
        }
        std::int64_t& count = counts_[*current_];
        if (currentCounted_ && parsed->records < count) {
            problems_.push_back("table " + Shown(*current_) + ": nombre de lignes en baisse (" + CountText(count) + " puis " +
                                CountText(parsed->records) + ")");
            break;
        }
        recordsSoFar_ += parsed->records - count;
        count = parsed->records;
        currentCounted_ = true;
        break;
    }
    }
}

void TRecordTally::CloseTable()
{
    if (current_ && !currentCounted_)
        problems_.push_back("table " + Shown(*current_) + " sans nombre de lignes");
    current_.reset();
}

void TRecordTally::Finish()
{
    if (finished_)
        return;
    finished_ = true;
    TakeHeld();
    CloseTable();
    if (kind_ == TransferKind::Backup)
        for (const std::string& table : declared_)
            if (counts_.count(table) == 0)
                problems_.push_back("table " + Shown(table) + " non sauvegardée");
}

TRecordTally TallyRecordOutput(std::string_view text, TransferKind kind)
{
    TRecordTally tally(kind);
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        tally.Feed(text.substr(0, end));
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    tally.Finish();
    return tally;
}

TransferredRows CompareTransfers(const TRecordTally& backup, const TRecordTally& restore)
{
    TransferredRows rows;
    if (backup.LinesSeen() == 0)
        rows.problems.push_back("backup sans sortie détaillée");
    if (restore.LinesSeen() == 0)
        rows.problems.push_back("restore sans sortie détaillée");
    for (const std::string& problem : backup.Problems())
        rows.problems.push_back("backup: " + problem);
    for (const std::string& problem : restore.Problems())
        rows.problems.push_back("restore: " + problem);
    for (const auto& [generator, value] : backup.Generators()) {
        const auto restored = restore.Generators().find(generator);
        if (restored == restore.Generators().end())
            rows.problems.push_back("générateur " + Shown(generator) + " non restauré");
        else if (restored->second != value)
            rows.problems.push_back("générateur " + Shown(generator) + ": valeur " + CountText(value) +
                                    " au backup, " + CountText(restored->second) + " au restore");
    }
    for (const auto& [generator, value] : restore.Generators())
        if (backup.Generators().count(generator) == 0)
            rows.problems.push_back("générateur " + Shown(generator) + " restauré sans avoir été sauvegardé");
    rows.old = backup.Counts();
    rows.restored = restore.Counts();
    // The restore says nothing of a table's data when it has none: declared is enough.
    for (const auto& [table, count] : rows.old)
        if (count == 0 && rows.restored.count(table) == 0 && restore.Declared().count(table) != 0)
            rows.restored.emplace(table, 0);
    return rows;
}

} // namespace morvane
