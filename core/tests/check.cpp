#include "check.hpp"

#include <cstdio>
#include <utility>
#include <vector>

namespace check {
namespace {

struct Case {
    const char* name;
    std::function<void()> body;
};

std::vector<Case>& cases() {
    static std::vector<Case> all;
    return all;
}

int failures_in_case = 0;

}  // namespace

void register_case(const char* name, std::function<void()> body) { cases().push_back({name, std::move(body)}); }

void fail(const char* file, int line, const std::string& what) {
    ++failures_in_case;
    std::fprintf(stderr, "%s:%d: %s\n", file, line, what.c_str());
}

}  // namespace check

int main() {
    int failed = 0;
    for (const auto& c : check::cases()) {
        check::failures_in_case = 0;
        c.body();
        std::printf("%s %s\n", check::failures_in_case == 0 ? "ok    " : "FAILED", c.name);
        if (check::failures_in_case != 0) ++failed;
    }
    const auto total = check::cases().size();
    std::printf("%zu passed, %d failed\n", total - static_cast<std::size_t>(failed), failed);
    return failed == 0 ? 0 : 1;
}
