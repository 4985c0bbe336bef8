#include "fib/ServiceReplySize.h"

#include <algorithm>
#include <bit>

namespace morvane::fib {

namespace {

// The reply's own bytes around the output: its item, length and end marks.
constexpr std::size_t ReplyFrame = 8;
// A reply filled this fast: the output pours, ask for more at once.
constexpr std::chrono::duration<double> Quick{0.1};
// A reply this slow: the output trickles, ask for no more than came.
constexpr std::chrono::duration<double> Slow{0.25};

} // namespace

void TServiceReplySize::Took(std::size_t bytes, std::chrono::duration<double> waited) noexcept
{
    const bool full = bytes + ReplyFrame >= static_cast<std::size_t>(size_);
    if (full && waited < Quick) {
        size_ = std::min(Largest, size_ * 2);
    } else if (waited > Slow) {
        const auto came = static_cast<std::int32_t>(std::bit_ceil(std::max<std::size_t>(bytes, 1)));
        size_ = std::clamp(std::min(came, size_ / 2), Smallest, Largest);
    }
}

} // namespace morvane::fib
