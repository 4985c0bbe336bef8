#pragma once
// The job settings of the backup cycle, kept per database in an INI file beside
// the program: one section per DB File text, eight keys and two optional ones.

#include "core/Exception.h"

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace morvane {

// A write that the settings file refuses.
MORVANE_DECLARE_EXCEPTION(EIniFileException, Exception);

struct TJobSettings {
    bool forcerDeconnexionClient{true};
    bool beforeBackup{true};
    bool afterRestore{false};
    std::string renamePath;
    std::string emplacementBackup;
    std::string batchFileBeforeBackup{"StopServices.cmd"};
    std::string batchFileAfterBackup{"MidProcess.cmd"};
    std::string batchFileAfterRestore{"StartServices.cmd"};
    // The restore's page size and page buffers, as the file holds them (checked by
    // PageSizeSetting and PageBuffersSetting). Not set: the values the window read
    // from the database's header stay.
    std::optional<std::string> pageSize;
    std::optional<std::string> pageBuffers;
    // Where each run leaves its metrics for the node exporter; empty: none. Set by
    // the administrator in the file: the window neither shows nor writes it.
    std::optional<std::string> metricsFolder;
    // The group that may read the metrics file (the collector's); none: root's alone.
    std::optional<std::string> metricsGroup;
    // Seconds the transactions running when the database is cut are given to end
    // (checked by TransactionGraceSetting). Not set: TransactionGraceDefault.
    std::optional<std::string> graceTransactions;
    // The health thresholds, the per-table statistics and the test before an
    // unattended night (checked by HealthSettingsOf, session/HealthSettings.h). Set by
    // the administrator in the file; not set: their defaults.
    std::optional<std::string> healthMaxTransactionGap;
    std::optional<std::string> healthMaxBackVersions;
    std::optional<std::string> healthMaxVersionChain;
    std::optional<std::string> healthMinDataPercent;
    std::optional<std::string> healthTables;
    std::optional<std::string> healthCheckAuto;
    // "1": the database stays at its path, read-only and open to readers, until the
    // swap (read by BooleanSetting). Not set: off.
    std::optional<std::string> garderLectureClients;

    bool operator==(const TJobSettings&) const = default;
};

// One key of a section: its name and the member it fills. An optional key is written
// only when its member is set; the others always are.
struct TJobSettingsKey {
    using Member = std::variant<bool TJobSettings::*, std::string TJobSettings::*,
                                std::optional<std::string> TJobSettings::*>;
    std::string_view name;
    Member member;
    bool optional{false};
};

// Every key, in the order it is written.
std::span<const TJobSettingsKey> JobSettingsKeys();

// The page sizes the server creates, which the window offers: a restore asked for a
// smaller one gets the smallest.
inline constexpr std::array<int, 3> JobSettingsPageSizes{4096, 8192, 16384};
// The page buffers the window's box takes.
inline constexpr int JobSettingsPageBuffersMin = 0;
inline constexpr int JobSettingsPageBuffersMax = 131072;

// A PageSize or PageBuffers value (or the box's text) as the restore takes it. A
// text that is not an integer raises EConvertError "'%s' n'est pas une valeur
// numérique valide"; a page size below the smallest of JobSettingsPageSizes is read
// as that one, as the server would make it (roundedUp says so); another page size
// not in the list, or page buffers outside the box's range, raise EConvertError
// with the values accepted.
int PageSizeSetting(std::string_view text, bool* roundedUp = nullptr);
int PageBuffersSetting(std::string_view text);
// What the log says of a page size read as the smallest the server creates.
std::string PageSizeRoundedUpText(std::string_view text);

// The grace before a cut: long enough for a transaction that is committing, short
// enough that a client that never ends its transaction does not hold the night.
inline constexpr int TransactionGraceDefault = 10;
inline constexpr int TransactionGraceMax = 600;
// A GraceTransactions value in seconds, 0 to TransactionGraceMax; anything else
// raises EConvertError like the page buffers.
int TransactionGraceSetting(std::string_view text);
// An optional Boolean key: any integer other than 0 is true; missing or not an
// integer, the fallback.
bool BooleanSetting(const std::optional<std::string>& text, bool fallback);

// The defaults for a database: rename path = the database path with the extension
// ".FIB.BKP", backup folder = the folder of the database path. The database path is
// databaseFile when given (the file an alias or a link leads to, as the server
// names it), else the DB File text's path.
TJobSettings DefaultJobSettings(std::string_view dbFileText, std::string_view databaseFile = {});

// The defaults, with the first five keys taken from the site's registry store where
// it holds them (an empty text there counts as missing).
TJobSettings JobSettingsFromRegistry(std::string_view dbFileText, std::string_view databaseFile = {});

// The program file's path with the extension ".ini".
std::string JobSettingsFileName();

// A database's job settings as the window loads them: its section of the file when
// the file exists (sectionFound says whether it has one), else the registry's; the
// defaults of keys not found derived from databaseFile as above.
TJobSettings JobSettingsOfDatabase(const std::string& dbFileText, bool& sectionFound,
                                   std::string_view databaseFile = {});

class TJobSettingsFile {
public:
    explicit TJobSettingsFile(std::string fileName) : fileName_(std::move(fileName)) {}

    const std::string& FileName() const noexcept { return fileName_; }
    bool Exists() const;

    // Reads a section; each missing or unreadable key keeps the value of defaults.
    // sectionFound receives whether the section exists and holds at least one key.
    TJobSettings Read(const std::string& section, const TJobSettings& defaults, bool& sectionFound) const;

    // Writes the keys in their order (an optional key only when set), each as its own
    // write, so the keys written before a refused write stay in the file. Raises
    // EIniFileException.
    void Write(const std::string& section, const TJobSettings& settings) const;

    // One key: loads the file, sets the key, saves through a temporary file and a
    // rename, keeping the rest of the file. Raises "Unable to write to %s".
    void WriteString(const std::string& section, const std::string& key, const std::string& value) const;

private:
    std::string fileName_;
};

} // namespace morvane
