#pragma once
// A shared library loaded at run time, unloaded when the object goes.

#include <string>

namespace morvane::platform {

class DynamicLibrary {
public:
    DynamicLibrary() = default;
    ~DynamicLibrary();
    DynamicLibrary(DynamicLibrary&& other) noexcept;
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // Loads the file by name (the loader's own search rules apply); false on failure,
    // with the loader's text in LastError().
    bool Load(const std::string& fileName);
    bool Loaded() const noexcept { return handle_ != nullptr; }

    // The address of an exported symbol, or nullptr with the loader's text in LastError().
    void* Symbol(const std::string& name);

    const std::string& LastError() const noexcept { return lastError_; }

private:
    void Unload() noexcept;

    void* handle_ = nullptr;
    std::string lastError_;
};

} // namespace morvane::platform
