#include "fib/FIBDatabaseDpb.h"
#include "fib/fib.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::fib;

namespace {

ParameterBuffer Bytes(std::initializer_list<int> values)
{
    ParameterBuffer bytes;
    for (int v : values)
        bytes.push_back(static_cast<std::uint8_t>(v));
    return bytes;
}

void Append(ParameterBuffer& bytes, std::string_view text) { bytes.insert(bytes.end(), text.begin(), text.end()); }

// The error a builder raises for the lines, as number and text.
std::pair<int, std::string> ErrorOf(ParameterBuffer (*build)(TStringList&), TStringList lines)
{
    try {
        build(lines);
    } catch (const EFIBClientError& e) {
        return {e.SqlCode(), e.Message()};
    }
    return {-1, ""};
}

} // namespace

TEST(FIBDatabaseDpb, MainWindowParametersGiveTheExpectedBytes)
{
    TStringList lines{"lc_ctype=ISO8859_1", "password=plumtavern", "sql_role_name=role_administrateur",
                      "user_name=SYSDBA"};
    ParameterBuffer expected = Bytes({1, 48, 9});
    Append(expected, "ISO8859_1");
    expected.insert(expected.end(), {29, 10});
    Append(expected, "plumtavern");
    expected.insert(expected.end(), {60, 19});
    Append(expected, "role_administrateur");
    expected.insert(expected.end(), {28, 6});
    Append(expected, "SYSDBA");
    EXPECT_EQ(BuildDpb(lines), expected);
}

