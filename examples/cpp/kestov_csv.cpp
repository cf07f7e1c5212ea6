// Streams the bars of a CSV file through one kestov indicator and writes its
// output for every bar as CSV, the same text the Python command line
// (`kestov FILE -i INDICATOR`) writes:
//
//     kestov_csv FILE INDICATOR [--state STATE]    e.g.  kestov_csv sample.csv 'MACD(fast=8, slow=21)'
//     kestov_csv --list                            the indicators, their arguments and columns
//
// INDICATOR is NAME or NAME(arguments): numbers, in order or by keyword, as
// the Python class takes them. Arguments left out keep the class's defaults,
// and a bare NAME (or NAME()) gets 20 for a period the class requires.
//
// The file needs a header row. Only the columns the indicator reads must be
// there, found by name in any case and order: open, high, low, close and
// volume, or a and b for the two-series statistics; a candle's other fields
// are filled as Python's batch fills them (open is the close, volume 0...).
// A first column named date, datetime, time or timestamp, or with no name at
// all (as pandas writes a date index), is carried to the output. SessionVWAP
// reads a timestamp column, or else the seconds since the epoch (UTC) of
// that first column's dates, written YYYY-MM-DD with an optional HH:MM or
// HH:MM:SS after a space or a T.
//
// Output columns are named after the request, as written back by Python
// (`SMA(5)`, `BollingerBands(20, 2.5)`), with the output's name after a dot
// for indicators of several outputs (`MACD.signal`). Values are printed as
// Python's repr prints them, the shortest text that reads back as the same
// double; bars without output yet get empty cells.
//
// With --state, the indicator starts from the state saved in STATE when that
// file exists (configuration included) and saves its state there when every
// row is written, so a series can be fed in pieces: running over the first
// part of a file and then over the rest prints the rows of one run over the
// whole. A state that cannot be restored stops the program before any output
// and is left as it is. Each run prints its own header line.
//
// Exit status: 0 on success, 1 for a file that cannot be read or a bad row,
// 2 for a bad request (unknown name, bad arguments).

#include <kestov/kestov.hpp>
#include <kestov/state.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <tuple>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace {

constexpr const char* program = "kestov_csv";

bool fail(const std::string& where, const std::string& why) {
    std::fprintf(stderr, "%s: %s: %s\n", program, where.c_str(), why.c_str());
    return false;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return text;
}

