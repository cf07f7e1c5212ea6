#pragma once
// The operations of a Panel for each class of both modules: the Python
// type in many.cpp calls them through a PanelOps chosen when a panel is
// made. The table of them is compiled in parts (many_ops_<k>.cpp), so that
// a build compiles the classes' lane code side by side.

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "args.hpp"
#include "arrays.hpp"
#include "borrow.hpp"
#include "convert.hpp"
#include "descriptions.hpp"
#include "more_descriptions.hpp"
#include "guard.hpp"
#include "kestov/panel.hpp"
#include "python.hpp"
#include "row_loop.hpp"
#include "saving.hpp"

namespace kestov::py::universe {

struct PanelOps;

struct PanelObject {
    PyObject ob_base;
    const PanelOps* ops;
    void* panel;      // the class's PanelOf<D>
    PyObject* cls;    // the indicator class, for panel[s] and pickle
    BorrowFlag borrow;
};

inline PanelObject* panel_of(PyObject* self) noexcept { return reinterpret_cast<PanelObject*>(self); }

struct PanelOps {
    const char* module;
    const char* name;
    void* (*make)(const unsigned char* state, std::size_t size, std::size_t series);  // null: exception set
    void (*destroy)(void*);
    std::size_t (*size)(const void*);
    PyObject* (*config)(const void*);
    PyObject* (*batch)(PanelObject*, PyObject* const*, Py_ssize_t, PyObject*);
    PyObject* (*update)(PanelObject*, PyObject* const*, Py_ssize_t, PyObject*);
    PyObject* (*state_of)(const void*, std::size_t s);                    // bytes of series s
    bool (*set_state)(void*, std::size_t s, const unsigned char*, std::size_t);  // one series, same configuration
    PyObject* (*save)(const void*);                                        // every series
    bool (*load)(void*, const unsigned char*, std::size_t);                // every series, or nothing changed
    void (*reset)(void*);
};

// ---- Per class ------------------------------------------------------------------

template <class D>
struct PanelOf {
    using Core = typename D::Core;
    Core prototype;  // the configuration every series shares, in its first state
    Panel<Core> series;
};

template <class D>
constexpr std::size_t width_of = output_width<typename D::Core::Output>::value;

template <class D>
using InputOf = typename D::Core::Input;

// Row i of the columns: series' input, or nothing for a hole (every column
// NaN: the symbol has no bar there). A candle that fails its rules gives its
// error instead.
template <class D>
struct Cell {
    std::optional<InputOf<D>> input;
    const char* error = nullptr;
};

// Groups in lanes read a block's rows series after series, a few kilobytes
// at a time before the next row: too short a run for the processor to fetch
// ahead on its own, and each group's step too short to hide the wait, so
// they ask for the inputs `ahead_bytes` ahead (an address past a column's
// end is only a hint, never read). Candle blocks checked as they are fed
// (Checking) find their inputs in the cache, where the check asked for
// them; series stepped one by one gain nothing from it.
inline constexpr std::size_t ahead_bytes = 4096;

template <class D>
[[gnu::always_inline]] inline void fetch_ahead(const Column* c, std::size_t i,
                                               std::size_t bytes = ahead_bytes) noexcept {
    for (std::size_t k = 0; k < D::Rows::names.size(); ++k)
        __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(c[k].data) +
                                                         i * sizeof(double) + bytes));
}

template <class D>
[[gnu::always_inline]] inline bool is_hole(const Column* c, std::size_t i) noexcept {
    // A timestamp column says nothing about a hole: only the prices do.
    constexpr auto types = column_types<typename D::Rows>();
    bool hole = true;
    for (std::size_t k = 0; k < D::Rows::names.size(); ++k)
        if (types[k] == Dtype::Float64) hole &= std::isnan(c[k][i]);
    return hole;
}

template <class D>
[[gnu::always_inline]] inline void write_output(double* out, std::size_t at, const std::optional<typename D::Core::Output>& value) noexcept {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    if constexpr (width_of<D> == 0) {
        out[at] = value ? *value : nan;
    } else {
        for (std::size_t j = 0; j < width_of<D>; ++j) out[at * width_of<D> + j] = value ? (*value)[j] : nan;
    }
}

// The first invalid candle of rows [0, rows) and series [first, last), in
// row order, then series order.
struct Invalid {
    std::size_t row = std::numeric_limits<std::size_t>::max();
    std::size_t series = 0;
    const char* error = nullptr;
    bool before(const Invalid& other) const noexcept {
        return row < other.row || (row == other.row && series < other.series);
    }
};

// Sure to pass the candle rules: plain comparisons, which a NaN fails, and
// high - low within range, which an infinite bound fails; the open and the
// close then lie between two finite prices. Written without bit tests so
// that a row of them runs in vector lanes. It may refuse a valid candle
// (high - low beyond the largest double, say), never pass an invalid one:
// those are decided by the candle's own rules.
[[gnu::always_inline]] inline bool surely_valid(const std::array<double, 5>& f) noexcept {
    constexpr double most = std::numeric_limits<double>::max();
    const double o = f[0], h = f[1], l = f[2], c = f[3], v = f[4];
    return (h >= l) & (h >= o) & (h >= c) & (l <= o) & (l <= c) & (h - l <= most) & (v >= 0.0) & (v <= most);
}

// Four series at a time in vector lanes (GCC's vector extensions: the
// compiler emits whatever the target offers, down to plain scalar code).
using Lanes = double __attribute__((vector_size(32)));
using LaneMask = long long __attribute__((vector_size(32)));

