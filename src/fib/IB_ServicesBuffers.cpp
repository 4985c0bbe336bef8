#include "fib/IB_ServicesBuffers.h"

#include "core/Text.h"
#include "fib/fib.h"

#include <limits>

namespace morvane::fib {

namespace {

constexpr std::size_t MaxShortLength = 255;
constexpr std::size_t MaxLength = std::numeric_limits<std::uint16_t>::max();

constexpr std::uint8_t ActionBackup = 1;           // isc_action_svc_backup
constexpr std::uint8_t ActionRestore = 2;          // isc_action_svc_restore
constexpr std::uint8_t ActionProperties = 8;       // isc_action_svc_properties
constexpr std::uint8_t ActionDbStats = 11;         // isc_action_svc_db_stats
constexpr std::uint8_t BkpFile = 5;                // isc_spb_bkp_file
constexpr std::uint8_t BkpFactor = 6;              // isc_spb_bkp_factor
constexpr std::uint8_t BkpLength = 7;              // isc_spb_bkp_length
constexpr std::uint8_t ResBuffers = 9;             // isc_spb_res_buffers
constexpr std::uint8_t ResPageSize = 10;           // isc_spb_res_page_size
constexpr std::uint8_t ResLength = 11;             // isc_spb_res_length
constexpr std::uint8_t ResAccessMode = 12;         // isc_spb_res_access_mode
constexpr std::uint8_t PrpPageBuffers = 5;         // isc_spb_prp_page_buffers
constexpr std::uint8_t PrpSweepInterval = 6;       // isc_spb_prp_sweep_interval
constexpr std::uint8_t PrpReserveSpace = 11;       // isc_spb_prp_reserve_space
constexpr std::uint8_t PrpWriteMode = 12;          // isc_spb_prp_write_mode
constexpr std::uint8_t PrpAccessMode = 13;         // isc_spb_prp_access_mode
constexpr std::uint8_t PrpResUseFull = 35;         // isc_spb_prp_res_use_full
constexpr std::uint8_t PrpRes = 36;                // isc_spb_prp_res
constexpr std::uint8_t PrpWmAsync = 37;            // isc_spb_prp_wm_async
constexpr std::uint8_t PrpWmSync = 38;             // isc_spb_prp_wm_sync
constexpr std::uint8_t PrpAmReadOnly = 39;         // isc_spb_prp_am_readonly
constexpr std::uint8_t PrpAmReadWrite = 40;        // isc_spb_prp_am_readwrite
constexpr std::uint8_t PrpForceShutdown = 41;      // isc_spb_prp_force_shutdown
constexpr std::uint8_t PrpAttachmentsShutdown = 42; // isc_spb_prp_attachments_shutdown
constexpr std::uint8_t PrpTransactionsShutdown = 43; // isc_spb_prp_transactions_shutdown
constexpr std::uint8_t PrpShutdownMode = 44;       // isc_spb_prp_shutdown_mode
constexpr std::uint8_t PrpOnlineMode = 45;         // isc_spb_prp_online_mode

constexpr std::uint8_t InfoEnd = 1;                // isc_info_end
constexpr std::uint8_t InfoFlagEnd = 127;          // isc_info_flag_end
constexpr std::uint8_t InfoTruncated = 2;          // isc_info_truncated
constexpr std::uint8_t InfoDataNotReady = 4;       // isc_info_data_not_ready
constexpr std::uint8_t InfoSvcLine = 62;           // isc_info_svc_line
constexpr std::uint8_t InfoSvcTimeout = 64;        // isc_info_svc_timeout
constexpr std::uint8_t InfoSvcGetConfig = 53;      // isc_info_svc_get_config
constexpr std::uint8_t InfoSvcGetEnv = 59;         // isc_info_svc_get_env
constexpr std::uint8_t InfoSvcGetEnvLock = 60;     // isc_info_svc_get_env_lock
constexpr std::uint8_t InfoSvcGetEnvMsg = 61;      // isc_info_svc_get_env_msg
constexpr std::uint8_t InfoSvcUserDbPath = 58;     // isc_info_svc_user_dbpath
constexpr std::uint8_t InfoSvcSvrDbInfo = 50;      // isc_info_svc_svr_db_info
constexpr std::uint8_t SpbNumAtt = 5;              // isc_spb_num_att
constexpr std::uint8_t SpbNumDb = 6;               // isc_spb_num_db

// The rows whose items the attach buffer may carry: user name, password, role name.
constexpr bool AttachRowAccepted(std::size_t row) { return row == 0 || row == 3 || row == 11; }

void AppendInt32(ServiceBuffer& buffer, std::int32_t value)
{
    const auto bits = static_cast<std::uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8)
        buffer.push_back(static_cast<std::uint8_t>(bits >> shift));
}

template <typename Option>
std::int32_t OptionsWord(const OptionSet<Option>& options, std::initializer_list<std::pair<Option, std::int32_t>> bits)
{
    std::int32_t word = 0;
    for (const auto& [option, bit] : bits)
        if (options.Contains(option))
            word |= bit;
    return word;
}

void AddFileList(ServiceBuffer& buffer, const TStringList& lines, std::uint8_t nameCode, std::uint8_t lengthCode)
{
    for (const auto& line : lines.Lines()) {
        const auto entry = ParseFileListLine(line);
        if (!entry)
            continue;
        AddStartString(buffer, entry->FileName, nameCode);
        if (entry->Length)
            AddStartInt(buffer, *entry->Length, lengthCode);
    }
}

ServiceBuffer ConfigRequest(const std::string& databaseName)
{
    ServiceBuffer buffer{ActionProperties};
    AddStartString(buffer, databaseName, SpbDbName);
    return buffer;
}

// A walk over a reply that raises client error 70 instead of leaving the bytes.
class ReplyReader {
public:
    explicit ReplyReader(std::span<const std::uint8_t> reply) : reply_(reply) {}

