#pragma once
// What makes a database one the cycle cannot rebuild as it is, found before anything
// runs: a file in the middle of an nbackup, a database already shut down completely,
// shadow files the restore would try to create again where the old ones are, a
// database spread over several files, an owner the restore would replace.

#include <optional>
#include <string>
#include <vector>

namespace morvane {

// What the cycle learns about the database before it starts.
struct DatabaseFacts {
    std::string attributes;           // the header's "Attributes" value
    std::vector<std::string> shadows; // shadow files, as the database names them
    std::string owner;                // the database's owner
    std::string runUser;              // the user the cycle's requests run as
    bool forcedDisconnection{false};  // the workstations are to be sent away
    bool commandTables{true};         // Glb5020, Glb5020Resultat and GEN_ID_GLB5020 are there
    // The files the database goes on in after its first one, as the database names them.
    std::vector<std::string> continuationFiles{};
};

// Nothing when the cycle may go on; else the message that says why not and what to do,
// and whether it is the disconnection that cannot be done.
struct DatabaseRefusalText {
    std::string message;
    bool disconnection{false};
};
std::optional<DatabaseRefusalText> DatabaseRefusal(const std::string& database, const DatabaseFacts& facts);

// Why the workstations cannot be asked to close (no command tables, a read-only
// database): the cycle then cuts them itself. Nothing when they can be asked.
std::optional<std::string> WorkstationRequestUnavailable(const DatabaseFacts& facts);

} // namespace morvane