template <class D>
[[gnu::always_inline]] inline void add_doubtful(LaneMask& doubtful, const Column* c, std::size_t i) noexcept {
    constexpr double most = std::numeric_limits<double>::max();
    std::array<double, 5> f[4];
    for (int k = 0; k < 4; ++k) f[k] = D::Rows::fields(c, i + static_cast<std::size_t>(k));
    const Lanes o{f[0][0], f[1][0], f[2][0], f[3][0]};
    const Lanes h{f[0][1], f[1][1], f[2][1], f[3][1]};
    const Lanes l{f[0][2], f[1][2], f[2][2], f[3][2]};
    const Lanes cl{f[0][3], f[1][3], f[2][3], f[3][3]};
    const Lanes v{f[0][4], f[1][4], f[2][4], f[3][4]};
    const LaneMask sure = (h >= l) & (h >= o) & (h >= cl) & (l <= o) & (l <= cl) & (h - l <= most) & (v >= 0.0) &
                          (v <= most);
    doubtful |= ~sure;
}

// Rows [row0, rows) of series [first, last). Each row is first tested
// whole, without a branch per candle; only a row that fails is searched with
// the candle rules for the first invalid one. A nonzero `fetch` asks for the
// inputs that many cells ahead as it goes: the check is the first to read
// them, and waits on memory where nothing asked before it.
template <class D>
[[gnu::always_inline]] inline Invalid find_invalid(const Column* c, std::size_t row0, std::size_t rows,
                                                   std::size_t count, std::size_t first, std::size_t last,
                                                   std::size_t fetch) noexcept {
    if constexpr (std::same_as<InputOf<D>, Candle>) {
        for (std::size_t r = row0; r < rows; ++r) {
            const std::size_t base = r * count;
            LaneMask doubtful{};
            std::size_t s = first;
            for (; s + 4 <= last; s += 4) {
                if (fetch != 0 && s % 8 == 0) fetch_ahead<D>(c, base + s, fetch * sizeof(double));
                add_doubtful<D>(doubtful, c, base + s);
            }
            bool any = (doubtful[0] | doubtful[1] | doubtful[2] | doubtful[3]) != 0;
            for (; s < last; ++s) any |= !surely_valid(D::Rows::fields(c, base + s));
            if (!any) [[likely]]
                continue;
            for (s = first; s < last; ++s) {
                const std::size_t i = base + s;
                const auto f = D::Rows::fields(c, i);
                if (!Candle::valid(f[0], f[1], f[2], f[3], f[4]) && !is_hole<D>(c, i))
                    return {r, s, D::Rows::row(c, i).error().detail()};
            }
        }
    }
    return {};
}

template <class D>
Invalid find_invalid_portable(const Column* c, std::size_t row0, std::size_t rows, std::size_t count,
                              std::size_t first, std::size_t last, std::size_t fetch) noexcept {
    return find_invalid<D>(c, row0, rows, count, first, last, fetch);
}

#ifdef KESTOV_FMA_COPY
// Processors with fused multiply-add have AVX2: all four lanes in one register.
template <class D>
[[gnu::target("avx2")]] Invalid find_invalid_avx2(const Column* c, std::size_t row0, std::size_t rows,
                                                  std::size_t count, std::size_t first, std::size_t last,
                                                  std::size_t fetch) noexcept {
    return find_invalid<D>(c, row0, rows, count, first, last, fetch);
}
#endif

template <class D>
Invalid first_invalid(const Column* c, std::size_t row0, std::size_t rows, std::size_t count, std::size_t first,
                      std::size_t last, std::size_t fetch = 0) noexcept {
#ifdef KESTOV_FMA_COPY
    if (has_fma()) return find_invalid_avx2<D>(c, row0, rows, count, first, last, fetch);
#endif
    return find_invalid_portable<D>(c, row0, rows, count, first, last, fetch);
}

// One cell: series s's input at index i of the columns. The candle is used
// where it was made, never copied out first: a copy through memory in
// pieces stalls the loads that read it back whole.
template <class D>
[[gnu::always_inline]] inline void feed_cell(Panel<typename D::Core>& panel, const Column* c, double* out,
                                             std::size_t s, std::size_t i) noexcept {
    if (is_hole<D>(c, i)) {
        write_output<D>(out, i, std::nullopt);
    } else if constexpr (!std::same_as<InputOf<D>, Candle>) {
        write_output<D>(out, i, panel[s].update(D::Rows::row(c, i)));
    } else {
        const auto candle = D::Rows::row(c, i);  // checked before any row is fed
        write_output<D>(out, i, panel[s].update(candle.value()));
    }
}

template <class T>
constexpr bool is_optional = false;
template <class T>
constexpr bool is_optional<const std::optional<T>> = true;

template <class D, class Pack>
constexpr bool in_lanes = SteppedInLanes<typename D::Core, Pack>;

// Storage for packs: a pack is aligned to its size in code built for its
// instruction set, which the type's alignment elsewhere may not promise.
struct alignas(64) CacheLine {
    unsigned char bytes[64];
};

// The lane states of a batch. Every row visits every group's state, a few
// kilobytes apart for the classes with windows: on huge pages, where the
// system has them, those visits do not each need a page of their own in the
// address translation caches.
class LaneStorage {
public:
    LaneStorage() = default;
    LaneStorage(const LaneStorage&) = delete;
    LaneStorage& operator=(const LaneStorage&) = delete;
    ~LaneStorage() { std::free(lines_); }

    // Room for `count` lines, or false.
    bool reserve(std::size_t count) noexcept {
        constexpr std::size_t huge = huge_page;
        if (count == 0) return true;
        if (count > (std::numeric_limits<std::size_t>::max() - huge) / sizeof(CacheLine)) return false;
        const std::size_t bytes = count * sizeof(CacheLine);
        lines_ = static_cast<CacheLine*>(bytes >= huge / 2
                                             ? huge_pages((bytes + huge - 1) / huge * huge)
                                             : std::aligned_alloc(sizeof(CacheLine), bytes));
        return lines_ != nullptr;
    }
    bool empty() const noexcept { return lines_ == nullptr; }
    CacheLine* data() const noexcept { return lines_; }

private:
    CacheLine* lines_ = nullptr;
};

