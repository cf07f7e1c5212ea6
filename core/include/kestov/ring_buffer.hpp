#pragma once
// A fixed-capacity FIFO over trivially copyable values. All room is reserved
// when it is made; pushing, popping and indexing never allocate.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>
#include <type_traits>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"

namespace kestov {

// Uninitialised room for `count` trivially copyable values, reserved up
// front by every buffer of the core.
template <class T>
Expected<std::unique_ptr<T[]>, RoomError> reserve_slots(std::uint64_t count) noexcept {
    static_assert(std::is_trivially_copyable_v<T>, "slots are raw storage");
    // An array new of more than PTRDIFF_MAX bytes throws even in its nothrow
    // form, which would end the process from this noexcept path.
    if (count > static_cast<std::uint64_t>(std::numeric_limits<std::ptrdiff_t>::max()) / sizeof(T))
        return RoomError::OutOfMemory;
    T* slots = new (std::nothrow) T[static_cast<std::size_t>(count)];
    if (slots == nullptr) return RoomError::OutOfMemory;
    return std::unique_ptr<T[]>(slots);
}

template <class T>
class RingBuffer {
public:
    // Room for `capacity` values (at least one slot is always reserved).
    static Expected<RingBuffer, RoomError> with_capacity(std::uint64_t capacity) noexcept {
        if (capacity == 0) capacity = 1;
        auto slots = reserve_slots<T>(capacity);
        if (!slots) return slots.error();
        return RingBuffer(std::move(slots).value(), static_cast<std::size_t>(capacity));
    }

    RingBuffer(RingBuffer&&) noexcept = default;
    RingBuffer& operator=(RingBuffer&&) noexcept = default;

    std::size_t size() const noexcept { return size_; }
    std::size_t capacity() const noexcept { return capacity_; }
    bool empty() const noexcept { return size_ == 0; }
    bool full() const noexcept { return size_ == capacity_; }

    // Oldest first: [0] is the front, [size() - 1] the back.
    const T& operator[](std::size_t i) const noexcept { return slots_[wrap(head_ + i)]; }
    const T& front() const noexcept { return slots_[head_]; }
    const T& back() const noexcept { return (*this)[size_ - 1]; }

    // Requires !full().
    void push_back(T value) noexcept {
        slots_[wrap(head_ + size_)] = value;
        ++size_;
    }

    // Requires !empty().
    T pop_front() noexcept {
        T value = slots_[head_];
        head_ = wrap(head_ + 1);
        --size_;
        return value;
    }

    // Requires full(): the oldest value leaves and `value` enters as the
    // newest, in the slot the oldest held (what pop_front then push_back
    // would do). Returns the value that left.
    T replace_oldest(T value) noexcept {
        T old = slots_[head_];
        slots_[head_] = value;
        head_ = wrap(head_ + 1);
        return old;
    }

    // Requires !empty().
    T pop_back() noexcept {
        --size_;
        return slots_[wrap(head_ + size_)];
    }

    void clear() noexcept {
        head_ = 0;
        size_ = 0;
    }

    // Saved as a count and the values oldest first (state.hpp); where the
    // ring turns is not part of the state.
    template <class W>
    void save(W& w) const noexcept {
        w(static_cast<std::uint64_t>(size_));
        for (std::size_t i = 0; i < size_; ++i) w((*this)[i]);
    }
    template <class R>
    void load(R& r) noexcept {
        std::uint64_t count = 0;
        r(count);
        if (count > capacity_) return r.fail("a window holds more values than its length");
        clear();
        for (std::uint64_t i = 0; i < count && r; ++i) {
            T value{};
            r(value);
            push_back(value);
        }
    }

private:
    RingBuffer(std::unique_ptr<T[]> slots, std::size_t capacity) noexcept
        : slots_(std::move(slots)), capacity_(capacity) {}

    // i < 2 * capacity always holds, so one conditional subtraction wraps it.
    std::size_t wrap(std::size_t i) const noexcept { return i >= capacity_ ? i - capacity_ : i; }

    std::unique_ptr<T[]> slots_;
    std::size_t capacity_ = 0;
    std::size_t head_ = 0;
    std::size_t size_ = 0;
};

// The last `length` values in adjacent slots, oldest first, for windows that
// are summed afresh on every step: each value is stored twice, `length`
// slots apart, so the window never wraps and the sum is a loop of a fixed
// count, with no split where the ring turns.
template <class T>
class MirroredWindow {
public:
    static Expected<MirroredWindow, RoomError> with_length(std::uint64_t length) noexcept {
        if (length == 0) length = 1;
        if (length > std::numeric_limits<std::uint64_t>::max() / 2) return RoomError::OutOfMemory;
        auto slots = reserve_slots<T>(2 * length);
        if (!slots) return slots.error();
        return MirroredWindow(std::move(slots).value(), static_cast<std::size_t>(length));
    }

