#include "session/DatabaseLocation.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace morvane {
namespace {

TEST(DatabaseLocationTest, DBFileTextPieces)
{
    struct Case {
        const char* text;
        const char* server;
        const char* path;
        const char* drive;
        const char* folder;
        const char* renamePath;
        const char* clusterRoot;
    };
    const Case cases[] = {
        {"127.0.0.1:C:\\CalvenorBD\\BD.FDB", "127.0.0.1", "C:\\CalvenorBD\\BD.FDB", "C:\\", "C:\\CalvenorBD\\",
         "C:\\CalvenorBD\\BD.FIB.BKP", "C:\\"},
        {"127.0.0.1:D:\\Gestion\\DATA.GDB", "127.0.0.1", "D:\\Gestion\\DATA.GDB", "D:\\", "D:\\Gestion\\",
         "D:\\Gestion\\DATA.FIB.BKP", "D:\\"},
        {"D:\\Data\\X.FDB", "D", "\\Data\\X.FDB", "\\Da", "\\Data\\", "\\Data\\X.FIB.BKP", "\\Da"},
        {"localhost:/srv/data.d/bd", "localhost", "/srv/data.d/bd", "/sr", "/srv/data.d/", "/srv/data.d/bd.FIB.BKP", "/srv/data.d/bd"},
        {"DB FILE", "", "DB FILE", "DB ", "", "DB FILE.FIB.BKP", "DB "},
        {"", "", "", "", "", ".FIB.BKP", ""},
        {"srv:", "srv", "", "", "", ".FIB.BKP", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const DatabaseLocation location = SplitDatabaseLocation(c.text);
        EXPECT_EQ(location.server, c.server);
        EXPECT_EQ(location.path, c.path);
        EXPECT_EQ(DriveOfDatabase(c.text), c.drive);
        EXPECT_EQ(ExtractFolder(location.path), c.folder);
        EXPECT_EQ(ChangeFileExtension(location.path, ".FIB.BKP"), c.renamePath);
        EXPECT_EQ(ClusterSizeRootOf(c.text), c.clusterRoot);
    }
}

} // namespace
} // namespace morvane

