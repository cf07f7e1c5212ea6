#pragma once
// A small test harness: TEST registers a case, CHECK records a failure and
// carries on, so one run reports every broken expectation.

#include <bit>
#include <cstdint>
#include <functional>
#include <sstream>
#include <string>

namespace check {

void register_case(const char* name, std::function<void()> body);
void fail(const char* file, int line, const std::string& what);

struct Registrar {
    Registrar(const char* name, std::function<void()> body) { register_case(name, std::move(body)); }
};

inline std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

}  // namespace check

#define CHECK_CAT2(a, b) a##b
#define CHECK_CAT(a, b) CHECK_CAT2(a, b)
#define TEST(name)                                                                   \
    static void CHECK_CAT(test_, name)();                                            \
    static const check::Registrar CHECK_CAT(registrar_, name)(#name, &CHECK_CAT(test_, name)); \
    static void CHECK_CAT(test_, name)()

#define CHECK(cond)                                                   \
    do {                                                              \
        if (!(cond)) check::fail(__FILE__, __LINE__, "CHECK(" #cond ")"); \
    } while (0)

#define CHECK_EQ(a, b)                                                                    \
    do {                                                                                  \
        const auto check_a = (a);                                                         \
        const auto check_b = (b);                                                         \
        if (!(check_a == check_b)) {                                                      \
            std::ostringstream check_os;                                                  \
            check_os << "CHECK_EQ(" #a ", " #b "): " << check_a << " != " << check_b;     \
            check::fail(__FILE__, __LINE__, check_os.str());                              \
        }                                                                                 \
    } while (0)

// Same bits: tells 0.0 from -0.0 and compares NaNs.
#define CHECK_SAME(a, b)                                                                              \
    do {                                                                                              \
        const double check_a = (a);                                                                   \
        const double check_b = (b);                                                                   \
        if (check::bits(check_a) != check::bits(check_b)) {                                           \
            std::ostringstream check_os;                                                              \
            check_os.precision(17);                                                                   \
            check_os << "CHECK_SAME(" #a ", " #b "): " << check_a << " != " << check_b;               \
            check::fail(__FILE__, __LINE__, check_os.str());                                          \
        }                                                                                             \
    } while (0)
