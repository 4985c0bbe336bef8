#include "core/Exception.h"
#include "fib/IB_ServicesBuffers.h"
#include "fib/ServiceOutputLines.h"
#include "fib/ServiceReplySize.h"
#include "fib/fib.h"

#include "fib/ClientErrorNumber.h"

#include <gtest/gtest.h>

#include <random>

using namespace morvane;
using namespace morvane::fib;

namespace {

using Bytes = std::vector<std::uint8_t>;

// Bytes written as in a protocol trace: numbers and texts in sequence.
struct Part {
    Part(int value) : bytes{static_cast<std::uint8_t>(value)} {}
    Part(const char* text) : bytes(text, text + std::char_traits<char>::length(text)) {}
    Bytes bytes;
};
Bytes B(std::initializer_list<Part> parts)
{
    Bytes bytes;
    for (const auto& part : parts)
        bytes.insert(bytes.end(), part.bytes.begin(), part.bytes.end());
    return bytes;
}

using morvane::test::ClientErrorNumber;

} // namespace

TEST(ServiceManagerName, FollowsTheProtocol)
{
    EXPECT_EQ(ServiceManagerName(TProtocol::TCP, "127.0.0.1"), "127.0.0.1:service_mgr");
    EXPECT_EQ(ServiceManagerName(TProtocol::TCP, "db/3051"), "db/3051:service_mgr");
    EXPECT_EQ(ServiceManagerName(TProtocol::SPX, "srv"), "srv@service_mgr");
    EXPECT_EQ(ServiceManagerName(TProtocol::NamedPipe, "srv"), "\\\\srv\\service_mgr");
    EXPECT_EQ(ServiceManagerName(TProtocol::Local, "ignored"), "service_mgr");
}

TEST(BuildAttachBuffer, AcceptedLines)
{
    struct Case {
        TStringList params;
        Bytes expected;
    };
    const Case cases[] = {
        {{"user_name=SYSDBA", "password=plumtavern"},
         B({2, 2, 28, 6, "SYSDBA", 29, 10, "plumtavern"})},
        {{"ISC_SPB_USER_NAME=SYSDBA"}, B({2, 2, 28, 6, "SYSDBA"})},
        {{"sql_role_name="}, B({2, 2, 60, 0})},
        // No "=", an empty or blank name: ignored. The value is not trimmed.
        {{"user_name", "=x", " =y", "password= a "}, B({2, 2, 29, 3, " a "})},
        {{}, B({2, 2})},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BuildAttachBuffer(c.params), c.expected) << c.params.Text();
}

TEST(BuildAttachBuffer, RefusedLines)
{
    struct Case {
        TStringList params;
        int error;
    };
    const Case cases[] = {
        {{"db_name=/data/x.fdb"}, 72},
        {{"isc_spb_verbose=1"}, 72},
        {{"role=admin"}, 73},
        {{" user_name=SYSDBA"}, 73}, // the name itself is not trimmed
        {{"password=" + std::string(256, 'p')}, 74},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ClientErrorNumber([&] { BuildAttachBuffer(c.params); }), c.error) << c.params.Text();
    EXPECT_EQ(BuildAttachBuffer({"password=" + std::string(255, 'p')}).size(), 4u + 255u);
}

