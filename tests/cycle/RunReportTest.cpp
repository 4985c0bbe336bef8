// The run report: its JSON read back field by field, the escaping of hostile
// strings, the log line, and the atomic write of the file.

#include "cycle/RunReport.h"

#include "support/CommandLineGuard.h"
#include "support/TemporaryFolder.h"
#include "core/Exception.h"
#include "platform/DurableFile.h"
#include "support/FileText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <dirent.h>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <variant>
#include <vector>

namespace morvane {
namespace {

// A small JSON reader, strict enough that a report it accepts is valid JSON.
struct JsonValue;
using JsonObject = std::map<std::string, JsonValue>;
using JsonArray = std::vector<JsonValue>;
struct JsonValue {
    std::variant<std::nullptr_t, bool, double, std::string, std::shared_ptr<JsonArray>, std::shared_ptr<JsonObject>> v;
    bool IsNull() const { return std::holds_alternative<std::nullptr_t>(v); }
    bool Bool() const { return std::get<bool>(v); }
    double Number() const { return std::get<double>(v); }
    const std::string& String() const { return std::get<std::string>(v); }
    const JsonArray& Array() const { return *std::get<std::shared_ptr<JsonArray>>(v); }
    const JsonValue& operator[](const std::string& key) const
    {
        const JsonObject& object = *std::get<std::shared_ptr<JsonObject>>(v);
        const auto it = object.find(key);
        if (it == object.end())
            throw std::runtime_error("no member " + key);
        return it->second;
    }
    std::size_t MemberCount() const { return std::get<std::shared_ptr<JsonObject>>(v)->size(); }
};

class JsonReader {
public:
    static JsonValue Parse(const std::string& text)
    {
        JsonReader reader(text);
        JsonValue value = reader.Value();
        reader.Blanks();
        if (reader.pos_ != text.size())
            throw std::runtime_error("text after the value");
        return value;
    }

private:
    explicit JsonReader(const std::string& text) : t_(text) {}

    char Peek() const
    {
        if (pos_ >= t_.size())
            throw std::runtime_error("unexpected end");
        return t_[pos_];
    }
    void Expect(char c)
    {
        if (Peek() != c)
            throw std::runtime_error(std::string("expected ") + c + " at " + std::to_string(pos_));
        ++pos_;
    }
    void Blanks()
    {
        while (pos_ < t_.size() && (t_[pos_] == ' ' || t_[pos_] == '\n' || t_[pos_] == '\r' || t_[pos_] == '\t'))
            ++pos_;
    }
    bool Word(const char* word)
    {
        const std::string w(word);
        if (t_.compare(pos_, w.size(), w) != 0)
            return false;
        pos_ += w.size();
        return true;
    }
    JsonValue Value()
    {
        Blanks();
        const char c = Peek();
        if (c == '{')
            return Object();
        if (c == '[')
            return Array();
        if (c == '"')
            return JsonValue{String()};
        if (Word("null"))
            return JsonValue{nullptr};
        if (Word("true"))
            return JsonValue{true};
        if (Word("false"))
            return JsonValue{false};
        const std::size_t start = pos_;
        while (pos_ < t_.size() && std::string("-0123456789.eE+").find(t_[pos_]) != std::string::npos)
            ++pos_;
        if (start == pos_)
            throw std::runtime_error("bad value at " + std::to_string(pos_));
        return JsonValue{std::stod(t_.substr(start, pos_ - start))};
    }
    JsonValue Object()
    {
        auto object = std::make_shared<JsonObject>();
        Expect('{');
        Blanks();
        if (Peek() == '}') {
            ++pos_;
            return JsonValue{object};
        }
        for (;;) {
            Blanks();
            std::string key = String();
            Blanks();
            Expect(':');
            if (!object->emplace(key, Value()).second)
                throw std::runtime_error("member twice: " + key);
            Blanks();
            if (Peek() == '}') {
                ++pos_;
                return JsonValue{object};
            }
            Expect(',');
        }
    }
    JsonValue Array()
    {
        auto array = std::make_shared<JsonArray>();
        Expect('[');
        Blanks();
        if (Peek() == ']') {
            ++pos_;
            return JsonValue{array};
        }
        for (;;) {
            array->push_back(Value());
            Blanks();
            if (Peek() == ']') {
                ++pos_;
                return JsonValue{array};
            }
            Expect(',');
        }
    }
    std::string String()
    {
        Expect('"');
        std::string out;
        for (;;) {
            const auto c = static_cast<unsigned char>(Peek());
            ++pos_;
            if (c == '"')
                return out;
            if (c < 0x20)
                throw std::runtime_error("raw control character in a string");
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            const char e = Peek();
            ++pos_;
            switch (e) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                if (pos_ + 4 > t_.size())
                    throw std::runtime_error("short \\u escape");
                const unsigned code = static_cast<unsigned>(std::stoul(t_.substr(pos_, 4), nullptr, 16));
                pos_ += 4;
                if (code < 0x80) {
                    out += static_cast<char>(code);
                } else if (code < 0x800) {
                    out += static_cast<char>(0xC0 | (code >> 6));
                    out += static_cast<char>(0x80 | (code & 0x3F));
                } else {
                    out += static_cast<char>(0xE0 | (code >> 12));
                    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
                    out += static_cast<char>(0x80 | (code & 0x3F));
                }
                break;
            }
            default:
                throw std::runtime_error("bad escape");
            }
        }
    }