std::string lower(std::string_view text) {
    std::string out(trimmed(text));
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::vector<std::string_view> split_list(std::string_view text, std::string_view separator) {
    std::vector<std::string_view> items;
    while (!text.empty()) {
        const std::size_t end = text.find(separator);
        items.push_back(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + separator.size());
    }
    return items;
}

// ---- The classes as Python has them --------------------------------------------

// Each class's constructor as Python's inspect.signature shows it, the
// columns its batch reads, and the names of its outputs where it has several:
// `--list` prints the first two as `kestov --list` does, and the tests hold
// both to the Python module.
struct Signature {
    std::string_view text;
    std::string_view inputs;
    std::string_view outputs;
};

constexpr auto signatures = std::to_array<Signature>({
    {"SMA(period)", "close", ""},
    {"EMA(period)", "close", ""},
    {"WMA(period)", "close", ""},
    {"RSI(period=14)", "close", ""},
    {"MACD(fast=12, slow=26, signal=9)", "close", "macd signal histogram"},
    {"BollingerBands(period=20, multiplier=2.0)", "close", "upper middle lower stddev"},
    {"ATR(period=14)", "high, low, close", ""},
    {"Stochastic(k_period=14, d_period=3)", "high, low, close", "k d"},
    {"OBV()", "close, volume", ""},
    {"DEMA(period)", "close", ""},
    {"TEMA(period)", "close", ""},
    {"HMA(period)", "close", ""},
    {"KAMA(er_period=10, fast=2, slow=30)", "close", ""},
    {"CCI(period=20)", "high, low, close", ""},
    {"ROC(period)", "close", ""},
    {"WilliamsR(period=14)", "high, low, close", ""},
    {"ADX(period=14)", "high, low, close", "plus_di minus_di adx"},
    {"MFI(period=14)", "high, low, close, volume", ""},
    {"TRIX(period)", "close", ""},
    {"PSAR(af_start=0.02, af_step=0.02, af_max=0.2)", "high, low, close", ""},
    {"Keltner(ema_period=20, atr_period=10, multiplier=2.0)", "high, low, close", "upper middle lower"},
    {"Donchian(period=20)", "high, low", "upper middle lower"},
    {"VWAP()", "high, low, close, volume", ""},
    {"AwesomeOscillator(fast=5, slow=34)", "high, low", ""},
    {"Aroon(period=14)", "high, low", "up down"},
    {"Momentum(period=10)", "close", ""},
    {"TrueRange()", "high, low, close", ""},
    {"StochRSI(period=14, k_period=5, d_period=3)", "close", "k d"},
    {"ADXR(period=14)", "high, low, close", ""},
    {"DX(period=14)", "high, low, close", ""},
    {"PPO(fast=12, slow=26, signal=9)", "close", "ppo signal histogram"},
    {"APO(fast=12, slow=26)", "close", ""},
    {"TSI(long=25, short=13)", "close", ""},
    {"CMO(period=14)", "close", ""},
    {"UltimateOscillator(fast=7, medium=14, slow=28)", "high, low, close", ""},
    {"KST(r1=10, r2=15, r3=20, r4=30, s1=10, s2=10, s3=10, s4=15, signal=9)", "close", "kst signal"},
    {"Coppock(wma_period=10, roc1=11, roc2=14)", "close", ""},
    {"DPO(period=20)", "close", ""},
    {"SuperTrend(period=10, multiplier=3.0)", "high, low, close", "line direction"},
    {"Ichimoku(tenkan=9, kijun=26, senkou=52)", "high, low", "tenkan kijun span_a span_b"},
    {"AroonOscillator(period=14)", "high, low", ""},
    {"BalanceOfPower()", "open, high, low, close", ""},
    {"ZLEMA(period=30)", "close", ""},
    {"T3(period=5, vfactor=0.7)", "close", ""},
    {"TRIMA(period=30)", "close", ""},
    {"VWMA(period=30)", "close, volume", ""},
    {"RMA(period=30)", "close", ""},
    {"Correlation(period=30)", "a, b", ""},
    {"Beta(period=5)", "a, b", ""},
    {"SessionVWAP(session=86400, offset=0)", "high, low, close, volume, timestamp", ""},
    {"AccumulationDistribution()", "high, low, close, volume", ""},
    {"ChaikinOscillator(fast=3, slow=10)", "high, low, close, volume", ""},
    {"ChaikinMoneyFlow(period=20)", "high, low, close, volume", ""},
    {"ForceIndex(period=13)", "close, volume", ""},
    {"EaseOfMovement(period=14, volume_divisor=100000000.0)", "high, low, volume", ""},
    {"PVT()", "close, volume", ""},
    {"NVI()", "close, volume", ""},
    {"PVI()", "close, volume", ""},
    {"Vortex(period=14)", "high, low, close", "plus minus"},
    {"MassIndex(ema_period=9, sum_period=25)", "high, low", ""},
    {"HeikinAshi()", "open, high, low, close", "open high low close"},
    {"StdDev(period=5, nbdev=1.0)", "close", ""},
    {"Variance(period=5)", "close", ""},
    {"LinearRegression(period=14)", "close", "value slope intercept angle forecast"},
    {"MidPoint(period=14)", "close", ""},
    {"MidPrice(period=14)", "high, low", ""},
    {"NATR(period=14)", "high, low, close", ""},
});

// ---- Numbers as Python reads and writes them ------------------------------------

// Python's repr of a double: the shortest digits that read back as the same
// double, in positional notation for exponents from -4 to 15 and in
// scientific notation (at least two exponent digits) beyond.
std::string python_repr(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    std::array<char, 64> buffer{};
    const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                         std::chars_format::scientific);
    std::string_view text(buffer.data(), static_cast<std::size_t>(end - buffer.data()));
    std::string sign;
    if (text.front() == '-') {
        sign = "-";
        text.remove_prefix(1);
    }
    const std::size_t e = text.find('e');
    int exponent = 0;
    std::from_chars(text.data() + e + (text[e + 1] == '+' ? 2 : 1), text.data() + text.size(), exponent);
    std::string digits;
    for (const char c : text.substr(0, e))
        if (c != '.') digits += c;
    if (exponent < -4 || exponent >= 16) {
        std::string out = sign + digits.substr(0, 1);
        if (digits.size() > 1) out += "." + digits.substr(1);
        const std::string power = std::to_string(std::abs(exponent));
        return out + (exponent < 0 ? "e-" : "e+") + (power.size() < 2 ? "0" : "") + power;
    }
    const int point = exponent + 1;  // digits before the decimal point
    const auto size = static_cast<int>(digits.size());
    if (point <= 0) return sign + "0." + std::string(static_cast<std::size_t>(-point), '0') + digits;
    if (point >= size) return sign + digits + std::string(static_cast<std::size_t>(point - size), '0') + ".0";
    const auto whole = static_cast<std::size_t>(point);
    return sign + digits.substr(0, whole) + "." + digits.substr(whole);
}

