#include "LoggerTestSupport.h"

#include "core/DateTime.h"
#include "global/Global_Computer.h"
#include "logger/uApplicationLogger.h"
#include "logger/uFileLogger.h"
#include "logger/uLoggerConfiguration.h"
#include "logger/uMemoryLogger.h"
#include "logger/uWindowsEventLogger.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

using namespace morvane;
using namespace morvane::test;
namespace fs = std::filesystem;

namespace {

TEST(LoggerConfigurationRules, VersionsCompareAsTexts)
{
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"1.0", "1.1", true},  {"1.1", "1.1", true},  {"1.10", "1.1", false}, {"1.10", "1.2", true},
        {"1.2", "1.2", true},  {"1.3", "1.2", false}, {"", "1.1", true},      {"2", "1.2", false},
        {"1.1a", "1.1", false}};
    for (const auto& [version, limit, atMost] : cases)
        EXPECT_EQ(VersionAtMost(version, limit), atMost) << version << " <= " << limit;
}

TEST(LoggerConfigurationRules, ApplicationKeyFollowsTheTitleWhenItStartsWithIt)
{
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"Morvane", "MORVANE", "MORVANE"},
        {"Morvane", "MORVANE.TEST", "MORVANE"},
        {"Outil", "AUTRE", "AUTRE"},
        {"", "MORVANE", "MORVANE"}};
    for (const auto& [title, key, expected] : cases)
        EXPECT_EQ(ConfigurationApplicationKey(title, key), expected) << title << "/" << key;
}

TEST(LoggerConfigurationRules, IntegerAndBooleanAttributes)
{
    EXPECT_EQ(ConfigurationInteger("200", "NiveauMax"), 200);
    EXPECT_EQ(ConfigurationInteger("-1", "LogSpecifique"), -1);
    EXPECT_EQ(ConfigurationInteger("2147483647", "x"), 2147483647);
    EXPECT_EQ(ConfigurationInteger("-2147483648", "x"), INT32_MIN);
    for (const char* bad : {"", "-", "abc", "1.5", " 1", "1 ", "+1", "2147483648", "99999999999999999999", "0x10"})
        EXPECT_THROW(ConfigurationInteger(bad, "NiveauMax"), EConvertError) << bad;

    const std::pair<const char*, bool> booleans[] = {{"True", true}, {"TRUE", true}, {"false", false},
                                                     {"FaLsE", false}, {"0", false},   {"1", true},
                                                     {"-7", true}};
    for (const auto& [text, value] : booleans)
        EXPECT_EQ(ConfigurationBoolean(text, "InsertTime"), value) << text;
    for (const char* bad : {"", "oui", "yes", "T"})
        EXPECT_THROW(ConfigurationBoolean(bad, "InsertTime"), EConvertError) << bad;
}

class NullSource final : public EventLogBackend {
public:
    void Report(EventEntryType, const std::string&) override {}
};

class ConfigurationTest : public ::testing::Test {
protected:
    TemporaryFolder folder;
    CommandLineGuard program{{folder.File("morvane")}};
    ScopedEventLogBackendFactory sources{[](const std::string&) { return std::make_unique<NullSource>(); }};

    // Built before any file is there, so each test loads its own file explicitly.
    void SetUp() override { AppLogger(); }
    void TearDown() override { DestroyAppLogger(); }

    // Writes the file beside the program, with {S} standing for this station's name.
    bool Load(std::string xml)
    {
        const std::string station = GetStationName(false, false);
        for (auto at = xml.find("{S}"); at != std::string::npos; at = xml.find("{S}"))
            xml.replace(at, 3, station);
        WriteFileText(folder.File("AppLogger.xml"), xml);
        return AppLogger().LoadConfiguration(AppLoggerConfigurationFile);
    }

    std::vector<int> Levels()
    {
        std::vector<int> levels;
        for (std::size_t i = 0; i < AppLogger().LoggerCount(); ++i)
            levels.push_back(AppLogger().GetLogger(i)->NiveauMax());
        return levels;
    }

    std::string LoadError(const std::string& xml)
    {
        try {
            Load(xml);
        } catch (const Exception& error) {
            return error.Message();
        }
        return "(no error)";
    }
};

