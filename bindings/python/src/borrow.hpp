#pragma once
// Per-object guard against re-entrant use. The interpreter lock is held for
// every call into the module, so a borrow can only be found taken when Python
// code run during an argument conversion calls back into the same object.

#include "python.hpp"

namespace kestov::py {

struct BorrowFlag {
    Py_ssize_t count = 0;  // 0 free, n > 0 shared borrows, -1 exclusive
};

enum class Access { Shared, Exclusive };

class Borrow {
public:
    Borrow(BorrowFlag& flag, Access access) noexcept : flag_(flag), access_(access) {
        if (access == Access::Exclusive) {
            if (flag.count != 0) {
                PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
                return;
            }
            flag.count = -1;
        } else {
            if (flag.count == -1) {
                PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
                return;
            }
            ++flag.count;
        }
        held_ = true;
    }
    ~Borrow() {
        if (!held_) return;
        if (access_ == Access::Exclusive) flag_.count = 0;
        else --flag_.count;
    }
    Borrow(const Borrow&) = delete;
    Borrow& operator=(const Borrow&) = delete;

    // False when refused; the RuntimeError is then set.
    explicit operator bool() const noexcept { return held_; }

private:
    BorrowFlag& flag_;
    Access access_;
    bool held_ = false;
};

}  // namespace kestov::py
