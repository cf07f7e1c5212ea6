#pragma once
// An indicator's complete state as bytes: saved, restored, copied, compared.
//
// Each core describes itself once:
//   - `name`, the class name written in the header;
//   - `config()`, the arguments of its `create`, as a tuple;
//   - `fields(v)`, which calls `v(field)` on every flag, counter, sum, buffer
//     and component that affects a later output, always in the same order;
//   - optionally `state_fault()`, what a restored state must satisfy that its
//     bytes cannot promise (a count that matches a flag, say): null when the
//     state is one the indicator can be in, a reason otherwise.
// Writing and reading are the two visitors below; copying and comparing go
// through the bytes, so nothing else needs writing per indicator.
//
// The bytes, every integer little-endian and of fixed width, so a state
// reads the same on every platform:
//   "KSTV", u16 format version, u8 name length, the name;
//   the configuration, in create()'s argument order;
//   the fields, in fields()'s order.
// A bool is a u8 (0 or 1), a count a u64, a signed integer its two's
// complement as a u64, a double its IEEE bits as a u64; a
// buffer is a u64 count, then its values oldest first; a component is its
// own fields.
//
// Reading builds the configuration through `create`, so a restored state
// reserves exactly what a new indicator does and meets the same limits, then
// reads the fields into it and checks them. Nothing is thrown; a failure is
// a value saying what was wrong and where.

#include <array>
#include <bit>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/indicator.hpp"

namespace kestov {

inline constexpr std::array<unsigned char, 4> state_magic{'K', 'S', 'T', 'V'};
inline constexpr std::uint16_t state_version = 1;

// What was wrong with a state's bytes, and the offset of the byte where it
// showed.
struct StateError {
    const char* what;
    std::size_t at;
};

// Why a state could not be restored: its bytes, its configuration (as the
// constructor would refuse it), or no room for its buffers.
using LoadError = std::variant<StateError, IndicatorError, RoomError>;

class StateWriter;
class StateReader;

template <class T>
concept Described = requires(T& t, StateWriter& w) { t.fields(w); };

template <class T>
concept Saveable = Indicator<T> && Described<T> && requires(const T& t) {
    { T::name } -> std::convertible_to<std::string_view>;
    t.config();
};

// Writes into `out`, or only counts the bytes when `out` is null.
class StateWriter {
public:
    explicit StateWriter(unsigned char* out) noexcept : out_(out) {}

    std::size_t size() const noexcept { return size_; }

    void operator()(bool flag) noexcept { byte(flag ? 1 : 0); }
    void operator()(std::uint64_t n) noexcept {
        for (int i = 0; i < 8; ++i) byte(static_cast<unsigned char>(n >> (8 * i)));
    }
    void operator()(std::int64_t n) noexcept { (*this)(static_cast<std::uint64_t>(n)); }
    void operator()(double x) noexcept { (*this)(std::bit_cast<std::uint64_t>(x)); }
    template <std::size_t K>
    void operator()(const std::array<double, K>& values) noexcept {
        for (const double x : values) (*this)(x);
    }
    // Writing never changes what it visits; `fields` serves both directions.
    template <Described T>
    void operator()(const T& part) noexcept {
        const_cast<T&>(part).fields(*this);
    }
    template <class T>
        requires requires(const T& t, StateWriter& w) { t.save(w); }
    void operator()(const T& buffer) noexcept {
        buffer.save(*this);
    }

    void header(std::string_view name) noexcept {
        for (const unsigned char c : state_magic) byte(c);
        byte(static_cast<unsigned char>(state_version & 0xff));
        byte(static_cast<unsigned char>(state_version >> 8));
        byte(static_cast<unsigned char>(name.size()));
        for (const char c : name) byte(static_cast<unsigned char>(c));
    }

private:
    void byte(unsigned char b) noexcept {
        if (out_ != nullptr) out_[size_] = b;
        ++size_;
    }