// An event logger whose NiveauMax tells which element built it.
std::string E(int id)
{
    return "<L class=\"TWindowsEventLogger\" NiveauMax=\"" + std::to_string(id) + "\" LogSpecifique=\"0\"/>";
}

struct SelectionCase {
    const char* what;
    std::string xml;
    std::vector<int> levels;
};

TEST_F(ConfigurationTest, StationAndProgramEntriesAreChosenByTheRules)
{
    const SelectionCase cases[] = {
        {"one section for all", "<C Version='1.2'><AllStations><AllApplications>" + E(1) + E(2) +
                                    "</AllApplications></AllStations></C>",
         {1, 2}},
        {"this station's entry wins over AllStations naming the program too",
         "<C Version='1.2'><AllStations><Application ExeName='MORVANE'>" + E(1) +
             "</Application></AllStations><{S}><Application ExeName='MORVANE'>" + E(2) + "</Application></{S}></C>",
         {2}},
        {"this station without an entry for the program lets AllStations apply",
         "<C Version='1.2'><{S}><Application ExeName='AUTRE'>" + E(2) + "</Application></{S}><AllStations>"
             "<AllApplications>" + E(1) + "</AllApplications></AllStations></C>",
         {1}},
        {"ExeName in lower case never matches", "<C Version='1.2'><AllStations><Application ExeName='morvane'>" +
                                                    E(2) + "</Application><AllApplications>" + E(1) +
                                                    "</AllApplications></AllStations></C>",
         {1}},
        {"Application hides AllApplications of the same section",
         "<C Version='1.2'><AllStations><AllApplications>" + E(1) +
             "</AllApplications><Application>" + E(3) + "</Application><Application ExeName='MORVANE'>" + E(2) +
             "</Application></AllStations></C>",
         {2}},
        {"an entry named after the title counts up to 1.1",
         "<C Version='1.1'><AllStations><Morvane>" + E(2) + "</Morvane><AllApplications>" + E(1) +
             "</AllApplications></AllStations></C>",
         {2}},
        {"an entry named after the title is ignored from 1.2",
         "<C Version='1.2'><AllStations><Morvane>" + E(2) + "</Morvane><AllApplications>" + E(1) +
             "</AllApplications></AllStations></C>",
         {1}},
        {"1.10 is above 1.1", "<C Version='1.10'><AllStations><Morvane>" + E(2) + "</Morvane><AllApplications>" +
                                  E(1) + "</AllApplications></AllStations></C>",
         {1}},
        {"an unknown class is skipped above 1.2",
         "<C Version='1.3'><AllStations><AllApplications><L class='TSmsLogger' NiveauMax='9' LogSpecifique='0'/>" +
             E(1) + "</AllApplications></AllStations></C>",
         {1}},
        {"no section for this station and no AllStations",
         "<C Version='1.2'><AutrePoste><AllApplications>" + E(1) + "</AllApplications></AutrePoste></C>",
         {}},
        {"only the low 8 bits of NiveauMax count",
         "<C Version='1.2'><AllStations><AllApplications>" + E(300) + E(256) + "</AllApplications></AllStations></C>",
         {44, 0}},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(Load(c.xml)) << c.what;
        EXPECT_EQ(Levels(), c.levels) << c.what;
    }
}

TEST_F(ConfigurationTest, AMissingOrEmptyFileGivesNoLoggers)
{
    EXPECT_FALSE(AppLogger().LoadConfiguration(AppLoggerConfigurationFile));
    for (const char* text : {"", "  \n\t\n"}) {
        EXPECT_TRUE(Load(text));
        EXPECT_EQ(AppLogger().LoggerCount(), 0u);
    }
}

