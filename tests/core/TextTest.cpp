#include "core/Exception.h"
#include "core/Text.h"
#include "core/TextList.h"

#include <gtest/gtest.h>

using namespace morvane;

TEST(Text, TrimRemovesEveryCharacterUpToCode32)
{
    EXPECT_EQ(Trim(std::string("\t\x01 abc \r\n\x1f")), "abc");
    EXPECT_EQ(Trim(" a b "), "a b");
    EXPECT_EQ(Trim("\x7f"), "\x7f");
    EXPECT_EQ(Trim(""), "");
    EXPECT_EQ(TrimLeft("  x "), "x ");
    EXPECT_EQ(TrimRight("  x "), "  x");
}

TEST(Text, StrToIntAcceptsIntegersAndRaisesTheSystemText)
{
    struct Case { const char* text; bool ok; int value; };
    const Case cases[] = {
        {"42", true, 42},          {"-7", true, -7},          {"+3", true, 3},
        {"  12", true, 12},        {"$1F", true, 31},         {"0x10", true, 16},
        {"2147483647", true, 2147483647}, {"-2147483648", true, -2147483647 - 1},
        {"2147483648", false, 0},  {"12 ", false, 0},         {"", false, 0},
        {"abc", false, 0},         {"1.5", false, 0},         {"-", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        if (c.ok) {
            EXPECT_EQ(StrToInt(c.text), c.value);
        } else {
            try {
                StrToInt(c.text);
                ADD_FAILURE() << "no error";
            } catch (const EConvertError& e) {
                EXPECT_EQ(e.Message(), std::string("'") + c.text + "' n'est pas une valeur numérique valide");
                EXPECT_EQ(e.ClassName(), "EConvertError");
            }
            EXPECT_EQ(StrToIntDef(c.text, -99), -99);
        }
    }
}

TEST(TextList, NameValueLinesWithEitherMatchingRule)
{
    TStringList list{"user_name=SYSDBA", "password=a=b", "bare", "User_Name=other"};
    EXPECT_EQ(list.Values("USER_NAME"), "SYSDBA");
    EXPECT_EQ(list.Values("User_Name", NameMatch::ExactCase), "other");
    EXPECT_EQ(list.Values("password"), "a=b");
    EXPECT_EQ(list.IndexOfName("bare"), -1);
    EXPECT_EQ(list.Names(2), "bare");
    EXPECT_EQ(list.ValueFromIndex(2), "");

    list.SetValue("password", "x");
    EXPECT_EQ(list[1], "password=x");
    list.SetValue("role", "admin");
    EXPECT_EQ(list.Count(), 5u);
    list.SetValue("role", "");
    EXPECT_EQ(list.Count(), 4u);
}

TEST(TextList, TextReadsAnyLineEnd)
{
    TStringList list;
    list.SetText("a\r\nb\nc\rd");
    EXPECT_EQ(list, (TStringList{"a", "b", "c", "d"}));
    EXPECT_EQ(list.Text("\r\n"), "a\r\nb\r\nc\r\nd\r\n");
    list.SetText("a\r\n\r\n");
    EXPECT_EQ(list, (TStringList{"a", ""}));
}
