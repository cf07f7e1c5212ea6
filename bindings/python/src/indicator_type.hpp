#pragma once
// One Python class per core indicator, built from a short description of the
// class (see classes.cpp). Everything here is written once for all classes:
// the constructor, the methods, the batch row loop, properties and repr.

#include <array>
#include <charconv>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "args.hpp"
#include "arrays.hpp"
#include "borrow.hpp"
#include "convert.hpp"
#include "guard.hpp"
#include "kestov/indicator.hpp"
#include "python.hpp"
#include "row_loop.hpp"
#include "rows.hpp"
#include "saving.hpp"

namespace kestov::py {

// ---- The pieces a class description is made of ----------------------------

// A constructor parameter; `default_text` is shown in the signature as it is
// written and parsed for the value when the argument is omitted.
struct Param {
    const char* name;
    const char* default_text = nullptr;
};

template <class Core>
struct Property {
    const char* name;
    PyObject* (*read)(const Core&);
};

template <class M>
struct member_of;
template <class R, class C>
struct member_of<R (C::*)() const noexcept> {
    using type = C;
};
template <class R, class C>
struct member_of<R (C::*)() const> {
    using type = C;
};

// A read-only property from a const member function of the core.
template <auto Getter, class Core = typename member_of<decltype(Getter)>::type>
constexpr Property<Core> prop(const char* name) {
    return {name, [](const Core& core) -> PyObject* { return to_python((core.*Getter)()); }};
}

enum class Repr {
    Default,   // object's own repr
    Config,    // Name(param=value, ...)
    BareName,  // Name
};

// Defaults every description starts from.
template <Indicator CoreT, class RowsT>
struct Describe {
    using Core = CoreT;
    using Rows = RowsT;
    static constexpr std::array<Param, 0> params{};
    static constexpr std::array<Property<CoreT>, 0> properties{};
    static constexpr const char* module = "kestov._kestov";  // where the class is registered
    static constexpr const char* contiguity = "contiguous";
    static constexpr const char* update_note = "";
    static constexpr const char* batch_note = "";
    static constexpr Repr repr = Repr::Default;
};

// ---- Instances -------------------------------------------------------------

template <class D>
struct Instance {
    PyObject ob_base;
    typename D::Core core;
    BorrowFlag borrow;
    [[no_unique_address]] ResultSlot<typename D::Core::Output> result;
};

template <class D>
Instance<D>* instance(PyObject* self) noexcept {
    return reinterpret_cast<Instance<D>*>(self);
}

// ---- Compile-time facts derived from a description -------------------------

// The constructor's values, typed as the core factory takes them: the C++
// parameter types choose each argument's conversion.
template <class F>
struct make_args;
template <class R, class... A>
struct make_args<R (*)(A...) noexcept> {
    using type = std::tuple<std::decay_t<A>...>;
};

template <class T>
struct output_width : std::integral_constant<std::size_t, 0> {};  // a float: shape (n,)
template <std::size_t K>
struct output_width<std::array<double, K>> : std::integral_constant<std::size_t, K> {};

template <class D>
constexpr bool takes_candle = std::same_as<typename D::Core::Input, Candle>;
template <class D>
constexpr bool takes_pair = std::same_as<typename D::Core::Input, Pair>;

template <class D>
constexpr std::size_t required_count() {
    std::size_t n = 0;
    for (const Param& p : D::params)
        if (p.default_text == nullptr) ++n;
    return n;
}

// ---- Texts built once per class and kept for the life of the process ------

template <class D>
struct Texts {
    std::string ctor_qualname = std::string(D::name) + ".__new__()";
    std::string update_qualname = std::string(D::name) + ".update()";
    std::string batch_qualname = std::string(D::name) + ".batch()";
    std::array<const char*, std::size(D::params)> ctor_names{};
    std::string class_doc;
    std::string update_doc;
    std::string batch_doc;