    const std::string& t_;
    std::size_t pos_{0};
};

// A clock the test moves by hand.
struct ManualClock {
    TDateTime now = EncodeDateTime(2026, 12, 10, 2, 0, 0);
    void Advance(std::int64_t ms) { now += static_cast<double>(ms) / MillisecondsPerDay; }
};

std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    return names;
}

TEST(RunReportTest, SuccessfulRunReadsBackFieldByField)
{
    ManualClock clock;
    ScopedClock scoped([&clock] { return clock.now; });

    TRunReport report;
    report.SetDatabase("127.0.0.1:/srv/base/BD.FDB");
    report.Start();
    const std::size_t backup = report.BeginStep("backup");
    clock.Advance(1500);
    report.EndStep(backup, StepOutcome::Ok);
    const std::size_t restore = report.BeginStep("restore");
    clock.Advance(2250);
    report.EndStep(restore, StepOutcome::Ok);
    report.AddStep("batch après restore", StepOutcome::Skipped);
    report.SetBefore({1048576, 4096, 2048, 20000, true, true});
    report.SetAfter({917504, 8192, 4096, 20000, true, false});
    clock.Advance(250);
    report.Finish(0);

    const JsonValue json = JsonReader::Parse(report.ToJson());
    EXPECT_EQ(json.MemberCount(), 9u);
    EXPECT_EQ(json["interrupted"].Bool(), false);
    EXPECT_EQ(json["database"].String(), "127.0.0.1:/srv/base/BD.FDB");
    EXPECT_EQ(json["started"].String(), "2026-12-10T02:00:00.000");
    EXPECT_EQ(json["finished"].String(), "2026-12-10T02:00:04.000");
    EXPECT_EQ(json["durationMs"].Number(), 4000);
    EXPECT_EQ(json["exitStatus"].Number(), 0);

    const JsonArray& steps = json["steps"].Array();
    ASSERT_EQ(steps.size(), 3u);
    const struct {
        const char* name;
        const char* outcome;
        double ms;
    } expected[] = {{"backup", "ok", 1500}, {"restore", "ok", 2250}, {"batch après restore", "skipped", 0}};
    for (std::size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(steps[i]["name"].String(), expected[i].name);
        EXPECT_EQ(steps[i]["outcome"].String(), expected[i].outcome);
        EXPECT_EQ(steps[i]["durationMs"].Number(), expected[i].ms);
        EXPECT_EQ(steps[i]["detail"].String(), "");
    }

    EXPECT_EQ(json["before"]["sizeBytes"].Number(), 1048576);
    EXPECT_EQ(json["before"]["pageSize"].Number(), 4096);
    EXPECT_EQ(json["before"]["pageBuffers"].Number(), 2048);
    EXPECT_EQ(json["before"]["sweepInterval"].Number(), 20000);
    EXPECT_TRUE(json["before"]["reserve"].Bool());
    EXPECT_EQ(json["before"]["writeMode"].String(), "sync");
    EXPECT_EQ(json["after"]["sizeBytes"].Number(), 917504);
    EXPECT_EQ(json["after"]["pageSize"].Number(), 8192);
    EXPECT_EQ(json["after"]["pageBuffers"].Number(), 4096);
    EXPECT_EQ(json["after"]["writeMode"].String(), "async");

    EXPECT_EQ(report.SummaryLine(),
              "Rapport du cycle : code de sortie 0, durée 4.0 s ; étapes : backup ok, restore ok, "
              "batch après restore non fait ; taille de la base : 1048576 => 917504 octets");
}

