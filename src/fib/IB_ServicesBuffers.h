#pragma once
// The bytes of the service manager conversation: the attach buffer, the start
// requests, and the decoders of the query replies. Pure functions, so tests and
// fuzzers call them without a server; every decoder stays inside the bytes it gets.

#include "core/TextList.h"

#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace morvane::fib {

using ServiceBuffer = std::vector<std::uint8_t>;

// A set of enumeration values, as the components' option properties are.
template <typename Enum>
class OptionSet {
public:
    OptionSet() = default;
    OptionSet(std::initializer_list<Enum> values)
    {
        for (Enum value : values)
            Include(value);
    }
    bool Contains(Enum value) const noexcept { return (bits_ & Bit(value)) != 0; }
    void Include(Enum value) noexcept { bits_ |= Bit(value); }
    void Exclude(Enum value) noexcept { bits_ &= ~Bit(value); }
    bool Empty() const noexcept { return bits_ == 0; }
    bool operator==(const OptionSet&) const = default;

private:
    static std::uint32_t Bit(Enum value) { return std::uint32_t{1} << static_cast<unsigned>(value); }
    std::uint32_t bits_ = 0;
};

enum class TProtocol { TCP, SPX, NamedPipe, Local };

// The service manager name passed to isc_service_attach.
std::string ServiceManagerName(TProtocol protocol, const std::string& serverName);

struct SpbName {
    std::string_view Name;
    std::uint8_t Code;
};

// The names Params may use; rows 6 to 9 also give the request builders their codes.
inline constexpr std::array<SpbName, 13> SpbNameTable = {{
    {"user_name", 28},
    {"sys_user_name", 19},
    {"sys_user_name_enc", 31},
    {"password", 29},
    {"password_enc", 30},
    {"command_line", 105},
    {"db_name", 106},
    {"verbose", 107},
    {"options", 108},
    {"connect_timeout", 57},
    {"dummy_packet_interval", 58},
    {"sql_role_name", 60},
    {"instance_name", 75},
}};

inline constexpr std::uint8_t SpbCommandLine = SpbNameTable[5].Code;
inline constexpr std::uint8_t SpbDbName = SpbNameTable[6].Code;
inline constexpr std::uint8_t SpbVerbose = SpbNameTable[7].Code;
inline constexpr std::uint8_t SpbOptions = SpbNameTable[8].Code;

// The attach buffer from Params lines: version bytes 2, 2, then user name, password
// and role name items. Other known names raise client error 72, unknown ones 73, a
// value over 255 bytes client error 74.
ServiceBuffer BuildAttachBuffer(const TStringList& params);

// Start-request items: code, 2-byte little-endian length and the text (an empty text
// adds nothing; one over 65535 bytes raises client error 74); code and 4-byte value.
void AddStartString(ServiceBuffer& buffer, std::string_view text, std::uint8_t code);
void AddStartInt(ServiceBuffer& buffer, std::int32_t value, std::uint8_t code);

// One line of a file list: a file name, optionally "=" and a length. Blank lines give
// nothing; a length that is not an integer raises EConvertError.
struct FileListEntry {
    std::string FileName;
    std::optional<std::int32_t> Length;
};
std::optional<FileListEntry> ParseFileListLine(std::string_view line);

// ----- backup and restore -----

enum class TBackupOption { IgnoreChecksums, IgnoreLimbo, MetadataOnly, NoGarbageCollection, OldMetadataDesc,
                           NonTransportable, ConvertExtTables, NoDatabaseTriggers };
using TBackupOptions = OptionSet<TBackupOption>;
std::int32_t BackupOptionsWord(const TBackupOptions& options);

enum class TRestoreOption { DeactivateIndexes, NoShadow, NoValidityCheck, OneRelationAtATime, Replace, CreateNewDB,
                            UseAllSpace, ValidationCheck, OnlyMetadata };
using TRestoreOptions = OptionSet<TRestoreOption>;
std::int32_t RestoreOptionsWord(const TRestoreOptions& options);

struct BackupRequest {
    std::string DatabaseName;
    TStringList BackupFile;
    std::int32_t BlockingFactor = 0;
    TBackupOptions Options;
    bool Verbose = false;
};
// Raises client error 69 without a database name.
ServiceBuffer BuildBackupStart(const BackupRequest& request);