// Bytes a block of `series` needs to step its groups in lanes, for either
// pack: the groups' states, then a flag each.
template <class D>
constexpr std::size_t lane_bytes(std::size_t series) noexcept {
    using Core = typename D::Core;
    if constexpr (in_lanes<D, lanes::Wide> && in_lanes<D, lanes::Narrow>) {
        using W = typename Core::template Lanes<lanes::Wide>;
        using N = typename Core::template Lanes<lanes::Narrow>;
        return (series / 2 + 1) * (std::max(sizeof(W), sizeof(N)) + 1);
    } else {
        return 0;
    }
}

// The inputs of a group of series at index i, as packs (a candle's fields
// read only where its class's step asks for them).
template <class Pack>
struct CandlesAt {
    CandleColumns k;
    std::size_t i;
    [[gnu::always_inline]] Pack open() const noexcept { return lanes::load<Pack>(k.open + i); }
    [[gnu::always_inline]] Pack high() const noexcept { return lanes::load<Pack>(k.high + i); }
    [[gnu::always_inline]] Pack low() const noexcept { return lanes::load<Pack>(k.low + i); }
    [[gnu::always_inline]] Pack close() const noexcept { return lanes::load<Pack>(k.close + i); }
    [[gnu::always_inline]] Pack volume() const noexcept { return lanes::load<Pack>(k.volume + i); }
};

// Outputs of at least this many bytes are stored past the caches where
// their packs are aligned (lanes::stream).
inline constexpr std::size_t streamed_bytes = std::size_t{16} << 20;

// Blocks of at least this many rows have their candles checked as they are
// fed (Checking): below it, keeping the states aside costs more than a pass
// over inputs still in the cache.
inline constexpr std::size_t checked_while_fed = 256;

// A block whose candles are checked as it is fed, a few rows ahead of its
// steps, rather than in a pass of their own before any state moves: a large
// block then reads its inputs from memory once. The first invalid candle
// stops the block; `earliest` is the earliest row at which any block has
// found one, past which no block need go on. The caller puts back the
// states that moved. Each check asks for the next one's rows, so that two
// threads' checks do not both stand waiting on memory while it sits idle
// during their steps.
struct alignas(64) Checking {  // a cache line of its own, for its block's thread
    std::atomic<std::size_t>* earliest;
    Invalid found;

    // Rows a check runs ahead: some hundred kilobytes of inputs, which the
    // steps then find in the cache.
    static std::size_t rows_ahead(std::size_t series, std::size_t columns) noexcept {
        return std::max<std::size_t>(1, (std::size_t{128} << 10) / (series * columns * sizeof(double) + 1));
    }
    // Whether rows [row0, rows) may be fed: all their candles valid and no
    // earlier invalid one found elsewhere.
    template <class D>
    [[gnu::always_inline]] bool pass(const Column* c, std::size_t row0, std::size_t rows, std::size_t count,
                                     std::size_t first, std::size_t last) noexcept {
        if (row0 > earliest->load(std::memory_order_relaxed)) return false;
        const Invalid f = first_invalid<D>(c, row0, rows, count, first, last, (rows - row0) * count);
        if (f.error == nullptr) [[likely]]
            return true;
        found = f;
        std::size_t seen = earliest->load(std::memory_order_relaxed);
        while (found.row < seen && !earliest->compare_exchange_weak(seen, found.row, std::memory_order_relaxed)) {
        }
        return false;
    }
};

