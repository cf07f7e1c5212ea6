// The bound under each class's batch: a bare loop of only the floating-point
// operations that a row must wait for from the row before (the loop-carried
// chain), in the order and with the operations of the class's update in
// core/include/kestov. No exact implementation can go faster than its chain,
// however it is written, so benchmark.py reports each batch against
// max(chain, a copy of its input columns).
//
// What the loops leave out, and why it does not shorten a chain:
// - Per-row terms (true ranges, typical prices, changes, quotients of the
//   inputs, window re-sums begun afresh each row) wait for nothing from the
//   row before. A loop reads one of the class's input columns in their place;
//   the chain's timing does not depend on their values. Two chains fed the
//   same column start from different values, or the compiler would merge them.
// - Where a chain needs a factor of a given size to stay finite and normal
//   (KAMA's smoothing constant, a volume index's relative change), a fixed
//   factor of that size stands in for the per-row one.
// - Warm-up (the first `period` rows, which seed the averages) and tests the
//   data never passes (a zero range, a sum gone infinite).
// Where one chain feeds another through arithmetic of its own (ADX's DX,
// MACD's line), the loop keeps that arithmetic: the second chain waits for it.
// Where the link runs through a window of extremes, the second chain reads a
// column instead.
//
// Built as the batch row loop is (bindings/python/src/row_loop.hpp): a copy
// for processors with fused multiply-add and a portable one, chosen once per
// run in the same way, and without the vectorisers the row loop leaves out.

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
#define BOUND_FMA_COPY 1
#endif

#if defined(__GNUC__) && !defined(__clang__)
#define BOUND_LOOP_OPTIONS gnu::noinline, gnu::flatten, gnu::optimize("no-tree-slp-vectorize", "no-tree-loop-vectorize")
#else
#define BOUND_LOOP_OPTIONS gnu::noinline, gnu::flatten
#endif

