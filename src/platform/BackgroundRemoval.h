#pragma once
// A file removed on a thread of its own: the file system takes a while to free the
// blocks of a large file, and the caller goes on meanwhile. The removal has ended
// once Wait has returned or the object is gone.

#include <string>
#include <thread>

namespace morvane::platform {

class BackgroundRemoval {
public:
    explicit BackgroundRemoval(std::string path);
    ~BackgroundRemoval();
    BackgroundRemoval(const BackgroundRemoval&) = delete;
    BackgroundRemoval& operator=(const BackgroundRemoval&) = delete;

    // Waits for the removal: false when a file is still at the path.
    bool Wait();

private:
    std::string path_;
    bool removed_{false};
    std::thread thread_;
};

} // namespace morvane::platform
