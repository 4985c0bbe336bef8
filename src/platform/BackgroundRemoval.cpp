#include "platform/BackgroundRemoval.h"

#include "platform/DurableFile.h"

#include <system_error>

namespace morvane::platform {

BackgroundRemoval::BackgroundRemoval(std::string path) : path_(std::move(path)) {}

BackgroundRemoval::~BackgroundRemoval()
{
    Wait();
}

void BackgroundRemoval::Start()
{
    if (started_)
        return;
    started_ = true;
    try {
        thread_ = std::thread([this] { removed_ = RemoveFile(path_); });
    } catch (const std::system_error&) {
        // No thread to be had: removed here and now.
        removed_ = RemoveFile(path_);
    }
}

bool BackgroundRemoval::Wait()
{
    Start();
    if (thread_.joinable())
        thread_.join();
    return removed_;
}

} // namespace morvane::platform
