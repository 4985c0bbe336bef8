#include "fib/FIBDatabaseDpb.h"

#include "core/Text.h"
#include "fib/fib.h"

#include <array>
#include <limits>
#include <utility>

namespace morvane::fib {

namespace {

// Position in the array is the item code; the codes up to 63 are the published ones.
constexpr std::array<std::string_view, DpbLastCode + 1> DpbNames = {
    "",                      // 0: not a code
    "cdd_pathname",          "allocation",          "journal",               "page_size",
    "num_buffers",           "buffer_length",       "debug",                 "garbage_collect",
    "verify",                "sweep",               "enable_journal",        "disable_journal",
    "dbkey_scope",           "number_of_users",     "trace",                 "no_garbage_collect",
    "damaged",               "",                    "sys_user_name",         "encrypt_key",
    "activate_shadow",       "sweep_interval",      "delete_shadow",         "force_write",
    "begin_log",             "quit_log",            "no_reserve",            "user_name",
    "password",              "password_enc",        "sys_user_name_enc",     "interp",
    "online_dump",           "old_file_size",       "old_num_files",         "old_file",
    "old_start_page",        "old_start_seqno",     "old_start_file",        "drop_walfile",
    "old_dump_id",           "wal_backup_dir",      "wal_chkptlen",          "wal_numbufs",
    "wal_bufsize",           "wal_grp_cmt_wait",    "lc_messages",           "lc_ctype",
    "cache_manager",         "shutdown",            "online",                "shutdown_delay",
    "reserved",              "overwrite",           "sec_attach",            "disable_wal",
    "connect_timeout",       "dummy_packet_interval", "gbak_attach",         "sql_role_name",
    "set_page_buffers",      "working_directory",   "sql_dialect",           "set_db_readonly",
    "set_db_sql_dialect",    "gfix_attach",         "gstat_attach",          "gbak_ods_version",
    "gbak_ods_minor_version", "set_group_commit",   "gbak_validate",         "client_interbase_var",
    "admin_option",          "flush_interval",      "instance_name",         "old_overwrite",
    "archive_database",      "archive_journals",    "archive_sweep",         "archive_dumps",
    "archive_recover",       "recover_until",       "force",
};

constexpr std::array<std::string_view, TpbLastCode + 1> TpbNames = {
    "",              "consistency",    "concurrency", "shared",      "protected",
    "exclusive",     "wait",           "nowait",      "read",        "write",
    "lock_read",     "lock_write",     "verb_time",   "commit_time", "ignore_limbo",
    "read_committed", "autocommit",    "rec_version", "no_rec_version", "restart_requests",
    "no_auto_undo",  "no_savepoint",
};

enum class DpbEncoding { Unsupported, Text, Byte, Sweep, FourBytes, Flag };

DpbEncoding EncodingOf(int code)
{
    switch (code) {
    case 19: case 20: case 28: case 29: case 30: case 36: case 47: case 48: case 60: case 63: case 75:
        return DpbEncoding::Text;
    case 5: case 9: case 13: case 17: case 24: case 27: case 33: case 34: case 54: case 57: case 58:
        return DpbEncoding::Byte;
    case 10:
        return DpbEncoding::Sweep;
    case 22:
        return DpbEncoding::FourBytes;
    case 8: case 16: case 21: case 23: case 25: case 26:
        return DpbEncoding::Flag;
    default:
        return DpbEncoding::Unsupported;
    }
}

constexpr std::uint8_t DpbRecords = 2; // isc_dpb_records, the only sweep option

// A line's name in the form the tables hold: lower case, without the prefix.
std::string ItemName(const std::string& line, std::string_view prefix)
{
    std::string name = LowerCase(TStringList::NameOf(line));
    if (name.starts_with(prefix))
        name.erase(0, prefix.size());
    return name;
}

// Trims each line in place (the caller sees the trimmed lines) and returns the
// indexes of the lines that are not empty.
std::vector<std::size_t> TrimLines(TStringList& params)
{
    std::vector<std::size_t> used;
    for (std::size_t i = 0; i < params.Count(); ++i) {
        params[i] = Trim(params[i]);
        if (!params[i].empty())
            used.push_back(i);
    }
    return used;
}

// A length byte cannot describe more than 255 bytes: a longer value would corrupt
// every item after it, so it is refused instead of being cut.
void AppendCounted(ParameterBuffer& buffer, std::string_view prefix, std::string_view name, std::string_view value)
{
    if (value.size() > std::numeric_limits<std::uint8_t>::max())
        RaiseClientError(fibParameterTooLong, std::string(prefix) + std::string(name));
    buffer.push_back(static_cast<std::uint8_t>(value.size()));
    buffer.insert(buffer.end(), value.begin(), value.end());
}

void CheckTotalLength(const ParameterBuffer& buffer, std::string_view what)
{
    // The client takes the buffer's length as a 16-bit number.
    if (buffer.size() > std::numeric_limits<std::uint16_t>::max())
        RaiseClientError(fibParameterTooLong, std::string(what));
}

} // namespace

std::string_view DpbName(int code)
{
    return code >= 1 && code <= DpbLastCode ? DpbNames[static_cast<std::size_t>(code)] : std::string_view();
}

int DpbCode(std::string_view name)
{
    if (name.empty())
        return 0;
    for (int code = 1; code <= DpbLastCode; ++code)
        if (DpbNames[static_cast<std::size_t>(code)] == name)
            return code;
    return 0;
}

std::string_view TpbName(int code)
{
    return code >= 1 && code <= TpbLastCode ? TpbNames[static_cast<std::size_t>(code)] : std::string_view();
}

int TpbCode(std::string_view name)
{
    if (name.empty())
        return 0;
    for (int code = 1; code <= TpbLastCode; ++code)
        if (TpbNames[static_cast<std::size_t>(code)] == name)
            return code;
    return 0;
}

ParameterBuffer BuildDpb(TStringList& params)
{
    // One item per code: a name given again replaces what the earlier line gave, so
    // the profile's lines win over the design-time ones (Firebird 3 refuses an attach
    // buffer that names two users).
    std::vector<std::pair<std::uint8_t, ParameterBuffer>> items;
    for (const std::size_t index : TrimLines(params)) {
        const std::string& line = params[index];
        const std::string name = ItemName(line, "isc_dpb_");
        const std::string value = TStringList::ValueOf(line);
        const int code = DpbCode(name);
        if (code == 0)
            RaiseClientError(fibDPBConstantUnknown, name);
        const auto item = static_cast<std::uint8_t>(code);
        ParameterBuffer bytes{item};
        switch (EncodingOf(code)) {
        case DpbEncoding::Text: {
            std::string text = value;
            if (code == 63 && !text.empty()) // the dialect goes as its digit's value: "3" sends 3
                text[0] = static_cast<char>(text[0] - '0');
            AppendCounted(bytes, "isc_dpb_", name, text);
            break;
        }
        case DpbEncoding::Byte:
            bytes.insert(bytes.end(), {1, static_cast<std::uint8_t>(StrToInt(value) & 0xFF)});
            break;
        case DpbEncoding::Sweep:
            bytes.insert(bytes.end(), {1, DpbRecords});
            break;
        case DpbEncoding::FourBytes: {
            const auto number = static_cast<std::uint32_t>(StrToInt(value));
            bytes.insert(bytes.end(), {4, static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
                                       static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)});
            break;
        }
        case DpbEncoding::Flag:
            bytes.insert(bytes.end(), {1, 0});
            break;
        case DpbEncoding::Unsupported:
            RaiseClientError(fibDPBConstantNotSupported, std::string(DpbName(code)));
        }
        std::erase_if(items, [item](const auto& earlier) { return earlier.first == item; });
        items.emplace_back(item, std::move(bytes));
    }
    ParameterBuffer dpb{1}; // isc_dpb_version1
    for (const auto& [code, bytes] : items)
        dpb.insert(dpb.end(), bytes.begin(), bytes.end());
    CheckTotalLength(dpb, "DPB");
    return dpb;
}

ParameterBuffer BuildTpb(TStringList& params)
{
    ParameterBuffer tpb;
    if (params.Empty())
        return tpb;
    tpb.push_back(3); // isc_tpb_version3
    for (const std::size_t index : TrimLines(params)) {
        const std::string& line = params[index];
        const std::string name = ItemName(line, "isc_tpb_");
        const int code = TpbCode(name);
        switch (code) {
        case 0:
            RaiseClientError(fibTPBConstantUnknown, name);
        case 12: case 13: case 16: case 19:
            RaiseClientError(fibTPBConstantNotSupported, std::string(TpbName(code)));
        case 10: case 11: // lock_read, lock_write: the table name follows
            tpb.push_back(static_cast<std::uint8_t>(code));
            AppendCounted(tpb, "isc_tpb_", name, TStringList::ValueOf(line));
            break;
        default:
            tpb.push_back(static_cast<std::uint8_t>(code));
            break;
        }
    }
    CheckTotalLength(tpb, "TPB");
    return tpb;
}

} // namespace morvane::fib