namespace morvane {
namespace {

// Every form the client library takes: where the server ends and the database
// begins, how the service manager is named after the server, what the services are
// given as the database's name, and the same server's other file (the moved
// database, the new one) in the text's own form.
TEST(DatabaseLocationTest, EveryConnectionFormSplitsAndJoinsInItsOwnForm)
{
    struct Case {
        const char* text;
        const char* server;
        const char* path;
        const char* serviceName;
        const char* other; // "/srv/db/BD.FIB.BKP" joined to the text's server
    };
    const Case cases[] = {
        {"127.0.0.1:/srv/db/bd.fdb", "127.0.0.1", "/srv/db/bd.fdb", "127.0.0.1:/srv/db/bd.fdb",
         "127.0.0.1:/srv/db/BD.FIB.BKP"},
        {"localhost/3051:/srv/db/bd.fdb", "localhost/3051", "/srv/db/bd.fdb", "localhost/3051:/srv/db/bd.fdb",
         "localhost/3051:/srv/db/BD.FIB.BKP"},
        {"srv/gds_db:/srv/db/bd.fdb", "srv/gds_db", "/srv/db/bd.fdb", "srv/gds_db:/srv/db/bd.fdb",
         "srv/gds_db:/srv/db/BD.FIB.BKP"},
        {"127.0.0.1:myalias", "127.0.0.1", "myalias", "127.0.0.1:myalias", "127.0.0.1:/srv/db/BD.FIB.BKP"},
        // A Windows drive stays in the path.
        {"127.0.0.1:C:\\CalvenorBD\\BD.FDB", "127.0.0.1", "C:\\CalvenorBD\\BD.FDB", "127.0.0.1:C:\\CalvenorBD\\BD.FDB",
         "127.0.0.1:/srv/db/BD.FIB.BKP"},
        // An IPv6 address in brackets holds colons of its own.
        {"[::1]:/srv/db/bd.fdb", "[::1]", "/srv/db/bd.fdb", "[::1]:/srv/db/bd.fdb", "[::1]:/srv/db/BD.FIB.BKP"},
        {"[fe80::1%eth0]/3050:/srv/db/bd.fdb", "[fe80::1%eth0]/3050", "/srv/db/bd.fdb",
         "[fe80::1%eth0]/3050:/srv/db/bd.fdb", "[fe80::1%eth0]/3050:/srv/db/BD.FIB.BKP"},
        // In a URL the path follows the slash after the server: an absolute path
        // makes two.
        {"inet://127.0.0.1//srv/db/bd.fdb", "127.0.0.1", "/srv/db/bd.fdb", "127.0.0.1:/srv/db/bd.fdb",
         "inet://127.0.0.1//srv/db/BD.FIB.BKP"},
        {"inet://127.0.0.1/srv/db/bd.fdb", "127.0.0.1", "srv/db/bd.fdb", "127.0.0.1:srv/db/bd.fdb",
         "inet://127.0.0.1//srv/db/BD.FIB.BKP"},
        {"inet://127.0.0.1:3051//srv/db/bd.fdb", "127.0.0.1/3051", "/srv/db/bd.fdb", "127.0.0.1/3051:/srv/db/bd.fdb",
         "inet://127.0.0.1:3051//srv/db/BD.FIB.BKP"},
        {"inet4://srv/myalias", "srv", "myalias", "srv:myalias", "inet4://srv//srv/db/BD.FIB.BKP"},
        {"inet6://[::1]:3051/myalias", "[::1]/3051", "myalias", "[::1]/3051:myalias",
         "inet6://[::1]:3051//srv/db/BD.FIB.BKP"},
        {"inet6://[::1]//srv/db/bd.fdb", "[::1]", "/srv/db/bd.fdb", "[::1]:/srv/db/bd.fdb",
         "inet6://[::1]//srv/db/BD.FIB.BKP"},
        {"inet://srv/C:\\CalvenorBD\\BD.FDB", "srv", "C:\\CalvenorBD\\BD.FDB", "srv:C:\\CalvenorBD\\BD.FDB",
         "inet://srv//srv/db/BD.FIB.BKP"},
        // No server in the URL: this machine's, through the network layer.
        {"inet:///srv/db/bd.fdb", "localhost", "srv/db/bd.fdb", "localhost:srv/db/bd.fdb",
         "inet:////srv/db/BD.FIB.BKP"},
        // No server at all: the embedded engine.
        {"/srv/db/bd.fdb", "", "/srv/db/bd.fdb", "/srv/db/bd.fdb", "/srv/db/BD.FIB.BKP"},
        {"myalias", "", "myalias", "myalias", "/srv/db/BD.FIB.BKP"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const DatabaseLocation location = SplitDatabaseLocation(c.text);
        EXPECT_EQ(location.server, c.server);
        EXPECT_EQ(location.path, c.path);
        EXPECT_EQ(JoinDatabaseLocation(location, location.path), c.text);
        EXPECT_EQ(ServiceDatabaseName(location), c.serviceName);
        EXPECT_EQ(JoinDatabaseLocation(location, "/srv/db/BD.FIB.BKP"), c.other);
        EXPECT_EQ(ConnectionFormRefusal(c.text), std::nullopt);
    }
}

// The forms the client library of this machine cannot use are refused by name.
TEST(DatabaseLocationTest, AFormTheClientCannotUseIsNamedInItsRefusal)
{
    const struct {
        const char* text;
        const char* named;
    } cases[] = {
        {"xnet://bd.fdb", "« xnet:// », un protocole du client Firebird de Windows seulement"},
        {"wnet://srv/bd.fdb", "« wnet:// », un protocole du client Firebird de Windows seulement"},
        {"INET://127.0.0.1//srv/db/bd.fdb", "« INET:// », un protocole que le client Firebird ne connaît pas"},
        {"ftp://srv/bd.fdb", "« ftp:// », un protocole que le client Firebird ne connaît pas"},
        {"\\\\srv\\C:\\BD.FDB", "« \\\\serveur\\base », un canal nommé de Windows"},
        {"inet://127.0.0.1", "« inet://serveur » sans base après le serveur"},
        {"inet6://[::1]/", "« inet6://serveur » sans base après le serveur"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const std::optional<std::string> refusal = ConnectionFormRefusal(c.text);
        ASSERT_TRUE(refusal.has_value());
        EXPECT_EQ(*refusal, std::string("la base ") + c.text + " est nommée sous la forme " + c.named +
                                ": formes acceptées serveur:chemin, serveur/port:chemin, inet://serveur[:port]/chemin "
                                "(ou inet4://, inet6://), serveur:alias, ou le chemin seul pour le moteur embarqué de "
                                "cette machine");
    }
}

TEST(DatabaseLocationTest, AMessageNamesTheRealFileWhenTheNameIsAnother)
{
    EXPECT_EQ(DatabaseNameText("/srv/lien/bd.fdb", "/srv/reel/bd.fdb"), "/srv/lien/bd.fdb (fichier réel /srv/reel/bd.fdb)");
    EXPECT_EQ(DatabaseNameText("monalias", "/srv/reel/bd.fdb"), "monalias (fichier réel /srv/reel/bd.fdb)");
    EXPECT_EQ(DatabaseNameText("/srv/reel/bd.fdb", "/srv/reel/bd.fdb"), "/srv/reel/bd.fdb");
}

} // namespace
} // namespace morvane