    std::uint8_t Peek() const
    {
        Need(1);
        return reply_[position_];
    }
    std::uint8_t Byte()
    {
        const std::uint8_t value = Peek();
        ++position_;
        return value;
    }
    void Expect(std::uint8_t value)
    {
        if (Byte() != value)
            RaiseClientError(fibOutputParsingError);
    }
    std::int32_t Int32()
    {
        Need(4);
        std::uint32_t value = 0;
        for (int i = 3; i >= 0; --i)
            value = (value << 8) | reply_[position_ + static_cast<std::size_t>(i)];
        position_ += 4;
        return static_cast<std::int32_t>(value);
    }
    std::size_t Length16()
    {
        Need(2);
        const std::size_t value = reply_[position_] | static_cast<std::size_t>(reply_[position_ + 1]) << 8;
        position_ += 2;
        return value;
    }
    std::string Text()
    {
        const std::size_t length = Length16();
        Need(length);
        std::string text(reinterpret_cast<const char*>(reply_.data() + position_), length);
        position_ += length;
        return text;
    }
    std::size_t Remaining() const { return reply_.size() - position_; }

private:
    void Need(std::size_t count) const
    {
        if (count > Remaining())
            RaiseClientError(fibOutputParsingError);
    }

    std::span<const std::uint8_t> reply_;
    std::size_t position_ = 0;
};

} // namespace

std::string ServiceManagerName(TProtocol protocol, const std::string& serverName)
{
    switch (protocol) {
    case TProtocol::TCP:
        return serverName + ":service_mgr";
    case TProtocol::SPX:
        return serverName + "@service_mgr";
    case TProtocol::NamedPipe:
        return "\\\\" + serverName + "\\service_mgr";
    case TProtocol::Local:
        break;
    }
    return "service_mgr";
}

