#include "session/IniText.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

TEST(IniTextTest, OnlyTheKeyLineChangesOrOneLineIsAdded)
{
    struct Case {
        const char* name;
        const char* text;
        const char* section;
        const char* key;
        const char* value;
        const char* expected;
    };
    const Case cases[] = {
        {"new file", "", "db", "K", "1", "[db]\nK=1\n"},
        {"existing key, any case, spacing and CR LF kept elsewhere",
         "; site\r\n[Other]\r\nk = x\r\n\r\n[DB]\r\n  k = old ; not a comment\r\nz = 2\r\n; trailing\r\n", "db", "K", "new",
         "; site\r\n[Other]\r\nk = x\r\n\r\n[DB]\r\nK=new\r\nz = 2\r\n; trailing\r\n"},
        {"missing key goes after the section's last line, before the blank lines",
         "[a]\nx=1\n; note\n\n[b]\ny=2\n", "A", "k", "v", "[a]\nx=1\n; note\nk=v\n\n[b]\ny=2\n"},
        {"missing section is appended, a last line without its end gets one", "[a]\nx=1", "b", "k", "v",
         "[a]\nx=1\n[b]\nk=v\n"},
        {"commented key is not the key", "[a]\n;k=1\n#k=2\n", "a", "k", "3", "[a]\n;k=1\n#k=2\nk=3\n"},
        {"empty section at the end of a file without final line end", "[a]", "a", "k", "v", "[a]\nk=v\n"},
        {"only the first section of that name", "[a]\nx=1\n[b]\n[a]\nk=old\n", "a", "k", "v",
         "[a]\nx=1\nk=v\n[b]\n[a]\nk=old\n"},
        {"a value is one line", "", "a", "k", "one\r\ntwo", "[a]\nk=one  two\n"},
        {"section names with colons and backslashes", "", "127.0.0.1:C:\\BD\\BD.FDB", "k", "",
         "[127.0.0.1:C:\\BD\\BD.FDB]\nk=\n"},
        {"line without = in the section is kept", "[a]\nnoise\n", "a", "k", "v", "[a]\nnoise\nk=v\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SetIniValue(c.text, c.section, c.key, c.value), c.expected) << c.name;
}

} // namespace
} // namespace morvane