// Row by row, series by series. Where the class steps its settled state in
// lanes and `storage` is given, each group of a pack's width of series whose
// states are all settled runs in lanes for as long as its rows are plain
// (no hole; for a value, finite); any other row goes through the series'
// own updates, and the group rejoins the lanes once all are settled again.
template <class D, class Pack>
[[gnu::always_inline]] inline void feed_rows(Panel<typename D::Core>& panel, const Column* c, std::size_t rows,
                                             double* out, std::size_t first, std::size_t last, void* storage,
                                             Checking* checking) noexcept {
    using Core = typename D::Core;
    const std::size_t count = panel.size();
    // Rows in chunks, each checked first when `checking` is given.
    const std::size_t chunk = checking == nullptr ? rows : Checking::rows_ahead(last - first, D::Rows::names.size());
    const auto feeds = [&](std::size_t r0, std::size_t r1) KESTOV_INLINE_LAMBDA {
        if constexpr (std::same_as<InputOf<D>, Candle>)
            if (checking != nullptr) return checking->pass<D>(c, r0, r1, count, first, last);
        return true;
    };
    if constexpr (in_lanes<D, Pack>) {
        if (storage != nullptr) {
            using L = typename Core::template Lanes<Pack>;
            constexpr std::size_t w = lanes::width<Pack>;
            constexpr std::size_t width = width_of<D>;
            const std::size_t groups = (last - first) / w, tail = first + groups * w;
            L* const group = static_cast<L*>(storage);
            bool* const stepping = reinterpret_cast<bool*>(group + groups);
            // An output far larger than the caches goes around them, where
            // every group's pack of it is aligned.
            const bool streaming = rows * count * std::max<std::size_t>(1, width) * sizeof(double) >= streamed_bytes &&
                                   reinterpret_cast<std::uintptr_t>(out) % sizeof(Pack) == 0 && count % w == 0 &&
                                   first % w == 0;
            const auto join = [&](std::size_t g) KESTOV_INLINE_LAMBDA {
                const std::size_t s = first + g * w;
                for (std::size_t j = 0; j < w; ++j)
                    if (!L::settled(panel[s + j])) return false;
                // Lanes that share a position (a window's place in its block)
                // take only series that stand at the same one.
                if constexpr (requires { L::together(panel[s], panel[s]); })
                    for (std::size_t j = 1; j < w; ++j)
                        if (!L::together(panel[s], panel[s + j])) return false;
                for (std::size_t j = 0; j < w; ++j) group[g].load(panel[s + j], j);
                return true;
            };
            for (std::size_t g = 0; g < groups; ++g) {
                new (group + g) L;
                stepping[g] = join(g);
            }
            for (std::size_t r0 = 0; r0 < rows && feeds(r0, std::min(rows, r0 + chunk)); r0 += chunk)
            for (std::size_t r = r0, r1 = std::min(rows, r0 + chunk); r < r1; ++r) {
                const std::size_t base = r * count;
                for (std::size_t g = 0; g < groups; ++g) {
                    const std::size_t s = first + g * w, i = base + s;
                    if (stepping[g]) {
                        if (checking == nullptr) fetch_ahead<D>(c, i);
                        const Pack x = lanes::load<Pack>(doubles(c[0]) + i);
                        const Pack d = x - x;  // NaN for a hole (every candle else is finite) or a non-finite value
                        if (!lanes::any(d != d)) [[likely]] {
                            const auto emit = [&](const auto& y) KESTOV_INLINE_LAMBDA {
                                if constexpr (width == 0) {
                                    if (streaming)
                                        lanes::stream(out + i, y);
                                    else
                                        lanes::store(out + i, y);
                                } else {
                                    // The group's outputs, series by series, are `width` packs.
                                    double* const at = out + i * width;
                                    for (std::size_t p = 0; p < width; ++p) {
                                        Pack o{};
                                        for (std::size_t t = 0; t < w; ++t) o[t] = y[(p * w + t) % width][(p * w + t) / width];
                                        if (streaming)
                                            lanes::stream(at + p * w, o);
                                        else
                                            lanes::store(at + p * w, o);
                                    }
                                }
                            };
                            const auto y = [&]() KESTOV_INLINE_LAMBDA {
                                if constexpr (std::same_as<InputOf<D>, Candle>)
                                    return group[g].step(CandlesAt<Pack>{D::Rows::pointers(c), i});
                                else
                                    return group[g].step(x);
                            }();
                            // A step may decline a row, leaving its lanes as they were.
                            if constexpr (is_optional<decltype(y)>) {
                                if (y) {
                                    emit(*y);
                                    continue;
                                }
                            } else {
                                emit(y);
                                continue;
                            }
                        }
                        for (std::size_t j = 0; j < w; ++j) group[g].store(panel[s + j], j);
                    }
                    for (std::size_t j = 0; j < w; ++j) feed_cell<D>(panel, c, out, s + j, i + j);
                    stepping[g] = join(g);
                }
                for (std::size_t s = tail; s < last; ++s) feed_cell<D>(panel, c, out, s, base + s);
            }
            for (std::size_t g = 0; g < groups; ++g)
                if (stepping[g])
                    for (std::size_t j = 0; j < w; ++j) group[g].store(panel[first + g * w + j], j);
            if (streaming) lanes::streamed();
            return;
        }
    }
    for (std::size_t r0 = 0; r0 < rows && feeds(r0, std::min(rows, r0 + chunk)); r0 += chunk)
        for (std::size_t r = r0, r1 = std::min(rows, r0 + chunk); r < r1; ++r)
            for (std::size_t s = first; s < last; ++s) feed_cell<D>(panel, c, out, s, r * count + s);
}

// Compiled twice, as the single objects' row loop is (row_loop.hpp): the
// copy for processors with fused multiply-add uses the instruction, and
// packs of four.
template <class D>
[[KESTOV_ROW_LOOP_OPTIONS]] void feed_rows_portable(Panel<typename D::Core>& panel, const Column* c, std::size_t rows,
                                                     double* out, std::size_t first, std::size_t last,
                                                     void* storage, Checking* checking) noexcept {
    feed_rows<D, lanes::Narrow>(panel, c, rows, out, first, last, storage, checking);
}

#ifdef KESTOV_FMA_COPY
template <class D>
[[KESTOV_ROW_LOOP_OPTIONS, gnu::target("fma")]] void feed_rows_fma(Panel<typename D::Core>& panel, const Column* c,
                                                                    std::size_t rows, double* out, std::size_t first,
                                                                    std::size_t last, void* storage,
                                                                    Checking* checking) noexcept {
    feed_rows<D, lanes::Wide>(panel, c, rows, out, first, last, storage, checking);
}
#endif

// `storage`: lane_bytes<D>(last - first) bytes aligned to a cache line, or null
// to step every cell on its own. `checking`: null when the candles were
// checked before.
template <class D>
void run_rows(Panel<typename D::Core>& panel, const Column* c, std::size_t rows, double* out, std::size_t first,
              std::size_t last, void* storage = nullptr, Checking* checking = nullptr) noexcept {
#ifdef KESTOV_FMA_COPY
    if (has_fma()) return feed_rows_fma<D>(panel, c, rows, out, first, last, storage, checking);
#endif
    feed_rows_portable<D>(panel, c, rows, out, first, last, storage, checking);
}

// ---- Series by series ------------------------------------------------------------
//
// A tile of series is copied out of the row-major block into one contiguous
// column per series, its holes left out; each series then runs through its
// class's own batch path (row_loop.hpp), which computes independent rows
// side by side, and its outputs go back to their rows, NaN at the holes.
// A tile is as wide as the processor reads well (a few kilobytes of each
// row) and as tall as keeps it in the second-level cache.

template <class T, class... U>
constexpr bool one_of = (std::same_as<T, U> || ...);