    MirroredWindow(MirroredWindow&&) noexcept = default;
    MirroredWindow& operator=(MirroredWindow&&) noexcept = default;

    std::size_t size() const noexcept { return size_; }
    bool full() const noexcept { return size_ == length_; }

    // The window's values, oldest first: size() of them.
    const T* data() const noexcept { return slots_.get() + (next_ + length_ - size_); }
    // Requires full(): the value the next push() removes.
    const T& oldest() const noexcept { return slots_[next_]; }

    // Once full(), the oldest value leaves.
    void push(T value) noexcept {
        slots_[next_] = value;
        slots_[next_ + length_] = value;
        next_ = next_ + 1 == length_ ? 0 : next_ + 1;
        size_ += size_ != length_;
    }

    void clear() noexcept {
        next_ = 0;
        size_ = 0;
    }

    // As RingBuffer's: a count, then the values oldest first.
    template <class W>
    void save(W& w) const noexcept {
        w(static_cast<std::uint64_t>(size_));
        for (std::size_t i = 0; i < size_; ++i) w(data()[i]);
    }
    template <class R>
    void load(R& r) noexcept {
        std::uint64_t count = 0;
        r(count);
        if (count > length_) return r.fail("a window holds more values than its length");
        clear();
        for (std::uint64_t i = 0; i < count && r; ++i) {
            T value{};
            r(value);
            push(value);
        }
    }

private:
    MirroredWindow(std::unique_ptr<T[]> slots, std::size_t length) noexcept
        : slots_(std::move(slots)), length_(length) {}

    std::unique_ptr<T[]> slots_;
    std::size_t length_;
    std::size_t next_ = 0;  // slot of the next value, and of the oldest once full
    std::size_t size_ = 0;
};

// The windows of several series of a panel side by side, one per lane of a
// pack (panel.hpp), for windows of up to `most` values. The lanes are loaded
// together, each from its series' window laid out oldest first, so they
// share one ring position.
template <class Pack, std::size_t most>
struct LaneWindow {
    Pack slots[most];
    std::size_t length = 0;
    std::size_t oldest = 0;

    static constexpr bool fits(std::uint64_t length) noexcept { return length <= most; }
    // Requires every lane's window to hold the same number of values.
    void load(const RingBuffer<double>& window, std::size_t lane) noexcept {
        length = window.size();
        oldest = 0;
        for (std::size_t k = 0; k < length; ++k) slots[k][lane] = window[k];
    }
    void store(RingBuffer<double>& window, std::size_t lane) const noexcept {
        window.clear();
        for (std::size_t k = 0, i = oldest; k < length; ++k, i = i + 1 == length ? 0 : i + 1)
            window.push_back(slots[i][lane]);
    }
    const Pack& front() const noexcept { return slots[oldest]; }
    const Pack& back() const noexcept { return slots[oldest == 0 ? length - 1 : oldest - 1]; }
    Pack replace_oldest(Pack value) noexcept {
        const Pack old = slots[oldest];
        slots[oldest] = value;
        oldest = oldest + 1 == length ? 0 : oldest + 1;
        return old;
    }
};

// MirroredWindow's lanes, as LaneWindow's: full windows only.
template <class Pack, std::size_t most>
struct LaneMirror {
    Pack slots[2 * most];
    std::size_t length = 0;
    std::size_t next = 0;

    static constexpr bool fits(std::uint64_t length) noexcept { return length <= most; }
    void load(const MirroredWindow<double>& window, std::size_t lane) noexcept {
        length = window.size();
        next = 0;
        for (std::size_t k = 0; k < length; ++k) slots[k][lane] = slots[k + length][lane] = window.data()[k];
    }
    void store(MirroredWindow<double>& window, std::size_t lane) const noexcept {
        window.clear();
        for (std::size_t k = 0; k < length; ++k) window.push(data()[k][lane]);
    }
    const Pack* data() const noexcept { return slots + next; }
    void push(Pack value) noexcept {
        slots[next] = slots[next + length] = value;
        next = next + 1 == length ? 0 : next + 1;
    }
};

// n + 1 slots, refused when that count does not fit.
constexpr Expected<std::uint64_t, RoomError> plus_one(std::uint64_t n) noexcept {
    if (n == std::numeric_limits<std::uint64_t>::max()) return RoomError::CountOverflow;
    return n + 1;
}

}  // namespace kestov