struct RestoreRequest {
    TStringList BackupFile;
    TStringList DatabaseName;
    std::int32_t PageSize = 4096;
    std::int32_t PageBuffers = 0;
    TRestoreOptions Options{TRestoreOption::CreateNewDB};
    bool Verbose = false;
    // Restored open to writes whatever the backed-up database was: a read-only
    // database restored as such loses the space it reserved on its pages.
    bool ReadWrite = false;
};
ServiceBuffer BuildRestoreStart(const RestoreRequest& request);

// ----- statistics and configuration -----

enum class TStatOption { DataPages, DbLog, HeaderPages, IndexPages, SystemRelations, RecordVersions, StatTables };
using TStatOptions = OptionSet<TStatOption>;
std::int32_t StatOptionsWord(const TStatOptions& options);

// Raises client error 69 without a database name.
ServiceBuffer BuildStatisticsStart(const std::string& databaseName, const TStatOptions& options,
                                   const std::string& tableNames);

ServiceBuffer BuildSetPageBuffers(const std::string& databaseName, std::int32_t pageBuffers);
ServiceBuffer BuildSetSweepInterval(const std::string& databaseName, std::int32_t sweepInterval);
ServiceBuffer BuildSetReserveSpace(const std::string& databaseName, bool reserve);
ServiceBuffer BuildSetAsyncMode(const std::string& databaseName, bool async);
ServiceBuffer BuildSetReadOnly(const std::string& databaseName, bool readOnly);

// The server's shutdown levels, least to most restrictive (the values of the request).
enum class TShutdownMode : std::uint8_t { Normal = 0, Multi = 1, Single = 2, Full = 3 };
// Force: attachments still there after the delay are cut. Attachments: the shutdown
// fails when attachments are still there after the delay (0: at once).
// Force: attachments cut after the delay; Attachments: new attachments refused, the
// request fails when some are left after the delay; Transactions: new transactions
// refused, the running ones given the delay to end, then the attachments cut (the
// request fails when a transaction is still running after the delay).
enum class TShutdownWait { Force, Attachments, Transactions };
ServiceBuffer BuildShutdown(const std::string& databaseName, TShutdownMode mode, TShutdownWait wait,
                            std::int32_t seconds);
// Brings a database down to a less restrictive level (Normal: fully online).
ServiceBuffer BuildOnline(const std::string& databaseName, TShutdownMode mode);

// ----- query replies -----

// The reply to isc_info_svc_line: one line, or the end of the output (a line of
// length 0). Anything else raises client error 70.
struct ServiceLine {
    bool End = false;
    std::string Text;
};
ServiceLine DecodeServiceLine(std::span<const std::uint8_t> reply);

// The output read in bulk (isc_info_svc_to_eof) with a timeout, so the server
// answers at least that often: whatever output came (any number of lines, the last
// one maybe cut), and whether the output is over. The reply is the item, a length
// (two bytes, unsigned), the bytes, then a timeout, not-ready or truncated mark
// while the request runs (none once it has ended, even if more output is waiting)
// and isc_info_end, which a reply that fills the buffer exactly leaves out. The
// output is over with the first reply that brings no bytes after the request ended.
// Anything else raises client error 70.
struct ServiceChunk {
    bool End = false;
    std::string Text;
};
ServiceChunk DecodeServiceChunk(std::span<const std::uint8_t> reply);
// The send items of a bulk read: the server answers after `seconds` at the latest.
ServiceBuffer BuildChunkQuerySend(std::uint16_t seconds);
// The receive item of a bulk read.
inline constexpr std::uint8_t ChunkQueryItem = 63; // isc_info_svc_to_eof

struct TConfigFileData {
    std::vector<std::int32_t> ConfigValues;
    std::vector<std::int32_t> ConfigKeys;
};

struct TConfigParams {
    TConfigFileData ConfigFileData;
    std::string RootDirectory;
    std::string LockDirectory;
    std::string MessageDirectory;
    std::string SecurityDatabase;
};

struct TDatabaseInfo {
    std::int32_t AttachmentCount = 0;
    std::int32_t DatabaseCount = 0;
    TStringList DatabaseNames;
};

// The query items of Fetch and FetchDatabaseInfo.
inline constexpr std::array<std::uint8_t, 5> ConfigQueryItems = {53, 59, 60, 61, 58};
inline constexpr std::array<std::uint8_t, 1> DatabaseInfoQueryItems = {50};

// Decode into the result object; an unexpected, short or overlong reply raises
// client error 70 and leaves what was decoded before it.
void DecodeConfigReply(std::span<const std::uint8_t> reply, TConfigParams& params);
void DecodeDatabaseInfoReply(std::span<const std::uint8_t> reply, TDatabaseInfo& info);

} // namespace morvane::fib