// A tile holds the same number of cells whatever its shape, so that it
// stays in the second-level cache. Its rows are what a series' batch path
// sees at once: a class that warms up over many rows at every call wants
// tall tiles, one that is quick to start wants wide ones, which read a
// kilobyte of each row of the block rather than a few cache lines. 128 rows
// served most classes best over 2,000 series (bench/benchmark.py).
constexpr std::size_t tile_cells = 256 * 64;
template <class Core>
constexpr std::size_t tall = 128;
// Long enough for their own column paths, which rebuild their windows at
// every call: 512 rows served them better than 128, 256 or 1,024.
template <>
inline constexpr std::size_t tall<Ichimoku> = 512;
template <>
inline constexpr std::size_t tall<Aroon> = 512;
template <>
inline constexpr std::size_t tall<AroonOscillator> = 512;
template <class D>
constexpr std::size_t tile_rows = tall<typename D::Core>;
template <class D>
constexpr std::size_t tile_series = tile_cells / tile_rows<D>;
constexpr std::size_t ahead = 4;  // rows
// A series' scratch column is a cache line longer than its rows: at a
// stride of a power of two, a tile's columns would share a handful of cache
// sets and evict one another on every row.
template <class D>
constexpr std::size_t tile_stride = tile_rows<D> + 8;

// Doubles of scratch one thread needs: a tile's inputs and outputs.
template <class D>
constexpr std::size_t scratch_doubles =
    tile_series<D> * tile_stride<D> * (D::Rows::names.size() + std::max<std::size_t>(1, width_of<D>));

// The classes that take this route: those whose own batch path beats a
// cell stepped among many series by more than the copies cost, as measured
// over a universe of 2,000 series (bench/benchmark.py).
template <class D>
constexpr bool by_series = one_of<typename D::Core, ADXR, Aroon, AroonOscillator, CCI, ChaikinMoneyFlow, Coppock,
                                    Correlation, EaseOfMovement, HMA, Ichimoku, KAMA, KST, LinearRegression, StdDev,
                                    SuperTrend, TSI, UltimateOscillator, Variance, Vortex, VWMA>;

// A class on that route that also steps in lanes takes the lanes where its
// configuration fits them (KAMA's window of up to `most` steps).
template <class D>
bool series_route(const typename D::Core& prototype) noexcept {
    if constexpr (!by_series<D>)
        return false;
    else if constexpr (lane_bytes<D>(1) != 0)
        return !D::Core::template Lanes<lanes::Narrow>::fits(prototype);
    else
        return true;
}

template <class D>
void feed_series(Panel<typename D::Core>& panel, const Column* c, std::size_t rows, double* out, std::size_t first,
                 std::size_t last, double* scratch, unsigned char* holes) noexcept {
    using Core = typename D::Core;
    using Rows = typename D::Rows;
    constexpr std::size_t ncols = Rows::names.size();
    constexpr std::size_t width = std::max<std::size_t>(1, width_of<D>);
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr std::size_t tile_series = ::kestov::py::universe::tile_series<D>;
    constexpr std::size_t tile_rows = ::kestov::py::universe::tile_rows<D>;
    constexpr std::size_t tile_stride = ::kestov::py::universe::tile_stride<D>;
    const std::size_t count = panel.size();
    double* const results = scratch + ncols * tile_series * tile_stride;
    const auto input = [&](std::size_t k, std::size_t j) { return scratch + (k * tile_series + j) * tile_stride; };

    const bool streaming = rows * count * width * sizeof(double) >= streamed_bytes;
    for (std::size_t s0 = first; s0 < last; s0 += tile_series) {
        const std::size_t w = std::min(tile_series, last - s0);
        for (std::size_t r0 = 0; r0 < rows; r0 += tile_rows) {
            const std::size_t nr = std::min(tile_rows, rows - r0);
            // Holes first, without a branch per cell: most tiles have none,
            // and their copies then run as plain loops.
            bool any_hole = false;
            for (std::size_t r = 0; r < nr; ++r) {
                const std::size_t base = (r0 + r) * count + s0;
                if (r0 + r + ahead < rows)
                    for (std::size_t k = 0; k < ncols; ++k)
                        for (std::size_t b = 0; b < w * sizeof(double); b += 64)
                            __builtin_prefetch(c[k].data + (base + ahead * count) * sizeof(double) + b);
                for (std::size_t j = 0; j < w; ++j) {
                    const bool hole = is_hole<D>(c, base + j);
                    holes[r * tile_series + j] = hole;
                    any_hole |= hole;
                }
            }
            std::array<std::size_t, tile_series> fed{};
            // Bytes, not doubles: a timestamp column holds integers.
            const auto copy = [](double* to, const unsigned char* from) { std::memcpy(to, from, sizeof(double)); };
            if (!any_hole) [[likely]] {
                for (std::size_t k = 0; k < ncols; ++k)
                    for (std::size_t r = 0; r < nr; ++r) {
                        const unsigned char* row = c[k].data + ((r0 + r) * count + s0) * sizeof(double);
                        for (std::size_t j = 0; j < w; ++j) copy(input(k, j) + r, row + j * sizeof(double));
                    }
                fed.fill(nr);
            } else {
                for (std::size_t r = 0; r < nr; ++r) {
                    const std::size_t base = (r0 + r) * count + s0;
                    for (std::size_t j = 0; j < w; ++j) {
                        if (holes[r * tile_series + j]) continue;
                        for (std::size_t k = 0; k < ncols; ++k)
                            copy(input(k, j) + fed[j], c[k].data + (base + j) * sizeof(double));
                        ++fed[j];
                    }
                }
            }
            for (std::size_t j = 0; j < w; ++j) {
                std::array<Column, ncols> columns{};
                for (std::size_t k = 0; k < ncols; ++k)
                    columns[k] = {reinterpret_cast<const unsigned char*>(input(k, j)), fed[j]};
                std::optional<IndicatorError> error;  // never set: every candle was checked first
                kestov::py::run_rows<Core, Rows>(panel[s0 + j], columns.data(), fed[j],
                                                 results + j * tile_stride * width, error);
            }
            std::array<std::size_t, tile_series> taken{};
            for (std::size_t r = 0; r < nr; ++r) {
                double* row = out + ((r0 + r) * count + s0) * width;
                if (!any_hole) [[likely]] {
                    // Each row's outputs are one run of the block, streamed
                    // past the caches where the block is far larger than
                    // they are: its lines need not be read in first.
                    const auto result = [&](std::size_t e) KESTOV_INLINE_LAMBDA {
                        return results[((e / width) * tile_stride + r) * width + e % width];
                    };
                    const std::size_t cells = w * width;
                    std::size_t e = 0;
                    if (streaming) {
                        if (reinterpret_cast<std::uintptr_t>(row) % sizeof(lanes::Narrow) != 0) row[e] = result(e), ++e;
                        for (; e + 2 <= cells; e += 2) lanes::stream(row + e, lanes::Narrow{result(e), result(e + 1)});
                    }
                    for (; e < cells; ++e) row[e] = result(e);
                    continue;
                }
                for (std::size_t j = 0; j < w; ++j, row += width) {
                    if (holes[r * tile_series + j]) {
                        for (std::size_t m = 0; m < width; ++m) row[m] = nan;
                        continue;
                    }
                    const double* from = results + (j * tile_stride + taken[j]++) * width;
                    for (std::size_t m = 0; m < width; ++m) row[m] = from[m];
                }
            }
        }
    }
    if (streaming) lanes::streamed();
}