    unsigned char* out_;
    std::size_t size_ = 0;
};

// Reads from a byte range. The first failure is kept; after it every read
// gives zeros and changes nothing, so a description can read on without
// testing each field.
class StateReader {
public:
    StateReader(const unsigned char* data, std::size_t size) noexcept : data_(data), size_(size) {}

    explicit operator bool() const noexcept { return error_ == nullptr; }
    StateError error() const noexcept { return {error_, error_at_}; }
    std::size_t position() const noexcept { return at_; }
    std::size_t remaining() const noexcept { return size_ - at_; }

    void fail(const char* what) noexcept {
        if (error_ == nullptr) {
            error_ = what;
            error_at_ = at_;
        }
    }

    void operator()(bool& flag) noexcept {
        // Checked before it is taken, so the error names the flag's own byte.
        if (*this && at_ < size_ && data_[at_] > 1) return fail("a flag is neither 0 nor 1");
        flag = byte() == 1;
    }
    void operator()(std::uint64_t& n) noexcept {
        if (remaining() < 8) return truncated();
        std::uint64_t v = 0;
        for (int i = 0; i < 8; ++i) v |= static_cast<std::uint64_t>(data_[at_ + i]) << (8 * i);
        at_ += 8;
        n = v;
    }
    void operator()(std::int64_t& n) noexcept {
        std::uint64_t bits = 0;
        (*this)(bits);
        n = static_cast<std::int64_t>(bits);  // two's complement, as it was written
    }
    void operator()(double& x) noexcept {
        std::uint64_t bits = 0;
        (*this)(bits);
        x = std::bit_cast<double>(bits);
    }
    template <std::size_t K>
    void operator()(std::array<double, K>& values) noexcept {
        for (double& x : values) (*this)(x);
    }
    // A component's fields, then what its state must satisfy.
    template <Described T>
    void operator()(T& part) noexcept {
        part.fields(*this);
        if constexpr (requires { part.state_fault(); }) {
            if (*this) {
                if (const char* fault = part.state_fault()) fail(fault);
            }
        }
    }
    template <class T>
        requires requires(T& t, StateReader& r) { t.load(r); }
    void operator()(T& buffer) noexcept {
        buffer.load(*this);
    }

    // The header: magic, a version this build reads, and `name`.
    void header(std::string_view name) noexcept {
        for (const unsigned char c : state_magic) {
            if (*this && at_ < size_ && data_[at_] != c) return fail("not a kestov state (no KSTV tag)");
            byte();
        }
        std::uint16_t version = byte();
        version = static_cast<std::uint16_t>(version | (byte() << 8));
        if (!*this) return;
        if (version != state_version) {
            at_ -= 2;
            return fail(version > state_version ? "written by a newer kestov (state format version above 1)"
                                                : "unknown state format version 0");
        }
        const std::size_t length = byte();
        if (!*this) return;
        if (remaining() < length) return truncated();
        const std::string_view written(reinterpret_cast<const char*>(data_ + at_), length);
        if (written != name) return fail("the state is of another indicator class");
        at_ += length;
    }

    void end() noexcept {
        if (*this && at_ != size_) fail("extra bytes after the state");
    }

    // The name a state's header gives, or empty when the header is unreadable.
    static std::string_view name_in(const unsigned char* data, std::size_t size) noexcept {
        if (size < 7 || std::memcmp(data, state_magic.data(), 4) != 0) return {};
        const std::size_t length = data[6];
        if (size - 7 < length) return {};
        return {reinterpret_cast<const char*>(data + 7), length};
    }

private:
    unsigned char byte() noexcept {
        if (error_ != nullptr) return 0;
        if (at_ == size_) {
            truncated();
            return 0;
        }
        return data_[at_++];
    }
    void truncated() noexcept { fail("the state ends too soon"); }

