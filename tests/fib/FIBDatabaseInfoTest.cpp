#include "fib/FIBDatabaseInfo.h"

#include <gtest/gtest.h>

#include <vector>

using namespace morvane;
using namespace morvane::fib;

namespace {
using Reply = std::vector<std::uint8_t>;

// One isc_info_user_names cluster: item, cluster length, name length, name.
void AddUser(Reply& reply, const std::string& name)
{
    const auto length = static_cast<std::uint8_t>(name.size());
    reply.insert(reply.end(), {53, static_cast<std::uint8_t>(length + 1), 0, length});
    reply.insert(reply.end(), name.begin(), name.end());
}
} // namespace

TEST(FIBDatabaseInfo, IntegerRepliesAreDecodedWithinTheBytesReceived)
{
    struct Case { Reply reply; std::optional<std::int32_t> value; };
    const Case cases[] = {
        {{14, 2, 0, 0x00, 0x20, 1}, 8192},                  // page size, then isc_info_end
        {{15, 4, 0, 0x4B, 0, 0, 0}, 75},                    // buffers
        {{31, 4, 0, 0x20, 0x4E, 0, 0, 1}, 20000},           // sweep interval
        {{52, 1, 0, 1, 1}, 1},                              // forced writes
        {{34, 1, 0, 0}, 0},                                 // reserve
        {{99, 1, 0, 7}, 7},                                 // the item byte is not compared
        {{22, 0, 0}, 0},                                    // empty value
        {{22, 4, 0, 0xFF, 0xFF, 0xFF, 0xFF}, -1},           // signed, as the client reads it
        {{14, 4, 0, 0x00, 0x20}, std::nullopt},             // value cut short
        {{14, 2}, std::nullopt},                            // length cut short
        {{}, std::nullopt},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(DecodeInfoInt(cases[i].reply), cases[i].value);
    }
    // The dialect reader checks the item: a reply about something else carries no value.
    EXPECT_EQ(DecodeInfoItem(Reply{62, 1, 0, 3, 1}, 62), 3);
    EXPECT_EQ(DecodeInfoItem(Reply{3, 1, 0, 3, 1}, 62), std::nullopt);
    EXPECT_EQ(DecodeInfoItem(Reply{}, 62), std::nullopt);
}

TEST(FIBDatabaseInfo, UserNamesListOneNamePerAttachmentAndStopAtTheEnd)
{
    Reply reply;
    AddUser(reply, "SYSDBA");
    AddUser(reply, "JDUPONT");
    AddUser(reply, "SYSDBA");
    reply.push_back(1); // isc_info_end
    EXPECT_EQ(DecodeUserNames(reply), (TStringList{"SYSDBA", "JDUPONT", "SYSDBA"}));

    // A name cut by the end of the reply, or a cluster header cut short, ends the walk.
    Reply cut;
    AddUser(cut, "A");
    AddUser(cut, "LONGNAME");
    cut.resize(cut.size() - 3);
    EXPECT_EQ(DecodeUserNames(cut), (TStringList{"A"}));
    Reply header;
    AddUser(header, "A");
    header.insert(header.end(), {53, 2, 0});
    EXPECT_EQ(DecodeUserNames(header), (TStringList{"A"}));
    EXPECT_EQ(DecodeUserNames(Reply{}), TStringList{});
    EXPECT_EQ(DecodeUserNames(Reply{2}), TStringList{}); // isc_info_truncated first
}