    Texts() {
        std::string signature = "(";
        for (std::size_t i = 0; i < std::size(D::params); ++i) {
            const Param& p = D::params[i];
            ctor_names[i] = p.name;
            if (i != 0) signature += ", ";
            signature += p.name;
            if (p.default_text != nullptr) signature += std::string("=") + p.default_text;
        }
        signature += ")";
        class_doc = std::string(D::name) + signature + "\n--\n\n";
        update_doc = std::string("update($self, ") + update_param + ")\n--\n\n" + D::update_note;
        batch_doc = "batch($self";
        for (const char* column : D::Rows::names) batch_doc += std::string(", ") + column;
        batch_doc += std::string(")\n--\n\n") + D::batch_note;
    }

    static constexpr const char* update_param = takes_candle<D> ? "candle" : takes_pair<D> ? "pair" : "value";
    static constexpr std::array<const char*, 1> update_names{update_param};

    Signature ctor() const { return {ctor_qualname.c_str(), ctor_names, required_count<D>()}; }
    Signature update() const { return {update_qualname.c_str(), update_names, 1}; }
    Signature batch() const { return {batch_qualname.c_str(), D::Rows::names, D::Rows::names.size()}; }
};

template <class D>
const Texts<D>& texts() {
    static const Texts<D>& t = *new Texts<D>();  // never freed: the type points into it
    return t;
}

// ---- Conversions of constructor arguments ----------------------------------

// An omitted argument takes the default written in the signature. Matching
// has already refused a call that omits a parameter without one.
template <class T>
bool default_value(const Param& p, T& out) {
    if (p.default_text == nullptr) return false;
    const std::string_view text = p.default_text;
    return std::from_chars(text.data(), text.data() + text.size(), out).ec == std::errc{};
}

inline bool convert_param(PyObject* obj, const Param& p, std::uint64_t& out) {
    return obj != nullptr ? to_u64(obj, p.name, out) : default_value(p, out);
}

inline bool convert_param(PyObject* obj, const Param& p, std::int64_t& out) {
    return obj != nullptr ? to_i64(obj, p.name, out) : default_value(p, out);
}

inline bool convert_param(PyObject* obj, const Param& p, double& out) {
    return obj != nullptr ? to_f64(obj, p.name, out) : default_value(p, out);
}

// ---- Slots and methods -----------------------------------------------------

// A new instance of `type` owning `core`.
template <class D>
PyObject* wrap(PyTypeObject* type, typename D::Core&& core) {
    auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
    PyObject* self = alloc(type, 0);
    if (self == nullptr) return nullptr;
    Instance<D>* obj = instance<D>(self);
    new (&obj->core) typename D::Core(std::move(core));
    new (&obj->borrow) BorrowFlag{};
    new (&obj->result) ResultSlot<typename D::Core::Output>{};
    return self;
}

template <class D>
PyObject* construct(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
    return guarded(
        [&]() -> PyObject* {
            const Texts<D>& t = texts<D>();
            constexpr std::size_t n = std::size(D::params);
            std::array<PyObject*, n + 1> objects{};
            if (!match_tuple(t.ctor(), args, kwargs, objects.data())) return nullptr;

            typename make_args<decltype(&D::Core::create)>::type values{};
            const bool converted = [&]<std::size_t... I>(std::index_sequence<I...>) {
                return (convert_param(objects[I], D::params[I], std::get<I>(values)) && ...);
            }(std::make_index_sequence<n>{});
            if (!converted) {
                if (!PyErr_Occurred()) PyErr_Format(PyExc_SystemError, "%s: bad default argument", D::name);
                return nullptr;
            }

            auto built = std::apply(&D::Core::create, values);
            if (!built) return raise(built.error());
            return wrap<D>(type, std::move(built).value());
        },
        static_cast<PyObject*>(nullptr));
}

template <class D>
void destroy(PyObject* self) noexcept {
    PyTypeObject* type = Py_TYPE(self);
    using Core = typename D::Core;
    instance<D>(self)->result.clear();
    instance<D>(self)->core.~Core();
    auto free_slot = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
    free_slot(self);
    Py_DECREF(type);
}

// Flattened: the core's update (and the components it drives) is compiled
// into this call rather than reached through further calls.
template <class D>
[[gnu::flatten]] PyObject* update(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return guarded(
        [&]() -> PyObject* {
            PyObject* arg;
            if (nargs == 1 && kwnames == nullptr) {
                arg = args[0];  // the usual call: skip matching
            } else if (!match_vectorcall(texts<D>().update(), args, nargs, kwnames, &arg)) {
                return nullptr;
            }
            Instance<D>* obj = instance<D>(self);
            Borrow borrow(obj->borrow, Access::Exclusive);
            if (!borrow) return nullptr;
            if constexpr (takes_candle<D>) {
                const std::optional<Candle> candle = to_candle(arg);
                if (!candle) return nullptr;
                return obj->result.give(obj->core.update(*candle));
            } else if constexpr (takes_pair<D>) {
                const std::optional<Pair> pair = to_pair(arg);
                if (!pair) return nullptr;
                return obj->result.give(obj->core.update(*pair));
            } else {
                double value;
                if (!to_f64(arg, "value", value)) return nullptr;
                return obj->result.give(obj->core.update(value));
            }
        },
        static_cast<PyObject*>(nullptr));
}

// Each row goes through this object's own core update (row_loop.hpp), so a
// batch is exactly the same sequence of updates.
template <class D>
PyObject* batch(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return guarded(
        [&]() -> PyObject* {
            using Rows = typename D::Rows;
            constexpr std::size_t ncols = Rows::names.size();
            constexpr std::size_t width = output_width<typename D::Core::Output>::value;

            std::array<PyObject*, ncols> objects{};
            if (!match_vectorcall(texts<D>().batch(), args, nargs, kwnames, objects.data())) return nullptr;
            Instance<D>* obj = instance<D>(self);
            Borrow borrow(obj->borrow, Access::Exclusive);
            if (!borrow) return nullptr;

            std::array<Column, ncols> columns{};
            static constexpr auto types = column_types<Rows>();
            if (!read_columns(objects, Rows::names, D::contiguity, Rows::lengths, columns.data(), types))
                return nullptr;
            const std::size_t n = columns[0].size;
            double* out = nullptr;
            PyObject* result = new_output(n, width, &out);
            if (result == nullptr) return nullptr;

            std::optional<IndicatorError> error;
            if (run_rows<typename D::Core, Rows>(obj->core, columns.data(), n, out, error) != n) {
                Py_DECREF(result);
                return raise(*error);
            }
            return result;
        },
        static_cast<PyObject*>(nullptr));
}

template <class D>
PyObject* reset(PyObject* self, PyObject*) noexcept {
    Instance<D>* obj = instance<D>(self);
    Borrow borrow(obj->borrow, Access::Exclusive);
    if (!borrow) return nullptr;
    obj->core.reset();
    Py_RETURN_NONE;
}

template <class D>
PyObject* is_ready(PyObject* self, PyObject*) noexcept {
    Instance<D>* obj = instance<D>(self);
    Borrow borrow(obj->borrow, Access::Shared);
    if (!borrow) return nullptr;
    return to_python(obj->core.is_ready());
}

template <class D>
PyObject* warmup_period(PyObject* self, PyObject*) noexcept {
    Instance<D>* obj = instance<D>(self);
    Borrow borrow(obj->borrow, Access::Shared);
    if (!borrow) return nullptr;
    return to_python(obj->core.warmup_period());
}

// ---- Saving, restoring and copying ------------------------------------------

// pickle: the class, its configuration as constructor arguments, and the
// saved state, which __setstate__ then restores over the new object.
template <class D>
PyObject* reduce(PyObject* self, PyObject*) noexcept {
    return guarded(
        [&]() -> PyObject* {
            Instance<D>* obj = instance<D>(self);
            Borrow borrow(obj->borrow, Access::Shared);
            if (!borrow) return nullptr;
            PyObject* config = to_python(obj->core.config());
            if (config == nullptr) return nullptr;
            PyObject* state = state_bytes(obj->core);
            if (state == nullptr) {
                Py_DECREF(config);
                return nullptr;
            }
            return Py_BuildValue("(ONN)", reinterpret_cast<PyObject*>(Py_TYPE(self)), config, state);
        },
        static_cast<PyObject*>(nullptr));
}

// Replaces the whole state, configuration included, or leaves the object
// exactly as it was.
template <class D>
PyObject* setstate(PyObject* self, PyObject* state) noexcept {
    return guarded(
        [&]() -> PyObject* {
            Instance<D>* obj = instance<D>(self);
            Borrow borrow(obj->borrow, Access::Exclusive);
            if (!borrow) return nullptr;
            auto core = core_from_state<typename D::Core>(state, D::name);
            if (!core) return nullptr;
            obj->core = std::move(*core);
            Py_RETURN_NONE;
        },
        static_cast<PyObject*>(nullptr));
}

template <class D>
PyObject* copy(PyObject* self, PyObject*) noexcept {
    return guarded(
        [&]() -> PyObject* {
            Instance<D>* obj = instance<D>(self);
            Borrow borrow(obj->borrow, Access::Shared);
            if (!borrow) return nullptr;
            auto twin = copy_state(obj->core);
            if (!twin) return raise(twin.error(), D::name, nullptr, 0);
            return wrap<D>(Py_TYPE(self), std::move(twin).value());
        },
        static_cast<PyObject*>(nullptr));
}

// Nothing inside an indicator refers to other objects: a deep copy is a copy.
template <class D>
PyObject* deepcopy(PyObject* self, PyObject*) noexcept {
    return copy<D>(self, nullptr);
}

template <class D>
PyObject* get_property(PyObject* self, void* closure) noexcept {
    return guarded(
        [&]() -> PyObject* {
            Instance<D>* obj = instance<D>(self);
            Borrow borrow(obj->borrow, Access::Shared);
            if (!borrow) return nullptr;
            return static_cast<const Property<typename D::Core>*>(closure)->read(obj->core);
        },
        static_cast<PyObject*>(nullptr));
}

// Integers in decimal; floats in their shortest round-trip form, never in
// exponent notation and without a forced fraction (2.0 prints as 2, 1e300 as
// a 1 and 300 zeros). Fixed notation alone is not enough: for a large value
// it prints every digit of the exact binary value, not the shortest digits.
inline void append_repr_value(std::string& text, std::uint64_t n) { text += std::to_string(n); }
inline void append_repr_value(std::string& text, std::int64_t n) { text += std::to_string(n); }
inline void append_repr_value(std::string& text, double x) {
    char buffer[32];  // "-d.dddddddddddddddde-308" at most
    const char* end = std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::scientific).ptr;
    const char* p = buffer;
    if (*p == '-') text += *p++;
    std::string digits;
    while (p != end && *p != 'e') {
        if (*p != '.') digits += *p;
        ++p;
    }
    if (p == end) {  // inf or nan: no exponent to place
        text += digits;
        return;
    }
    int exponent = 0;
    std::from_chars(p + (p[1] == '+' ? 2 : 1), end, exponent);
    const int count = static_cast<int>(digits.size());
    if (exponent < 0) {
        text += "0.";
        text.append(static_cast<std::size_t>(-exponent - 1), '0');
        text += digits;
    } else if (exponent + 1 >= count) {
        text += digits;
        text.append(static_cast<std::size_t>(exponent + 1 - count), '0');
    } else {
        text.append(digits, 0, static_cast<std::size_t>(exponent + 1));
        text += '.';
        text.append(digits, static_cast<std::size_t>(exponent + 1));
    }
}

