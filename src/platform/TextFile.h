#pragma once
// A text file written in short visits: opened, written and closed each time, so that
// nothing stays open between two lines of a log. Failures come back as the system's
// error number; the caller words them.

#include <cstddef>
#include <string>
#include <string_view>

namespace morvane::platform {

class TextFile {
public:
    TextFile() = default;
    ~TextFile();
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;

    // Neither follows a link at path nor opens anything but a regular file.
    // Opens for appending (creating the file, mode 0666 less the umask, when `create`);
    // returns 0 or the errno.
    int OpenForAppend(const std::string& path, bool create) noexcept;
    // Opens for writing, created empty or emptied; a file of another user is not
    // emptied (EACCES). Returns 0 or the errno.
    int OpenTruncated(const std::string& path) noexcept;
    bool IsOpen() const noexcept { return fd_ >= 0; }

    // Writes all of data, retrying a write that a signal interrupted; 0 or the errno.
    int Write(std::string_view data) noexcept;
    // Closes; 0 or the errno of a late write failure. An interrupted close counts as
    // closed: the descriptor is gone either way on Linux.
    int Close() noexcept;

private:
    int fd_ = -1;
};

// The system call TextFile::Write makes. Tests replace it to make a write fail the way
// a full or failing disk does; nullptr restores ::write.
using TextFileWriteFunction = std::ptrdiff_t (*)(int fd, const void* data, std::size_t size);
void SetTextFileWriteFunction(TextFileWriteFunction function) noexcept;

} // namespace morvane::platform
