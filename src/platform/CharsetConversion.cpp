#include "platform/CharsetConversion.h"

#include <cerrno>
#include <iconv.h>

namespace morvane::platform {

namespace {
class IconvHandle {
public:
    IconvHandle(const std::string& to, const std::string& from) : handle_(::iconv_open(to.c_str(), from.c_str())) {}
    ~IconvHandle()
    {
        if (IsOpen())
            ::iconv_close(handle_);
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;

    bool IsOpen() const noexcept { return handle_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t Get() const noexcept { return handle_; }

private:
    iconv_t handle_;
};
} // namespace

Utf8Conversion ConvertToUtf8(std::string_view text, const std::string& charset)
{
    using Status = Utf8Conversion::Status;
    IconvHandle converter("UTF-8", charset);
    if (!converter.IsOpen())
        return {Status::UnknownCharset, {}, 0};
    std::string out(text.size() * 2 + 16, '\0');
    char* in = const_cast<char*>(text.data()); // iconv's signature; the input is only read
    std::size_t inLeft = text.size();
    std::size_t used = 0;
    while (true) {
        char* next = out.data() + used;
        std::size_t outLeft = out.size() - used;
        // A last call with no input ends the shift state of stateful encodings.
        const std::size_t result =
            inLeft > 0 ? ::iconv(converter.Get(), &in, &inLeft, &next, &outLeft)
                       : ::iconv(converter.Get(), nullptr, nullptr, &next, &outLeft);
        used = static_cast<std::size_t>(next - out.data());
        if (result != static_cast<std::size_t>(-1)) {
            if (inLeft == 0 && in != nullptr) {
                in = nullptr; // input done: flush once more
                continue;
            }
            break;
        }
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        return {Status::InvalidInput, {}, text.size() - inLeft};
    }
    out.resize(used);
    return {Status::Converted, std::move(out), 0};
}

} // namespace morvane::platform
