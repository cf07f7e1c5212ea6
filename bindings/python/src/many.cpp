// kestov.many: a Panel of independent series of one indicator, for a whole
// universe of symbols in one call per row or per block of rows.
//
// One Python type serves every class: a Panel holds the per-class operations
// of its indicator's description (descriptions.hpp), chosen when it is made.
// The indicator object a panel starts from belongs to kestov._kestov; its
// state crosses over as saved bytes, so this module needs nothing of that
// module's objects but their pickle support.
//
// The per-class operations are in many_ops.hpp.

#include <cstddef>
#include <cstring>
#include <span>

#include "many_ops.hpp"

namespace kestov::py {
namespace {

using namespace universe;

// ---- The Python type -------------------------------------------------------------

// The ops of an indicator object's class, with a new reference to that class
// in `cls`; null with TypeError when it is not one of kestov's classes.
const PanelOps* ops_of(PyObject* indicator, PyObject** cls) {
    PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(indicator));
    static_assert(ops_parts == 3);
    for (const std::span<const PanelOps* const> part : {ops_part<0>(), ops_part<1>(), ops_part<2>()}) {
        for (const PanelOps* ops : part) {
            if (ops == nullptr) continue;
            PyObject* module = PyImport_ImportModule(ops->module);
            if (module == nullptr) return nullptr;
            PyObject* candidate = PyObject_GetAttrString(module, ops->name);
            Py_DECREF(module);
            if (candidate == nullptr) return nullptr;
            if (candidate == type) {
                *cls = candidate;
                return ops;
            }
            Py_DECREF(candidate);
        }
    }
    PyErr_Format(PyExc_TypeError, "Panel needs an indicator of kestov, such as SMA(20), not %R", type);
    return nullptr;
}

// The saved state of an indicator object, as a new bytes reference.
PyObject* saved_state(PyObject* indicator) {
    PyObject* reduced = PyObject_CallMethod(indicator, "__reduce__", nullptr);
    if (reduced == nullptr) return nullptr;
    PyObject* state = nullptr;
    if (PyTuple_Check(reduced) && PyTuple_Size(reduced) == 3) state = PyTuple_GetItem(reduced, 2);
    if (state == nullptr || !PyBytes_Check(state)) {
        Py_DECREF(reduced);
        PyErr_SetString(PyExc_TypeError, "the indicator gave no saved state");
        return nullptr;
    }
    Py_INCREF(state);
    Py_DECREF(reduced);
    return state;
}

PyObject* panel_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
    return guarded(
        [&]() -> PyObject* {
            static constexpr std::array<const char*, 2> names{"indicator", "series"};
            std::array<PyObject*, 2> objects{};
            if (!match_tuple({"Panel.__new__()", names, 2}, args, kwargs, objects.data())) return nullptr;
            std::uint64_t series = 0;
            if (!to_u64(objects[1], "series", series)) return nullptr;
            PyObject* cls = nullptr;
            const PanelOps* ops = ops_of(objects[0], &cls);
            if (ops == nullptr) return nullptr;
            PyObject* state = saved_state(objects[0]);
            if (state == nullptr) {
                Py_DECREF(cls);
                return nullptr;
            }
            if (series > std::numeric_limits<std::size_t>::max() / 2) {
                Py_DECREF(state);
                Py_DECREF(cls);
                return PyErr_NoMemory();
            }
            void* panel = ops->make(reinterpret_cast<const unsigned char*>(PyBytes_AsString(state)),
                                    static_cast<std::size_t>(PyBytes_Size(state)), static_cast<std::size_t>(series));
            Py_DECREF(state);
            if (panel == nullptr) {
                Py_DECREF(cls);
                return nullptr;
            }
            auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
            PyObject* self = alloc(type, 0);
            if (self == nullptr) {
                ops->destroy(panel);
                Py_DECREF(cls);
                return nullptr;
            }
            PanelObject* p = panel_of(self);
            p->ops = ops;
            p->panel = panel;
            p->cls = cls;
            new (&p->borrow) BorrowFlag{};
            return self;
        },
        static_cast<PyObject*>(nullptr));
}

void panel_dealloc(PyObject* self) noexcept {
    PyTypeObject* type = Py_TYPE(self);
    PanelObject* p = panel_of(self);
    if (p->panel != nullptr) p->ops->destroy(p->panel);
    Py_XDECREF(p->cls);
    auto free_slot = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
    free_slot(self);
    Py_DECREF(type);
}