// A cell as Python's float() reads it (surrounding spaces and a leading +
// allowed); from_chars rounds correctly, as float() does, so both sides start
// from the same doubles.
std::optional<double> number(std::string_view text) {
    text = trimmed(text);
    if (text.size() > 1 && text.front() == '+' && text[1] != '-') text.remove_prefix(1);
    double value = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

// A number written in a request or a signature: whole, or with a point or an
// exponent, as Python's literals tell int from float.
struct Literal {
    bool whole = true;
    bool negative = false;
    std::uint64_t magnitude = 0;  // of a whole number
    double real = 0.0;            // of the other kind

    std::string repr() const {
        if (!whole) return python_repr(real);
        return (negative && magnitude != 0 ? "-" : "") + std::to_string(magnitude);
    }
};

// ---- NAME(arguments) -----------------------------------------------------------

struct Item {
    std::string name;               // empty for an argument given in order
    std::optional<Literal> value;   // empty for a parameter without a default
};

struct Call {
    std::string name;
    std::vector<Item> items;

    std::string label() const {
        if (items.empty()) return name;
        std::string text = name + "(";
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (i > 0) text += ", ";
            if (!items[i].name.empty()) text += items[i].name + (items[i].value ? "=" : "");
            if (items[i].value) text += items[i].value->repr();
        }
        return text + ")";
    }
};

class CallReader {
public:
    explicit CallReader(std::string_view text) : text_(text) {}

    // NAME, or NAME(items) with items of `literal`, `name=literal` or, where
    // names alone are allowed (a signature's parameters), `name`.
    std::optional<Call> read(bool names_alone, std::string& error) {
        Call call;
        call.name = identifier();
        if (call.name.empty()) return wrong(error, "expected NAME or NAME(arguments)");
        if (at_end()) return call;
        if (!take('(')) return wrong(error, "expected NAME or NAME(arguments)");
        while (!take(')')) {
            Item item;
            const std::size_t start = at_;
            item.name = identifier();
            if (!item.name.empty() && !take('=')) {
                if (!names_alone) {
                    at_ = start;
                    return wrong(error, "arguments must be numbers");
                }
            } else {
                item.value = literal(error);
                if (!item.value) return std::nullopt;
            }
            call.items.push_back(std::move(item));
            if (!take(',') && !peek(')')) return wrong(error, "expected ',' or ')'");
        }
        if (!at_end()) return wrong(error, "unexpected text after ')'");
        return call;
    }

private:
    std::optional<Call> wrong(std::string& error, const char* why) {
        error = why;
        return std::nullopt;
    }

