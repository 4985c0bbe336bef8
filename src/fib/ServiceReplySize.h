#pragma once
// How many bytes to ask for in the next bulk read of a request's output. The server
// answers once that many are ready, or at the read's timeout: a large reply saves
// round trips while the output pours (the metadata of thousands of tables), a small
// one brings the lines as they come while it trickles (a count every 10,000 rows of
// a large table, an index build), so that the progress follows the request closely.

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace morvane::fib {

class TServiceReplySize {
public:
    static constexpr std::int32_t Smallest = 256;
    static constexpr std::int32_t Largest = 65535; // the largest reply the client takes

    std::int32_t Next() const noexcept { return size_; }
    // The last reply held `bytes` of output and came `waited` after it was asked for.
    void Took(std::size_t bytes, std::chrono::duration<double> waited) noexcept;

private:
    std::int32_t size_{Smallest};
};

} // namespace morvane::fib
