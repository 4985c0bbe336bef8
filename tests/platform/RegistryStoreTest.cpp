#include "platform/RegistryStore.h"

#include <gtest/gtest.h>

#include <string>

namespace morvane::platform {
namespace {

const std::string Key = "HKEY_CURRENT_USER\\Software\\Calvenor\\Morvane\\FormMorvane";

// An export as regedit writes it, with the lines a hand edit may spoil in between.
const std::string Export = R"(Windows Registry Editor Version 5.00

; the site's settings
"Orphan"="a value before any key"

[HKEY_CURRENT_USER\Software\Calvenor]

[HKEY_CURRENT_USER\Software\Calvenor\Morvane\FormMorvane]
"RenamePath"="C:\\Old\\BD.FDB"
"Quoted"="say \"oui\""
"Empty"=""
"BeforeBackup"=dword:00000000
"AfterRestore"=dword:0000000a
"Expand"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,00,00
"Blob"=hex:01,02,\
  03,04,05
"AsBytes"=hex(4):01,00,00,00
"Wide"=hex(b):01,00,00,00,00,00,00,00
@="default"
"Unterminated"="text
"NoEquals" "x"
"BadNumber"=dword:xyz
"TooLong"=dword:123456789
"BadHex"=hex:zz,01
"Deleted"=-
Bare=value
"Spaced" = "kept"
[unterminated key
"AfterBadKey"="ignored"
[-HKEY_CURRENT_USER\Software\Calvenor\Old]
"InDeletedKey"="ignored"
)";

std::string WithCrLf(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

std::string AsUtf16LeWithBom(const std::string& ascii)
{
    std::string out = "\xFF\xFE";
    for (const char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

void ExpectTheExportRead(const RegistryStore& store)
{
    struct Expected {
        const char* name;
        RegistryValueKind kind;
        std::string text;
        std::uint32_t number;
        std::size_t storedSize;
    };
    const Expected cases[] = {
        {"RenamePath", RegistryValueKind::String, "C:\\Old\\BD.FDB", 0, 14},
        {"Quoted", RegistryValueKind::String, "say \"oui\"", 0, 10},
        {"Empty", RegistryValueKind::String, "", 0, 1},
        {"BeforeBackup", RegistryValueKind::DWord, "", 0, 4},
        {"AfterRestore", RegistryValueKind::DWord, "", 10, 4},
        {"Expand", RegistryValueKind::ExpandString, "%TEMP%", 0, 7},
        {"Blob", RegistryValueKind::Binary, "", 0, 5},
        {"AsBytes", RegistryValueKind::DWord, "", 1, 4},
        {"Wide", RegistryValueKind::Other, "", 0, 8},
        {"", RegistryValueKind::String, "default", 0, 8},
        {"Spaced", RegistryValueKind::String, "kept", 0, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const RegistryValue* value = store.Find(Key, c.name);
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(value->kind, c.kind);
        EXPECT_EQ(value->text, c.text);
        EXPECT_EQ(value->number, c.number);
        EXPECT_EQ(value->StoredSize(), c.storedSize);
    }
    for (const char* skipped : {"Orphan", "Unterminated", "NoEquals", "BadNumber", "TooLong", "BadHex", "Deleted",
                                "Bare", "AfterBadKey", "InDeletedKey"})
        EXPECT_EQ(store.Find(Key, skipped), nullptr) << skipped;
    EXPECT_TRUE(store.HasKey("HKEY_CURRENT_USER\\Software\\Calvenor"));
    EXPECT_FALSE(store.HasKey("HKEY_CURRENT_USER\\Software\\Calvenor\\Old"));
    EXPECT_EQ(store.KeyCount(), 2u);
}

TEST(RegistryExport, ReadsEveryKindAndSkipsWhatItCannotUnderstand)
{
    ExpectTheExportRead(ParseRegistryExport(Export));
}

TEST(RegistryExport, ReadsTheSameFromCrLfAndFromUtf16WithByteOrderMark)
{
    ExpectTheExportRead(ParseRegistryExport(WithCrLf(Export)));
    ExpectTheExportRead(ParseRegistryExport(AsUtf16LeWithBom(WithCrLf(Export))));
}

TEST(RegistryExport, DecodesTextBeyondAsciiFromUtf16)
{
    // "Dossier"="Sécurité" saved by regedit in its own UTF-16LE encoding.
    std::string file = AsUtf16LeWithBom("[HKEY_CURRENT_USER\\Software\\Calvenor]\r\n\"Dossier\"=\"S");
    file += std::string("\xE9\x00", 2) + AsUtf16LeWithBom("curit").substr(2) + std::string("\xE9\x00", 2) +
            AsUtf16LeWithBom("\"\r\n").substr(2);
    const RegistryStore store = ParseRegistryExport(file);
    const RegistryValue* value = store.Find("HKEY_CURRENT_USER\\Software\\Calvenor", "Dossier");
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->text, "S\xC3\xA9" "curit\xC3\xA9");
}

TEST(RegistryExport, ComparesKeysAndValueNamesWithoutRegardToCase)
{
    const RegistryStore store = ParseRegistryExport(Export);
    EXPECT_NE(store.Find("hkey_current_user\\SOFTWARE\\calvenor\\MORVANE\\formmorvane", "renamepath"), nullptr);
    EXPECT_EQ(store.Find(Key, "RenamePath2"), nullptr);
    EXPECT_EQ(store.Find(Key + "\\Missing", "RenamePath"), nullptr);
}

TEST(RegistryExport, NeverFailsOnAFileCutShortAnywhere)
{
    const std::string utf16 = AsUtf16LeWithBom(Export);
    for (const std::string* file : {&Export, &utf16})
        for (std::size_t length = 0; length <= file->size(); ++length)
            ParseRegistryExport(std::string_view(*file).substr(0, length));
}

} // namespace
} // namespace morvane::platform