TEST(FIBDatabaseDpb, EachEncodingAppendsItsBytes)
{
    struct Case { const char* line; ParameterBuffer bytes; };
    const Case cases[] = {
        {"sql_dialect=3", Bytes({1, 63, 1, 3})},
        {"sql_dialect=1x", Bytes({1, 63, 2, 1, 'x'})},
        {"num_buffers=300", Bytes({1, 5, 1, 300 & 0xFF})},
        {"force_write=1", Bytes({1, 24, 1, 1})},
        {"no_reserve=0", Bytes({1, 27, 1, 0})},
        {"connect_timeout=-1", Bytes({1, 57, 1, 0xFF})},
        {"sweep=anything", Bytes({1, 10, 1, 2})},
        {"sweep_interval=20000", Bytes({1, 22, 4, 0x20, 0x4E, 0, 0})},
        {"sweep_interval=-2", Bytes({1, 22, 4, 0xFE, 0xFF, 0xFF, 0xFF})},
        {"garbage_collect", Bytes({1, 8, 1, 0})},
        {"no_garbage_collect=yes", Bytes({1, 16, 1, 0})},
        {"activate_shadow", Bytes({1, 21, 1, 0})},
        {"user_name=", Bytes({1, 28, 0})},
        {"Isc_Dpb_User_Name=JD", Bytes({1, 28, 2, 'J', 'D'})},
        {"  password=a=b \t", Bytes({1, 29, 3, 'a', '=', 'b'})},
        {"instance_name=x", Bytes({1, 75, 1, 'x'})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        TStringList lines{c.line};
        EXPECT_EQ(BuildDpb(lines), c.bytes);
    }
}

TEST(FIBDatabaseDpb, LinesAreTrimmedInPlaceEmptyOnesSkippedAndARepeatKeepsTheLaterValue)
{
    TStringList lines{"  user_name=A ", "", " \t", "user_name=B"};
    EXPECT_EQ(BuildDpb(lines), Bytes({1, 28, 1, 'B'}));
    EXPECT_EQ(lines, (TStringList{"user_name=A", "", "", "user_name=B"}));
    TStringList none;
    EXPECT_EQ(BuildDpb(none), Bytes({1}));
}

TEST(FIBDatabaseDpb, ProfileLinesAfterTheDesignTimeOnesReplaceThem)
{
    // The window's lines first, then a connection profile's, spelled its own way.
    TStringList lines{"lc_ctype=ISO8859_1", "password=plumtavern", "sql_role_name=role_administrateur",
                      "user_name=SYSDBA", "ISC_DPB_USER_NAME=jd", "garbage_collect", "Password=pw",
                      "lc_ctype=UTF8", "garbage_collect"};
    ParameterBuffer expected = Bytes({1, 60, 19});
    Append(expected, "role_administrateur");
    expected.insert(expected.end(), {28, 2, 'j', 'd', 29, 2, 'p', 'w', 48, 4});
    Append(expected, "UTF8");
    expected.insert(expected.end(), {8, 1, 0});
    EXPECT_EQ(BuildDpb(lines), expected);
}

TEST(FIBDatabaseDpb, NamesTableMatchesThePublishedCodes)
{
    // Spot checks of the table against codes the client library publishes.
    const std::pair<int, const char*> known[] = {
        {1, "cdd_pathname"}, {4, "page_size"}, {18, ""}, {28, "user_name"}, {29, "password"},
        {48, "lc_ctype"}, {60, "sql_role_name"}, {63, "sql_dialect"}, {75, "instance_name"}, {83, "force"},
    };
    for (const auto& [code, name] : known) {
        EXPECT_EQ(DpbName(code), name) << code;
        if (*name) {
            EXPECT_EQ(DpbCode(name), code) << name;
        }
    }
    EXPECT_EQ(DpbCode(""), 0);
    for (int code = 1; code <= DpbLastCode; ++code)
        if (code != 18) {
            EXPECT_EQ(DpbCode(DpbName(code)), code) << "names are unique: " << code;
        }
}

TEST(FIBDatabaseDpb, RefusedAndUnknownNamesRaiseErrors8And9)
{
    struct Case { const char* line; int number; const char* message; };
    const Case cases[] = {
        {"page_size=4096", 8, "DPB Constant (isc_dpb_page_size) is unsupported."},
        {"ISC_DPB_SHUTDOWN=1", 8, "DPB Constant (isc_dpb_shutdown) is unsupported."},
        {"force", 8, "DPB Constant (isc_dpb_force) is unsupported."},
        {"pagesize=4096", 9, "DPB Constant (pagesize) is unknown."},
        {"Isc_Dpb_Bogus=1", 9, "DPB Constant (bogus) is unknown."},
        {"=value", 9, "DPB Constant () is unknown."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(ErrorOf(BuildDpb, {"user_name=x", c.line}), std::make_pair(c.number, std::string(c.message)));
    }
}

TEST(FIBDatabaseDpb, ValuesThatDoNotFitTheirLengthAreRefused)
{
    // A 256-byte password would wrap its length byte and corrupt the items after it.
    const auto [number, message] = ErrorOf(BuildDpb, {"password=" + std::string(256, 'p')});
    EXPECT_EQ(number, fibParameterTooLong);
    EXPECT_NE(message.find("isc_dpb_password"), std::string::npos) << message;
    TStringList fits{"password=" + std::string(255, 'p')};
    EXPECT_EQ(BuildDpb(fits).size(), 1u + 2u + 255u);
    EXPECT_THROW({ TStringList bad{"num_buffers=many"}; BuildDpb(bad); }, EConvertError);
}

TEST(FIBDatabaseTpb, PresetsAndItemsGiveTheExpectedBytes)
{
    struct Case { TStringList lines; ParameterBuffer bytes; };
    const Case cases[] = {
        {{"write", "nowait", "rec_version", "read_committed"}, Bytes({3, 9, 7, 17, 15})},
        {{"write", "wait", "no_rec_version", "read_committed"}, Bytes({3, 9, 6, 18, 15})},
        {{"write", "isc_tpb_nowait", "read_committed", "rec_version"}, Bytes({3, 9, 7, 15, 17})},
        {{"read", "ISC_TPB_Concurrency", " consistency "}, Bytes({3, 8, 2, 1})},
        {{"shared", "protected", "exclusive", "ignore_limbo", "no_auto_undo", "no_savepoint"},
         Bytes({3, 3, 4, 5, 14, 20, 21})},
        {{"lock_read=Glb5020", "lock_write=T"}, Bytes({3, 10, 7, 'G', 'l', 'b', '5', '0', '2', '0', 11, 1, 'T'})},
        {{"", "  "}, Bytes({3})},
        {{}, Bytes({})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines.Text(","));
        TStringList lines = c.lines;
        EXPECT_EQ(BuildTpb(lines), c.bytes);
    }
}

TEST(FIBDatabaseTpb, RefusedAndUnknownNamesRaiseErrors10And11)
{
    struct Case { const char* line; int number; const char* message; };
    const Case cases[] = {
        {"autocommit", 10, "TPB Constant (isc_tpb_autocommit) is unsupported."},
        {"isc_tpb_verb_time", 10, "TPB Constant (isc_tpb_verb_time) is unsupported."},
        {"commit_time=1", 10, "TPB Constant (isc_tpb_commit_time) is unsupported."},
        {"Restart_Requests", 10, "TPB Constant (isc_tpb_restart_requests) is unsupported."},
        {"readcommitted", 11, "TPB Constant (readcommitted) is unknown."},
        {"isc_tpb_NoWait2", 11, "TPB Constant (nowait2) is unknown."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(ErrorOf(BuildTpb, {"write", c.line}), std::make_pair(c.number, std::string(c.message)));
    }
    EXPECT_EQ(ErrorOf(BuildTpb, {"lock_read=" + std::string(256, 't')}).first, fibParameterTooLong);
}
