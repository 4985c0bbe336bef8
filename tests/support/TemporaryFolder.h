#pragma once
// A folder under /tmp that exists for the life of the object. It can be handed to
// the Firebird server's own user, so the server may create files in it.

#include <string>

namespace morvane::test {

class TemporaryFolder {
public:
    // Creates the folder; with forServer it is owned by the "firebird" user and group.
    explicit TemporaryFolder(bool forServer = false);
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::string& Path() const noexcept { return path_; }
    // The path of a file in the folder.
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

} // namespace morvane::test
