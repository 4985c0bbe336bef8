#include "cycle/CycleContents.h"

#include "core/Exception.h"
#include "core/Text.h"
#include "fib/pFIBDatabase.h"
#include "database/Global_FIB.h"
#include "session/SessionGuards.h"
#include "platform/DurableFile.h"

#include <memory>
#include <optional>

namespace morvane {

namespace {

// Every row of a one-column select, as text.
std::vector<std::string> SelectColumn(fib::TpFIBDatabase& database, const std::string& sql)
{
    const std::unique_ptr<fib::TpFIBQuery> query = GlobalFIB().NewQuery(database, true, sql, true);
    query->Transaction()->StartTransaction();
    query->Execute();
    std::vector<std::string> values;
    while (query->RowCurrent()) {
        values.push_back(TrimRight(query->Column(0).AsText()));
        query->Next();
    }
    query->Close();
    query->Transaction()->Commit();
    return values;
}

// The first row of a select, every column as text; empty when there is no row.
std::vector<std::string> SelectRow(fib::TpFIBDatabase& database, const std::string& sql)
{
    const std::unique_ptr<fib::TpFIBQuery> query = GlobalFIB().NewQuery(database, true, sql, true);
    query->Transaction()->StartTransaction();
    query->Execute();
    std::vector<std::string> values;
    if (query->RowCurrent())
        for (int column = 0; column < query->ColumnCount(); ++column)
            values.push_back(TrimRight(query->Column(column).AsText()));
    query->Close();
    query->Transaction()->Commit();
    return values;
}

// A name as an SQL string literal: the names come from the server's messages.
std::string Literal(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("''") : std::string(1, c);
    return quoted + "'";
}

// Attaches the database for a reading unless it is attached already, and detaches
// it afterwards only then (the guard), also when the reading fails: a caller that
// attached it reads more through the same attachment.
class AttachedWhileReading {
public:
    explicit AttachedWhileReading(fib::TpFIBDatabase& database) : database_(database)
    {
        if (database_.Connected())
            return;
        attachment_.emplace(database_);
        database_.SetConnected(true);
    }
    AttachedWhileReading(const AttachedWhileReading&) = delete;
    AttachedWhileReading& operator=(const AttachedWhileReading&) = delete;

private:
    fib::TpFIBDatabase& database_;
    std::optional<AttachmentGuard> attachment_;
};

} // namespace

std::vector<std::string> ReadInactiveIndexes(fib::TpFIBDatabase& database)
{
    // The program's own attachment must not add rows to a table it counts.
    struct NoTriggers {
        fib::TpFIBDatabase& database;
        bool before;
        explicit NoTriggers(fib::TpFIBDatabase& d) : database(d), before(d.NoDatabaseTriggers)
        {
            database.NoDatabaseTriggers = true;
        }
        ~NoTriggers() { database.NoDatabaseTriggers = before; }
        NoTriggers(const NoTriggers&) = delete;
        NoTriggers& operator=(const NoTriggers&) = delete;
    } noTriggers(database);
    AttachedWhileReading attached(database);
    return SelectColumn(database, "SELECT RDB$INDEX_NAME FROM RDB$INDICES WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0 "
                                  "AND RDB$INDEX_INACTIVE = 1 ORDER BY RDB$INDEX_NAME");
}

std::optional<CatalogueIndex> ReadCatalogueIndex(fib::TpFIBDatabase& database, const std::string& name)
{
    AttachedWhileReading attached(database);
    // A constraint's name first: the index that backs it may have been renamed by
    // the restore that names it.
    const std::vector<std::string> row = SelectRow(
        database,
        "SELECT TRIM(i.RDB$INDEX_NAME), TRIM(i.RDB$RELATION_NAME), COALESCE(i.RDB$UNIQUE_FLAG, 0), "
        "CAST(i.RDB$EXPRESSION_SOURCE AS VARCHAR(4000)), TRIM(COALESCE(c.RDB$CONSTRAINT_NAME, '')), "
        "TRIM(COALESCE(c.RDB$CONSTRAINT_TYPE, '')), TRIM(COALESCE(r.RDB$RELATION_NAME, '')) "
        "FROM RDB$INDICES i LEFT JOIN RDB$RELATION_CONSTRAINTS c ON c.RDB$INDEX_NAME = i.RDB$INDEX_NAME "
        "LEFT JOIN RDB$INDICES r ON r.RDB$INDEX_NAME = i.RDB$FOREIGN_KEY "
        "WHERE c.RDB$CONSTRAINT_NAME = " + Literal(name) + " OR i.RDB$INDEX_NAME = " + Literal(name) +
        " ORDER BY CASE WHEN c.RDB$CONSTRAINT_NAME = " + Literal(name) + " THEN 0 ELSE 1 END");
    if (row.size() < 7)
        return std::nullopt;
    CatalogueIndex index;
    index.name = row[0];
    index.table = row[1];
    index.unique = row[2] == "1";
    index.expression = Trim(row[3]);
    index.constraint = row[4];
    index.constraintType = row[5];
    index.referencedTable = row[6];
    index.columns = SelectColumn(database, "SELECT TRIM(RDB$FIELD_NAME) FROM RDB$INDEX_SEGMENTS "
                                           "WHERE RDB$INDEX_NAME = " +
                                               Literal(index.name) + " ORDER BY RDB$FIELD_POSITION");
    return index;
}

void ReadDatabaseFacts(fib::TpFIBDatabase& database, DatabaseFacts& facts)
{
    AttachedWhileReading attached(database);
    facts.shadows =
        SelectColumn(database, "SELECT TRIM(RDB$FILE_NAME) FROM RDB$FILES WHERE COALESCE(RDB$SHADOW_NUMBER, 0) > 0 "
                               "ORDER BY RDB$SHADOW_NUMBER, RDB$FILE_SEQUENCE");
    // The database's own files after its first one have no shadow number.
    facts.continuationFiles =
        SelectColumn(database, "SELECT TRIM(RDB$FILE_NAME) FROM RDB$FILES WHERE COALESCE(RDB$SHADOW_NUMBER, 0) = 0 "
                               "ORDER BY RDB$FILE_SEQUENCE");
    const std::vector<std::string> owners = SelectColumn(database, "SELECT TRIM(MON$OWNER) FROM MON$DATABASE");
    facts.owner = owners.empty() ? std::string() : owners.front();
    // The command tables the site's applications watch for the request to leave.
    facts.commandTables =
        SelectColumn(database, "SELECT (SELECT COUNT(*) FROM RDB$GENERATORS WHERE RDB$GENERATOR_NAME = "
                               "'GEN_ID_GLB5020') + (SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$RELATION_NAME IN "
                               "('GLB5020', 'GLB5020RESULTAT')) FROM RDB$DATABASE")
            .front() == "3";
}

void PrepareOwnAttachment(fib::TpFIBDatabase& database, const std::string& connection, const fib::TDBParams& params,
                          int dialect)
{
    database.NoDatabaseTriggers = true;
    database.SetDBName(connection);
    database.DBParams() = params;
    database.SetSQLDialect(dialect);
}

std::string ReadDatabaseFileName(const std::string& connection, const fib::TDBParams& params, int dialect)
{
    fib::TpFIBDatabase database(nullptr);
    PrepareOwnAttachment(database, connection, params, dialect);
    AttachmentGuard attachment(database);
    database.SetConnected(true);
    const std::vector<std::string> names = SelectColumn(database, "SELECT MON$DATABASE_NAME FROM MON$DATABASE");
    database.SetConnected(false);
    return names.empty() ? std::string() : names.front();
}

std::vector<std::string> ReadForeignAttachments(fib::TpFIBDatabase& database)
{
    AttachedWhileReading attached(database);
    // Every attachment but this one and the server's own workers (garbage collector,
    // cache writer): the backup's services run only while the cycle waits for them.
    return SelectColumn(
        database, "SELECT TRIM(COALESCE(MON$USER, '?')) || ' (' || TRIM(COALESCE(MON$REMOTE_ADDRESS, 'local')) || "
                  "', ' || TRIM(COALESCE(MON$REMOTE_PROCESS, '?')) || ')' FROM MON$ATTACHMENTS "
                  "WHERE MON$ATTACHMENT_ID <> CURRENT_CONNECTION AND COALESCE(MON$SYSTEM_FLAG, 0) = 0 "
                  "ORDER BY MON$ATTACHMENT_ID");
}

RunReportDatabase ReadAttachedSettings(fib::TpFIBDatabase& database)
{
    RunReportDatabase values;
    values.pageSize = database.GetDatabaseInfoInt(fib::isc_info_page_size_item);
    values.sweepInterval = database.GetDatabaseInfoInt(fib::isc_info_sweep_interval_item);
    values.reserve = database.GetDatabaseInfoInt(fib::isc_info_no_reserve_item) != 1;
    values.forcedWrites = database.GetDatabaseInfoInt(fib::isc_info_forced_writes_item) == 1;
    values.readOnly = database.GetDatabaseInfoInt(fib::isc_info_db_read_only_item) == 1;
    values.dialect = database.GetDatabaseInfoInt(fib::isc_info_db_sql_dialect_item);
    return values;
}

RunReportDatabase ReadReportDatabase(const std::string& connection, const fib::TDBParams& params, int dialect,
                                     const std::string& localPath) noexcept
{
    RunReportDatabase values;
    if (const auto size = platform::FileSize(localPath))
        values.sizeBytes = *size;
    try {
        fib::TpFIBDatabase database(nullptr);
        PrepareOwnAttachment(database, connection, params, dialect);
        AttachmentGuard attachment(database);
        database.SetConnected(true);
        const std::optional<std::int64_t> fileSize = values.sizeBytes;
        values = ReadAttachedSettings(database);
        values.sizeBytes = fileSize;
        database.SetConnected(false);
    } catch (const std::exception&) {
        // A database shut down or missing has no settings to report: they stay empty.
    }
    return values;
}

} // namespace morvane
