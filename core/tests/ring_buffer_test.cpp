#include <cstdint>
#include <limits>

#include "check.hpp"
#include "kestov/ring_buffer.hpp"

using kestov::RingBuffer;
using kestov::RoomError;

TEST(ring_buffer_keeps_fifo_order_across_wraps) {
    auto made = RingBuffer<int>::with_capacity(3);
    CHECK(made.has_value());
    auto ring = std::move(made).value();
    int next_in = 0;
    int next_out = 0;
    // Many passes over the wrap point, at every fill level.
    for (int round = 0; round < 20; ++round) {
        while (!ring.full()) ring.push_back(next_in++);
        CHECK_EQ(ring.size(), 3u);
        for (std::size_t i = 0; i < ring.size(); ++i) CHECK_EQ(ring[i], next_out + static_cast<int>(i));
        CHECK_EQ(ring.back(), next_in - 1);
        for (int k = 0; k <= round % 3; ++k) CHECK_EQ(ring.pop_front(), next_out++);
        if (!ring.empty()) CHECK_EQ(ring.front(), next_out);
    }
    ring.clear();
    CHECK(ring.empty());
    CHECK_EQ(ring.capacity(), 3u);
    ring.push_back(42);
    CHECK_EQ(ring.front(), 42);
    CHECK_EQ(ring.pop_back(), 42);
}

TEST(ring_buffer_of_one_slot) {
    auto ring = RingBuffer<double>::with_capacity(1).value();
    for (int i = 0; i < 5; ++i) {
        ring.push_back(i);
        CHECK(ring.full());
        CHECK_EQ(ring[0], i);
        CHECK_EQ(ring.pop_front(), i);
    }
}

TEST(impossible_room_is_refused_not_thrown) {
    auto huge = RingBuffer<double>::with_capacity(std::numeric_limits<std::uint64_t>::max());
    CHECK(!huge.has_value());
    if (!huge) CHECK(huge.error() == RoomError::OutOfMemory);
    // Sizes whose byte count fits in size_t but not in ptrdiff_t as well.
    for (int shift : {60, 61, 62}) CHECK(!RingBuffer<double>::with_capacity(std::uint64_t{1} << shift).has_value());
    auto wrapped = kestov::plus_one(std::numeric_limits<std::uint64_t>::max());
    CHECK(!wrapped.has_value());
    if (!wrapped) CHECK(wrapped.error() == RoomError::CountOverflow);
    CHECK_EQ(kestov::plus_one(41).value(), 42u);
}
