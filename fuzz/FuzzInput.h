#pragma once
// What every fuzz target shares: the input as bytes, text or lines, and the rule
// that only the documented exceptions of our classes are an expected outcome.
// Anything else (a std:: exception, a crash, a sanitizer report) reaches libFuzzer
// and is a finding.

#include "core/Exception.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace morvane::fuzz {

inline std::span<const std::uint8_t> Bytes(const std::uint8_t* data, std::size_t size)
{
    return {data, size};
}

inline std::string_view Text(const std::uint8_t* data, std::size_t size)
{
    return {reinterpret_cast<const char*>(data), size};
}

// Cuts the text at NUL bytes: a way for one input to carry several fields.
inline std::vector<std::string> Fields(std::string_view text)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t nul = text.find('\0', start);
        fields.emplace_back(text.substr(start, nul == std::string_view::npos ? std::string_view::npos : nul - start));
        if (nul == std::string_view::npos)
            return fields;
        start = nul + 1;
    }
}

// Runs one call; a morvane::Exception is the decoder refusing the input, which is
// what it is documented to do.
template <typename Call>
void ExpectingOurExceptions(Call&& call)
{
    try {
        call();
    } catch (const morvane::Exception&) {
        // refused input: the documented outcome
    }
}

} // namespace morvane::fuzz
