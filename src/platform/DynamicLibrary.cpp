#include "platform/DynamicLibrary.h"

#include <dlfcn.h>
#include <utility>

namespace morvane::platform {

DynamicLibrary::~DynamicLibrary() { Unload(); }

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), lastError_(std::move(other.lastError_))
{
}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept
{
    if (this != &other) {
        Unload();
        handle_ = std::exchange(other.handle_, nullptr);
        lastError_ = std::move(other.lastError_);
    }
    return *this;
}

bool DynamicLibrary::Load(const std::string& fileName)
{
    Unload();
    handle_ = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* text = dlerror();
        lastError_ = text != nullptr ? text : "";
        return false;
    }
    return true;
}

void* DynamicLibrary::Symbol(const std::string& name)
{
    if (handle_ == nullptr) {
        lastError_ = "library not loaded";
        return nullptr;
    }
    dlerror();
    void* address = dlsym(handle_, name.c_str());
    if (address == nullptr) {
        const char* text = dlerror();
        lastError_ = text != nullptr ? text : (name + ": undefined symbol");
    }
    return address;
}

void DynamicLibrary::Unload() noexcept
{
    if (handle_ != nullptr) {
        dlclose(handle_);
        handle_ = nullptr;
    }
}

} // namespace morvane::platform