PyObject* method_batch(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return guarded([&] { return panel_of(self)->ops->batch(panel_of(self), args, nargs, kwnames); },
                   static_cast<PyObject*>(nullptr));
}

PyObject* method_update(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return guarded([&] { return panel_of(self)->ops->update(panel_of(self), args, nargs, kwnames); },
                   static_cast<PyObject*>(nullptr));
}

PyObject* method_reset(PyObject* self, PyObject*) noexcept {
    PanelObject* p = panel_of(self);
    Busy busy(p, Access::Exclusive);
    if (!busy) return nullptr;
    p->ops->reset(p->panel);
    Py_RETURN_NONE;
}

Py_ssize_t panel_length(PyObject* self) noexcept {
    PanelObject* p = panel_of(self);
    return static_cast<Py_ssize_t>(p->ops->size(p->panel));
}

bool check_index(PanelObject* p, Py_ssize_t s) {
    if (s < 0 || static_cast<std::size_t>(s) >= p->ops->size(p->panel)) {
        PyErr_SetString(PyExc_IndexError, "panel series index out of range");
        return false;
    }
    return true;
}

// panel[s]: a new indicator object holding series s's state.
PyObject* panel_item(PyObject* self, Py_ssize_t s) noexcept {
    return guarded(
        [&]() -> PyObject* {
            PanelObject* p = panel_of(self);
            Busy busy(p, Access::Shared);
            if (!busy || !check_index(p, s)) return nullptr;
            PyObject* config = p->ops->config(p->panel);
            if (config == nullptr) return nullptr;
            PyObject* obj = PyObject_CallObject(p->cls, config);
            Py_DECREF(config);
            if (obj == nullptr) return nullptr;
            PyObject* state = p->ops->state_of(p->panel, static_cast<std::size_t>(s));
            PyObject* done = state != nullptr ? PyObject_CallMethod(obj, "__setstate__", "O", state) : nullptr;
            Py_XDECREF(state);
            if (done == nullptr) {
                Py_DECREF(obj);
                return nullptr;
            }
            Py_DECREF(done);
            return obj;
        },
        static_cast<PyObject*>(nullptr));
}

// panel[s] = obj: series s takes obj's state; obj must be of the panel's
// class and configuration.
int panel_set_item(PyObject* self, Py_ssize_t s, PyObject* value) noexcept {
    return guarded(
        [&]() -> int {
            PanelObject* p = panel_of(self);
            if (value == nullptr) {
                PyErr_SetString(PyExc_TypeError, "panel series cannot be deleted");
                return -1;
            }
            if (reinterpret_cast<PyObject*>(Py_TYPE(value)) != p->cls) {
                PyErr_Format(PyExc_TypeError, "a panel of %s holds %s objects, not %R", p->ops->name, p->ops->name,
                             reinterpret_cast<PyObject*>(Py_TYPE(value)));
                return -1;
            }
            PyObject* state = saved_state(value);
            if (state == nullptr) return -1;
            Busy busy(p, Access::Exclusive);
            bool ok = busy && check_index(p, s);
            ok = ok && p->ops->set_state(p->panel, static_cast<std::size_t>(s),
                                        reinterpret_cast<const unsigned char*>(PyBytes_AsString(state)),
                                        static_cast<std::size_t>(PyBytes_Size(state)));
            Py_DECREF(state);
            return ok ? 0 : -1;
        },
        -1);
}

// pickle: Panel(a fresh indicator of the configuration, series), then every
// series' state.
PyObject* method_reduce(PyObject* self, PyObject*) noexcept {
    return guarded(
        [&]() -> PyObject* {
            PanelObject* p = panel_of(self);
            Busy busy(p, Access::Shared);
            if (!busy) return nullptr;
            PyObject* config = p->ops->config(p->panel);
            if (config == nullptr) return nullptr;
            PyObject* prototype = PyObject_CallObject(p->cls, config);
            Py_DECREF(config);
            if (prototype == nullptr) return nullptr;
            PyObject* states = p->ops->save(p->panel);
            if (states == nullptr) {
                Py_DECREF(prototype);
                return nullptr;
            }
            return Py_BuildValue("(O(Nn)N)", reinterpret_cast<PyObject*>(Py_TYPE(self)), prototype,
                                 panel_length(self), states);
        },
        static_cast<PyObject*>(nullptr));
}