TEST(RunReportTest, FailedAndInterruptedRunsKeepWhatIsNotKnownAsNull)
{
    ManualClock clock;
    ScopedClock scoped([&clock] { return clock.now; });

    TRunReport report;
    report.SetDatabase("/srv/base/BD.FDB");
    report.Start();
    report.AddStep("backup", StepOutcome::Ok, 800);
    const std::size_t restore = report.BeginStep("restore");
    clock.Advance(300);
    report.EndStep(restore, StepOutcome::Failed, "Erreur Restore: disque plein");
    report.BeginStep("batch après restore"); // never ended: the cycle stopped inside it
    report.SetBefore({1048576, 4096, 2048, 20000, false, true});

    // Before Finish the run has no end and no status: a reader must not take it for a success.
    {
        const JsonValue json = JsonReader::Parse(report.ToJson());
        EXPECT_TRUE(json["finished"].IsNull());
        EXPECT_TRUE(json["durationMs"].IsNull());
        EXPECT_TRUE(json["exitStatus"].IsNull());
        EXPECT_EQ(report.SummaryLine().rfind("Rapport du cycle : non terminé ; ", 0), 0u) << report.SummaryLine();
    }

    report.Finish(2);
    const JsonValue json = JsonReader::Parse(report.ToJson());
    EXPECT_EQ(json["exitStatus"].Number(), 2);
    EXPECT_EQ(json["durationMs"].Number(), 300);
    const JsonArray& steps = json["steps"].Array();
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[0]["outcome"].String(), "ok");
    EXPECT_EQ(steps[0]["durationMs"].Number(), 800);
    EXPECT_EQ(steps[1]["outcome"].String(), "failed");
    EXPECT_EQ(steps[1]["durationMs"].Number(), 300);
    EXPECT_EQ(steps[1]["detail"].String(), "Erreur Restore: disque plein");
    EXPECT_EQ(steps[2]["outcome"].String(), "interrupted");
    EXPECT_FALSE(json["before"]["reserve"].Bool());
    for (const char* key : {"sizeBytes", "pageSize", "pageBuffers", "sweepInterval", "reserve", "writeMode"}) {
        SCOPED_TRACE(key);
        EXPECT_TRUE(json["after"][key].IsNull());
    }
    EXPECT_EQ(report.SummaryLine(),
              "Rapport du cycle : code de sortie 2, durée 0.3 s ; étapes : backup ok, restore échec, "
              "batch après restore interrompu ; taille de la base : 1048576 => ? octets");
}

TEST(RunReportTest, StepTimesSurviveAClockSetBackAndAWrongIndex)
{
    ManualClock clock;
    ScopedClock scoped([&clock] { return clock.now; });
    TRunReport report;
    report.Start();
    const std::size_t step = report.BeginStep("backup");
    clock.Advance(-60000);
    report.EndStep(step, StepOutcome::Ok);
    report.EndStep(step + 5, StepOutcome::Failed); // names no step: ignored
    report.AddStep("restore", StepOutcome::Ok, -3);
    report.Finish(0);

    ASSERT_EQ(report.Steps().size(), 2u);
    EXPECT_EQ(report.Steps()[0].durationMs, 0);
    EXPECT_EQ(report.Steps()[0].outcome, StepOutcome::Ok);
    EXPECT_EQ(report.Steps()[1].durationMs, 0);
    EXPECT_EQ(JsonReader::Parse(report.ToJson())["durationMs"].Number(), 0);
}