TEST_F(ConfigurationTest, LoggerAttributesAndTheirDefaults)
{
    ASSERT_TRUE(Load("<C Version='1.2'><AllStations><AllApplications>"
                     "<A class='TWindowsEventLogger' NiveauMax='200' LogSpecifique='-1'/>"
                     "<B class='TWindowsEventLogger' NiveauMax='5' LogSpecifique='7' InsertTime='false' "
                     "InsertNiveauLog='0' FormatDateTime='hh:nn'/>"
                     "</AllApplications></AllStations></C>"));
    EXPECT_EQ(AppLogger().Version(), "1.2");
    ASSERT_EQ(AppLogger().LoggerCount(), 2u);
    const TLogger& a = *AppLogger().GetLogger(0);
    EXPECT_EQ(a.LogSpecifique(), -1);
    EXPECT_TRUE(a.InsertTime());
    EXPECT_TRUE(a.InsertNiveauLog());
    EXPECT_EQ(a.FormatDateTime(), "yyyy-mm-dd hh:nn:ss.zzz");
    const TLogger& b = *AppLogger().GetLogger(1);
    EXPECT_EQ(b.LogSpecifique(), 7);
    EXPECT_FALSE(b.InsertTime());
    EXPECT_FALSE(b.InsertNiveauLog());
    EXPECT_EQ(b.FormatDateTime(), "hh:nn");
}

TEST_F(ConfigurationTest, ParameterElementsAndTheOldestFormatsAttributes)
{
    // Under 1.0 the attributes come first, so a child element of the same name wins.
    ASSERT_TRUE(Load("<C Version='1.0'><AllStations><AllApplications>"
                     "<F class='TFileLogger' NiveauMax='200' LogSpecifique='0' FileName='attr.log'>"
                     "<!-- a note for the administrator --><FileName>child.log</FileName><DoAppend>True</DoAppend></F>"
                     "<M class='TMemoryLogger' NiveauMax='200' LogSpecifique='0' FileName='mem.log' MaxLigne='7'/>"
                     "</AllApplications></AllStations></C>"));
    ASSERT_EQ(AppLogger().LoggerCount(), 2u);
    auto* file = dynamic_cast<TFileLogger*>(AppLogger().GetLogger(0));
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->CurrentFileName(), folder.File("child.log"));
    EXPECT_TRUE(file->DoAppend());
    EXPECT_FALSE(fs::exists(folder.File("attr.log")));
    auto* memory = dynamic_cast<TMemoryLogger*>(AppLogger().GetLogger(1));
    ASSERT_NE(memory, nullptr);
    EXPECT_EQ(memory->CurrentFileName(), folder.File("mem.log"));
    EXPECT_EQ(memory->MaxLigne(), 7);

    // From 1.1 on, those attributes are not read.
    ASSERT_TRUE(Load("<C Version='1.1'><AllStations><AllApplications>"
                     "<M class='TMemoryLogger' NiveauMax='200' LogSpecifique='0' FileName='ignored.log' MaxLigne='7'/>"
                     "</AllApplications></AllStations></C>"));
    memory = dynamic_cast<TMemoryLogger*>(AppLogger().GetLogger(0));
    ASSERT_NE(memory, nullptr);
    EXPECT_EQ(memory->CurrentFileName(), "");
    EXPECT_EQ(memory->MaxLigne(), 1024);
}