// Series [0, count) in `threads` blocks of whole cache lines of output.
inline std::vector<std::pair<std::size_t, std::size_t>> plan_blocks(std::size_t count, std::size_t threads) {
    threads = std::max<std::size_t>(1, std::min(threads, (count + 7) / 8));
    std::vector<std::pair<std::size_t, std::size_t>> blocks;
    const std::size_t step = ((count + threads - 1) / threads + 7) / 8 * 8;
    for (std::size_t first = 0; first < count; first += step) blocks.push_back({first, std::min(count, first + step)});
    return blocks;
}

// Runs `work(b)` for every block, the first on this thread. A thread that
// cannot be started leaves its block to this one.
template <class F>
void run_blocks(std::size_t blocks, F&& work) noexcept {
    std::vector<std::thread> workers;
    std::vector<char> started(blocks, 0);
    for (std::size_t b = 1; b < blocks; ++b) {
        try {
            workers.emplace_back([&work, b] { work(b); });
            started[b] = 1;
        } catch (...) {
        }
    }
    if (blocks != 0) work(0);
    for (std::size_t b = 1; b < blocks; ++b)
        if (!started[b]) work(b);
    for (std::thread& t : workers) t.join();
}

template <class D>
const std::array<const char*, D::Rows::names.size() + 1>& batch_names() {
    static const auto names = [] {
        std::array<const char*, D::Rows::names.size() + 1> all{};
        std::copy(D::Rows::names.begin(), D::Rows::names.end(), all.begin());
        all.back() = "threads";
        return all;
    }();
    return names;
}

inline bool thread_count(PyObject* arg, std::size_t& threads) {
    if (arg == nullptr || arg == Py_None) {
        threads = std::max(1u, std::thread::hardware_concurrency());
        return true;
    }
    std::uint64_t n = 0;
    if (!to_u64(arg, "threads", n)) return false;
    if (n == 0) {
        PyErr_SetString(PyExc_ValueError, "threads must be at least 1");
        return false;
    }
    threads = static_cast<std::size_t>(std::min<std::uint64_t>(n, 1024));
    return true;
}

inline std::nullptr_t raise_invalid(const Invalid& bad, bool with_row) {
    if (with_row)
        PyErr_Format(PyExc_ValueError, "invalid candle at row %zu, series %zu: %s", bad.row, bad.series, bad.error);
    else
        PyErr_Format(PyExc_ValueError, "invalid candle in series %zu: %s", bad.series, bad.error);
    return nullptr;
}

// A busy panel refuses a second caller, from this thread or another, rather
// than letting two calls interleave over its states.
class Busy {
public:
    Busy(PanelObject* p, Access access) : borrow_(p->borrow, access) {
        if (!borrow_) {
            PyErr_Clear();
            PyErr_SetString(PyExc_RuntimeError, "the panel is in use by another call");
        }
    }
    explicit operator bool() const noexcept { return static_cast<bool>(borrow_); }

private:
    Borrow borrow_;
};