ServiceBuffer BuildAttachBuffer(const TStringList& params)
{
    ServiceBuffer buffer{2, 2}; // isc_spb_version, isc_spb_current_version
    for (const auto& line : params.Lines()) {
        const auto equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        std::string name = LowerCase(std::string_view(line).substr(0, equals));
        if (Trim(name).empty())
            continue;
        if (name.starts_with("isc_spb_"))
            name.erase(0, 8);
        const std::string_view value = std::string_view(line).substr(equals + 1);

        std::size_t row = 0;
        while (row < SpbNameTable.size() && SpbNameTable[row].Name != name)
            ++row;
        if (row == SpbNameTable.size())
            RaiseClientError(fibSPBConstantUnknown);
        if (!AttachRowAccepted(row))
            RaiseClientError(fibSPBConstantNotSupported);
        // The item's length is one byte: a longer value would be cut, so it is refused.
        if (value.size() > MaxShortLength)
            RaiseClientError(fibParameterTooLong, name);
        buffer.push_back(SpbNameTable[row].Code);
        buffer.push_back(static_cast<std::uint8_t>(value.size()));
        buffer.insert(buffer.end(), value.begin(), value.end());
    }
    if (buffer.size() > MaxLength)
        RaiseClientError(fibParameterTooLong, std::string("Params"));
    return buffer;
}

void AddStartString(ServiceBuffer& buffer, std::string_view text, std::uint8_t code)
{
    if (text.empty())
        return;
    if (text.size() > MaxLength)
        RaiseClientError(fibParameterTooLong, std::string(text.substr(0, 64)));
    buffer.push_back(code);
    buffer.push_back(static_cast<std::uint8_t>(text.size() & 0xFF));
    buffer.push_back(static_cast<std::uint8_t>(text.size() >> 8));
    buffer.insert(buffer.end(), text.begin(), text.end());
}

void AddStartInt(ServiceBuffer& buffer, std::int32_t value, std::uint8_t code)
{
    buffer.push_back(code);
    AppendInt32(buffer, value);
}

std::optional<FileListEntry> ParseFileListLine(std::string_view line)
{
    if (Trim(line).empty())
        return std::nullopt;
    const auto equals = line.find('=');
    if (equals == std::string_view::npos)
        return FileListEntry{std::string(line), std::nullopt};
    return FileListEntry{std::string(line.substr(0, equals)), StrToInt(line.substr(equals + 1))};
}

std::int32_t BackupOptionsWord(const TBackupOptions& options)
{
    using enum TBackupOption;
    return OptionsWord(options, {{IgnoreChecksums, 0x01}, {IgnoreLimbo, 0x02}, {MetadataOnly, 0x04},
                                 {NoGarbageCollection, 0x08}, {OldMetadataDesc, 0x10}, {NonTransportable, 0x20},
                                 {ConvertExtTables, 0x40}, {NoDatabaseTriggers, 0x8000}});
}

std::int32_t RestoreOptionsWord(const TRestoreOptions& options)
{
    using enum TRestoreOption;
    return OptionsWord(options, {{DeactivateIndexes, 0x0100}, {NoShadow, 0x0200}, {NoValidityCheck, 0x0400},
                                 {OneRelationAtATime, 0x0800}, {Replace, 0x1000}, {CreateNewDB, 0x2000},
                                 {UseAllSpace, 0x4000}, {ValidationCheck, 0x8000}, {OnlyMetadata, 0x0004}});
}

std::int32_t StatOptionsWord(const TStatOptions& options)
{
    using enum TStatOption;
    return OptionsWord(options, {{DataPages, 0x01}, {DbLog, 0x02}, {HeaderPages, 0x04}, {IndexPages, 0x08},
                                 {SystemRelations, 0x10}, {RecordVersions, 0x20}, {StatTables, 0x40}});
}

ServiceBuffer BuildBackupStart(const BackupRequest& request)
{
    if (request.DatabaseName.empty())
        RaiseClientError(fibStartParamsError);
    ServiceBuffer buffer{ActionBackup};
    AddStartString(buffer, request.DatabaseName, SpbDbName);
    AddStartInt(buffer, BackupOptionsWord(request.Options), SpbOptions);
    if (request.Verbose)
        buffer.push_back(SpbVerbose);
    if (request.BlockingFactor > 0)
        AddStartInt(buffer, request.BlockingFactor, BkpFactor);
    AddFileList(buffer, request.BackupFile, BkpFile, BkpLength);
    return buffer;
}