TEST_F(ConfigurationTest, ParameterValuesLoseTheWhiteSpaceAroundThem)
{
    // What a pretty-printing editor makes of a parameter, and what the logger must read.
    const struct {
        const char* loggerClass;
        const char* parameter;
        std::function<std::string(TLogger&)> read;
        std::string expected;
    } cases[] = {
        {"TFileLogger", "<DoAppend>\n    False\n  </DoAppend>",
         [](TLogger& l) { return std::to_string(dynamic_cast<TFileLogger&>(l).DoAppend()); }, "0"},
        {"TFileLogger", "<FileName>\n      pretty.log\n    </FileName>",
         [](TLogger& l) { return dynamic_cast<TFileLogger&>(l).CurrentFileName(); }, folder.File("pretty.log")},
        {"TMemoryLogger", "<MaxLigne>\n  20\n</MaxLigne>",
         [](TLogger& l) { return std::to_string(dynamic_cast<TMemoryLogger&>(l).MaxLigne()); }, "20"},
        {"TMemoryLogger", "<DumpType>\r\n\tBuffer\r\n</DumpType><NiveauDump> 3 </NiveauDump>",
         [](TLogger& l) {
             auto& memory = dynamic_cast<TMemoryLogger&>(l);
             return std::to_string(memory.Mode() == TMemoryLogger::DumpMode::Buffer) + "/" +
                    std::to_string(memory.NiveauDump());
         },
         "1/3"},
        {"TMemoryLogger", "<DoAppend>\n False</DoAppend>",
         [](TLogger& l) { return std::to_string(dynamic_cast<TMemoryLogger&>(l).DoAppend()); }, "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.parameter);
        ASSERT_TRUE(Load(std::string("<C Version='1.2'><AllStations><AllApplications><L class='") + c.loggerClass +
                         "' NiveauMax='1' LogSpecifique='0'>" + c.parameter + "</L></AllApplications></AllStations></C>"));
        ASSERT_EQ(AppLogger().LoggerCount(), 1u);
        EXPECT_EQ(c.read(*AppLogger().GetLogger(0)), c.expected);
    }
}

TEST_F(ConfigurationTest, AFileInAWindowsEncodingNamesItsLogFileInUtf8)
{
    // The program and its configuration in a folder whose name is UTF-8 on disk.
    fs::create_directory(folder.File("Données"));
    CommandLineGuard inFrenchFolder({folder.File("Données/morvane")});
    ScopedClock clock([] { return EncodeDateTime(2024, 3, 5, 10, 0, 0); });
    const struct {
        const char* encoding;
        std::string fileName; // as the file's bytes have it
        std::string onDisk;
    } cases[] = {
        {"windows-1252", "journal-\xE9t\xE9-?DATE?.log", "journal-été-20240305.log"},
        {"WINDOWS-1252", "co\xFBt-\x80.log", "coût-€.log"}, // 0x80 is the euro only in windows-1252
        {"ISO-8859-15", "co\xFBt-\xA4.log", "coût-€.log"},
        {"ISO-8859-1", "na\xEF" "f.log", "naïf.log"},
        {"UTF-8", "d\xC3\xA9j\xC3\xA0.log", "déjà.log"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.encoding);
        WriteFileText(folder.File("Données/AppLogger.xml"),
                      std::string("<?xml version=\"1.0\" encoding=\"") + c.encoding + "\"?>\n" +
                          "<AppLogger Version=\"1.2\"><AllStations><AllApplications>\n"
                          "  <F class=\"TFileLogger\" NiveauMax=\"255\" LogSpecifique=\"0\" InsertTime=\"False\">\n"
                          "    <FileName>" + c.fileName + "</FileName>\n"
                          "  </F>\n</AllApplications></AllStations></AppLogger>\n");
        ASSERT_TRUE(AppLogger().LoadConfiguration(AppLoggerConfigurationFile));
        AppLogger().GetLogger(0)->LogMessage("message", 200, 0);
        EXPECT_EQ(ReadFileText(folder.File("Données/" + c.onDisk)), "[200] message\n");
    }
}

TEST_F(ConfigurationTest, ErrorsCarryThePrefixAndTheCause)
{
    const std::string head = "<C Version='1.2'><AllStations><AllApplications>";
    const std::string tail = "</AllApplications></AllStations></C>";
    const std::pair<std::string, std::string> cases[] = {
        {"<C Version='1.2'><AllStations>", "TApplicationLogger : "},
        {"<C><AllStations/></C>", "TApplicationLogger : l'attribut Version manque à l'élément <C>"},
        {head + "<L NiveauMax='1' LogSpecifique='0'/>" + tail,
         "TApplicationLogger : l'attribut class manque à l'élément <L>"},
        {head + "<L class='TWindowsEventLogger' LogSpecifique='0'/>" + tail,
         "TApplicationLogger : l'attribut NiveauMax manque à l'élément <L>"},
        {head + "<L class='TWindowsEventLogger' NiveauMax='abc' LogSpecifique='0'/>" + tail,
         "TApplicationLogger : 'abc' n'est pas un entier valide pour NiveauMax"},
        {head + "<L class='TWindowsEventLogger' NiveauMax='1' LogSpecifique='0' InsertTime='oui'/>" + tail,
         "TApplicationLogger : 'oui' n'est pas une valeur booléenne valide pour InsertTime"},
        {head + "<L class='TFileLogger' NiveauMax='1' LogSpecifique='0'><FileName/></L>" + tail,
         "TApplicationLogger : le paramètre <FileName> de l'élément <L> n'a pas de valeur"},
        {head + "<!-- commentaire -->" + E(1) + tail,
         "TApplicationLogger : l'attribut class manque à l'élément <#comment>"},
        {head + "<L class='TSmsLogger' NiveauMax='1' LogSpecifique='0'/>" + tail,
         "TApplicationLogger : TApplicationLogger : Configuration inattendue (TSmsLogger)"},
        {"<C Version='1.0'><AllStations><AllApplications><L class='TFileLogger' NiveauMax='1' LogSpecifique='0'/>" +
             tail,
         "TApplicationLogger : l'attribut FileName manque à l'élément <L>"},
        {head + "<L class='TMemoryLogger' NiveauMax='1' LogSpecifique='0'><MaxLigne>x</MaxLigne></L>" + tail,
         "TApplicationLogger : MemoryLogger : Paramètre MaxLigne doit être un entier"},
        {head + "<L class='TFileLogger' NiveauMax='1' LogSpecifique='0'><FileName>?X?</FileName></L>" + tail,
         "TApplicationLogger : FileLogger : Masque de fichier invalide \"?X?\""},
        {"<?xml version='1.0' encoding='KLINGON-8'?>" + head + tail,
         "TApplicationLogger : l'encodage \"KLINGON-8\" déclaré par le fichier ne peut pas être converti en UTF-8"},
        {"<?xml version='1.0' encoding='windows-1252'?><C Version='1.2'>\x81</C>",
         "TApplicationLogger : l'octet 62 (0x81) n'est pas un caractère de l'encodage \"windows-1252\" déclaré par "
         "le fichier"},
    };
    for (const auto& [xml, message] : cases) {
        const std::string error = LoadError(xml);
        if (message == "TApplicationLogger : ") {
            // The parser's own words follow the prefix.
            EXPECT_EQ(error.rfind(message, 0), 0u) << error;
            EXPECT_GT(error.size(), message.size()) << error;
        } else {
            EXPECT_EQ(error, message) << xml;
        }
    }
}

TEST_F(ConfigurationTest, LoggersBuiltBeforeAnErrorStayInTheList)
{
    EXPECT_THROW(Load("<C Version='1.2'><AllStations><AllApplications>" + E(1) +
                      "<L class='TSmsLogger' NiveauMax='1' LogSpecifique='0'/>" + E(2) +
                      "</AllApplications></AllStations></C>"),
                 Exception);
    EXPECT_EQ(Levels(), (std::vector<int>{1}));
}

TEST_F(ConfigurationTest, HostileFilesGiveErrorsOrLoggersNeverACrash)
{
    // Deep nesting inside a parameter: its text is still found.
    std::string deep = "<C Version='1.2'><AllStations><AllApplications><L class='TMemoryLogger' NiveauMax='1' "
                       "LogSpecifique='0'><MaxLigne>";
    constexpr int depth = 200000;
    for (int i = 0; i < depth; ++i)
        deep += "<a>";
    deep += "12";
    for (int i = 0; i < depth; ++i)
        deep += "</a>";
    deep += "</MaxLigne></L></AllApplications></AllStations></C>";
    ASSERT_TRUE(Load(deep));
    auto* memory = dynamic_cast<TMemoryLogger*>(AppLogger().GetLogger(0));
    ASSERT_NE(memory, nullptr);
    EXPECT_EQ(memory->MaxLigne(), 12);

    // A huge number: an error of readable size.
    const std::string huge(8 * 1024 * 1024, '9');
    const std::string error = LoadError("<C Version='1.2'><AllStations><AllApplications><L class='TWindowsEventLogger' "
                                        "NiveauMax='" + huge + "' LogSpecifique='0'/></AllApplications></AllStations></C>");
    EXPECT_EQ(error.rfind("TApplicationLogger : '999", 0), 0u);
    EXPECT_LT(error.size(), 300u);

    // Bytes that are no XML at all.
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += static_cast<char>((i * 37) % 256);
    const std::string garbageError = LoadError(garbage);
    EXPECT_EQ(garbageError.rfind("TApplicationLogger : ", 0), 0u) << garbageError;
}

} // namespace