    const unsigned char* data_;
    std::size_t size_;
    std::size_t at_ = 0;
    const char* error_ = nullptr;
    std::size_t error_at_ = 0;
};

namespace detail {
template <class F>
struct create_args;
template <class R, class... A>
struct create_args<R (*)(A...) noexcept> {
    using type = std::tuple<std::decay_t<A>...>;
};
}  // namespace detail

// The configuration `create` takes, as a tuple of its argument types.
template <class T>
using ConfigOf = typename detail::create_args<decltype(&T::create)>::type;

template <Saveable T>
void write_state(const T& indicator, StateWriter& w) noexcept {
    w.header(T::name);
    std::apply([&](const auto&... value) { (w(value), ...); }, indicator.config());
    w(indicator);
}

// The number of bytes save_state writes.
template <Saveable T>
std::size_t state_size(const T& indicator) noexcept {
    StateWriter counter(nullptr);
    write_state(indicator, counter);
    return counter.size();
}

// Writes exactly state_size(indicator) bytes to `out`.
template <Saveable T>
void save_state(const T& indicator, unsigned char* out) noexcept {
    StateWriter w(out);
    write_state(indicator, w);
}

template <Saveable T>
std::vector<unsigned char> save_state(const T& indicator) {
    std::vector<unsigned char> bytes(state_size(indicator));
    save_state(indicator, bytes.data());
    return bytes;
}

// The configuration a state's header and first fields give, checked no
// further than its bytes.
template <Saveable T>
Expected<ConfigOf<T>, StateError> read_config(StateReader& r) noexcept {
    r.header(T::name);
    ConfigOf<T> config{};
    std::apply([&](auto&... value) { (r(value), ...); }, config);
    if (!r) return r.error();
    return config;
}

template <Saveable T>
Expected<T, LoadError> load_state(const unsigned char* data, std::size_t size) noexcept {
    StateReader r(data, size);
    auto config = read_config<T>(r);
    if (!config) return LoadError{config.error()};
    const std::size_t config_end = r.position();
    auto built = std::apply(&T::create, config.value());
    if (!built) {
        if (const auto* room = std::get_if<RoomError>(&built.error())) return LoadError{*room};
        return LoadError{std::get<IndicatorError>(built.error())};
    }
    T indicator = std::move(built).value();
    r(indicator);
    r.end();
    if (!r) {
        StateError error = r.error();
        if (error.at < config_end) error.at = config_end;
        return LoadError{error};
    }
    return indicator;
}

template <Saveable T>
Expected<T, LoadError> load_state(const std::vector<unsigned char>& bytes) noexcept {
    return load_state<T>(bytes.data(), bytes.size());
}

// An independent indicator in the same state: the same configuration, the
// same room, and the same outputs from here on.
template <Saveable T>
Expected<T, LoadError> copy_state(const T& indicator) noexcept {
    const std::size_t size = state_size(indicator);
    std::unique_ptr<unsigned char[]> bytes(new (std::nothrow) unsigned char[size]);
    if (!bytes) return LoadError{RoomError::OutOfMemory};
    save_state(indicator, bytes.get());
    return load_state<T>(bytes.get(), size);
}

// The same configuration and state, bit for bit (so -0.0 is not 0.0 and a
// NaN equals the same NaN).
template <Saveable T>
bool same_state(const T& a, const T& b) {
    return save_state(a) == save_state(b);
}

// What is wrong, for display: the bytes' fault, or the configuration's (its
// detail where it has one; IndicatorError::message() gives the whole text).
inline const char* load_error_text(const LoadError& error) noexcept {
    if (const auto* bad = std::get_if<StateError>(&error)) return bad->what;
    if (const auto* config = std::get_if<IndicatorError>(&error))
        return config->detail() != nullptr ? config->detail() : config->prefix();
    return std::get<RoomError>(error) == RoomError::OutOfMemory ? "no room for the indicator's buffers"
                                                                : "the indicator's buffer size does not fit";
}

}  // namespace kestov