ServiceBuffer BuildRestoreStart(const RestoreRequest& request)
{
    ServiceBuffer buffer{ActionRestore};
    AddStartInt(buffer, RestoreOptionsWord(request.Options), SpbOptions);
    if (request.Verbose)
        buffer.push_back(SpbVerbose);
    if (request.PageSize > 0)
        AddStartInt(buffer, request.PageSize, ResPageSize);
    if (request.PageBuffers > 0)
        AddStartInt(buffer, request.PageBuffers, ResBuffers);
    if (request.ReadWrite) {
        buffer.push_back(ResAccessMode);
        buffer.push_back(PrpAmReadWrite);
    }
    AddFileList(buffer, request.BackupFile, BkpFile, BkpLength);
    AddFileList(buffer, request.DatabaseName, SpbDbName, ResLength);
    return buffer;
}

ServiceBuffer BuildStatisticsStart(const std::string& databaseName, const TStatOptions& options,
                                   const std::string& tableNames)
{
    if (databaseName.empty())
        RaiseClientError(fibStartParamsError);
    ServiceBuffer buffer{ActionDbStats};
    AddStartString(buffer, databaseName, SpbDbName);
    AddStartInt(buffer, StatOptionsWord(options), SpbOptions);
    if (options.Contains(TStatOption::StatTables))
        AddStartString(buffer, tableNames, SpbCommandLine);
    return buffer;
}

ServiceBuffer BuildSetPageBuffers(const std::string& databaseName, std::int32_t pageBuffers)
{
    ServiceBuffer buffer = ConfigRequest(databaseName);
    AddStartInt(buffer, pageBuffers, PrpPageBuffers);
    return buffer;
}

ServiceBuffer BuildSetSweepInterval(const std::string& databaseName, std::int32_t sweepInterval)
{
    ServiceBuffer buffer = ConfigRequest(databaseName);
    AddStartInt(buffer, sweepInterval, PrpSweepInterval);
    return buffer;
}

ServiceBuffer BuildSetReserveSpace(const std::string& databaseName, bool reserve)
{
    ServiceBuffer buffer = ConfigRequest(databaseName);
    buffer.push_back(PrpReserveSpace);
    buffer.push_back(reserve ? PrpRes : PrpResUseFull);
    return buffer;
}

ServiceBuffer BuildShutdown(const std::string& databaseName, TShutdownMode mode, TShutdownWait wait,
                            std::int32_t seconds)
{
    ServiceBuffer buffer = ConfigRequest(databaseName);
    buffer.push_back(PrpShutdownMode);
    buffer.push_back(static_cast<std::uint8_t>(mode));
    const std::uint8_t item = wait == TShutdownWait::Force         ? PrpForceShutdown
                              : wait == TShutdownWait::Attachments ? PrpAttachmentsShutdown
                                                                   : PrpTransactionsShutdown;
    AddStartInt(buffer, seconds, item);
    return buffer;
}

ServiceBuffer BuildOnline(const std::string& databaseName, TShutdownMode mode)
{
    ServiceBuffer buffer = ConfigRequest(databaseName);
    buffer.push_back(PrpOnlineMode);
    buffer.push_back(static_cast<std::uint8_t>(mode));
    return buffer;
}

ServiceBuffer BuildSetAsyncMode(const std::string& databaseName, bool async)
{
    ServiceBuffer buffer = ConfigRequest(databaseName);
    buffer.push_back(PrpWriteMode);
    buffer.push_back(async ? PrpWmAsync : PrpWmSync);
    return buffer;
}

ServiceBuffer BuildSetReadOnly(const std::string& databaseName, bool readOnly)
{
    ServiceBuffer buffer = ConfigRequest(databaseName);
    buffer.push_back(PrpAccessMode);
    buffer.push_back(readOnly ? PrpAmReadOnly : PrpAmReadWrite);
    return buffer;
}

ServiceLine DecodeServiceLine(std::span<const std::uint8_t> reply)
{
    ReplyReader reader(reply);
    reader.Expect(InfoSvcLine);
    const std::size_t length = reader.Length16();
    // The line must be followed by isc_info_end inside the bytes received.
    if (length >= reader.Remaining() || reply[3 + length] != InfoEnd)
        RaiseClientError(fibOutputParsingError);
    if (length == 0)
        return {true, {}};
    const auto text = reply.subspan(3, length);
    std::size_t size = 0;
    while (size < text.size() && text[size] != 0)
        ++size;
    return {false, std::string(reinterpret_cast<const char*>(text.data()), size)};
}

