#include "session/DatabaseLocation.h"

#include <gtest/gtest.h>

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