    void skip_space() {
        while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) ++at_;
    }
    bool at_end() {
        skip_space();
        return at_ == text_.size();
    }
    bool peek(char c) {
        skip_space();
        return at_ < text_.size() && text_[at_] == c;
    }
    bool take(char c) {
        if (!peek(c)) return false;
        ++at_;
        return true;
    }

    std::string identifier() {
        skip_space();
        const std::size_t start = at_;
        const auto letter = [](char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0 || c == '_'; };
        if (at_ < text_.size() && letter(text_[at_]))
            while (at_ < text_.size() && (letter(text_[at_]) || std::isdigit(static_cast<unsigned char>(text_[at_]))))
                ++at_;
        return std::string(text_.substr(start, at_ - start));
    }

    std::optional<Literal> literal(std::string& error) {
        Literal value;
        if (take('-')) value.negative = true;
        else take('+');
        skip_space();
        const std::size_t start = at_;
        const auto exponent = [](char c) { return c == 'e' || c == 'E'; };
        while (at_ < text_.size()) {
            const char c = text_[at_];
            const bool exponent_sign = (c == '+' || c == '-') && at_ > start && exponent(text_[at_ - 1]);
            if (std::isdigit(static_cast<unsigned char>(c)) == 0 && c != '.' && !exponent(c) && !exponent_sign) break;
            ++at_;
        }
        const std::string_view token = text_.substr(start, at_ - start);
        if (token.empty() || token.front() == 'e' || token.front() == 'E') {
            error = "arguments must be numbers";
            return std::nullopt;
        }
        const char* first = token.data();
        const char* last = token.data() + token.size();
        value.whole = token.find_first_of(".eE") == std::string_view::npos;
        const auto [end, ec] = value.whole ? std::from_chars(first, last, value.magnitude)
                                           : std::from_chars(first, last, value.real);
        if (ec == std::errc::result_out_of_range) {
            error = "number out of range: " + std::string(token);
            return std::nullopt;
        }
        if (ec != std::errc{} || end != last) {
            error = "not a number: " + std::string(token);
            return std::nullopt;
        }
        if (value.negative) value.real = -value.real;
        return value;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

// The values of a class's parameters for a request, in the class's order.
std::optional<std::vector<Literal>> bind(const Call& request, const Call& signature, std::string& error) {
    const std::vector<Item>& params = signature.items;
    std::vector<std::optional<Literal>> given(params.size());
    std::size_t position = 0;
    bool by_keyword = false;
    for (const Item& item : request.items) {
        std::size_t at = position;
        if (item.name.empty()) {
            if (by_keyword) {
                error = "an argument in order after one by keyword";
                return std::nullopt;
            }
            if (position == params.size()) {
                error = "takes at most " + std::to_string(params.size()) + " argument" +
                        (params.size() == 1 ? "" : "s") + " (" + std::to_string(request.items.size()) + " given)";
                return std::nullopt;
            }
            ++position;
        } else {
            by_keyword = true;
            const auto named = std::find_if(params.begin(), params.end(),
                                            [&](const Item& param) { return param.name == item.name; });
            if (named == params.end()) {
                error = "no argument named '" + item.name + "' (" + signature.label() + ")";
                return std::nullopt;
            }
            at = static_cast<std::size_t>(named - params.begin());
            if (given[at]) {
                error = "'" + item.name + "' given twice";
                return std::nullopt;
            }
        }
        given[at] = item.value;
    }
    std::vector<Literal> values;
    for (std::size_t i = 0; i < params.size(); ++i) {
        if (!given[i]) given[i] = params[i].value;
        // as `kestov -i NAME` does: a bare request gets 20 for a required period
        if (!given[i] && request.items.empty()) given[i] = Literal{true, false, 20, 0.0};
        if (!given[i]) {
            error = "no value for '" + params[i].name + "'";
            return std::nullopt;
        }
        values.push_back(*given[i]);
    }
    return values;
}

// One argument as the type create takes, refused as Python refuses it.
template <class T>
std::optional<T> convert(const Literal& value, const std::string& name, std::string& error) {
    const auto refuse = [&](const std::string& why) {
        if (error.empty()) error = "'" + name + "' " + why;
        return std::optional<T>{};
    };
    if constexpr (std::is_same_v<T, double>) {
        if (!value.whole) return value.real;
        const auto magnitude = static_cast<double>(value.magnitude);
        return value.negative ? -magnitude : magnitude;
    } else {
        static_assert(std::is_same_v<T, std::uint64_t> || std::is_same_v<T, std::int64_t>);
        if (!value.whole) return refuse("takes a whole number");
        if (value.negative && value.magnitude != 0) {
            if constexpr (std::is_same_v<T, std::uint64_t>) return refuse("cannot be negative");
            if (value.magnitude > std::uint64_t{1} << 63) return refuse("is out of range");
            return static_cast<T>(~value.magnitude + 1);  // two's complement, as C++20 defines the conversion
        }
        if (value.magnitude > static_cast<std::uint64_t>(std::numeric_limits<T>::max()))
            return refuse("is out of range");
        return static_cast<T>(value.magnitude);
    }
}

template <class F>
struct CreateArguments;
template <class R, class... P>
struct CreateArguments<R (*)(P...) noexcept> {
    using Types = std::tuple<P...>;
};

// I::create with the request's values, or nothing (and why) when one does
// not fit the type create takes.
template <class I>
std::optional<kestov::Expected<I, kestov::BuildError>> construct(const std::vector<Literal>& values,
                                                                 const Call& signature, std::string& error) {
    using Types = typename CreateArguments<decltype(&I::create)>::Types;
    constexpr std::size_t count = std::tuple_size_v<Types>;
    if (values.size() != count) {
        error = "the signature " + signature.label() + " does not match the C++ class";
        return std::nullopt;
    }
    return [&]<std::size_t... k>(std::index_sequence<k...>) -> std::optional<kestov::Expected<I, kestov::BuildError>> {
        const std::tuple<std::optional<std::tuple_element_t<k, Types>>...> arguments{
            convert<std::tuple_element_t<k, Types>>(values[k], signature.items[k].name, error)...};
        if (!(std::get<k>(arguments).has_value() && ...)) return std::nullopt;
        return I::create(*std::get<k>(arguments)...);
    }(std::make_index_sequence<count>{});
}

std::string describe(const kestov::BuildError& error) {
    if (const auto* indicator_error = std::get_if<kestov::IndicatorError>(&error)) return indicator_error->message();
    return std::get<kestov::RoomError>(error) == kestov::RoomError::OutOfMemory ? "out of memory"
                                                                                 : "period too large";
}

Call parse_signature(const Signature& signature) {
    std::string error;
    std::optional<Call> call = CallReader(signature.text).read(true, error);
    if (!call) {
        // the table above is part of this program: a line it cannot read is a bug here
        fail(std::string(signature.text), error);
        std::abort();
    }
    return *call;
}

const Signature* signature_of(std::string_view name) {
    for (const Signature& signature : signatures)
        if (signature.text.substr(0, signature.text.find('(')) == name) return &signature;
    return nullptr;
}

int list() {
    std::vector<std::pair<std::string, std::string_view>> lines;
    std::size_t width = 0;
    for (const Signature& signature : signatures) {
        // written back from what was read, so the listing shows how the table is understood
        const Call call = parse_signature(signature);
        std::string text = call.items.empty() ? call.name + "()" : call.label();
        width = std::max(width, text.size());
        lines.emplace_back(std::move(text), signature.inputs);
    }
    for (const auto& [text, inputs] : lines)
        std::printf("%-*s  %.*s\n", static_cast<int>(width), text.c_str(), static_cast<int>(inputs.size()),
                    inputs.data());
    return std::fflush(stdout) == 0 ? 0 : 1;
}

// ---- Reading the bars ------------------------------------------------------------

// The cells of one line: commas separate them, and a cell in double quotes may
// hold commas and doubled quotes.
std::vector<std::string> split(std::string_view line) {
    std::vector<std::string> cells(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c != '"') cells.back() += c;
            else if (i + 1 < line.size() && line[i + 1] == '"') cells.back() += line[++i];
            else quoted = false;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            cells.emplace_back();
        } else {
            cells.back() += c;
        }
    }
    return cells;
}

