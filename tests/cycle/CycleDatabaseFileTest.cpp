// Which file the cycle works on for a DB File text: what the server says, links
// followed on this machine, and an alias's last answer when the server can no longer
// tell (its file away from its path after a crash).

#include "cycle/CycleDatabaseFile.h"
#include "cycle/CycleState.h"
#include "core/Exception.h"

#include "support/FileText.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

namespace morvane::test {
namespace {

namespace fs = std::filesystem;

class CycleDatabaseFile : public ::testing::Test {
protected:
    CycleDatabaseFile()
    {
        fs::create_directory(folder_.File("reel"));
        fs::create_directory(folder_.File("liens"));
        WriteFileText(Real(), "base");
    }
    ~CycleDatabaseFile() override
    {
        for (const std::string& text : remembered_)
            fs::remove(RememberedDatabaseFilePath(text));
    }

    std::string Real() const { return folder_.File("reel/BD.FDB"); }
    std::string Link(const std::string& name) const { return folder_.File("liens/" + name); }

    // The server answers with file, or cannot tell when there is none.
    static DatabaseFileQuestion Server(std::optional<std::string> file)
    {
        return [file](const std::string&) -> std::string {
            if (!file)
                throw Exception("I/O error during \"open\" operation");
            return *file;
        };
    }
    // The texts whose answer a test may leave remembered.
    DatabaseFile Resolve(const std::string& text, const DatabaseFileQuestion& server)
    {
        remembered_.push_back(text);
        return ResolveDatabaseFile(text, server);
    }

    TemporaryFolder folder_;
    std::vector<std::string> remembered_;
};

TEST_F(CycleDatabaseFile, TheFileIsTheOneTheServerOpensOrTheOneTheLinksLeadTo)
{
    fs::create_symlink(Real(), Link("BD.FDB"));
    fs::create_symlink("../reel", Link("dossier"));
    fs::create_symlink("BD.FDB", Link("chaine.FDB"));
    fs::create_symlink(folder_.File("reel/AILLEURS.FDB"), Link("pendant.FDB"));
    const struct {
        const char* name;
        std::string text;
        std::optional<std::string> server; // what it answers; nothing: it cannot tell
        std::string real;
        DatabaseFileSource source;
    } cases[] = {
        {"the file itself", "127.0.0.1:" + Real(), Real(), Real(), DatabaseFileSource::Server},
        {"a link, as the server resolves it", "127.0.0.1:" + Link("BD.FDB"), Real(), Real(),
         DatabaseFileSource::Server},
        // The server names the file as it was opened; its links are followed here too.
        {"a server that names the link", "inet://127.0.0.1/" + Link("BD.FDB"), Link("BD.FDB"), Real(),
         DatabaseFileSource::Server},
        // Moved away by a cycle that was killed: the server finds nothing, the links say.
        {"a link to a link, the file away", "127.0.0.1:" + Link("chaine.FDB"), std::nullopt, Real(),
         DatabaseFileSource::Links},
        {"a folder reached through a link", Link("dossier/BD.FDB"), std::nullopt, Real(), DatabaseFileSource::Links},
        {"a link whose file is not there", "127.0.0.1:" + Link("pendant.FDB"), std::nullopt,
         folder_.File("reel/AILLEURS.FDB"), DatabaseFileSource::Links},
        // A server elsewhere names a file this machine does not have: its own view decides.
        {"a file of another machine", "srv:" + Real(), "/ailleurs/BD.FDB", Real(), DatabaseFileSource::Links},
        {"an alias the server does not know", "127.0.0.1:inconnu", std::nullopt, "inconnu",
         DatabaseFileSource::AsNamed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const DatabaseFile file = Resolve(c.text, Server(c.server));
        EXPECT_EQ(file.real, c.real);
        EXPECT_EQ(file.source, c.source);
    }
}

TEST_F(CycleDatabaseFile, AnAliasIsTheFileTheServerSaidLastWhenItCannotTellAnyMore)
{
    for (const std::string text : {"127.0.0.1:monalias", "inet://127.0.0.1/monalias"}) {
        SCOPED_TRACE(text);
        const DatabaseFile answered = Resolve(text, Server(Real()));
        EXPECT_EQ(answered.named, "monalias");
        EXPECT_EQ(answered.real, Real());
        EXPECT_EQ(answered.source, DatabaseFileSource::Server);

        // The file is at the rename path: the server finds nothing behind the alias.
        const DatabaseFile remembered = Resolve(text, Server(std::nullopt));
        EXPECT_EQ(remembered.real, Real());
        EXPECT_EQ(remembered.source, DatabaseFileSource::Remembered);
    }
    // Another text is another name, even for the same alias.
    EXPECT_EQ(Resolve("localhost:monalias", Server(std::nullopt)).real, "monalias");

    // The alias now leads elsewhere: the new answer replaces the old one.
    const std::string other = folder_.File("reel/AUTRE.FDB");
    WriteFileText(other, "autre");
    EXPECT_EQ(Resolve("127.0.0.1:monalias", Server(other)).real, other);
    EXPECT_EQ(RememberedDatabaseFile("127.0.0.1:monalias"), other);
}

// Only the run's own file, that nobody else may write, decides which file a run moves.
TEST_F(CycleDatabaseFile, AKeptAnswerOthersCouldHaveWrittenIsNotTaken)
{
    const std::string text = "127.0.0.1:monalias";
    Resolve(text, Server(Real()));
    const std::string kept = RememberedDatabaseFilePath(text);
    ASSERT_EQ(RememberedDatabaseFile(text), Real());
    EXPECT_EQ(fs::status(kept).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);

    fs::permissions(kept, fs::perms::others_write, fs::perm_options::add);
    EXPECT_EQ(RememberedDatabaseFile(text), std::nullopt);
    fs::remove(kept);
    fs::create_symlink(Real(), kept);
    EXPECT_EQ(RememberedDatabaseFile(text), std::nullopt);
    EXPECT_EQ(Resolve(text, Server(std::nullopt)).source, DatabaseFileSource::AsNamed);
    fs::remove(kept);
    WriteFileText(kept, "relatif/BD.FDB\n");
    EXPECT_EQ(RememberedDatabaseFile(text), std::nullopt);
}

TEST_F(CycleDatabaseFile, TheHeaderReportNamesTheFile)
{
    EXPECT_EQ(HeaderDatabaseFile({"", "Database \"/srv/reel/BD.FDB\"", "Gstat execution time"}), "/srv/reel/BD.FDB");
    EXPECT_EQ(HeaderDatabaseFile({"Database header page information:", "\tPage size\t\t8192"}), "");
}

} // namespace
} // namespace morvane::test