ServiceChunk DecodeServiceChunk(std::span<const std::uint8_t> reply)
{
    ReplyReader reader(reply);
    reader.Expect(ChunkQueryItem);
    const std::size_t length = reader.Length16();
    if (length > reader.Remaining())
        RaiseClientError(fibOutputParsingError);
    ServiceChunk chunk;
    chunk.Text.assign(reinterpret_cast<const char*>(reply.data() + 3), length);
    // The output is over only when a reply brings no bytes and the end mark. Once the
    // request has finished the server leaves out its "more to come" mark even when the
    // buffer could not take all the output still waiting, so bytes followed by the end
    // mark may be followed by more bytes: only the empty reply after them is the end.
    const std::span<const std::uint8_t> rest = reply.subspan(3 + length);
    if (rest.empty())
        return chunk;
    if (rest[0] == InfoEnd) {
        chunk.End = length == 0;
        return chunk;
    }
    if (rest[0] != InfoSvcTimeout && rest[0] != InfoDataNotReady && rest[0] != InfoTruncated)
        RaiseClientError(fibOutputParsingError);
    if (rest.size() > 1 && rest[1] != InfoEnd)
        RaiseClientError(fibOutputParsingError);
    return chunk;
}

ServiceBuffer BuildChunkQuerySend(std::uint16_t seconds)
{
    return {InfoSvcTimeout, 4, 0, static_cast<std::uint8_t>(seconds & 0xFF), static_cast<std::uint8_t>(seconds >> 8),
            0, 0};
}

void DecodeConfigReply(std::span<const std::uint8_t> reply, TConfigParams& params)
{
    ReplyReader reader(reply);
    for (;;) {
        const std::uint8_t item = reader.Byte();
        switch (item) {
        case InfoEnd:
            return;
        case InfoSvcGetConfig: {
            auto& data = params.ConfigFileData;
            data.ConfigKeys.clear();
            data.ConfigValues.clear();
            while (reader.Peek() != InfoFlagEnd) {
                const std::uint8_t key = reader.Byte();
                const std::int32_t value = reader.Int32();
                data.ConfigKeys.push_back(key);
                data.ConfigValues.push_back(value);
            }
            reader.Byte();
            break;
        }
        case InfoSvcGetEnv:
            params.RootDirectory = reader.Text();
            break;
        case InfoSvcGetEnvLock:
            params.LockDirectory = reader.Text();
            break;
        case InfoSvcGetEnvMsg:
            params.MessageDirectory = reader.Text();
            break;
        case InfoSvcUserDbPath:
            params.SecurityDatabase = reader.Text();
            break;
        default:
            RaiseClientError(fibOutputParsingError);
        }
    }
}

void DecodeDatabaseInfoReply(std::span<const std::uint8_t> reply, TDatabaseInfo& info)
{
    ReplyReader reader(reply);
    reader.Expect(InfoSvcSvrDbInfo);
    reader.Expect(SpbNumAtt);
    info.AttachmentCount = reader.Int32();
    reader.Expect(SpbNumDb);
    info.DatabaseCount = reader.Int32();
    // Each name takes at least three bytes, so a count the reply cannot hold is a
    // damaged reply, not a reason to reserve that many entries.
    if (info.DatabaseCount < 0 || static_cast<std::size_t>(info.DatabaseCount) > reader.Remaining() / 3)
        RaiseClientError(fibOutputParsingError);

    auto& names = info.DatabaseNames;
    names.Clear();
    for (std::int32_t i = 0; i < info.DatabaseCount; ++i)
        names.Add({});
    std::size_t index = 0;
    while (reader.Peek() != InfoFlagEnd) {
        reader.Expect(SpbDbName);
        std::string name = reader.Text();
        // More names than the count: the list grows rather than dropping a name.
        if (index < names.Count())
            names[index] = std::move(name);
        else
            names.Add(std::move(name));
        ++index;
    }
}

} // namespace morvane::fib