// A cell as Python's csv module writes it: in quotes when it holds a comma, a
// quote or a line break.
std::string csv_cell(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string out = "\"";
    for (const char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

// Seconds since the epoch (UTC) of YYYY-MM-DD, optionally followed by a space
// or a T and HH:MM or HH:MM:SS.
std::optional<double> date_seconds(std::string_view text) {
    text = trimmed(text);
    if (text.size() != 10 && text.size() != 16 && text.size() != 19) return std::nullopt;
    const auto field = [&](std::size_t at, std::size_t length) -> std::optional<int> {
        int value = 0;
        const char* first = text.data() + at;
        const auto [end, ec] = std::from_chars(first, first + length, value);
        if (ec != std::errc{} || end != first + length || !std::isdigit(static_cast<unsigned char>(*first)))
            return std::nullopt;
        return value;
    };
    const auto year = field(0, 4), month = field(5, 2), day = field(8, 2);
    if (!year || !month || !day || text[4] != '-' || text[7] != '-') return std::nullopt;
    const std::chrono::year_month_day date{std::chrono::year{*year}, std::chrono::month{static_cast<unsigned>(*month)},
                                           std::chrono::day{static_cast<unsigned>(*day)}};
    if (!date.ok()) return std::nullopt;
    int hours = 0, minutes = 0, seconds = 0;
    if (text.size() > 10) {
        const auto h = field(11, 2), m = field(14, 2);
        if ((text[10] != ' ' && text[10] != 'T') || text[13] != ':' || !h || !m || *h > 23 || *m > 59)
            return std::nullopt;
        hours = *h;
        minutes = *m;
        if (text.size() == 19) {
            const auto s = field(17, 2);
            if (text[16] != ':' || !s || *s > 59) return std::nullopt;
            seconds = *s;
        }
    }
    const std::int64_t days = std::chrono::sys_days(date).time_since_epoch().count();
    return static_cast<double>(days * 86400 + hours * 3600 + minutes * 60 + seconds);
}

struct Table {
    std::optional<std::string> label_name;  // the date column's header, when there is one
    std::vector<std::string> labels;
    std::vector<std::size_t> lines;
    std::vector<std::vector<double>> columns;  // one per input, in the order asked for
};

constexpr std::size_t from_dates = static_cast<std::size_t>(-1);

// The columns `inputs` names, read as `kestov` reads them, with the same
// refusals; `reader` is who needs them, for the messages.
bool read_table(const char* path, const std::vector<std::string_view>& inputs, const std::string& reader,
                Table& table) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return fail(path, "cannot open");
    std::string line;
    std::size_t line_number = 0;
    std::vector<std::string> header;
    while (header.empty() && std::getline(file, line)) {
        // utf-8-sig, as Python opens the file: spreadsheet exports often start with a byte-order mark
        if (++line_number == 1 && line.starts_with("\xEF\xBB\xBF")) line.erase(0, 3);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) header = split(line);
    }
    if (header.empty()) return fail(path, "empty file");
    if (std::all_of(header.begin(), header.end(), [](const std::string& cell) { return number(cell).has_value(); }))
        return fail(path, "missing header row (line " + std::to_string(line_number) + " looks like data)");

    std::vector<std::string> names;
    for (const std::string& cell : header) names.push_back(lower(cell));
    const bool dated = names[0].empty() || names[0] == "date" || names[0] == "datetime" || names[0] == "time" ||
                       names[0] == "timestamp";
    if (dated) table.label_name = header[0];
    std::vector<std::size_t> position;
    for (const std::string_view input : inputs) {
        std::vector<std::size_t> hits;
        for (std::size_t i = 0; i < names.size(); ++i)
            if (names[i] == input) hits.push_back(i);
        if (input == "timestamp" && dated && (hits.empty() || hits == std::vector<std::size_t>{0})) {
            position.push_back(from_dates);
            continue;
        }
        if (hits.empty()) return fail(path, "no '" + std::string(input) + "' column (needed by " + reader + ")");
        if (hits.size() > 1) return fail(path, "column '" + std::string(input) + "' appears more than once");
        position.push_back(hits[0]);
    }

    table.columns.assign(inputs.size(), {});
    while (std::getline(file, line)) {
        ++line_number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        const std::string where = std::string(path) + ": line " + std::to_string(line_number);
        const std::vector<std::string> cells = split(line);
        if (cells.size() != header.size())
            return fail(where, "expected " + std::to_string(header.size()) + " cells, got " +
                                   std::to_string(cells.size()));
        for (std::size_t k = 0; k < inputs.size(); ++k) {
            std::optional<double> value;
            if (position[k] == from_dates) {
                value = number(cells[0]);
                if (!value) value = date_seconds(cells[0]);
                if (!value) return fail(where, "'" + std::string(trimmed(cells[0])) +
                                                   "' is not a date to take a timestamp from");
            } else {
                const std::string& text = cells[position[k]];
                const std::string column = "column '" + std::string(inputs[k]) + "'";
                value = number(text);
                if (!value) return fail(where, column + ": " + (trimmed(text).empty() ? "empty cell"
                                                                                      : "not a number: '" + text + "'"));
                if (!std::isfinite(*value)) return fail(where, column + ": '" + std::string(trimmed(text)) +
                                                                   "' is not finite");
            }
            table.columns[k].push_back(*value);
        }
        if (dated) table.labels.push_back(cells[0]);
        table.lines.push_back(line_number);
    }
    for (std::size_t k = 0; k < inputs.size(); ++k) {
        if (inputs[k] != "timestamp") continue;
        for (const double stamp : table.columns[k])
            if (stamp != std::trunc(stamp) || std::abs(stamp) >= 0x1p63)
                return fail(path, "the timestamp column holds numbers that are not whole seconds");
    }
    return true;
}

