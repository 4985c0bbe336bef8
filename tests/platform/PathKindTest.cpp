#include "platform/BackgroundRemoval.h"
#include "platform/DurableFile.h"

#include "support/FileText.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace morvane::platform {
namespace {

TEST(PathKind, LinksAndPermissionsAsTheCallersSeeThem)
{
    test::TemporaryFolder folder;
    namespace fs = std::filesystem;
    test::WriteFileText(folder.File("tool.sh"), "#!/bin/sh\n");
    fs::permissions(folder.File("tool.sh"), fs::perms::owner_all);
    test::WriteFileText(folder.File("notes.txt"), "text\n");
    fs::permissions(folder.File("notes.txt"), fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink(folder.File("gone"), folder.File("dangling"));
    fs::create_symlink(folder.File("tool.sh"), folder.File("link"));

    const struct {
        std::string path;
        bool exists;
        bool target;
        bool executable;
    } cases[] = {
        {folder.File("tool.sh"), true, true, true},
        {folder.File("notes.txt"), true, true, false},
        {folder.File("link"), true, true, true},
        {folder.File("dangling"), true, false, false}, // the link is there, what it names is not
        {folder.File("missing"), false, false, false},
        {"", false, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PathExists(c.path), c.exists) << c.path;
        EXPECT_EQ(TargetExists(c.path), c.target) << c.path;
        EXPECT_EQ(CanExecute(c.path), c.executable) << c.path;
    }
}

// Removed on its own thread once started, and gone once waited for or when the object
// goes; what cannot be removed says so.
TEST(PathKind, FileRemovedInTheBackgroundIsGoneOnceWaitedFor)
{
    test::TemporaryFolder folder;
    test::WriteFileText(folder.File("Morvane.fbk"), std::string(1 << 20, 'x'));
    std::filesystem::create_directory(folder.File("folder"));
    {
        BackgroundRemoval removal(folder.File("Morvane.fbk"));
        EXPECT_TRUE(PathExists(folder.File("Morvane.fbk"))) << "nothing removed before it is started";
        removal.Start();
        EXPECT_TRUE(removal.Wait());
        EXPECT_FALSE(PathExists(folder.File("Morvane.fbk")));
    }
    test::WriteFileText(folder.File("Morvane.fbk"), "x");
    { BackgroundRemoval notStarted(folder.File("Morvane.fbk")); }
    EXPECT_FALSE(PathExists(folder.File("Morvane.fbk"))) << "removed when it goes, started or not";
    EXPECT_TRUE(BackgroundRemoval(folder.File("missing")).Wait());
    EXPECT_FALSE(BackgroundRemoval(folder.File("folder")).Wait());
}

} // namespace
} // namespace morvane::platform
