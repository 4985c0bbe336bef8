#pragma once
// Everything one backup cycle needs, read once from the window when the cycle
// starts: whatever is typed into the window afterwards, the cycle acts on these
// values, the ones its journal records.

#include <string>

namespace morvane {

// The four database settings as the window's boxes give them.
struct DatabaseSettings {
    int pageBuffers{0};
    int sweepInterval{0};
    bool useReserve{false};  // "Use Reserve" box on its second item ("OUI"): space kept on each page
    bool asyncWrites{false}; // "Write Mode" box on its second item
};

struct CycleRequest {
    std::string dbFile;       // the DB File text: server, colon, database path
    std::string user;         // the user and password every service request sends
    std::string password;
    std::string backupFolder; // where the server writes the backup file
    std::string renamePath;   // where the old database file goes
    bool renameBeforeBackup{false};
    bool renameAfterRestore{false};
    bool forceDisconnection{false};
    std::string batchBeforeBackup;
    std::string batchAfterBackup;
    std::string batchAfterRestore;
    std::string pageSizeText; // read as an integer when the restore starts
    int pageBuffers{0};
    // A job setting the window could not take (the numeric-value message): the
    // cycle refuses to start.
    std::string refusedSetting;
    // The settings are written before the backup when the write-mode box is empty.
    bool writeSettings{false};
    DatabaseSettings settings;
    bool unattended{false}; // started with AUTO: no question is asked
    std::string metricsFolder; // the job settings' MetricsFolder; empty: no metrics file
    std::string metricsGroup;  // the job settings' MetricsGroup: who else may read it
    // Seconds the running transactions get to end before the database is cut.
    int transactionGrace{10};
    // The health figures before and after take every table's statistics too (HealthTables).
    bool healthTables{true};
    // The database stays at its path, read-only and open to readers, through the
    // backup and the restore: clients are cut only to switch it and to swap it.
    bool keepReadable{false};
};

} // namespace morvane
