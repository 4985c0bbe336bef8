#pragma once
// A file removed by the time the object goes, on a thread of its own once started:
// the file system takes a while to free the blocks of a large file, and the caller
// goes on meanwhile. A removal not started by then is made when the object goes.

#include <string>
#include <thread>

namespace morvane::platform {

class BackgroundRemoval {
public:
    explicit BackgroundRemoval(std::string path);
    ~BackgroundRemoval();
    BackgroundRemoval(const BackgroundRemoval&) = delete;
    BackgroundRemoval& operator=(const BackgroundRemoval&) = delete;

    // Starts the removal on its thread; a second call does nothing.
    void Start();
    // Starts the removal unless started and waits for it: false when a file is still
    // at the path.
    bool Wait();

private:
    std::string path_;
    bool started_{false};
    bool removed_{false};
    std::thread thread_;
};

} // namespace morvane::platform