// ---- Saved state ------------------------------------------------------------

// The indicator a state file holds, or the default one when there is no file
// yet; nothing, after the reason is printed, when the file cannot be read or
// is not a state of this class.
template <kestov::Saveable I>
std::optional<I> resume(const std::filesystem::path& path, I fresh) {
    const std::string where = path.string();
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        if (!error) return fresh;
        fail(where, error.message());
        return std::nullopt;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        fail(where, "cannot open");
        return std::nullopt;
    }
    const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    auto loaded = kestov::load_state<I>(bytes);
    if (loaded) return std::move(loaded).value();
    const std::string_view written = kestov::StateReader::name_in(bytes.data(), bytes.size());
    const bool plain = !written.empty() && std::all_of(written.begin(), written.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0;
    });
    if (plain && written != I::name) {
        fail(where, "holds a saved " + std::string(written) + " state, not " + std::string(I::name));
    } else if (const auto* bad = std::get_if<kestov::StateError>(&loaded.error())) {
        fail(where, "invalid " + std::string(I::name) + " state at byte " + std::to_string(bad->at) + ": " + bad->what);
    } else {
        fail(where, kestov::load_error_text(loaded.error()));
    }
    return std::nullopt;
}

// Written beside the file and renamed over it, so that a run stopped halfway
// leaves the previous state whole rather than a part of the new one.
bool save(const std::filesystem::path& path, const kestov::Saveable auto& indicator) {
    const std::vector<unsigned char> bytes = kestov::save_state(indicator);
    std::filesystem::path temporary = path;
    temporary += ".tmp";
    std::FILE* file = std::fopen(temporary.string().c_str(), "wb");
    if (file == nullptr) return fail(temporary.string(), "cannot create");
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written) {
        std::remove(temporary.string().c_str());
        return fail(temporary.string(), "cannot write");
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error) {
        std::remove(temporary.string().c_str());
        return fail(path.string(), error.message());
    }
    return true;
}

