// Every output of every class against the golden vectors that the Python
// module wrote (tests/data/golden.txt, by tools/make_golden.py): whatever
// compiler, optimisation, processor and fused multiply-add this build uses,
// the core must give the same bits. The file's format is described in the
// tool's docstring.

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <concepts>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "check.hpp"
#include "kestov/kestov.hpp"

#ifndef KESTOV_GOLDEN_FILE
#error "define KESTOV_GOLDEN_FILE as the path of tests/data/golden.txt (core/tests/CMakeLists.txt does)"
#endif

namespace {

using Bits = std::vector<std::uint64_t>;  // one output: empty where update gives none
using Row = std::vector<double>;

std::vector<std::string_view> split(std::string_view text, char by) {
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(by, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

// A number of the file: a configuration value, or a double's hex digits.
template <class T>
std::optional<T> number(std::string_view text, int base = 10) {
    T value{};
    const char* const end = text.data() + text.size();
    std::from_chars_result read;
    if constexpr (std::is_floating_point_v<T>) read = std::from_chars(text.data(), end, value);
    else read = std::from_chars(text.data(), end, value, base);
    if (read.ec != std::errc() || read.ptr != end) return std::nullopt;
    return value;
}

std::optional<Bits> hex_list(std::string_view text) {
    Bits bits;
    for (const auto part : split(text, ',')) {
        const auto b = number<std::uint64_t>(part, 16);
        if (!b || part.size() != 16) return std::nullopt;
        bits.push_back(*b);
    }
    return bits;
}

struct Case {
    std::string name;
    std::vector<std::string_view> config;  // "NAME=VALUE", in the order of the factory's parameters
    std::string_view reader;
    std::vector<std::string_view> outputs;
    std::string label;
};

// The candle the Python module's batch builds from a reader's columns of an
// (open, high, low, close, volume) row; update gets the same in the golden run.
// A stamped row carries the timestamp as a sixth value, a whole number.
std::optional<kestov::Candle> candle(std::string_view reader, const Row& r) {
    if (r.size() != (reader == "hlcvt" ? 6 : 5)) return std::nullopt;
    const double o = r[0], h = r[1], l = r[2], c = r[3], v = r[4];
    const std::int64_t t = reader == "hlcvt" ? static_cast<std::int64_t>(r[5]) : 0;
    std::optional<std::array<double, 5>> f;
    if (reader == "hlc") f = {{c, h, l, c, 0.0}};
    if (reader == "hl") f = {{l, h, l, l, 0.0}};
    if (reader == "cv") f = {{c, c, c, c, v}};
    if (reader == "hlcv") f = {{c, h, l, c, v}};
    if (reader == "ohlc") f = {{o, h, l, c, 0.0}};
    if (reader == "hlcvt") f = {{c, h, l, c, v}};
    if (reader == "hlv") f = {{l, h, l, l, v}};
    if (!f) return std::nullopt;
    auto made = kestov::Candle::create((*f)[0], (*f)[1], (*f)[2], (*f)[3], (*f)[4], t);
    if (!made) return std::nullopt;
    return made.value();
}

Bits bits_of(const std::optional<double>& out) {
    return out ? Bits{std::bit_cast<std::uint64_t>(*out)} : Bits{};
}
template <std::size_t K>
Bits bits_of(const std::optional<std::array<double, K>>& out) {
    Bits bits;
    if (out)
        for (double x : *out) bits.push_back(std::bit_cast<std::uint64_t>(x));
    return bits;
}

namespace lanes = kestov::lanes;

// Outputs per row: a double is one.
template <class Output>
inline constexpr std::size_t width = 1;
template <std::size_t K>
inline constexpr std::size_t width<std::array<double, K>> = K;

// The rows through update_block, in three pieces, against update's outputs.
template <class Pack, class T>
bool block_agrees(T indicator, const Case& c, const std::vector<Row>& rows, const std::vector<Bits>& outputs,
                  std::string& why) {
    const std::size_t n = rows.size();
    constexpr std::size_t k = width<typename T::Output>;
    std::vector<double> out(n * k);
    const std::size_t cuts[] = {0, n / 3, n / 3 + n / 5, n};
    if constexpr (std::same_as<typename T::Input, double>) {
        std::vector<double> values;
        for (const Row& row : rows) values.push_back(row[0]);
        for (int p = 0; p < 3; ++p)
            indicator.template update_block<Pack>(values.data() + cuts[p], cuts[p + 1] - cuts[p], out.data() + cuts[p] * k);
    } else if constexpr (std::same_as<typename T::Input, kestov::Pair>) {
        std::vector<double> a, b;
        for (const Row& row : rows) {
            a.push_back(row[0]);
            b.push_back(row[1]);
        }
        for (int p = 0; p < 3; ++p)
            indicator.template update_block<Pack>(kestov::PairColumns{a.data() + cuts[p], b.data() + cuts[p]},
                                                  cuts[p + 1] - cuts[p], out.data() + cuts[p] * k);
    } else {
        std::array<std::vector<double>, 5> fields;
        for (const Row& row : rows) {
            const kestov::Candle k = *candle(c.reader, row);
            const double f[5] = {k.open(), k.high(), k.low(), k.close(), k.volume()};
            for (int j = 0; j < 5; ++j) fields[j].push_back(f[j]);
        }
        for (int p = 0; p < 3; ++p) {
            const auto at = [&](int j) { return fields[j].data() + cuts[p]; };
            indicator.template update_block<Pack>(kestov::CandleColumns{at(0), at(1), at(2), at(3), at(4)},
                                                  cuts[p + 1] - cuts[p], out.data() + cuts[p] * k);
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        Bits got;
        for (std::size_t j = 0; j < k; ++j) got.push_back(std::bit_cast<std::uint64_t>(out[i * k + j]));
        if (outputs[i].empty() && out[i * k] != out[i * k]) got.clear();
        if (got != outputs[i]) {
            why = "update_block (" + std::to_string(lanes::width<Pack>) + " lanes) differs from update at row " +
                  std::to_string(i);
            return false;
        }
    }
    return true;
}

// Runs a case: its outputs, or why it could not run.
using Runner = std::function<std::optional<std::vector<Bits>>(const Case&, const std::vector<Row>&, std::string&)>;

template <class P>
std::optional<P> argument(std::string_view name_value) {
    const auto eq = name_value.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    return number<P>(name_value.substr(eq + 1));
}

// The one factory all classes share: the configuration's values go to
// create in order, each parsed as its parameter's type.
template <class T, class... P>
Runner runner(kestov::Expected<T, kestov::BuildError> (*create)(P...) noexcept) {
    return [create](const Case& c, const std::vector<Row>& rows,
                    std::string& why) -> std::optional<std::vector<Bits>> {
        if (c.config.size() != sizeof...(P)) {
            why = "wrong number of configuration values";
            return std::nullopt;
        }
        const auto args = [&]<std::size_t... I>(std::index_sequence<I...>) {
            return std::tuple{argument<P>(c.config[I])...};
        }(std::index_sequence_for<P...>{});
        const bool parsed = std::apply([](const auto&... a) { return (a.has_value() && ...); }, args);
        if (!parsed) {
            why = "unreadable configuration";
            return std::nullopt;
        }
        auto made = std::apply([&](const auto&... a) { return create(*a...); }, args);
        if (!made) {
            why = "create refused the configuration";
            return std::nullopt;
        }
        T indicator = std::move(made).value();
        std::vector<Bits> outputs;
        for (const Row& row : rows) {
            if constexpr (std::same_as<typename T::Input, double>) {
                if (c.reader != "prices" || row.size() != 1) {
                    why = "a value class needs the prices series";
                    return std::nullopt;
                }
                outputs.push_back(bits_of(indicator.update(row[0])));
            } else if constexpr (std::same_as<typename T::Input, kestov::Pair>) {
                if (c.reader != "ab" || row.size() != 2) {
                    why = "a pair class needs the pairs series";
                    return std::nullopt;
                }
                outputs.push_back(bits_of(indicator.update(kestov::Pair{row[0], row[1]})));
            } else {
                const auto input = candle(c.reader, row);
                if (!input) {
                    why = "unknown reader or invalid candle";
                    return std::nullopt;
                }
                outputs.push_back(bits_of(indicator.update(*input)));
            }
        }
        // A class that also takes whole columns must give the same, at both
        // pack widths, fed in three pieces.
        if constexpr (kestov::TakesColumns<T>) {
            const auto fresh = [&] { return std::apply([&](const auto&... a) { return create(*a...); }, args).value(); };
            if (!block_agrees<lanes::Narrow>(fresh(), c, rows, outputs, why) ||
                !block_agrees<lanes::Wide>(fresh(), c, rows, outputs, why))
                return std::nullopt;
        }
        return outputs;
    };
}

template <class... T>
std::map<std::string, Runner, std::less<>> table(kestov::TypeList<T...>) {
    return {{std::string(T::name), runner(&T::create)}...};
}

const auto runners = table(kestov::AllIndicators{});

// The series a reader's case runs over.
std::string_view series_of(std::string_view reader) {
    if (reader == "prices") return "prices";
    if (reader == "ab") return "pairs";
    if (reader == "hlcvt") return "stamped";
    return "candles";
}

bool is_nan(std::uint64_t bits) { return (bits & 0x7fff'ffff'ffff'ffffULL) > 0x7ff0'0000'0000'0000ULL; }

// IEEE 754 leaves the sign and payload of a NaN that an operation makes to
// the processor (x86 gives fff8000000000000, ARM 7ff8000000000000), so a NaN
// matches any NaN; every other value must match in all 64 bits, the sign of
// a zero included. `nan_bits` counts the NaNs that match with other bits.
bool same(const Bits& want, const Bits& got, std::size_t& nan_bits) {
    if (want.size() != got.size()) return false;
    std::size_t other = 0;
    for (std::size_t i = 0; i < want.size(); ++i) {
        if (want[i] == got[i]) continue;
        if (!is_nan(want[i]) || !is_nan(got[i])) return false;
        ++other;
    }
    nan_bits += other;
    return true;
}

std::string text(const Bits& bits) {
    if (bits.empty()) return "-";
    std::string out;
    for (const auto b : bits) {
        char digits[17];
        std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(b));
        out += (out.empty() ? "" : ",") + std::string(digits);
    }
    return out;
}

}  // namespace

TEST(every_output_of_every_class_has_the_golden_bits) {
    // KESTOV_GOLDEN names another file: scripts/exactness.sh gives a spoilt
    // copy to see the test fail.
    const char* path = std::getenv("KESTOV_GOLDEN");
    if (path == nullptr) path = KESTOV_GOLDEN_FILE;
    std::ifstream in(path);
    if (!in) {
        check::fail(__FILE__, __LINE__, std::string("cannot read ") + path);
        return;
    }
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#') lines.push_back(std::move(line));

    std::map<std::string, std::vector<Row>, std::less<>> series;
    std::vector<Case> cases;
    for (const std::string& line : lines) {
        const auto fields = split(line, '|');
        if (fields[0] == "series" && fields.size() == 3) {
            auto& rows = series[std::string(fields[1])];
            for (const auto row : split(fields[2], ' ')) {
                const auto bits = hex_list(row);
                CHECK(bits.has_value());
                if (!bits) return;
                Row& r = rows.emplace_back();
                for (const auto b : *bits) r.push_back(std::bit_cast<double>(b));
            }
        } else if (fields[0] == "case" && fields.size() == 5) {
            const std::string name(fields[1]);
            const auto config = fields[2] == "-" ? std::vector<std::string_view>{} : split(fields[2], ',');
            const std::string label = name + "(" + std::string(fields[2]) + ")";
            cases.push_back({name, config, fields[3], split(fields[4], ' '), label});
        } else {
            check::fail(__FILE__, __LINE__, "unreadable line: " + line.substr(0, 60));
            return;
        }
    }

    std::size_t checked = 0, mismatches = 0, nan_bits = 0;
    std::set<std::string, std::less<>> seen;
    for (const Case& c : cases) {
        const auto run = runners.find(c.name);
        const auto rows = series.find(series_of(c.reader));
        if (run == runners.end() || rows == series.end() || rows->second.size() != c.outputs.size()) {
            check::fail(__FILE__, __LINE__, c.label + ": no such class, or no series of its length");
            ++mismatches;
            continue;
        }
        seen.insert(c.name);
        std::string why;
        const auto outputs = run->second(c, rows->second, why);
        if (!outputs) {
            check::fail(__FILE__, __LINE__, c.label + ": " + why);
            ++mismatches;
            continue;
        }
        int reported = 0;
        for (std::size_t i = 0; i < outputs->size(); ++i) {
            const auto& got = (*outputs)[i];
            const auto want = c.outputs[i] == "-" ? std::optional<Bits>(Bits{}) : hex_list(c.outputs[i]);
            checked += std::max<std::size_t>(1, got.size());
            if (want && same(*want, got, nan_bits)) continue;
            ++mismatches;
            if (reported++ < 3) {
                const std::string where = c.label + " row " + std::to_string(i) + ": ";
                check::fail(__FILE__, __LINE__, where + text(got) + " != " + std::string(c.outputs[i]));
            }
        }
    }
    // Every class has golden cases.
    CHECK_EQ(seen.size(), runners.size());
    CHECK(checked > 0);
    CHECK_EQ(mismatches, std::size_t{0});
    // The matrix script reads this line.
    std::printf("golden: %zu cases, %zu values checked, %zu mismatches, %zu NaNs with other sign or payload bits\n",
                cases.size(), checked, mismatches, nan_bits);
}
