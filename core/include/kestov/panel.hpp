#pragma once
// Many independent series of one indicator: a universe of symbols, each with
// its own state, fed one row (one time) at a time.
//
// Every series is a copy of one prototype (its configuration and its state),
// so series s computes exactly what a copy of the prototype fed s's inputs
// would. A row of a series may be a hole (the symbol has no bar then): its
// state does not move and it has no output there.
//
// The series are stepped one after another within a row. Their chains of
// operations do not depend on each other, so the processor overlaps one
// series' division with the next one's instead of waiting on each.

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "kestov/expected.hpp"
#include "kestov/indicator.hpp"
#include "kestov/state.hpp"

namespace kestov {

// A class whose settled state takes every input by one formula may step
// several series of a panel at once, one per lane of a pack (lanes.hpp):
// T::Lanes<Pack> holds those series' settled states, loaded from and stored
// back to their objects, and steps them all by one input row; its
// `settled(t)` says whether t's next input takes that formula. A lane
// performs the scalar operations, so each series' bits are its own.
// Lanes that share a position (a window's place in its blocks) also say
// which series may go `together`; a step that returns an optional may
// decline a row, its lanes left as they were, for the series' own updates.
template <class T, class Pack>
concept SteppedInLanes = requires(const T& t, T& m, typename T::template Lanes<Pack>& l, std::size_t lane) {
    { T::template Lanes<Pack>::settled(t) } -> std::same_as<bool>;
    l.load(t, lane);
    l.store(m, lane);
};

template <Saveable T>
class Panel {
public:
    using Input = typename T::Input;
    using Output = typename T::Output;

    // `count` series, each a copy of `prototype`. Fails only when their room
    // cannot be reserved.
    static Expected<Panel, LoadError> of(const T& prototype, std::size_t count) noexcept {
        Panel panel;
        try {
            panel.series_.reserve(count);
        } catch (...) {
            return LoadError{RoomError::OutOfMemory};
        }
        for (std::size_t s = 0; s < count; ++s) {
            auto copy = copy_state(prototype);
            if (!copy) return copy.error();
            panel.series_.push_back(std::move(copy).value());
        }
        return panel;
    }

    std::size_t size() const noexcept { return series_.size(); }
    T& operator[](std::size_t s) noexcept { return series_[s]; }
    const T& operator[](std::size_t s) const noexcept { return series_[s]; }

    void reset() noexcept {
        for (T& series : series_) series.reset();
    }

    // One row for series [first, last): `input(s)` gives series s's input,
    // or nothing for a hole; `output(s, out)` receives what its update
    // returned (nothing for a hole or while it warms up).
    template <class In, class Out>
    void update_row(In&& input, Out&& output, std::size_t first, std::size_t last) noexcept {
        for (std::size_t s = first; s < last; ++s) {
            const std::optional<Input> x = input(s);
            output(s, x ? series_[s].update(*x) : std::optional<Output>{});
        }
    }

    template <class In, class Out>
    void update_row(In&& input, Out&& output) noexcept {
        update_row(input, output, 0, series_.size());
    }

private:
    Panel() = default;

    std::vector<T> series_;
};

}  // namespace kestov