// ---- Running ---------------------------------------------------------------------

template <class Output>
constexpr std::size_t width = 1;
template <class T, std::size_t N>
constexpr std::size_t width<std::array<T, N>> = N;

void put_value(std::string& row, double value) {
    row += ',';
    if (!std::isnan(value)) row += python_repr(value);
}

template <class Output>
void put_output(std::string& row, const std::optional<Output>& out) {
    if constexpr (std::is_same_v<Output, double>) {
        put_value(row, out ? *out : std::nan(""));
    } else {
        for (std::size_t i = 0; i < width<Output>; ++i) put_value(row, out ? (*out)[i] : std::nan(""));
    }
}

// The header: the date column's, then the request's label, with the output
// names after it (or 0, 1, ... when the table has none, as Python names them).
template <class Output>
std::string header_line(const Table& table, const std::string& label, const Signature& signature) {
    std::string line = table.label_name ? csv_cell(*table.label_name) : std::string();
    const std::vector<std::string_view> names = split_list(signature.outputs, " ");
    for (std::size_t i = 0; i < width<Output>; ++i) {
        std::string column = label;
        if (width<Output> > 1) column += "." + (names.size() == width<Output> ? std::string(names[i]) : std::to_string(i));
        if (i > 0 || table.label_name) line += ',';
        line += csv_cell(column);
    }
    return line + "\n";
}

