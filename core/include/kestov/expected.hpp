#pragma once
// A value or an error, for the core's fallible constructors. The core never
// throws: constructors report failure through this type instead.

#include <utility>
#include <variant>

namespace kestov {

template <class T, class E>
class [[nodiscard]] Expected {
public:
    constexpr Expected(T value) : v_(std::in_place_index<0>, std::move(value)) {}
    constexpr Expected(E error) : v_(std::in_place_index<1>, std::move(error)) {}

    explicit operator bool() const noexcept { return v_.index() == 0; }
    bool has_value() const noexcept { return v_.index() == 0; }

    T& value() & noexcept { return *std::get_if<0>(&v_); }
    const T& value() const& noexcept { return *std::get_if<0>(&v_); }
    T&& value() && noexcept { return std::move(*std::get_if<0>(&v_)); }
    const E& error() const noexcept { return *std::get_if<1>(&v_); }

private:
    std::variant<T, E> v_;
};

}  // namespace kestov
