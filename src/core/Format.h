#pragma once
// printf-style formatting into a std::string; std::string arguments are passed
// as their C strings, so the system's "%s"/"%d" message texts are used as written.

#include <cstdio>
#include <string>
#include <type_traits>

namespace morvane {

namespace detail {
template <typename T>
decltype(auto) FormatArgument(const T& value)
{
    if constexpr (std::is_same_v<T, std::string>)
        return value.c_str();
    else
        return value;
}
} // namespace detail

template <typename... Args>
std::string FormatText(const char* format, const Args&... args)
{
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
    const int size = std::snprintf(nullptr, 0, format, detail::FormatArgument(args)...);
    if (size <= 0)
        return {};
    std::string text(static_cast<std::size_t>(size), '\0');
    std::snprintf(text.data(), text.size() + 1, format, detail::FormatArgument(args)...);
#pragma GCC diagnostic pop
    return text;
}

} // namespace morvane