template <kestov::Saveable I>
int run(const Call& request, const char* path, const char* state_path) {
    const Signature* signature = signature_of(I::name);
    if (signature == nullptr) {
        fail(std::string(I::name), "not in this program's table of signatures");
        return 2;
    }
    const Call params = parse_signature(*signature);
    const std::string label = request.label();
    std::string error;
    const std::optional<std::vector<Literal>> values = bind(request, params, error);
    std::optional<kestov::Expected<I, kestov::BuildError>> made;
    if (values) made = construct<I>(*values, params, error);
    if (!made) {
        fail(label, error);
        return 2;
    }
    if (!*made) {
        fail(label, describe(made->error()));
        return 2;
    }

    const std::vector<std::string_view> inputs = split_list(signature->inputs, ", ");
    Table table;
    if (!read_table(path, inputs, label, table)) return 1;
    std::optional<I> resumed = std::move(*made).value();
    if (state_path != nullptr) resumed = resume(state_path, std::move(*resumed));
    if (!resumed) return 1;
    I& indicator = *resumed;

    using Output = typename I::Output;
    std::fputs(header_line<Output>(table, label, *signature).c_str(), stdout);
    // where each candle field comes from: its own column, or the fill batch uses
    const auto column = [&](std::string_view field) -> const std::vector<double>* {
        const auto at = std::find(inputs.begin(), inputs.end(), field);
        return at == inputs.end() ? nullptr : &table.columns[static_cast<std::size_t>(at - inputs.begin())];
    };
    const std::vector<double>*open = column("open"), *high = column("high"), *low = column("low");
    const std::vector<double>*close = column("close"), *volume = column("volume"), *stamp = column("timestamp");
    for (std::size_t r = 0; r < table.lines.size(); ++r) {
        std::string row = table.label_name ? csv_cell(table.labels[r]) : std::string();
        if constexpr (std::is_same_v<typename I::Input, kestov::Candle>) {
            // a class that reads only high and low has the low for its close
            const double c = close != nullptr ? (*close)[r] : (*low)[r];
            const auto candle = kestov::Candle::create(
                open != nullptr ? (*open)[r] : c, high != nullptr ? (*high)[r] : c, low != nullptr ? (*low)[r] : c, c,
                volume != nullptr ? (*volume)[r] : 0.0, stamp != nullptr ? static_cast<std::int64_t>((*stamp)[r]) : 0);
            if (!candle) {
                std::fflush(stdout);
                fail(std::string(path) + ": line " + std::to_string(table.lines[r]), label + ": " +
                                                                                       candle.error().message());
                return 1;
            }
            put_output(row, indicator.update(candle.value()));
        } else if constexpr (std::is_same_v<typename I::Input, kestov::Pair>) {
            put_output(row, indicator.update(kestov::Pair{table.columns[0][r], table.columns[1][r]}));
        } else {
            put_output(row, indicator.update(table.columns[0][r]));
        }
        // without a date column the row begins with the first value's comma
        std::fputs(table.label_name ? row.c_str() : row.c_str() + 1, stdout);
        std::fputc('\n', stdout);
    }
    // The state moves on only when the rows it has taken are out.
    if (std::fflush(stdout) != 0) return 1;
    return state_path == nullptr || save(state_path, indicator) ? 0 : 1;
}

template <class... I>
int run_named(kestov::TypeList<I...>, const Call& request, const char* path, const char* state) {
    int status = -1;
    ((status = status < 0 && request.name == I::name ? run<I>(request, path, state) : status), ...);
    if (status >= 0) return status;
    fail(request.name, "unknown indicator (see --list)");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string_view(argv[1]) == "--list") return list();
    const bool with_state = argc == 5 && std::string_view(argv[3]) == "--state";
    if (argc != 3 && !with_state) {
        std::fprintf(stderr, "usage: %s FILE INDICATOR [--state STATE]\n       %s --list\n", program, program);
        return 2;
    }
    std::string error;
    const std::optional<Call> request = CallReader(argv[2]).read(false, error);
    if (!request) {
        fail(argv[2], error);
        return 2;
    }
    return run_named(kestov::AllIndicators{}, *request, argv[1], with_state ? argv[4] : nullptr);
}
