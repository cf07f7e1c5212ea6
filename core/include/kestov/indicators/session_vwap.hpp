#pragma once
// Volume-weighted average price restarted at every session: VWAP's typical
// price and sums, begun afresh on the first candle whose session differs
// from the last one's. A candle's session is
//   floor((timestamp - offset) / session),
// with timestamps, `session` and `offset` in one unit (whatever the caller
// uses). Any change of session starts a new one, so a timestamp that goes
// back into an earlier session starts that session again from nothing;
// one that goes back within the session carries on.

#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/indicators/vwap.hpp"

namespace kestov {

class SessionVWAP {
public:
    using Input = Candle;
    using Output = double;
    static constexpr std::string_view name = "SessionVWAP";

private:
    bool in_session_ = false;
    std::uint64_t key_ = 0;  // the session's number, modulo 2^64
    bool has_value_ = false;
    double value_ = 0.0;
    VWAP vwap_;
    std::uint64_t session_;
    std::int64_t offset_;

    SessionVWAP(std::uint64_t session, std::int64_t offset) noexcept : session_(session), offset_(offset) {}

    // floor((timestamp - offset) / session) without overflow, modulo 2^64.
    // Shifted by 2^63 both lie in [0, 2^64), so their difference is exact
    // in either order. For one offset the true numbers of all timestamps
    // span fewer than 2^64 values, so equal keys are equal sessions.
    std::uint64_t session_of(std::int64_t timestamp) const noexcept {
        constexpr std::uint64_t shift = std::uint64_t{1} << 63;
        const std::uint64_t t = static_cast<std::uint64_t>(timestamp) ^ shift;
        const std::uint64_t o = static_cast<std::uint64_t>(offset_) ^ shift;
        if (t >= o) return (t - o) / session_;
        const std::uint64_t before = o - t;
        const std::uint64_t whole = before / session_ + (before % session_ != 0 ? 1 : 0);
        return std::uint64_t{0} - whole;
    }

public:
    static Expected<SessionVWAP, BuildError> create(std::uint64_t session, std::int64_t offset) noexcept {
        if (session == 0) return BuildError{IndicatorError::invalid_period("session must be greater than zero")};
        return SessionVWAP(session, offset);
    }

    std::optional<double> update(const Candle& candle) noexcept {
        const std::uint64_t key = session_of(candle.timestamp());
        if (!in_session_ || key != key_) {
            vwap_.reset();
            has_value_ = false;
            key_ = key;
            in_session_ = true;
        }
        const std::optional<double> out = vwap_.update(candle);
        if (out) {
            has_value_ = true;
            value_ = *out;
        }
        return out;
    }

    std::optional<double> value() const noexcept {
        if (!has_value_) return std::nullopt;
        return value_;
    }

    // A value in the current session.
    bool is_ready() const noexcept { return has_value_; }
    std::uint64_t warmup_period() const noexcept { return 1; }
    std::uint64_t session() const noexcept { return session_; }
    std::int64_t offset() const noexcept { return offset_; }

    void reset() noexcept {
        vwap_.reset();
        in_session_ = has_value_ = false;
        key_ = 0;
        value_ = 0.0;
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t, std::int64_t> config() const noexcept { return {session_, offset_}; }
    template <class V>
    void fields(V& v) {
        v(in_session_);
        v(key_);
        v(has_value_);
        v(value_);
        v(vwap_);
    }
    const char* state_fault() const noexcept {
        if (has_value_ && !in_session_) return "SessionVWAP: a value outside any session";
        return nullptr;
    }
};

}  // namespace kestov