namespace {

using Columns = const double* const*;
using Size = std::size_t;

// The library's own helpers (numeric.hpp), so that a chain through them
// costs what it costs there.
bool is_finite(double x) {
    return (std::bit_cast<std::uint64_t>(x) & 0x7fff'ffff'ffff'ffffULL) < 0x7ff0'0000'0000'0000ULL;
}
double max_nan(double a, double b) {
    if (a != a) return b;
    if (b != b) return a;
    return a < b ? b : a;
}
double min_nan(double a, double b) {
    if (a != a) return b;
    if (b != b) return a;
    return b < a ? b : a;
}
double pick(bool take, double a, double b) {
    const std::uint64_t mask = -static_cast<std::uint64_t>(take);
    return std::bit_cast<double>((std::bit_cast<std::uint64_t>(a) & mask) | (std::bit_cast<std::uint64_t>(b) & ~mask));
}

// The shapes the chains are made of.

// EMA: scale the average, then one fused step with the new value.
struct Ema {
    double alpha, keep, cur;
    Ema(double period, double start) : alpha(2.0 / (period + 1.0)), keep(1.0 - alpha), cur(start) {}
    double step(double x) {
        const double t = cur * keep;
        cur = std::fma(alpha, x, t);
        return cur;
    }
};

// K EMAs of one period, each fed the one before.
template <Size K>
struct EmaChain {
    std::array<Ema, K> e;
    EmaChain(double period, double start) : e(filled(period, start, std::make_index_sequence<K>{})) {}
    template <Size... I>
    static std::array<Ema, K> filled(double period, double start, std::index_sequence<I...>) {
        return {((void)I, Ema(period, start))...};
    }
    double step(double x) {
        [&]<Size... I>(std::index_sequence<I...>) { ((x = e[I].step(x)), ...); }(std::make_index_sequence<K>{});
        return x;
    }
};

// Wilder's average: RMA's (and RSI's, CMO's, ADX's last) scale, add, divide;
// ATR's fused scale and add, then divide.
struct Wilder {
    double n, cur;
    double rma(double x) { return cur = (x + cur * (n - 1.0)) / n; }
    double atr(double x) { return cur = std::fma(cur, n - 1.0, x) / n; }
};

// Wilder's running sums of ADX and DX: the sum less its share, and the new term.
struct Share {
    double n, sum;
    void adx(double x) { sum = x + (sum - sum / n); }
    void dx(double x) { sum = (sum - sum / n) + x; }
};

// A window's running sum, as SMA's: the leaving value out, then the new one in.
struct Sum {
    double sum;
    double slide(double x, double old) {
        sum = sum - old;
        sum = x + sum;
        return sum;
    }
};

// WMA's two running sums: the weighted one steps off the plain one.
struct Wma {
    double n, weighted, sum;
    double slide(double x, double old) {
        weighted = x * n + (weighted - sum);
        sum = x + (sum - old);
        return weighted;
    }
};

// The last k values made in the loop, for a window over them.
struct Ring {
    std::vector<double> v;
    Size at = 0;
    Ring(Size k, double fill) : v(k, fill) {}
    double swap(double x) {
        const double old = v[at];
        v[at] = x;
        at = at + 1 == v.size() ? 0 : at + 1;
        return old;
    }
};

Size whole(double x) { return static_cast<Size>(x); }

// The kernels: (input columns as batch takes them, rows, configuration in
// the constructor's order). Each returns its chain's final state.

// SMA, DPO (the period's sum); CCI (of the typical price); Stochastic (%D
// over %K, which comes from window extremes).
template <int Col, int Period>
double sma(Columns in, Size n, const double* p) {
    const double* x = in[Col];
    const Size k = whole(p[Period]);
    Sum s{0.0};
    for (Size i = k; i < n; ++i) s.slide(x[i], x[i - k]);
    return s.sum;
}

// EMA, ZLEMA (of x + change), ForceIndex (of the force).
double ema(Columns in, Size n, const double* p) {
    const double* x = in[0];
    Ema e(p[0], x[0]);
    for (Size i = 0; i < n; ++i) e.step(x[i]);
    return e.cur;
}

double rma(Columns in, Size n, const double* p) {
    const double* x = in[0];
    Wilder w{p[0], x[0]};
    for (Size i = 0; i < n; ++i) w.rma(x[i]);
    return w.cur;
}

// ATR, NATR: the true range's Wilder average.
double atr(Columns in, Size n, const double* p) {
    const double* tr = in[0];
    Wilder w{p[0], tr[0]};
    for (Size i = 0; i < n; ++i) w.atr(tr[i]);
    return w.cur;
}

// WMA, Coppock (of the two rates' sum).
double wma(Columns in, Size n, const double* p) {
    const double* x = in[0];
    const Size k = whole(p[0]);
    Wma w{p[0], 0.0, 0.0};
    for (Size i = k; i < n; ++i) w.slide(x[i], x[i - k]);
    return w.weighted + w.sum;
}

// RSI, CMO: Wilder averages of gains and of losses.
double gains_losses(Columns in, Size n, const double* p) {
    const double* x = in[0];
    Wilder gain{p[0], x[0]}, loss{p[0], x[1]};
    for (Size i = 0; i < n; ++i) {
        gain.rma(x[i]);
        loss.rma(x[i]);
    }
    return gain.cur + loss.cur;
}

// StochRSI: RSI's two averages; %D's sum over %K, which comes from window
// extremes of the RSI.
double stoch_rsi(Columns in, Size n, const double* p) {
    const double* x = in[0];
    const Size k = whole(p[2]);
    Wilder gain{p[0], x[0]}, loss{p[0], x[1]};
    Sum d{0.0};
    for (Size i = k; i < n; ++i) {
        gain.rma(x[i]);
        loss.rma(x[i]);
        d.slide(x[i], x[i - k]);
    }
    return gain.cur + loss.cur + d.sum;
}

// MACD, PPO: fast and slow EMAs, the line between them, its EMA.
struct MacdLine {
    static double of(double fast, double slow) { return fast - slow; }
};
struct PpoLine {
    static double of(double fast, double slow) { return ((fast - slow) / slow) * 100.0; }
};
template <class Line>
double ema_oscillator(Columns in, Size n, const double* p) {
    const double* x = in[0];
    Ema fast(p[0], x[0]), slow(p[1], x[0]), signal(p[2], 0.0);
    for (Size i = 0; i < n; ++i) {
        fast.step(x[i]);
        slow.step(x[i]);
        signal.step(Line::of(fast.cur, slow.cur));
    }
    return signal.cur;
}

double apo(Columns in, Size n, const double* p) {
    const double* x = in[0];
    Ema fast(p[0], x[0]), slow(p[1], x[0]);
    for (Size i = 0; i < n; ++i) {
        fast.step(x[i]);
        slow.step(x[i]);
    }
    return fast.cur - slow.cur;
}

// DEMA, TEMA, TRIX, T3: EMAs in series.
template <Size K>
double ema_series(Columns in, Size n, const double* p) {
    const double* x = in[0];
    EmaChain<K> chain(p[0], x[0]);
    double last = 0.0;
    for (Size i = 0; i < n; ++i) last = chain.step(x[i]);
    return last;
}

// TSI: the change, and its size, each through a long then a short EMA.
double tsi(Columns in, Size n, const double* p) {
    const double* x = in[0];
    Ema change_long(p[0], x[0]), change_short(p[1], x[0]), size_long(p[0], x[1]), size_short(p[1], x[1]);
    for (Size i = 0; i < n; ++i) {
        change_short.step(change_long.step(x[i]));
        size_short.step(size_long.step(x[i]));
    }
    return change_short.cur + size_short.cur;
}

// Bollinger bands: the sum and the sum of squares.
double bollinger(Columns in, Size n, const double* p) {
    const double* x = in[0];
    const Size k = whole(p[0]);
    Sum sum{0.0}, squares{1.0};
    for (Size i = k; i < n; ++i) {
        sum.slide(x[i], x[i - k]);
        squares.slide(x[i], x[i - k]);
    }
    return sum.sum + squares.sum;
}

// HMA: two WMAs, the line 2 * half - full between them (a division each),
// and the WMA of that line over a window of its own values.
double hma(Columns in, Size n, const double* p) {
    const double* x = in[0];
    const Size full = whole(p[0]);
    const Size half = full / 2 == 0 ? 1 : full / 2;
    const double root = std::round(std::sqrt(p[0]));
    const Size smooth = root < 1.0 ? 1 : whole(root);
    const auto denominator = [](double k) { return ((k + 1.0) * k) * 0.5; };
    const double dh = denominator(double(half)), df = denominator(double(full));
    Wma h{double(half), 0.0, 0.0}, f{double(full), 0.0, 0.0}, s{double(smooth), 0.0, 0.0};
    Ring line(smooth, 0.0);
    for (Size i = full; i < n; ++i) {
        const double hv = h.slide(x[i], x[i - half]) / dh;
        const double fv = f.slide(x[i], x[i - full]) / df;
        const double v = (hv + hv) - fv;
        s.slide(v, line.swap(v));
    }
    return s.weighted + s.sum;
}

// KAMA: the step towards the value by the smoothing constant, which comes
// from the window's efficiency ratio: one of middling efficiency stands in.
double kama(Columns in, Size n, const double* p) {
    const double* x = in[0];
    const double fast = 2.0 / (p[1] + 1.0), slow = 2.0 / (p[2] + 1.0);
    const double u = slow + 0.5 * (fast - slow);
    const double sc = u * u;
    double cur = x[0];
    for (Size i = 0; i < n; ++i) cur = cur + sc * (x[i] - cur);
    return cur;
}

// AccumulationDistribution, PVT, OBV (of its signed volume): one running total.
template <int Col>
double total(Columns in, Size n, const double*) {
    const double* x = in[Col];
    double value = 0.0;
    for (Size i = 0; i < n; ++i) value = value + x[i];
    return value;
}

// VWAP, SessionVWAP: the two cumulative sums (a session restarts them once
// in 1,440 rows here, which the loop leaves out).
double vwap(Columns in, Size n, const double*) {
    const double *pv = in[2], *volume = in[3];
    double cum_pv = 0.0, cum_volume = 0.0;
    for (Size i = 0; i < n; ++i) {
        cum_pv = cum_pv + pv[i];
        cum_volume = cum_volume + volume[i];
    }
    return cum_pv + cum_volume;
}

// NVI, PVI: the index times the relative change, kept through a mask where
// the volume counts and the step is finite.
template <bool Lower>
double volume_index(Columns in, Size n, const double*) {
    const double* volume = in[1];
    constexpr double change = 1e-4;
    double value = 1000.0;
    for (Size i = 1; i < n; ++i) {
        const bool counts = Lower ? volume[i] < volume[i - 1] : volume[i] > volume[i - 1];
        const double step = change * value;
        value = pick(counts & is_finite(step), value + step, value);
    }
    return value;
}

// ChaikinOscillator: the A/D line's total, and its fast and slow EMAs.
double chaikin(Columns in, Size n, const double* p) {
    const double* flow = in[3];
    double line = 0.0;
    Ema fast(p[0], flow[0]), slow(p[1], flow[0]);
    for (Size i = 0; i < n; ++i) {
        line = line + flow[i];
        fast.step(line);
        slow.step(line);
    }
    return fast.cur - slow.cur;
}

// MFI: the positive and the negative flow's sums.
double mfi(Columns in, Size n, const double* p) {
    const double *positive = in[0], *negative = in[1];
    const Size k = whole(p[0]);
    Sum pos{0.0}, neg{0.0};
    for (Size i = k; i < n; ++i) {
        pos.slide(positive[i], positive[i - k]);
        neg.slide(negative[i], negative[i - k]);
    }
    return pos.sum + neg.sum;
}

// AwesomeOscillator: the median price's fast and slow sums.
double awesome(Columns in, Size n, const double* p) {
    const double* x = in[0];
    const Size fast = whole(p[0]), slow = whole(p[1]);
    Sum f{0.0}, s{0.0};
    for (Size i = slow; i < n; ++i) {
        f.slide(x[i], x[i - fast]);
        s.slide(x[i], x[i - slow]);
    }
    return f.sum - s.sum;
}

// UltimateOscillator: buying pressure and true range summed over three windows.
double ultimate(Columns in, Size n, const double* p) {
    const double *range = in[0], *pressure = in[2];
    const std::array<Size, 3> k{whole(p[0]), whole(p[1]), whole(p[2])};
    std::array<Sum, 3> bp{Sum{0.0}, Sum{0.0}, Sum{0.0}}, tr{Sum{0.0}, Sum{0.0}, Sum{0.0}};
    for (Size i = k[2]; i < n; ++i) {
        bp[0].slide(pressure[i], pressure[i - k[0]]);
        tr[0].slide(range[i], range[i - k[0]]);
        bp[1].slide(pressure[i], pressure[i - k[1]]);
        tr[1].slide(range[i], range[i - k[1]]);
        bp[2].slide(pressure[i], pressure[i - k[2]]);
        tr[2].slide(range[i], range[i - k[2]]);
    }
    return bp[0].sum + bp[1].sum + bp[2].sum + tr[0].sum + tr[1].sum + tr[2].sum;
}

// KST: four rates each summed over its window, their averages weighted into
// the line (four divisions), and the signal's sum over that line.
double kst(Columns in, Size n, const double* p) {
    const double* x = in[0];
    const std::array<double, 4> len{p[4], p[5], p[6], p[7]};
    const std::array<Size, 4> k{whole(p[4]), whole(p[5]), whole(p[6]), whole(p[7])};
    Size from = 0;
    for (const Size w : k) from = w > from ? w : from;
    std::array<Sum, 4> s{Sum{0.0}, Sum{1.0}, Sum{2.0}, Sum{3.0}};
    Sum signal{0.0};
    Ring line(whole(p[8]), 0.0);
    for (Size i = from; i < n; ++i) {
        s[0].slide(x[i], x[i - k[0]]);
        s[1].slide(x[i], x[i - k[1]]);
        s[2].slide(x[i], x[i - k[2]]);
        s[3].slide(x[i], x[i - k[3]]);
        const double v = ((s[0].sum / len[0] * 1.0 + s[1].sum / len[1] * 2.0) + s[2].sum / len[2] * 3.0) +
                         s[3].sum / len[3] * 4.0;
        signal.slide(v, line.swap(v));
    }
    return signal.sum;
}

// TRIMA: the inner SMA's sum, its mean, the outer sum over those means.
double trima(Columns in, Size n, const double* p) {
    const double* x = in[0];
    const Size period = whole(p[0]);
    const Size inner_k = period / 2 + 1, outer_k = period / 2 + period % 2;
    const double inner_n = double(inner_k);
    Sum inner{0.0}, outer{0.0};
    Ring means(outer_k, 0.0);
    for (Size i = inner_k; i < n; ++i) {
        const double mean = inner.slide(x[i], x[i - inner_k]) / inner_n;
        outer.slide(mean, means.swap(mean));
    }
    return outer.sum;
}

// MassIndex: the range's EMA, the EMA of that, their ratio (a division) and
// the running sum of the ratios.
double mass_index(Columns in, Size n, const double* p) {
    const double* range = in[0];
    Ema single(p[0], range[0]), twice(p[0], range[0]);
    Sum sum{0.0};
    Ring ratios(whole(p[1]), 0.0);
    for (Size i = 0; i < n; ++i) {
        const double ratio = single.step(range[i]) / twice.step(single.cur);
        sum.slide(ratio, ratios.swap(ratio));
    }
    return sum.sum;
}

// Keltner: the typical price's EMA and the true range's ATR.
double keltner(Columns in, Size n, const double* p) {
    const double *tr = in[0], *typical = in[2];
    Ema middle(p[0], typical[0]);
    Wilder width{p[1], tr[0]};
    for (Size i = 0; i < n; ++i) {
        middle.step(typical[i]);
        width.atr(tr[i]);
    }
    return middle.cur + width.cur;
}

// Correlation, Beta: PairSums' five running sums.
double pair_sums(Columns in, Size n, const double* p) {
    const double *a = in[0], *b = in[1];
    const Size k = whole(p[0]);
    Sum x{0.0}, y{0.0}, xx{1.0}, yy{1.0}, xy{2.0};
    for (Size i = k; i < n; ++i) {
        x.slide(a[i], a[i - k]);
        y.slide(b[i], b[i - k]);
        xx.slide(a[i], a[i - k]);
        yy.slide(b[i], b[i - k]);
        xy.slide(a[i], a[i - k]);
    }
    return x.sum + y.sum + xx.sum + yy.sum + xy.sum;
}

// DX's three Wilder sums; with `Average`, ADXR's: DX formed from them (three
// divisions) and its Wilder average.
template <bool Average>
double dx(Columns in, Size n, const double* p) {
    const double *tr = in[0], *plus = in[1], *minus = in[2];
    std::array<Share, 3> s{Share{p[0], tr[0]}, Share{p[0], plus[0]}, Share{p[0], minus[0]}};
    Wilder adx{p[0], 0.0};
    for (Size i = 0; i < n; ++i) {
        s[0].dx(tr[i]);
        s[1].dx(plus[i]);
        s[2].dx(minus[i]);
        if constexpr (Average) {
            const double plus_di = 100.0 * (s[1].sum / s[0].sum);
            const double minus_di = 100.0 * (s[2].sum / s[0].sum);
            adx.rma(100.0 * (std::fabs(plus_di - minus_di) / (plus_di + minus_di)));
        }
    }
    return s[0].sum + s[1].sum + s[2].sum + adx.cur;
}

// ADX: its own Wilder sums, the indicators and DX from them (three
// divisions), and DX's Wilder average.
double adx(Columns in, Size n, const double* p) {
    const double *tr = in[0], *plus = in[1], *minus = in[2];
    const double k = p[0];
    Share str{k, tr[0]}, spdm{k, plus[0]}, smdm{k, minus[0]};
    double value = 0.0;
    for (Size i = 0; i < n; ++i) {
        str.adx(tr[i]);
        spdm.adx(plus[i]);
        smdm.adx(minus[i]);
        const double plus_di = (spdm.sum * 100.0) / str.sum;
        const double minus_di = (smdm.sum * 100.0) / str.sum;
        const double dx = (std::fabs(plus_di - minus_di) * 100.0) / (plus_di + minus_di);
        value = (dx + (k - 1.0) * value) / k;
    }
    return value;
}

// PSAR: the whole update is the chain (stop, extreme and factor each wait
// for the last row's).
double psar(Columns in, Size n, const double* p) {
    const double *high = in[0], *low = in[1];
    const double start = p[0], step = p[1], cap = p[2];
    double sar = low[0], ep = high[0], af = start, ph = high[0], pl = low[0];
    bool rising = true;
    for (Size i = 1; i < n; ++i) {
        const double h = high[i], l = low[i];
        const double candidate = sar + af * (ep - sar);
        double level;
        if (rising) {
            const double stop = min_nan(min_nan(candidate, pl), l);
            if (l <= stop) {
                rising = false;
                level = ep;
                ep = l;
                af = start;
            } else {
                const bool extends = h > ep;
                af = pick(extends, min_nan(af + step, cap), af);
                ep = pick(extends, h, ep);
                level = stop;
            }
        } else {
            const double stop = max_nan(max_nan(candidate, ph), h);
            if (h >= stop) {
                rising = true;
                level = ep;
                ep = h;
                af = start;
            } else {
                const bool extends = l < ep;
                af = pick(extends, min_nan(af + step, cap), af);
                ep = pick(extends, l, ep);
                level = stop;
            }
        }
        sar = level;
        ph = h;
        pl = l;
    }
    return sar;
}

// SuperTrend: the Wilder average of the range, then bands that each keep
// the last row's unless crossed, and the trend. The bands' branches follow
// the prices, so range and midpoint are formed from them, not stood in for.
double supertrend(Columns in, Size n, const double* p) {
    const double *high = in[0], *low = in[1], *close = in[2];
    const double multiplier = p[1];
    Wilder atr{p[0], high[0] - low[0]};
    double upper_band = high[0], lower_band = low[0], pc = close[0];
    bool up = true;
    for (Size i = 1; i < n; ++i) {
        const double width = multiplier * atr.rma(high[i] - low[i]);
        const double mid = (high[i] + low[i]) / 2.0;
        const double upper = mid + width, lower = mid - width;
        if (upper < upper_band || pc > upper_band) upper_band = upper;
        if (lower > lower_band || pc < lower_band) lower_band = lower;
        if (up && close[i] < lower_band)
            up = false;
        else if (!up && close[i] > upper_band)
            up = true;
        pc = close[i];
    }
    return up ? lower_band : upper_band;
}

// HeikinAshi: each open the midpoint of the last open and close.
double midpoint(double a, double b) {
    const double sum = a + b;
    if (is_finite(sum)) [[likely]]
        return sum / 2.0;
    return a / 2.0 + b / 2.0;
}
double heikin_ashi(Columns in, Size n, const double*) {
    const double* mean = in[3];
    double open = mean[0];
    for (Size i = 1; i < n; ++i) open = midpoint(open, mean[i - 1]);
    return open;
}

using Body = double (*)(Columns, Size, const double*);

template <Body body>
[[BOUND_LOOP_OPTIONS]] double portable(Columns in, Size n, const double* p) {
    return body(in, n, p);
}

#ifdef BOUND_FMA_COPY
template <Body body>
[[BOUND_LOOP_OPTIONS, gnu::target("fma")]] double fused(Columns in, Size n, const double* p) {
    return body(in, n, p);
}

// As the row loop decides, once.
bool has_fma() {
    static const bool yes = [] {
        const char* refuse = std::getenv("KESTOV_NO_HARDWARE_FMA");
        const bool refused = refuse != nullptr && *refuse != '\0' && !(refuse[0] == '0' && refuse[1] == '\0');
        return !refused && __builtin_cpu_supports("fma");
    }();
    return yes;
}
#endif

template <Body body>
double run(Columns in, Size n, const double* p) {
#ifdef BOUND_FMA_COPY
    if (has_fma()) return fused<body>(in, n, p);
#endif
    return portable<body>(in, n, p);
}

// The bytes a batch must move, with nothing computed between: each row's
// `C` input values read, and `K` values written beside one another, as a
// batch writes a row of its outputs. What it writes is the sum of what it
// read, so that no read can be left out. Vectorised: it is a floor.
template <Size C, Size K>
[[gnu::noinline, gnu::optimize("tree-vectorize")]] void move_rows(Columns in, Size n, double* out) {
    for (Size i = 0; i < n; ++i) {
        double s = in[0][i];
        for (Size c = 1; c < C; ++c) s += in[c][i];
        for (Size k = 0; k < K; ++k) out[i * K + k] = s;
    }
}

constexpr Size most_columns = 6, most_outputs = 8;
using Move = void (*)(Columns, Size, double*);

template <Size... I>
constexpr auto move_table(std::index_sequence<I...>) {
    return std::array<Move, sizeof...(I)>{&move_rows<I / most_outputs + 1, I % most_outputs + 1>...};
}

}  // namespace

extern "C" {

struct BoundKernel {
    const char* name;
    const char* chain;  // what the chain is made of, or why there is none
    double (*run)(Columns in, Size n, const double* p);
};

// `columns` inputs of `n` rows into `outputs` values a row at `out`, as
// move_rows; false where there is no such loop.
bool kestov_move(Columns in, Size columns, Size n, double* out, Size outputs) {
    static constexpr auto table = move_table(std::make_index_sequence<most_columns * most_outputs>{});
    if (columns == 0 || columns > most_columns || outputs == 0 || outputs > most_outputs) return false;
    table[(columns - 1) * most_outputs + outputs - 1](in, n, out);
    return true;
}

// Every class; a null `run` has no chain, and its bound is the copy of its
// inputs. Ends with a null name.
extern const BoundKernel kestov_bounds[];
const BoundKernel kestov_bounds[] = {
    {"SMA", "sub, add chain", run<sma<0, 0>>},
    {"EMA", "mul, fma chain", run<ema>},
    {"WMA", "two sub, add chains", run<wma>},
    {"RSI", "two mul, add, division chains", run<gains_losses>},
    {"MACD", "two mul, fma chains, sub, mul, fma chain", run<ema_oscillator<MacdLine>>},
    {"BollingerBands", "two sub, add chains", run<bollinger>},
    {"ATR", "fma, division chain", run<atr>},
    {"Stochastic", "sub, add chain", run<sma<2, 1>>},
    {"OBV", "add chain (the signed volume needs no state)", run<total<1>>},
    {"DEMA", "two mul, fma chains in series", run<ema_series<2>>},
    {"TEMA", "three mul, fma chains in series", run<ema_series<3>>},
    {"HMA", "four sub, add chains, two divisions, two sub, add chains", run<hma>},
    {"KAMA", "sub, mul, add chain", run<kama>},
    {"CCI", "sub, add chain", run<sma<2, 0>>},
    {"ROC", "none: each row against a stored value", nullptr},
    {"WilliamsR", "none: window extremes", nullptr},
    {"ADX", "three division, sub, add chains, three divisions, mul, add, division chain", run<adx>},
    {"MFI", "two sub, add chains", run<mfi>},
    {"TRIX", "three mul, fma chains in series", run<ema_series<3>>},
    {"PSAR", "sub, mul, add, min, mask chain (the whole update)", run<psar>},
    {"Keltner", "mul, fma chain and fma, division chain", run<keltner>},
    {"Donchian", "none: window extremes", nullptr},
    {"VWAP", "two add chains", run<vwap>},
    {"AwesomeOscillator", "two sub, add chains", run<awesome>},
    {"Aroon", "none: window extremes", nullptr},
    {"Momentum", "none: each row against a stored value", nullptr},
    {"TrueRange", "none: each row against the last close", nullptr},
    {"StochRSI", "two mul, add, division chains and a sub, add chain", run<stoch_rsi>},
    {"ADXR", "three division, sub, add chains, three divisions, mul, add, division chain", run<dx<true>>},
    {"DX", "three division, sub, add chains", run<dx<false>>},
    {"PPO", "two mul, fma chains, sub, division, mul, mul, fma chain", run<ema_oscillator<PpoLine>>},
    {"APO", "two mul, fma chains", run<apo>},
    {"TSI", "two pairs of mul, fma chains in series", run<tsi>},
    {"CMO", "two mul, add, division chains", run<gains_losses>},
    {"UltimateOscillator", "six sub, add chains", run<ultimate>},
    {"KST", "four sub, add chains, four divisions, sub, add chain", run<kst>},
    {"Coppock", "two sub, add chains", run<wma>},
    {"DPO", "sub, add chain", run<sma<0, 0>>},
    {"SuperTrend", "mul, add, division chain, compare, select chains", run<supertrend>},
    {"Ichimoku", "none: window extremes", nullptr},
    {"AroonOscillator", "none: window extremes", nullptr},
    {"BalanceOfPower", "none: each row alone", nullptr},
    {"ZLEMA", "mul, fma chain", run<ema>},
    {"T3", "six mul, fma chains in series", run<ema_series<6>>},
    {"TRIMA", "sub, add chain, division, sub, add chain", run<trima>},
    {"VWMA", "none: the window re-summed each row", nullptr},
    {"RMA", "mul, add, division chain", run<rma>},
    {"Correlation", "five sub, add chains", run<pair_sums>},
    {"Beta", "five sub, add chains", run<pair_sums>},
    {"SessionVWAP", "two add chains", run<vwap>},
    {"AccumulationDistribution", "add chain", run<total<3>>},
    {"ChaikinOscillator", "add chain, two mul, fma chains", run<chaikin>},
    {"ChaikinMoneyFlow", "none: the window re-summed each row", nullptr},
    {"ForceIndex", "mul, fma chain", run<ema>},
    {"EaseOfMovement", "none: the window re-summed each row", nullptr},
    {"PVT", "add chain", run<total<1>>},
    {"NVI", "mul, add, mask chain", run<volume_index<true>>},
    {"PVI", "mul, add, mask chain", run<volume_index<false>>},
    {"Vortex", "none: the window re-summed each row", nullptr},
    {"MassIndex", "two mul, fma chains in series, division, sub, add chain", run<mass_index>},
    {"HeikinAshi", "add, halving chain", run<heikin_ashi>},
    {"StdDev", "none: the window re-summed each row", nullptr},
    {"Variance", "none: the window re-summed each row", nullptr},
    {"LinearRegression", "none: the window re-summed each row", nullptr},
    {"MidPoint", "none: window extremes", nullptr},
    {"MidPrice", "none: window extremes", nullptr},
    {"NATR", "fma, division chain", run<atr>},
    {nullptr, nullptr, nullptr},
};

}  // extern "C"