template <class D>
PyObject* repr(PyObject* self) noexcept {
    return guarded(
        [&]() -> PyObject* {
            Instance<D>* obj = instance<D>(self);
            Borrow borrow(obj->borrow, Access::Shared);
            if (!borrow) return nullptr;
            std::string text = D::name;
            if constexpr (D::repr == Repr::Config) {
                text += '(';
                std::size_t i = 0;
                std::apply(
                    [&](const auto&... value) {
                        ((text += (i == 0 ? "" : ", "), text += D::params[i++].name, text += '=',
                          append_repr_value(text, value)),
                         ...);
                    },
                    obj->core.config());
                text += ')';
            }
            return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
        },
        static_cast<PyObject*>(nullptr));
}

// ---- The type object -------------------------------------------------------

template <class F>
PyCFunction as_cfunction(F* f) noexcept {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f));
}

template <class D>
struct TypeTables {
    std::string qualified_name = std::string(D::module) + "." + D::name;
    std::array<PyMethodDef, 10> methods{};
    std::array<PyGetSetDef, std::size(D::properties) + 1> getset{};
    std::vector<PyType_Slot> slots;
    PyType_Spec type_spec{};

    TypeTables() {
        const Texts<D>& t = texts<D>();
        constexpr int fastcall = METH_FASTCALL | METH_KEYWORDS;
        methods[0] = {"update", as_cfunction(&update<D>), fastcall, t.update_doc.c_str()};
        methods[1] = {"batch", as_cfunction(&batch<D>), fastcall, t.batch_doc.c_str()};
        methods[2] = {"reset", as_cfunction(&reset<D>), METH_NOARGS, "reset($self)\n--\n\n"};
        methods[3] = {"is_ready", as_cfunction(&is_ready<D>), METH_NOARGS, "is_ready($self)\n--\n\n"};
        methods[4] = {"warmup_period", as_cfunction(&warmup_period<D>), METH_NOARGS,
                      "warmup_period($self)\n--\n\n"};
        methods[5] = {"__reduce__", as_cfunction(&reduce<D>), METH_NOARGS,
                      "__reduce__($self)\n--\n\nThe configuration and the saved state, for pickle."};
        methods[6] = {"__setstate__", as_cfunction(&setstate<D>), METH_O,
                      "__setstate__($self, state, /)\n--\n\nRestore a saved state, configuration included."};
        methods[7] = {"__copy__", as_cfunction(&copy<D>), METH_NOARGS,
                      "__copy__($self)\n--\n\nAn independent indicator in the same state."};
        methods[8] = {"__deepcopy__", as_cfunction(&deepcopy<D>), METH_O,
                      "__deepcopy__($self, memo, /)\n--\n\nAn independent indicator in the same state."};
        for (std::size_t i = 0; i < std::size(D::properties); ++i) {
            const auto& p = D::properties[i];
            getset[i] = {p.name, &get_property<D>, nullptr, nullptr,
                         const_cast<void*>(static_cast<const void*>(&p))};
        }
        slots = {
            {Py_tp_new, reinterpret_cast<void*>(&construct<D>)},
            {Py_tp_dealloc, reinterpret_cast<void*>(&destroy<D>)},
            {Py_tp_doc, const_cast<char*>(t.class_doc.c_str())},
            {Py_tp_methods, methods.data()},
        };
        if (std::size(D::properties) != 0) slots.push_back({Py_tp_getset, getset.data()});
        if (D::repr != Repr::Default) slots.push_back({Py_tp_repr, reinterpret_cast<void*>(&repr<D>)});
        slots.push_back({0, nullptr});
        type_spec = {qualified_name.c_str(), static_cast<int>(sizeof(Instance<D>)), 0, Py_TPFLAGS_DEFAULT,
                slots.data()};
    }
};

// The class object, made on first use and kept for the life of the process.
// Returns a new reference, or null with the exception set.
template <class D>
PyObject* type_object() noexcept {
    return guarded(
        [&]() -> PyObject* {
            static PyObject* type = nullptr;
            if (type == nullptr) {
                static TypeTables<D>& tables = *new TypeTables<D>();  // never freed: the type points into it
                type = PyType_FromSpec(&tables.type_spec);
                if (type == nullptr) return nullptr;
            }
            Py_INCREF(type);
            return type;
        },
        static_cast<PyObject*>(nullptr));
}

}  // namespace kestov::py