TEST(StartItems, StringAndIntegerEncoding)
{
    ServiceBuffer buffer;
    AddStartString(buffer, "", 106);
    EXPECT_TRUE(buffer.empty());
    AddStartString(buffer, std::string(300, 'a'), 106);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 3), B({106, 0x2C, 0x01}));
    EXPECT_EQ(buffer.size(), 303u);
    buffer.clear();
    AddStartInt(buffer, 0x01020304, 9);
    AddStartInt(buffer, -1, 6);
    EXPECT_EQ(buffer, B({9, 4, 3, 2, 1, 6, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(ClientErrorNumber([] {
                  ServiceBuffer b;
                  AddStartString(b, std::string(65536, 'a'), 106);
              }),
              74);
}

TEST(FileListLine, NameAndOptionalLength)
{
    EXPECT_FALSE(ParseFileListLine(""));
    EXPECT_FALSE(ParseFileListLine(" \t"));
    const auto plain = ParseFileListLine("/backup/Morvane.fbk");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->FileName, "/backup/Morvane.fbk");
    EXPECT_FALSE(plain->Length);
    const auto sized = ParseFileListLine("a=1234567");
    ASSERT_TRUE(sized);
    EXPECT_EQ(sized->FileName, "a");
    EXPECT_EQ(sized->Length, 1234567);
    try {
        ParseFileListLine("a.fbk=12x");
        ADD_FAILURE() << "a length that is no number was accepted";
    } catch (const EConvertError& error) {
        EXPECT_EQ(error.Message(), "'12x' n'est pas une valeur numérique valide");
    }
}

TEST(BackupStart, Requests)
{
    BackupRequest window;
    window.DatabaseName = "/data/BD.FDB";
    window.BackupFile = {"/bk/Morvane.fbk"};
    window.Options = {TBackupOption::NoGarbageCollection};
    EXPECT_EQ(BuildBackupStart(window), B({1, 106, 12, 0, "/data/BD.FDB", 108, 8, 0, 0, 0, 5, 15, 0, "/bk/Morvane.fbk"}));

    BackupRequest full;
    full.DatabaseName = "d";
    full.BackupFile = {"a=1234567", "", "b", "  "};
    full.BlockingFactor = 2;
    full.Verbose = true;
    full.Options = {TBackupOption::IgnoreChecksums, TBackupOption::ConvertExtTables};
    EXPECT_EQ(BuildBackupStart(full), B({1, 106, 1, 0, "d", 108, 0x41, 0, 0, 0, 107, 6, 2, 0, 0, 0, 5, 1, 0, "a", 7,
                                         0x87, 0xD6, 0x12, 0, 5, 1, 0, "b"}));

    // The cycle's backup: the database's connection triggers are not fired.
    window.Options.Include(TBackupOption::NoDatabaseTriggers);
    EXPECT_EQ(BuildBackupStart(window), B({1, 106, 12, 0, "/data/BD.FDB", 108, 8, 0x80, 0, 0, 5, 15, 0, "/bk/Morvane.fbk"}));

    EXPECT_EQ(ClientErrorNumber([] { BuildBackupStart(BackupRequest{}); }), 69);
    BackupRequest badLength = window;
    badLength.BackupFile = {"a=long"};
    EXPECT_THROW(BuildBackupStart(badLength), EConvertError);
}

TEST(RestoreStart, Requests)
{
    RestoreRequest window;
    window.BackupFile = {"/bk/M.fbk"};
    window.DatabaseName = {"/data/BD.FDB_Morvane"};
    window.PageSize = 8192;
    window.PageBuffers = 2000;
    window.Options = {TRestoreOption::Replace};
    EXPECT_EQ(BuildRestoreStart(window),
              B({2, 108, 0, 0x10, 0, 0, 10, 0, 0x20, 0, 0, 9, 0xD0, 0x07, 0, 0, 5, 9, 0, "/bk/M.fbk", 106, 20, 0,
                 "/data/BD.FDB_Morvane"}));

    RestoreRequest defaults; // CreateNewDB, page size 4096, no buffers, no files
    EXPECT_EQ(BuildRestoreStart(defaults), B({2, 108, 0, 0x20, 0, 0, 10, 0, 0x10, 0, 0}));
    RestoreRequest readWrite;
    readWrite.ReadWrite = true;
    EXPECT_EQ(BuildRestoreStart(readWrite), B({2, 108, 0, 0x20, 0, 0, 10, 0, 0x10, 0, 0, 12, 40}));

    RestoreRequest lists;
    lists.PageSize = 0;
    lists.Verbose = true;
    lists.Options = {TRestoreOption::OnlyMetadata, TRestoreOption::ValidationCheck};
    lists.BackupFile = {"a=10", "b"};
    lists.DatabaseName = {"x=200", " "};
    EXPECT_EQ(BuildRestoreStart(lists), B({2, 108, 4, 0x80, 0, 0, 107, 5, 1, 0, "a", 7, 10, 0, 0, 0, 5, 1, 0, "b", 106,
                                           1, 0, "x", 11, 200, 0, 0, 0}));
}

TEST(StatisticsStart, Requests)
{
    EXPECT_EQ(BuildStatisticsStart("127.0.0.1:/d.fdb", {TStatOption::HeaderPages}, "T1"),
              B({11, 106, 16, 0, "127.0.0.1:/d.fdb", 108, 4, 0, 0, 0}));
    EXPECT_EQ(BuildStatisticsStart("d", {}, ""), B({11, 106, 1, 0, "d", 108, 0, 0, 0, 0}));
    EXPECT_EQ(BuildStatisticsStart("d", {TStatOption::StatTables}, ""), B({11, 106, 1, 0, "d", 108, 0x40, 0, 0, 0}));
    EXPECT_EQ(BuildStatisticsStart("d", {TStatOption::StatTables, TStatOption::DataPages}, "T1 T2"),
              B({11, 106, 1, 0, "d", 108, 0x41, 0, 0, 0, 105, 5, 0, "T1 T2"}));
    EXPECT_EQ(ClientErrorNumber([] { BuildStatisticsStart("", {TStatOption::HeaderPages}, ""); }), 69);
}

TEST(ConfigRequests, OneSettingEach)
{
    const Bytes head = B({8, 106, 6, 0, "/d.fdb"});
    auto with = [&](Bytes tail) {
        Bytes bytes = head;
        bytes.insert(bytes.end(), tail.begin(), tail.end());
        return bytes;
    };
    EXPECT_EQ(BuildSetPageBuffers("/d.fdb", 2000), with({5, 0xD0, 0x07, 0, 0}));
    EXPECT_EQ(BuildSetSweepInterval("/d.fdb", 0), with({6, 0, 0, 0, 0}));
    EXPECT_EQ(BuildSetReserveSpace("/d.fdb", true), with({11, 36}));
    EXPECT_EQ(BuildSetReserveSpace("/d.fdb", false), with({11, 35}));
    EXPECT_EQ(BuildSetAsyncMode("/d.fdb", true), with({12, 37}));
    EXPECT_EQ(BuildSetAsyncMode("/d.fdb", false), with({12, 38}));
    EXPECT_EQ(BuildSetAsyncMode("", false), B({8, 12, 38})); // no name, no database item
    EXPECT_EQ(BuildSetReadOnly("/d.fdb", true), with({13, 39}));
    EXPECT_EQ(BuildSetReadOnly("/d.fdb", false), with({13, 40}));
    // Shutdown level, then how long to wait and what to do with who is still there.
    EXPECT_EQ(BuildShutdown("/d.fdb", TShutdownMode::Full, TShutdownWait::Force, 0), with({44, 3, 41, 0, 0, 0, 0}));
    EXPECT_EQ(BuildShutdown("/d.fdb", TShutdownMode::Multi, TShutdownWait::Attachments, 5),
              with({44, 1, 42, 5, 0, 0, 0}));
    EXPECT_EQ(BuildShutdown("/d.fdb", TShutdownMode::Full, TShutdownWait::Transactions, 10),
              with({44, 3, 43, 10, 0, 0, 0}));
    EXPECT_EQ(BuildOnline("/d.fdb", TShutdownMode::Normal), with({45, 0}));
    EXPECT_EQ(BuildOnline("/d.fdb", TShutdownMode::Multi), with({45, 1}));
}

TEST(DecodeServiceLine, LinesAndEnd)
{
    const auto line = DecodeServiceLine(B({62, 5, 0, "Hello", 1, 0, 0}));
    EXPECT_FALSE(line.End);
    EXPECT_EQ(line.Text, "Hello");
    const auto end = DecodeServiceLine(B({62, 0, 0, 1, "stale bytes"}));
    EXPECT_TRUE(end.End);
    EXPECT_EQ(end.Text, "");
    EXPECT_EQ(DecodeServiceLine(B({62, 5, 0, 'a', 'b', 0, 'c', 'd', 1})).Text, "ab"); // up to the first zero
}

TEST(DecodeServiceLine, MalformedRepliesAreError70)
{
    const Bytes cases[] = {
        {},
        B({62}),
        B({62, 5}),
        B({2, 5, 0, "Hello", 1}),          // isc_info_truncated instead of the line
        B({62, 5, 0, "Hello", 2}),         // not followed by isc_info_end
        B({62, 5, 0, "Hello", 62, 0, 0, 1}), // more than one item
        B({62, 5, 0, "Hell"}),             // length beyond the bytes
        B({62, 5, 0, "Hello"}),            // end byte beyond the bytes
        B({62, 0xFF, 0xFF, 1}),
    };
    for (const auto& reply : cases)
        EXPECT_EQ(ClientErrorNumber([&] { DecodeServiceLine(reply); }), 70) << reply.size();
}

// Replies to a bulk read as Firebird 3.0 sends them: the bytes, then a mark while the
// request runs (timeout, not ready, truncated) and the end byte, which a reply that
// fills the buffer exactly leaves out; no mark once the request has ended, so only
// an empty reply ends the output.
TEST(DecodeServiceChunk, OutputAndItsEnd)
{
    const struct {
        const char* what;
        Bytes reply;
        bool end;
        std::string text;
    } cases[] = {
        {"lines and the timeout mark", B({63, 13, 0, "gbak:a\ngbak:b", 64, 1, 0, 0}), false, "gbak:a\ngbak:b"},
        {"nothing within the timeout", B({63, 0, 0, 64, 1}), false, ""},
        {"nothing ready yet", B({63, 0, 0, 4, 1}), false, ""},
        {"the buffer full, more to come", B({63, 3, 0, "abc", 2, 1}), false, "abc"},
        {"a reply that fills the buffer to its last byte", B({63, 3, 0, "abc", 2}), false, "abc"},
        {"cut right after the bytes", B({63, 3, 0, "abc"}), false, "abc"},
        // A small reply near the end of a verbose backup: the request had ended,
        // the reply was full and more output was still waiting.
        {"bytes and the end mark once the request ended", B({63, 3, 0, "gba", 1, 0, 0}), false, "gba"},
        {"the end alone", B({63, 0, 0, 1}), true, ""},
        {"a length past 32767 is unsigned", [] {
             Bytes reply{63, 0x00, 0x80};
             reply.insert(reply.end(), 0x8000, 'x');
             reply.push_back(64);
             return reply;
         }(),
         false, std::string(0x8000, 'x')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ServiceChunk chunk = DecodeServiceChunk(c.reply);
        EXPECT_EQ(chunk.End, c.end);
        EXPECT_EQ(chunk.Text, c.text);
    }
    EXPECT_EQ(BuildChunkQuerySend(1), Bytes({64, 4, 0, 1, 0, 0, 0}));
    EXPECT_EQ(BuildChunkQuerySend(300), Bytes({64, 4, 0, 44, 1, 0, 0}));
}

TEST(DecodeServiceChunk, MalformedRepliesAreError70)
{
    const Bytes cases[] = {
        {},
        B({63}),
        B({63, 5}),
        B({62, 5, 0, "Hello", 1}),         // a line's item
        B({63, 5, 0, "Hell"}),             // length beyond the bytes
        B({63, 5, 0, "Hello", 62, 1}),     // an unknown mark
        B({63, 5, 0, "Hello", 64, 64, 1}), // two marks
        B({63, 0xFF, 0xFF, 1}),
    };
    for (const auto& reply : cases)
        EXPECT_EQ(ClientErrorNumber([&] { DecodeServiceChunk(reply); }), 70) << reply.size();
}

// Lines as the line-by-line read gives them (the line feed a blank), however the
// output is cut into chunks.
TEST(ServiceOutputLines, TheSameLinesWhereverTheChunksAreCut)
{
    const std::string output = "gbak:restoring table T1\ngbak:restoring data for table T1\ngbak:   5 records restored\n"
                               "\ngbak:last without line feed";
    const std::vector<std::string> expected{"gbak:restoring table T1 ", "gbak:restoring data for table T1 ",
                                            "gbak:   5 records restored ", " ", "gbak:last without line feed"};
    for (std::size_t size = 1; size <= output.size(); ++size) {
        SCOPED_TRACE(size);
        ServiceOutputLines lines;
        std::vector<std::string> got;
        for (std::size_t at = 0; at < output.size(); at += size)
            for (std::string& line : lines.Feed(std::string_view(output).substr(at, size)))
                got.push_back(std::move(line));
        if (auto last = lines.Finish())
            got.push_back(*last);
        EXPECT_EQ(got, expected);
    }
    ServiceOutputLines empty;
    EXPECT_TRUE(empty.Feed("").empty());
    EXPECT_EQ(empty.Finish(), std::nullopt);
}

// The size asked for the next reply follows the output: twice as much after a reply
// that filled at once, no more than came after a slow one, within the bounds.
TEST(ServiceReplySize, GrowsWhileTheOutputPoursAndShrinksWhileItTrickles)
{
    TServiceReplySize size;
    EXPECT_EQ(size.Next(), TServiceReplySize::Smallest);
    const struct {
        const char* what;
        std::size_t bytes;
        double seconds;
        std::int32_t next;
    } steps[] = {
        {"full at once", 251, 0.01, 512},
        {"full at once again", 507, 0.02, 1024},
        {"not full, quick: the request had no more", 600, 0.01, 1024},
        {"full but not quick", 1019, 0.2, 1024},
        {"full at once", 1019, 0.05, 2048},
        {"full at once", 2043, 0.05, 4096},
        {"full at once", 4091, 0.05, 8192},
        {"full at once", 8187, 0.05, 16384},
        {"full at once", 16379, 0.05, 32768},
        {"full at once", 32763, 0.05, 65535},
        {"never past the largest", 65527, 0.05, 65535},
        {"slow: no more than came, rounded up", 300, 1.0, 512},
        {"slow with nothing: the smallest", 0, 1.0, TServiceReplySize::Smallest},
        {"slow at the smallest already", 250, 0.3, TServiceReplySize::Smallest},
    };
    for (const auto& step : steps) {
        size.Took(step.bytes, std::chrono::duration<double>(step.seconds));
        EXPECT_EQ(size.Next(), step.next) << step.what << " (" << step.bytes << " bytes)";
    }
    // A slow reply halves at least, even when it came full.
    TServiceReplySize large;
    for (int i = 0; i < 10; ++i)
        large.Took(static_cast<std::size_t>(large.Next()), std::chrono::duration<double>(0));
    ASSERT_EQ(large.Next(), TServiceReplySize::Largest);
    large.Took(65527, std::chrono::duration<double>(0.5));
    EXPECT_EQ(large.Next(), TServiceReplySize::Largest / 2);
}

TEST(DecodeConfigReply, AllOrSomeItems)
{
    TConfigParams params;
    params.ConfigFileData.ConfigKeys = {99};
    params.ConfigFileData.ConfigValues = {99};
    DecodeConfigReply(B({53, 3, 0x10, 0, 0, 0, 7, 0xFF, 0xFF, 0xFF, 0xFF, 127, 59, 5, 0, "/opt/", 60, 4, 0, "/tmp",
                         61, 0, 0, 58, 6, 0, "sec.db", 1, "junk"}),
                      params);
    EXPECT_EQ(params.ConfigFileData.ConfigKeys, (std::vector<std::int32_t>{3, 7}));
    EXPECT_EQ(params.ConfigFileData.ConfigValues, (std::vector<std::int32_t>{16, -1}));
    EXPECT_EQ(params.RootDirectory, "/opt/");
    EXPECT_EQ(params.LockDirectory, "/tmp");
    EXPECT_EQ(params.MessageDirectory, "");
    EXPECT_EQ(params.SecurityDatabase, "sec.db");

    TConfigParams some;
    DecodeConfigReply(B({59, 2, 0, "/r", 1}), some);
    EXPECT_EQ(some.RootDirectory, "/r");
    DecodeConfigReply(B({1}), some);
    EXPECT_EQ(some.RootDirectory, "/r"); // untouched by a reply without the item
}

TEST(DecodeConfigReply, MalformedRepliesAreError70AndKeepWhatWasDecoded)
{
    const Bytes cases[] = {
        {},
        B({59, 2, 0, "/r"}),            // no isc_info_end
        B({59, 9, 0, "/r", 1}),         // text longer than the reply
        B({59, 2}),                     // length cut short
        B({53, 3, 0x10, 0}),            // value cut short
        B({53, 3, 0x10, 0, 0, 0}),      // list without its end flag
        B({59, 2, 0, "/r", 2, 1}),      // isc_info_truncated
        B({62, 1}),                     // an item Fetch does not ask for
    };
    for (const auto& reply : cases) {
        TConfigParams params;
        EXPECT_EQ(ClientErrorNumber([&] { DecodeConfigReply(reply, params); }), 70) << reply.size();
    }
    TConfigParams params;
    EXPECT_EQ(ClientErrorNumber([&] { DecodeConfigReply(B({59, 2, 0, "/r", 60, 9}), params); }), 70);
    EXPECT_EQ(params.RootDirectory, "/r");
}

TEST(DecodeDatabaseInfoReply, CountsAndNames)
{
    TDatabaseInfo info;
    DecodeDatabaseInfoReply(B({50, 5, 3, 0, 0, 0, 6, 2, 0, 0, 0, 106, 3, 0, "/a1", 106, 2, 0, "/b", 127, 1}), info);
    EXPECT_EQ(info.AttachmentCount, 3);
    EXPECT_EQ(info.DatabaseCount, 2);
    EXPECT_EQ(info.DatabaseNames, (TStringList{"/a1", "/b"}));

    DecodeDatabaseInfoReply(B({50, 5, 0, 0, 0, 0, 6, 0, 0, 0, 0, 127, 1}), info);
    EXPECT_EQ(info.DatabaseCount, 0);
    EXPECT_TRUE(info.DatabaseNames.Empty());

    // More names than the count: the list grows; fewer: the rest stay empty.
    DecodeDatabaseInfoReply(B({50, 5, 1, 0, 0, 0, 6, 1, 0, 0, 0, 106, 1, 0, "x", 106, 1, 0, "y", 127, 1}), info);
    EXPECT_EQ(info.DatabaseNames, (TStringList{"x", "y"}));
    DecodeDatabaseInfoReply(B({50, 5, 1, 0, 0, 0, 6, 2, 0, 0, 0, 106, 1, 0, "x", 127, 1}), info);
    EXPECT_EQ(info.DatabaseNames, (TStringList{"x", ""}));
}

TEST(DecodeDatabaseInfoReply, MalformedRepliesAreError70)
{
    const Bytes cases[] = {
        {},
        B({53, 5}),
        B({50, 6, 0, 0, 0, 0}),
        B({50, 5, 1, 0}),
        B({50, 5, 1, 0, 0, 0, 5, 0, 0, 0, 0, 127}),
        B({50, 5, 1, 0, 0, 0, 6, 0xFF, 0xFF, 0xFF, 0x7F, 127}), // a count the reply cannot hold
        B({50, 5, 1, 0, 0, 0, 6, 0xFF, 0xFF, 0xFF, 0xFF, 127}), // a negative count
        B({50, 5, 1, 0, 0, 0, 6, 1, 0, 0, 0, 106, 9, 0, "x", 127}),
        B({50, 5, 1, 0, 0, 0, 6, 1, 0, 0, 0, 105, 1, 0, "x", 127}),
        B({50, 5, 1, 0, 0, 0, 6, 1, 0, 0, 0, 106, 1, 0, "x"}), // no end flag
    };
    for (const auto& reply : cases) {
        TDatabaseInfo info;
        EXPECT_EQ(ClientErrorNumber([&] { DecodeDatabaseInfoReply(reply, info); }), 70) << reply.size();
    }
}

// Replies of random bytes, some starting like a real reply: each decoder either
// decodes or raises client error 70, and never reads outside the bytes (the
// sanitizer build checks that).
TEST(ReplyDecoders, ArbitraryBytesNeverEscapeTheReply)
{
    std::mt19937 random(20261210);
    const std::uint8_t starts[] = {62, 53, 59, 50, 1, 127};
    for (int round = 0; round < 20000; ++round) {
        Bytes reply(random() % 40);
        for (auto& byte : reply)
            byte = static_cast<std::uint8_t>(random() % 8 == 0 ? 127 : random() % 12);
        if (!reply.empty() && round % 2 == 0)
            reply[0] = starts[random() % std::size(starts)];
        for (int decoder = 0; decoder < 3; ++decoder) {
            try {
                TConfigParams params;
                TDatabaseInfo info;
                if (decoder == 0)
                    DecodeServiceLine(reply);
                else if (decoder == 1)
                    DecodeConfigReply(reply, params);
                else
                    DecodeDatabaseInfoReply(reply, info);
            } catch (const EFIBClientError& error) {
                ASSERT_EQ(error.SqlCode(), 70);
            }
        }
    }
}