PyObject* method_setstate(PyObject* self, PyObject* state) noexcept {
    return guarded(
        [&]() -> PyObject* {
            PanelObject* p = panel_of(self);
            if (!PyBytes_Check(state)) {
                PyErr_SetString(PyExc_TypeError, "Panel state must be bytes");
                return nullptr;
            }
            Busy busy(p, Access::Exclusive);
            if (!busy) return nullptr;
            if (!p->ops->load(p->panel, reinterpret_cast<const unsigned char*>(PyBytes_AsString(state)),
                              static_cast<std::size_t>(PyBytes_Size(state))))
                return nullptr;
            Py_RETURN_NONE;
        },
        static_cast<PyObject*>(nullptr));
}

PyObject* panel_repr(PyObject* self) noexcept {
    PanelObject* p = panel_of(self);
    PyObject* config = p->ops->config(p->panel);
    if (config == nullptr) return nullptr;
    PyObject* text = PyUnicode_FromFormat("Panel(%s%R, series=%zd)", p->ops->name, config, panel_length(self));
    Py_DECREF(config);
    return text;
}

template <class F>
PyCFunction as_cfunction(F* f) noexcept {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f));
}

PyMethodDef panel_methods[] = {
    {"batch", as_cfunction(&method_batch), METH_FASTCALL | METH_KEYWORDS,
     "batch($self, *columns, threads=None)\n--\n\n"
     "Feed a block of rows: the indicator class's batch columns, each a C-contiguous float64 array of\n"
     "shape (rows, series). Returns (rows, series) or (rows, series, k). A series whose columns are all\n"
     "NaN in a row has no bar there: its state does not move and its output is NaN. Computes with the\n"
     "interpreter lock released, series split over `threads` threads (default: every core); do not\n"
     "write the inputs during the call."},
    {"update", as_cfunction(&method_update), METH_FASTCALL | METH_KEYWORDS,
     "update($self, *columns)\n--\n\n"
     "Feed one row: each column a float64 array of shape (series,). Returns (series,) or (series, k),\n"
     "NaN where a series has no output."},
    {"reset", as_cfunction(&method_reset), METH_NOARGS, "reset($self)\n--\n\nReset every series."},
    {"__reduce__", as_cfunction(&method_reduce), METH_NOARGS, "__reduce__($self)\n--\n\nFor pickle and copy."},
    {"__setstate__", as_cfunction(&method_setstate), METH_O,
     "__setstate__($self, state, /)\n--\n\nRestore every series' state."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot panel_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(&panel_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(&panel_dealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(&panel_repr)},
    {Py_tp_methods, panel_methods},
    {Py_sq_length, reinterpret_cast<void*>(&panel_length)},
    {Py_sq_item, reinterpret_cast<void*>(&panel_item)},
    {Py_sq_ass_item, reinterpret_cast<void*>(&panel_set_item)},
    {Py_tp_doc, const_cast<char*>(
        "Panel(indicator, series)\n--\n\n"
        "`series` independent states of one indicator, each starting as a copy of `indicator`.")},
    {0, nullptr},
};

PyType_Spec panel_spec = {"kestov.many.Panel", static_cast<int>(sizeof(PanelObject)), 0, Py_TPFLAGS_DEFAULT,
                          panel_slots};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "kestov.many",
    "Many series of one indicator at once: a Panel for a whole universe of symbols.", 0, nullptr, nullptr,
    nullptr, nullptr, nullptr,
};

PyObject* init() {
    PyObject* module = PyModule_Create2(&module_def, 3);
    if (module == nullptr) return nullptr;
    PyObject* type = PyType_FromSpec(&panel_spec);
    if (type == nullptr || PyModule_AddObject(module, "Panel", type) < 0) {
        Py_XDECREF(type);
        Py_DECREF(module);
        return nullptr;
    }
    return module;
}

}  // namespace
}  // namespace kestov::py

PyMODINIT_FUNC PyInit_many(void) {
    return kestov::py::guarded([] { return kestov::py::init(); }, static_cast<PyObject*>(nullptr));
}
