// Streams the bars of a CSV file through one kestov indicator and writes its
// output for every bar as CSV:
//
//     kestov_csv FILE NAME [--state STATE]    e.g.  kestov_csv sample.csv MACD
//
// The file needs a header naming open, high, low and close (volume too; any
// case, any order). A first column with another name, such as a date, is
// carried to the output. Each indicator runs at the defaults of its Python
// class, with a period of 20 where the class has no default. Values are
// printed with 17 significant digits, which read back as the same doubles;
// bars without output yet get empty cells. A bar's timestamp is its number
// from 0; the two-series statistics take the close as a and the open as b.
//
// With --state, the indicator starts from the state saved in STATE when that
// file exists (configuration included) and saves its state there when every
// row is written, so a series can be fed in pieces: running over the first
// part of a file and then over the rest prints the rows of one run over the
// whole. A state that cannot be restored stops the program before any output
// and is left as it is. Each run prints its own header line.

#include <kestov/kestov.hpp>
#include <kestov/state.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <variant>
#include <vector>

namespace {

constexpr const char* program = "kestov_csv";

struct Bar {
    std::string label;  // the first column's text, or the bar's number
    kestov::Candle candle;
};

struct Table {
    std::string label_name;
    std::vector<Bar> bars;
};

std::vector<std::string> split(const std::string& line) {
    std::vector<std::string> cells(1);
    for (const char c : line) {
        if (c == ',')
            cells.emplace_back();
        else if (c != '\r')
            cells.back() += c;
    }
    return cells;
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

// from_chars rounds correctly, as Python's float() does, so both sides start
// from the same doubles.
std::optional<double> number(std::string_view text) {
    text = trimmed(text);
    double value = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

bool fail(const std::string& where, const std::string& why) {
    std::fprintf(stderr, "%s: %s: %s\n", program, where.c_str(), why.c_str());
    return false;
}

bool read_table(const char* path, Table& table) {
    std::ifstream file(path);
    if (!file) return fail(path, "cannot open");
    std::string line;
    if (!std::getline(file, line)) return fail(path, "empty file");

    static constexpr std::array<const char*, 5> fields = {"open", "high", "low", "close", "volume"};
    const std::vector<std::string> header = split(line);
    std::array<std::size_t, fields.size()> column{};
    for (std::size_t f = 0; f < fields.size(); ++f) {
        std::size_t hits = 0;
        for (std::size_t i = 0; i < header.size(); ++i) {
            if (lower(header[i]) != fields[f]) continue;
            column[f] = i;
            ++hits;
        }
        if (hits != 1) return fail(path, std::string("needs exactly one '") + fields[f] + "' column");
    }
    const std::string first = lower(header[0]);
    const bool labelled = std::find(fields.begin(), fields.end(), first) == fields.end();
    table.label_name = labelled ? std::string(trimmed(header[0])) : "bar";

    for (std::size_t line_number = 2; std::getline(file, line); ++line_number) {
        if (trimmed(line).empty()) continue;
        const std::string where = std::string(path) + ":" + std::to_string(line_number);
        const std::vector<std::string> cells = split(line);
        if (cells.size() != header.size()) return fail(where, "wrong number of cells");
        std::array<double, fields.size()> value{};
        for (std::size_t f = 0; f < fields.size(); ++f) {
            const std::optional<double> parsed = number(cells[column[f]]);
            if (!parsed) return fail(where, std::string("'") + fields[f] + "' is not a number");
            value[f] = *parsed;
        }
        const auto timestamp = static_cast<std::int64_t>(table.bars.size());
        auto candle = kestov::Candle::create(value[0], value[1], value[2], value[3], value[4], timestamp);
        if (!candle) return fail(where, candle.error().message());
        table.bars.push_back({labelled ? cells[0] : std::to_string(timestamp), candle.value()});
    }
    return true;
}

std::string describe(const kestov::BuildError& error) {
    if (const auto* indicator_error = std::get_if<kestov::IndicatorError>(&error)) return indicator_error->message();
    return std::get<kestov::RoomError>(error) == kestov::RoomError::OutOfMemory ? "out of memory"
                                                                                 : "period too large";
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

// ---- Output ----------------------------------------------------------------

template <class Output>
constexpr std::size_t width = 1;
template <class T, std::size_t N>
constexpr std::size_t width<std::array<T, N>> = N;

template <class Output>
void print_row(const std::string& label, const std::optional<Output>& out) {
    std::fputs(label.c_str(), stdout);
    if constexpr (std::is_same_v<Output, double>) {
        if (out) std::printf(",%.17g", *out); else std::fputs(",", stdout);
    } else {
        for (std::size_t i = 0; i < width<Output>; ++i) {
            if (out) std::printf(",%.17g", (*out)[i]); else std::fputs(",", stdout);
        }
    }
    std::fputc('\n', stdout);
}

template <kestov::Saveable I>
int run(const Table& table, std::string_view name, kestov::Expected<I, kestov::BuildError> made,
        const char* state_path) {
    if (!made) {
        fail(std::string(name), describe(made.error()));
        return 1;
    }
    std::optional<I> resumed = std::move(made).value();
    if (state_path != nullptr) resumed = resume(state_path, std::move(*resumed));
    if (!resumed) return 1;
    I& indicator = *resumed;

    using Output = typename I::Output;
    std::printf("%s", table.label_name.c_str());
    for (std::size_t i = 0; i < width<Output>; ++i) {
        if (width<Output> == 1) std::printf(",%.*s", static_cast<int>(name.size()), name.data());
        else std::printf(",%.*s.%zu", static_cast<int>(name.size()), name.data(), i);
    }
    std::fputc('\n', stdout);

    for (const Bar& bar : table.bars) {
        if constexpr (std::is_same_v<typename I::Input, kestov::Candle>)
            print_row(bar.label, indicator.update(bar.candle));
        else if constexpr (std::is_same_v<typename I::Input, kestov::Pair>)
            print_row(bar.label, indicator.update(kestov::Pair{bar.candle.close(), bar.candle.open()}));
        else
            print_row(bar.label, indicator.update(bar.candle.close()));
    }
    // The state moves on only when the rows it has taken are out.
    if (std::fflush(stdout) != 0) return 1;
    return state_path == nullptr || save(state_path, indicator) ? 0 : 1;
}

int run_named(const Table& table, std::string_view name, const char* state) {
    using namespace kestov;
    if (name == "SMA") return run(table, name, SMA::create(20), state);
    if (name == "EMA") return run(table, name, EMA::create(20), state);
    if (name == "WMA") return run(table, name, WMA::create(20), state);
    if (name == "RSI") return run(table, name, RSI::create(14), state);
    if (name == "MACD") return run(table, name, MACD::create(12, 26, 9), state);
    if (name == "BollingerBands") return run(table, name, BollingerBands::create(20, 2.0), state);
    if (name == "ATR") return run(table, name, ATR::create(14), state);
    if (name == "Stochastic") return run(table, name, Stochastic::create(14, 3), state);
    if (name == "OBV") return run(table, name, OBV::create(), state);
    if (name == "DEMA") return run(table, name, DEMA::create(20), state);
    if (name == "TEMA") return run(table, name, TEMA::create(20), state);
    if (name == "HMA") return run(table, name, HMA::create(20), state);
    if (name == "KAMA") return run(table, name, KAMA::create(10, 2, 30), state);
    if (name == "CCI") return run(table, name, CCI::create(20), state);
    if (name == "ROC") return run(table, name, ROC::create(20), state);
    if (name == "WilliamsR") return run(table, name, WilliamsR::create(14), state);
    if (name == "ADX") return run(table, name, ADX::create(14), state);
    if (name == "MFI") return run(table, name, MFI::create(14), state);
    if (name == "TRIX") return run(table, name, TRIX::create(20), state);
    if (name == "PSAR") return run(table, name, PSAR::create(0.02, 0.02, 0.20), state);
    if (name == "Keltner") return run(table, name, Keltner::create(20, 10, 2.0), state);
    if (name == "Donchian") return run(table, name, Donchian::create(20), state);
    if (name == "VWAP") return run(table, name, VWAP::create(), state);
    if (name == "AwesomeOscillator") return run(table, name, AwesomeOscillator::create(5, 34), state);
    if (name == "Aroon") return run(table, name, Aroon::create(14), state);
    if (name == "Momentum") return run(table, name, Momentum::create(10), state);
    if (name == "TrueRange") return run(table, name, TrueRange::create(), state);
    if (name == "StochRSI") return run(table, name, StochRSI::create(14, 5, 3), state);
    if (name == "ADXR") return run(table, name, ADXR::create(14), state);
    if (name == "DX") return run(table, name, DX::create(14), state);
    if (name == "PPO") return run(table, name, PPO::create(12, 26, 9), state);
    if (name == "APO") return run(table, name, APO::create(12, 26), state);
    if (name == "TSI") return run(table, name, TSI::create(25, 13), state);
    if (name == "CMO") return run(table, name, CMO::create(14), state);
    if (name == "UltimateOscillator") return run(table, name, UltimateOscillator::create(7, 14, 28), state);
    if (name == "KST") return run(table, name, KST::create(10, 15, 20, 30, 10, 10, 10, 15, 9), state);
    if (name == "Coppock") return run(table, name, Coppock::create(10, 11, 14), state);
    if (name == "DPO") return run(table, name, DPO::create(20), state);
    if (name == "SuperTrend") return run(table, name, SuperTrend::create(10, 3.0), state);
    if (name == "Ichimoku") return run(table, name, Ichimoku::create(9, 26, 52), state);
    if (name == "AroonOscillator") return run(table, name, AroonOscillator::create(14), state);
    if (name == "BalanceOfPower") return run(table, name, BalanceOfPower::create(), state);
    if (name == "ZLEMA") return run(table, name, ZLEMA::create(30), state);
    if (name == "T3") return run(table, name, T3::create(5, 0.7), state);
    if (name == "TRIMA") return run(table, name, TRIMA::create(30), state);
    if (name == "VWMA") return run(table, name, VWMA::create(30), state);
    if (name == "RMA") return run(table, name, RMA::create(30), state);
    if (name == "Correlation") return run(table, name, Correlation::create(30), state);
    if (name == "Beta") return run(table, name, Beta::create(5), state);
    if (name == "SessionVWAP") return run(table, name, SessionVWAP::create(86400, 0), state);
    if (name == "AccumulationDistribution") return run(table, name, AccumulationDistribution::create(), state);
    if (name == "ChaikinOscillator") return run(table, name, ChaikinOscillator::create(3, 10), state);
    if (name == "ChaikinMoneyFlow") return run(table, name, ChaikinMoneyFlow::create(20), state);
    if (name == "ForceIndex") return run(table, name, ForceIndex::create(13), state);
    if (name == "EaseOfMovement") return run(table, name, EaseOfMovement::create(14, 100000000.0), state);
    if (name == "PVT") return run(table, name, PVT::create(), state);
    if (name == "NVI") return run(table, name, NVI::create(), state);
    if (name == "PVI") return run(table, name, PVI::create(), state);
    if (name == "Vortex") return run(table, name, Vortex::create(14), state);
    if (name == "MassIndex") return run(table, name, MassIndex::create(9, 25), state);
    if (name == "HeikinAshi") return run(table, name, HeikinAshi::create(), state);
    if (name == "StdDev") return run(table, name, StdDev::create(5, 1.0), state);
    if (name == "Variance") return run(table, name, Variance::create(5), state);
    if (name == "LinearRegression") return run(table, name, LinearRegression::create(14), state);
    if (name == "MidPoint") return run(table, name, MidPoint::create(14), state);
    if (name == "MidPrice") return run(table, name, MidPrice::create(14), state);
    if (name == "NATR") return run(table, name, NATR::create(14), state);
    fail(std::string(name), "unknown indicator");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const bool with_state = argc == 5 && std::string_view(argv[3]) == "--state";
    if (argc != 3 && !with_state) {
        std::fprintf(stderr, "usage: %s FILE NAME [--state STATE]\n", program);
        return 2;
    }
    Table table;
    if (!read_table(argv[1], table)) return 1;
    return run_named(table, argv[2], with_state ? argv[4] : nullptr);
}