TEST(RunReportTest, HostileStringsAreEscapedAndReadBackUnchanged)
{
    const struct {
        std::string text;
        std::string quoted;
    } cases[] = {
        {"", "\"\""},
        {"C:\\CalvenorBD\\BD.FDB", "\"C:\\\\CalvenorBD\\\\BD.FDB\""},
        {"a\"b", "\"a\\\"b\""},
        {"l1\nl2\r\tx", "\"l1\\nl2\\r\\tx\""},
        {std::string("\0\x01\x1f\x7f\b\f", 6), "\"\\u0000\\u0001\\u001f\\u007f\\b\\f\""},
        {"Le restore a échoué: base réparée — ✓ 🙂", "\"Le restore a échoué: base réparée — ✓ 🙂\""},
        {"\"}, \"exitStatus\": 0, \"x\": \"", "\"\\\"}, \\\"exitStatus\\\": 0, \\\"x\\\": \\\"\""},
        {"sep\xE2\x80\xA8par\xE2\x80\xA9", "\"sep\\u2028par\\u2029\""},
        {"</script>", "\"</script>\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.quoted);
        EXPECT_EQ(JsonQuote(c.text), c.quoted);
        EXPECT_EQ(JsonReader::Parse(JsonQuote(c.text)).String(), c.text);
    }

    // Bytes that are not UTF-8 (a Windows-1252 name, a cut sequence, an overlong
    // slash, a surrogate, a code point past U+10FFFF) become U+FFFD: the file stays readable.
    const std::string replacement = "\xEF\xBF\xBD";
    const struct {
        std::string text;
        std::string quoted;
    } invalid[] = {
        {"caf\xE9", "\"caf" + replacement + "\""},
        {"x\xC3", "\"x" + replacement + "\""},
        {"\xC0\xAF", "\"" + replacement + replacement + "\""},
        {"\xED\xA0\x80", "\"" + replacement + replacement + replacement + "\""},
        {"\xF4\x90\x80\x80", "\"" + replacement + replacement + replacement + replacement + "\""},
    };
    for (const auto& c : invalid) {
        SCOPED_TRACE(c.quoted);
        EXPECT_EQ(JsonQuote(c.text), c.quoted);
    }

    // A hostile name in every string of a report still gives one valid document.
    TRunReport report;
    report.SetDatabase("\"}\n\\");
    report.AddStep("\"]}", StepOutcome::Failed, 1, "\x01\xFF");
    report.Finish(1, 0);
    const JsonValue json = JsonReader::Parse(report.ToJson());
    EXPECT_EQ(json["database"].String(), "\"}\n\\");
    EXPECT_EQ(json["steps"].Array()[0]["name"].String(), "\"]}");
    EXPECT_EQ(json["steps"].Array()[0]["detail"].String(), "\x01" + replacement);
}

TEST(RunReportTest, HeaderSettingsComeFromTheReportLines)
{
    // A header report as the Firebird 3.0 server sends it, tabs kept.
    const std::vector<std::string> report = {
        "Database \"/srv/Data/Site/BD.FDB\"", "Database header page information:", "\tPage size\t\t8192",
        "\tPage buffers\t\t4000", "\tAttributes\t\tforce write, no reserve", "\tSweep interval:\t\t5000",
    };
    const RunReportDatabase db = ReadHeaderSettings(report, 123456);
    EXPECT_EQ(db.sizeBytes, 123456);
    EXPECT_EQ(db.pageSize, 8192);
    EXPECT_EQ(db.pageBuffers, 4000);
    EXPECT_EQ(db.sweepInterval, 5000);
    EXPECT_EQ(db.reserve, false);
    EXPECT_EQ(db.forcedWrites, true);

    const RunReportDatabase other = ReadHeaderSettings({"\tAttributes\t\t", "\tPage buffers\t\tbeaucoup",
                                                        "\tPage size\t\t?"});
    EXPECT_EQ(other.reserve, true);
    EXPECT_EQ(other.forcedWrites, false);
    // Unreadable numbers and missing lines stay unknown instead of stopping the cycle.
    EXPECT_FALSE(other.pageBuffers);
    EXPECT_FALSE(other.pageSize);
    EXPECT_FALSE(other.sweepInterval);
    EXPECT_FALSE(other.sizeBytes);
}

// The header's values win; an attachment fills in what the header did not give,
// but never the page buffers, where it reports its own cache.
TEST(RunReportTest, HeaderValuesComeFirstAndOnlyTheHeaderGivesPageBuffers)
{
    RunReportDatabase attached;
    attached.sizeBytes = 1000;
    attached.pageSize = 4096;
    attached.pageBuffers = 2048;
    attached.sweepInterval = 20000;
    attached.reserve = true;
    attached.forcedWrites = true;

    const RunReportDatabase header = ReadHeaderSettings(
        {"\tPage size\t\t8192", "\tPage buffers\t\t0", "\tAttributes\t\tno reserve", "\tSweep interval:\t\t0"});
    const RunReportDatabase merged = PreferHeaderValues(header, attached);
    EXPECT_EQ(merged.sizeBytes, 1000);
    EXPECT_EQ(merged.pageSize, 8192);
    EXPECT_EQ(merged.pageBuffers, 0);
    EXPECT_EQ(merged.sweepInterval, 0);
    EXPECT_EQ(merged.reserve, false);
    EXPECT_EQ(merged.forcedWrites, false);

    // No header at all (the file is missing, the server refuses): null page buffers.
    const RunReportDatabase unread = PreferHeaderValues({}, attached);
    EXPECT_EQ(unread.pageBuffers, std::nullopt);
    EXPECT_EQ(unread.pageSize, 4096);
    EXPECT_EQ(unread.sweepInterval, 20000);
    EXPECT_EQ(unread.reserve, true);
    EXPECT_EQ(unread.forcedWrites, true);
    TRunReport report;
    report.SetAfter(PreferHeaderValues({}, {}));
    EXPECT_NE(report.ToJson().find("\"pageBuffers\": null"), std::string::npos) << report.ToJson();
}

TEST(RunReportTest, WriteFileReplacesTheReportAtomicallyAndLeavesNoTemporaryFile)
{
    test::TemporaryFolder folder;
    const std::string path = folder.File(RunReportFileName);

    TRunReport first;
    first.Finish(1, 0);
    first.WriteFile(path);
    EXPECT_EQ(test::ReadFileText(path), first.ToJson());

    TRunReport second;
    second.SetDatabase("/srv/base/BD.FDB");
    second.Finish(0, 0);
    second.WriteFile(path);
    EXPECT_EQ(test::ReadFileText(path), second.ToJson());
    EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{RunReportFileName});
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);

    // Beside the program, wherever it was started from.
    {
        testing::CommandLineGuard commandLine({folder.File("morvane"), "AUTO"});
        EXPECT_EQ(RunReportPath(), path);
        first.WriteBesideProgram();
        EXPECT_EQ(test::ReadFileText(path), first.ToJson());
        second.WriteBesideProgram();
    }

    // The rename cannot replace a folder: the error names it, and no temporary file stays.
    const std::string blocked = folder.File("blocked");
    ASSERT_EQ(::mkdir(blocked.c_str(), 0755), 0);
    EXPECT_THROW(platform::WriteFileDurably(blocked, "{}"), EOSError);
    EXPECT_EQ(FolderEntries(folder.Path()).size(), 2u);

    // A folder that does not exist: nothing can be written.
    try {
        second.WriteFile(folder.File("missing/" + std::string(RunReportFileName)));
        ADD_FAILURE() << "no error";
    } catch (const EOSError& error) {
        EXPECT_NE(error.Message().find("missing"), std::string::npos) << error.Message();
    }
    EXPECT_EQ(test::ReadFileText(path), second.ToJson());
}

} // namespace
} // namespace morvane