template <class D>
PyObject* panel_batch(PanelObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    constexpr std::size_t ncols = D::Rows::names.size();
    const auto& names = batch_names<D>();
    std::array<PyObject*, ncols + 1> objects{};
    const Signature sig{"Panel.batch()", names, ncols};
    if (!match_vectorcall(sig, args, nargs, kwnames, objects.data())) return nullptr;
    std::size_t threads = 1;
    if (!thread_count(objects[ncols], threads)) return nullptr;
    Busy busy(self, Access::Exclusive);
    if (!busy) return nullptr;
    auto& panel = static_cast<PanelOf<D>*>(self->panel)->series;
    const std::size_t count = panel.size();
    const bool tiles = series_route<D>(static_cast<PanelOf<D>*>(self->panel)->prototype);

    std::array<Column, ncols> columns{};
    std::size_t rows = 0;
    static constexpr auto types = column_types<typename D::Rows>();
    if (!read_panel_columns(std::span<PyObject* const>(objects.data(), ncols), D::Rows::names, 2, count,
                            columns.data(), &rows, types))
        return nullptr;
    double* out = nullptr;
    PyObject* result = new_panel_output(2, rows, count, width_of<D>, &out);
    if (result == nullptr) return nullptr;

    // A refused block leaves the panel as it was: every candle is checked
    // before any state moves, or, for a block of many rows, as the rows are
    // fed, the states kept aside to be put back (Checking). The interpreter
    // lock is not needed: the panel owns its states, and the caller keeps
    // the inputs alive.
    const auto blocks = plan_blocks(count, threads);
    std::vector<Invalid> found(blocks.size());
    std::vector<typename D::Core> before;
    std::vector<Checking> checking;
    std::atomic<std::size_t> earliest{std::numeric_limits<std::size_t>::max()};
    if constexpr (std::same_as<InputOf<D>, Candle>) {
        if (!tiles && rows >= checked_while_fed) {
            try {
                before.reserve(count);
                for (std::size_t s = 0; s < count; ++s) {
                    auto copy = copy_state(panel[s]);
                    if (!copy) break;
                    before.push_back(std::move(copy).value());
                }
                if (before.size() == count) checking.assign(blocks.size(), Checking{&earliest, {}});
            } catch (...) {
            }
            if (checking.empty()) before.clear();  // checked first, as for a short block
        }
    }
    std::vector<double> scratch;
    std::vector<unsigned char> marks;
    LaneStorage storage;  // lane states, a run per block
    std::vector<std::size_t> stored_at;
    try {
        if (tiles) {
            scratch.resize(blocks.size() * scratch_doubles<D>);
            marks.resize(blocks.size() * tile_cells);
        } else if constexpr (lane_bytes<D>(1) != 0) {
            std::size_t packs = 0;
            for (const auto& [a, z] : blocks) {
                stored_at.push_back(packs);
                packs += (lane_bytes<D>(z - a) + sizeof(CacheLine) - 1) / sizeof(CacheLine);
            }
            if (!storage.reserve(packs)) throw std::bad_alloc();
        }
    } catch (...) {
        Py_DECREF(result);
        return PyErr_NoMemory();
    }
    Invalid bad;
    Py_BEGIN_ALLOW_THREADS
    if constexpr (std::same_as<InputOf<D>, Candle>) {
        if (checking.empty()) {
            run_blocks(blocks.size(), [&](std::size_t b) {
                found[b] = first_invalid<D>(columns.data(), 0, rows, count, blocks[b].first, blocks[b].second);
            });
        }
        for (const Invalid& f : found)
            if (f.error != nullptr && (bad.error == nullptr || f.before(bad))) bad = f;
    }
    if (bad.error == nullptr)
        run_blocks(blocks.size(), [&](std::size_t b) {
            if constexpr (by_series<D>) {
                if (tiles)
                    return feed_series<D>(panel, columns.data(), rows, out, blocks[b].first, blocks[b].second,
                                          scratch.data() + b * scratch_doubles<D>, marks.data() + b * tile_cells);
            }
            run_rows<D>(panel, columns.data(), rows, out, blocks[b].first, blocks[b].second,
                        storage.empty() ? nullptr : storage.data() + stored_at[b],
                        checking.empty() ? nullptr : &checking[b]);
        });
    if (!checking.empty()) {
        for (const Checking& k : checking)
            if (k.found.error != nullptr && (bad.error == nullptr || k.found.before(bad))) bad = k.found;
        if (bad.error != nullptr)
            for (std::size_t s = 0; s < count; ++s) panel[s] = std::move(before[s]);
    }
    Py_END_ALLOW_THREADS
    if (bad.error != nullptr) {
        Py_DECREF(result);
        return raise_invalid(bad, true);
    }
    return result;
}

// Panel.update's series in lanes, a block of `update_block` at a time with
// their lane states on the stack: loaded and put back around a single step.
// That pays where the step waits on divisions, four to an instruction in
// lanes; for a cheap step (an average's multiply-add) the loads cost more
// than they save. The classes, as measured over 5,000 series
// (bench/benchmark.py).
inline constexpr std::size_t update_block = 128;

template <class D>
constexpr bool update_in_lanes =
    lane_bytes<D>(1) != 0 && one_of<typename D::Core, AccumulationDistribution, ADX, ATR, BalanceOfPower, DX, NATR,
                                    OBV, TrueRange, VWAP>;

template <class D>
constexpr std::size_t update_lines = (lane_bytes<D>(update_block) + sizeof(CacheLine) - 1) / sizeof(CacheLine);

template <class D>
PyObject* panel_update(PanelObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    constexpr std::size_t ncols = D::Rows::names.size();
    std::array<PyObject*, ncols> objects{};
    const Signature sig{"Panel.update()", D::Rows::names, ncols};
    if (!match_vectorcall(sig, args, nargs, kwnames, objects.data())) return nullptr;
    Busy busy(self, Access::Exclusive);
    if (!busy) return nullptr;
    auto& panel = static_cast<PanelOf<D>*>(self->panel)->series;
    const std::size_t count = panel.size();
    std::array<Column, ncols> columns{};
    std::size_t rows = 0;
    static constexpr auto types = column_types<typename D::Rows>();
    if (!read_panel_columns(objects, D::Rows::names, 1, count, columns.data(), &rows, types)) return nullptr;
    const Invalid bad = first_invalid<D>(columns.data(), 0, 1, count, 0, count);
    if (bad.error != nullptr) return raise_invalid(bad, false);
    double* out = nullptr;
    PyObject* result = new_panel_output(1, 1, count, width_of<D>, &out);
    if (result == nullptr) return nullptr;
    if constexpr (update_in_lanes<D>) {
        // A few series at a time through the lanes, their states loaded and
        // put back around a single step: the step's divisions then go four
        // to an instruction.
        std::array<CacheLine, update_lines<D>> room;
        for (std::size_t s = 0; s < count; s += update_block)
            run_rows<D>(panel, columns.data(), 1, out, s, std::min(count, s + update_block), room.data());
    } else {
        run_rows<D>(panel, columns.data(), 1, out, 0, count);
    }
    return result;
}

