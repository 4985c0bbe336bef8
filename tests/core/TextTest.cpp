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

TEST(Text, OutsideTextBecomesOneLineOfValidUtf8)
{
    struct Case { std::string in; std::string out; };
    using namespace std::string_literals;
    const Case cases[] = {
        // what the program writes itself goes through unchanged
        {"Rapport du cycle : code de sortie 0", "Rapport du cycle : code de sortie 0"},
        {"Vérification échouée", "Vérification échouée"},
        {"C:\\Base\\BD.FDB", "C:\\Base\\BD.FDB"},
        {"€ 𝄞", "€ 𝄞"},
        {"", ""},
        // line breaks and other C0 controls, DEL
        {"a\nb", "a\\nb"},
        {"a\r\nb", "a\\r\\nb"},
        {"a\tb", "a\\tb"},
        {"\x1b[31mrouge", "\\x1b[31mrouge"},
        {"a\0b"s, "a\\x00b"},
        {"\x7f", "\\x7f"},
        // the server's ISO8859_1 bytes, alone or beside UTF-8 of the program's own text
        {"\xc9" "chec", "Échec"},
        {"caf\xe9", "café"},
        {"Échec : caf\xe9", "Échec : café"},
        {"\xff\xa0", "ÿ\u00a0"},
        // C1 controls, as ISO-8859-1 bytes or as UTF-8, and the Unicode line separators
        {"a\x85" "b", "a\\x85b"},
        {"a\xc2\x85" "b", "a\\x85b"},
        {"a\xe2\x80\xa8" "b\xe2\x80\xa9", "a\\u2028b\\u2029"},
        // sequences that are not valid UTF-8: byte by byte as ISO-8859-1
        {"\xc3", "Ã"},                    // cut short at the end
        {"\xc3(", "Ã("},                  // a continuation byte missing
        {"\xc0\xaf", "À¯"},               // overlong
        {"\xed\xa0\x80", "í\u00a0\\x80"}, // a surrogate: three ISO-8859-1 bytes
        {"\xf4\x90\x80\x80", "ô\\x90\\x80\\x80"}, // above U+10FFFF
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(OneLineText(c.in), c.out);
    }
}

TEST(Text, OneLineAppendsToWhatIsThere)
{
    std::string line = "2026-12-11 02:30:00.000: [001] ";
    AppendOneLine(line, "Glb5020 : refus\n2026-12-11 02:30:00.000: [100] faux");
    EXPECT_EQ(line, "2026-12-11 02:30:00.000: [001] Glb5020 : refus\\n2026-12-11 02:30:00.000: [100] faux");
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
