#include "convert.hpp"

#include "saving.hpp"

#include <climits>
#include <string>

namespace kestov::py {
namespace {

// Re-raises a pending TypeError as "argument 'NAME': <its message>".
void prefix_type_error(const char* name) {
    if (!PyErr_ExceptionMatches(PyExc_TypeError)) return;
    PyObject *type, *value, *traceback;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    PyObject* text = value != nullptr ? PyObject_Str(value) : nullptr;
    if (text != nullptr) {
        PyErr_Format(PyExc_TypeError, "argument '%s': %U", name, text);
        Py_DECREF(text);
    } else {
        // The original message could not be rendered; keep the error we had.
        PyErr_Clear();
        PyErr_Format(PyExc_TypeError, "argument '%s': invalid value", name);
    }
    Py_XDECREF(type);
    Py_XDECREF(value);
    Py_XDECREF(traceback);
}

bool float_of(PyObject* obj, double& out) {
    const double x = PyFloat_AsDouble(obj);
    if (x == -1.0 && PyErr_Occurred()) return false;
    out = x;
    return true;
}

bool i64_of(PyObject* obj, std::int64_t& out) {
    PyObject* index = PyNumber_Index(obj);
    if (index == nullptr) return false;
    const long long n = PyLong_AsLongLong(index);
    Py_DECREF(index);
    if (n == -1 && PyErr_Occurred()) return false;
    out = n;
    return true;
}

[[gnu::cold, gnu::noinline]] std::optional<Candle> rejected(const IndicatorError& error) {
    raise(error);
    return std::nullopt;
}

std::optional<Candle> validated(double o, double h, double l, double c, double v, std::int64_t ts) {
    auto candle = Candle::create(o, h, l, c, v, ts);
    if (candle) [[likely]] return candle.value();
    return rejected(candle.error());
}

std::optional<Candle> shape_error() {
    PyErr_SetString(PyExc_TypeError,
                    "candle must be a 6-tuple (open, high, low, close, volume, timestamp) or a dict");
    return std::nullopt;
}

// The usual candle, five exact floats and an exact int that fits, read
// without the general conversions, which cannot fail on them and would give
// the same values. False sends the tuple down the general path.
bool plain_candle(PyObject* tuple, double (&f)[5], std::int64_t& ts) {
    for (Py_ssize_t i = 0; i < 5; ++i) {
        PyObject* item = PyTuple_GetItem(tuple, i);
        if (!PyFloat_CheckExact(item)) return false;
        f[i] = PyFloat_AsDouble(item);
    }
    PyObject* item = PyTuple_GetItem(tuple, 5);
    if (!PyLong_CheckExact(item)) return false;
    int overflow = 0;
    const long long n = PyLong_AsLongLongAndOverflow(item, &overflow);
    ts = n;
    return overflow == 0;
}

// Any item that does not convert makes the tuple not a candle at all; what
// the item's conversion raised is dropped for the shape error.
std::optional<Candle> candle_from_tuple(PyObject* tuple) {
    double f[5];
    std::int64_t ts = 0;
    if (plain_candle(tuple, f, ts)) return validated(f[0], f[1], f[2], f[3], f[4], ts);
    for (Py_ssize_t i = 0; i < 5; ++i) {
        if (!float_of(PyTuple_GetItem(tuple, i), f[i])) {
            PyErr_Clear();
            return shape_error();
        }
    }
    if (!i64_of(PyTuple_GetItem(tuple, 5), ts)) {
        PyErr_Clear();
        return shape_error();
    }
    return validated(f[0], f[1], f[2], f[3], f[4], ts);
}

// An exact lookup that never calls __missing__. The value is held while it is
// converted: its __float__ may run code that changes the dict.
enum class Lookup { Found, Absent, Failed };
Lookup lookup(PyObject* dict, const char* key, PyObject*& value) {
    PyObject* k = PyUnicode_FromString(key);
    if (k == nullptr) return Lookup::Failed;
    value = PyDict_GetItemWithError(dict, k);
    Py_DECREF(k);
    if (value == nullptr) return PyErr_Occurred() ? Lookup::Failed : Lookup::Absent;
    Py_INCREF(value);
    return Lookup::Found;
}

std::optional<Candle> candle_from_dict(PyObject* dict) {
    std::int64_t ts = 0;
    PyObject* value = nullptr;
    switch (lookup(dict, "timestamp", value)) {
        case Lookup::Failed: return std::nullopt;
        case Lookup::Absent: break;
        case Lookup::Found: {
            const bool ok = i64_of(value, ts);
            Py_DECREF(value);
            if (!ok) return std::nullopt;
        }
    }
    static constexpr const char* keys[] = {"open", "high", "low", "close", "volume"};
    double f[5];
    for (int i = 0; i < 5; ++i) {
        switch (lookup(dict, keys[i], value)) {
            case Lookup::Failed: return std::nullopt;
            case Lookup::Absent:
                PyErr_Format(PyExc_ValueError, "candle missing key '%s'", keys[i]);
                return std::nullopt;
            case Lookup::Found: {
                const bool ok = float_of(value, f[i]);
                Py_DECREF(value);
                if (!ok) return std::nullopt;
            }
        }
    }
    return validated(f[0], f[1], f[2], f[3], f[4], ts);
}

}  // namespace

bool to_f64(PyObject* obj, const char* name, double& out) {
    if (float_of(obj, out)) return true;
    prefix_type_error(name);
    return false;
}

bool to_u64(PyObject* obj, const char* name, std::uint64_t& out) {
    PyObject* index = PyNumber_Index(obj);
    if (index == nullptr) {
        prefix_type_error(name);
        return false;
    }
    const unsigned long long n = PyLong_AsUnsignedLongLong(index);
    Py_DECREF(index);
    if (n == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
        prefix_type_error(name);
        return false;
    }
    out = n;
    return true;
}

bool to_i64(PyObject* obj, const char* name, std::int64_t& out) {
    if (i64_of(obj, out)) return true;
    prefix_type_error(name);
    return false;
}

// The pair's items convert as any float argument does; only the shape is
// checked here, so a tuple of two strings names the item that failed.
std::optional<Pair> to_pair(PyObject* obj) {
    if (!PyTuple_Check(obj) || PyTuple_Size(obj) != 2) {
        PyErr_SetString(PyExc_TypeError, "pair must be a 2-tuple (a, b)");
        return std::nullopt;
    }
    Pair pair{};
    if (!to_f64(PyTuple_GetItem(obj, 0), "a", pair.a) || !to_f64(PyTuple_GetItem(obj, 1), "b", pair.b))
        return std::nullopt;
    return pair;
}

std::optional<Candle> to_candle(PyObject* obj) {
    // An exact tuple is asked about first: it is the usual candle and the
    // exact test is a pointer comparison, not a call.
    if ((PyTuple_CheckExact(obj) || PyTuple_Check(obj)) && PyTuple_Size(obj) == 6) return candle_from_tuple(obj);
    if (PyDict_Check(obj)) return candle_from_dict(obj);
    return shape_error();
}

std::nullptr_t raise(const IndicatorError& error) {
    PyErr_SetString(PyExc_ValueError, error.message().c_str());
    return nullptr;
}

std::nullptr_t raise(const BuildError& error) {
    if (const auto* e = std::get_if<IndicatorError>(&error)) return raise(*e);
    switch (std::get<RoomError>(error)) {
        case RoomError::OutOfMemory: PyErr_NoMemory(); break;
        case RoomError::CountOverflow:
            PyErr_SetString(PyExc_OverflowError, "period too large: its buffer size does not fit in 64 bits");
            break;
    }
    return nullptr;
}

void not_bytes(PyObject* state, const char* name) {
    PyObject* qualname = PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(state)), "__qualname__");
    if (qualname == nullptr) return;
    PyErr_Format(PyExc_TypeError, "%s state must be bytes, not '%U'", name, qualname);
    Py_DECREF(qualname);
}

std::nullptr_t raise(const LoadError& error, const char* name, const unsigned char* data, std::size_t size) {
    if (const auto* config = std::get_if<IndicatorError>(&error)) return raise(*config);
    if (const auto* room = std::get_if<RoomError>(&error)) return raise(BuildError{*room});
    const StateError& bad = std::get<StateError>(error);
    const std::string_view written = StateReader::name_in(data, size);
    bool plain = !written.empty();  // a class name, not stray bytes, before it goes in a message
    for (const char c : written) plain = plain && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'));
    if (plain && written != name) {
        const std::string text = std::string("cannot restore ") + name + " from a saved " + std::string(written) + " state";
        PyErr_SetString(PyExc_ValueError, text.c_str());
    } else {
        PyErr_Format(PyExc_ValueError, "invalid %s state at byte %zu: %s", name, bad.at, bad.what);
    }
    return nullptr;
}

}  // namespace kestov::py