template <class D>
void* panel_make(const unsigned char* state, std::size_t size, std::size_t series) {
    using Core = typename D::Core;
    auto prototype = core_from_state<Core>(state, size, D::name);
    if (!prototype) return nullptr;
    auto panel = Panel<Core>::of(*prototype, series);
    if (!panel) {
        raise(panel.error(), D::name, nullptr, 0);
        return nullptr;
    }
    return new PanelOf<D>{std::move(*prototype), std::move(panel).value()};
}

template <class D>
bool panel_set_state(void* p, std::size_t s, const unsigned char* data, std::size_t size) {
    auto* panel = static_cast<PanelOf<D>*>(p);
    auto core = core_from_state<typename D::Core>(data, size, D::name);
    if (!core) return false;
    if (core->config() != panel->prototype.config()) {
        PyErr_Format(PyExc_ValueError, "a %s of another configuration cannot join this panel", D::name);
        return false;
    }
    panel->series[s] = std::move(*core);
    return true;
}

// Every series' state, each as a u64 length and its bytes.
template <class D>
PyObject* panel_save(const void* p) {
    const auto& panel = static_cast<const PanelOf<D>*>(p)->series;
    std::size_t total = 0;
    for (std::size_t s = 0; s < panel.size(); ++s) total += 8 + state_size(panel[s]);
    PyObject* bytes = PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(total));
    if (bytes == nullptr) return nullptr;
    auto* at = reinterpret_cast<unsigned char*>(PyBytes_AsString(bytes));
    for (std::size_t s = 0; s < panel.size(); ++s) {
        const std::uint64_t size = state_size(panel[s]);
        for (int i = 0; i < 8; ++i) *at++ = static_cast<unsigned char>(size >> (8 * i));
        save_state(panel[s], at);
        at += size;
    }
    return bytes;
}

template <class D>
bool panel_load(void* p, const unsigned char* data, std::size_t size) {
    using Core = typename D::Core;
    auto* panel = static_cast<PanelOf<D>*>(p);
    std::vector<Core> loaded;
    std::size_t at = 0;
    while (at < size) {
        if (size - at < 8) break;
        std::uint64_t length = 0;
        for (int i = 0; i < 8; ++i) length |= static_cast<std::uint64_t>(data[at + i]) << (8 * i);
        at += 8;
        if (length > size - at) break;
        auto core = core_from_state<Core>(data + at, static_cast<std::size_t>(length), D::name);
        if (!core) return false;
        if (core->config() != panel->prototype.config()) {
            PyErr_Format(PyExc_ValueError, "invalid Panel state: a series of another %s configuration", D::name);
            return false;
        }
        loaded.push_back(std::move(*core));
        at += static_cast<std::size_t>(length);
    }
    if (at != size || loaded.size() != panel->series.size()) {
        PyErr_Format(PyExc_ValueError, "invalid Panel state: not %zu series states", panel->series.size());
        return false;
    }
    for (std::size_t s = 0; s < loaded.size(); ++s) panel->series[s] = std::move(loaded[s]);
    return true;
}

template <class D>
constexpr PanelOps ops_for{
    D::module,
    D::name,
    &panel_make<D>,
    [](void* p) { delete static_cast<PanelOf<D>*>(p); },
    [](const void* p) { return static_cast<const PanelOf<D>*>(p)->series.size(); },
    [](const void* p) -> PyObject* { return to_python(static_cast<const PanelOf<D>*>(p)->prototype.config()); },
    &panel_batch<D>,
    &panel_update<D>,
    [](const void* p, std::size_t s) -> PyObject* { return state_bytes(static_cast<const PanelOf<D>*>(p)->series[s]); },
    &panel_set_state<D>,
    &panel_save<D>,
    &panel_load<D>,
    [](void* p) { static_cast<PanelOf<D>*>(p)->series.reset(); },
};

// The parts of the table of every class's ops. Part k holds the classes at
// indexes i with i % ops_parts == k, and null in the other places.
inline constexpr std::size_t ops_parts = 3;
template <std::size_t part>
std::span<const PanelOps* const> ops_part() noexcept;
template <>
std::span<const PanelOps* const> ops_part<0>() noexcept;
template <>
std::span<const PanelOps* const> ops_part<1>() noexcept;
template <>
std::span<const PanelOps* const> ops_part<2>() noexcept;

template <std::size_t part>
struct OpsIn {
    template <std::size_t i, class D>
    static constexpr const PanelOps* pick() noexcept {
        if constexpr (i % ops_parts == part)
            return &ops_for<D>;
        else
            return nullptr;
    }
    template <class... D>
    struct Table {
        static constexpr std::array<const PanelOps*, sizeof...(D)> all =
            []<std::size_t... i>(std::index_sequence<i...>) {
                return std::array<const PanelOps*, sizeof...(D)>{pick<i, D>()...};
            }(std::index_sequence_for<D...>{});
    };
};

template <std::size_t N, std::size_t M>
constexpr std::array<const PanelOps*, N + M> joined(const std::array<const PanelOps*, N>& a,
                                                    const std::array<const PanelOps*, M>& b) {
    std::array<const PanelOps*, N + M> all{};
    for (std::size_t i = 0; i < N; ++i) all[i] = a[i];
    for (std::size_t i = 0; i < M; ++i) all[N + i] = b[i];
    return all;
}
template <std::size_t part>
constexpr auto part_table = joined(descriptions::Each<OpsIn<part>::template Table>::all,
                                   descriptions::EachMore<OpsIn<part>::template Table>::all);

}  // namespace kestov::py::universe
