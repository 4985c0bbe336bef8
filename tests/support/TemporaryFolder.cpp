#include "support/TemporaryFolder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <grp.h>
#include <pwd.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace morvane::test {

namespace {
[[noreturn]] void Fail(const std::string& what)
{
    throw std::runtime_error(what + ": " + std::strerror(errno));
}
} // namespace

TemporaryFolder::TemporaryFolder(bool forServer)
{
    std::string pattern = "/tmp/morvane-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr)
        Fail("mkdtemp");
    path_ = buffer.data();
    if (forServer) {
        const passwd* user = getpwnam("firebird");
        const group* grp = getgrnam("firebird");
        if (user == nullptr || grp == nullptr || chown(path_.c_str(), user->pw_uid, grp->gr_gid) != 0 ||
            chmod(path_.c_str(), 0770) != 0) {
            std::error_code ignored;
            std::filesystem::remove_all(path_, ignored);
            Fail("cannot hand " + path_ + " to the firebird user");
        }
    }
}

TemporaryFolder::~TemporaryFolder()
{
    // Removal failures leave a stray folder in /tmp; nothing a destructor can do better.
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

} // namespace morvane::test
