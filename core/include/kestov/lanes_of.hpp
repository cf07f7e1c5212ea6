#pragma once
// The lanes of a class made of other indicators (panel.hpp): one set of
// lanes per member, settled when every member is, loaded and stored member
// by member. The class adds only its step, over `parts`:
//
//     template <class Pack>
//     struct Lanes : LanesOf<Pack, &HMA::half_wma_, &HMA::full_wma_, &HMA::smooth_wma_> {
//         std::optional<Pack> step(Pack x) noexcept {
//             auto& [half, full, smooth] = this->parts;
//             ...

#include <cstddef>
#include <tuple>

namespace kestov {

namespace detail {
template <auto member>
struct MemberOf;
template <class Owner, class T, T Owner::*member>
struct MemberOf<member> {
    using owner = Owner;
    using type = T;
};
}  // namespace detail

template <class Pack, auto... members>
struct LanesOf {
    using Owner = std::tuple_element_t<0, std::tuple<typename detail::MemberOf<members>::owner...>>;
    template <auto member>
    using Part = typename detail::MemberOf<member>::type::template Lanes<Pack>;

    std::tuple<Part<members>...> parts;

    // Whether each member's configuration fits its lanes (a window of at
    // most so many values).
    static bool fits(const Owner& o) noexcept { return (Part<members>::fits(o.*members) && ...); }
    static bool settled(const Owner& o) noexcept { return (Part<members>::settled(o.*members) && ...); }
    void load(const Owner& o, std::size_t lane) noexcept {
        std::apply([&](auto&... part) { (part.load(o.*members, lane), ...); }, parts);
    }
    void store(Owner& o, std::size_t lane) const noexcept {
        std::apply([&](const auto&... part) { (part.store(o.*members, lane), ...); }, parts);
    }
};

}  // namespace kestov
