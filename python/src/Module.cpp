// The extension module arvelle._arvelle: the scripting host's embedding API as Python functions, host
// arrays converted to Python values and back, and the parts of a model a script reaches around the
// scripting classes (transactions, listeners, files). The package arvelle builds the Python classes
// from what `describe` tells of each scripting class.

#include <fenmo/ChangeReport.hpp>
#include <fenmo/Model.hpp>
#include <fenmo/ModelImpl.hpp>
#include <fenmo/Persistence.hpp>
#include <fenmo/Text.hpp>
#include <fenmo/Transaction.hpp>
#include <fenmo/qorin/Conversions.hpp>
#include <fenmo/qorin/Namespace.hpp>
#include <fenmo/qorin/ValueMarshaler.hpp>
#include <fenmo/query/TextQuery.hpp>
#include <plexo/ClassSystem.hpp>
#include <plexo/Embedding.hpp>
#include <plexo/Factory.hpp>
#include <plexo/HostArray.hpp>

#include <arvelle/MetaPackageArvelle.hpp>

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <unordered_map>

#include <dlfcn.h>

#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace py = pybind11;
using plexo::ArrayKind;
using plexo::HostArray;

namespace {

// What the package hands over at import: its exception class, the function that gives the Python class
// of a scripting class (made on first use) and the one that gives an enumeration's member by value
// (raising for a value with no member).
struct Hooks {
    py::object error, classOf, enumMember;
};
Hooks& hooks() {
    static auto* h = new Hooks;  // left to the process: Python objects must not be dropped after exit
    return *h;
}

[[noreturn]] void raisePython(const plexo::HostError& e) {
    py::tuple arguments(e.arguments().size());
    for (std::size_t i = 0; i < e.arguments().size(); ++i)
        arguments[i] = py::str(fenmo::toUtf8(e.arguments()[i]));
    py::object error = hooks().error(e.catalog(), e.key(), e.text(), arguments);
    PyErr_SetObject(hooks().error.ptr(), error.ptr());
    throw py::error_already_set();
}

// Runs f; a failure of the host or of the framework becomes the package's Error.
template <class F>
auto guarded(F&& f) -> decltype(f()) {
    try {
        return f();
    } catch (const py::error_already_set&) {
        throw;
    } catch (const py::builtin_exception&) {
        throw;
    } catch (const plexo::HostError& e) {
        raisePython(e);
    } catch (...) {
        raisePython(plexo::toHostError(std::current_exception()));
    }
}

// --- the Python objects of scripting objects -------------------------------------------------------------

// The handle a Python object of a scripting object holds in its `_h` slot: a capsule owning the object
// array (1x1), released with it. A capsule, not a bound class: making and dropping one is a small
// allocation, with no registry of instances.
constexpr const char* kHandleName = "arvelle.handle";

void releaseHandle(PyObject* capsule) {
    plexo::destroyArray(static_cast<HostArray*>(PyCapsule_GetPointer(capsule, kHandleName)));
}
py::object makeHandle(plexo::Array array) {
    PyObject* capsule = PyCapsule_New(array.get(), kHandleName, releaseHandle);
    if (!capsule) throw py::error_already_set();
    array.release();
    return py::reinterpret_steal<py::object>(capsule);
}
// The array of a handle, or null for anything else.
const HostArray* handleArray(PyObject* object) {
    if (!PyCapsule_CheckExact(object) || PyCapsule_GetName(object) != kHandleName) return nullptr;
    return static_cast<const HostArray*>(PyCapsule_GetPointer(object, kHandleName));
}
PyObject* internedHandleName() {
    static PyObject* name = PyUnicode_InternFromString("_h");
    return name;
}

// The Python class of a scripting class, asked of the package once per class.
PyObject* pythonClass(plexo::ClassId id) {
    static auto* classes = new std::unordered_map<plexo::ClassId, py::object>;
    auto found = classes->find(id);
    if (found == classes->end()) found = classes->emplace(id, hooks().classOf(plexo::className(id))).first;
    return found->second.ptr();
}

// The member of an enumeration class of that value: the class's members by value, kept once per class.
py::object enumMember(plexo::ClassId id, std::int32_t value) {
    static auto* members = new std::unordered_map<plexo::ClassId, py::dict>;
    auto found = members->find(id);
    if (found == members->end())
        found =
            members->emplace(id, py::reinterpret_borrow<py::object>(pythonClass(id)).attr("_by_value")).first;
    if (PyObject* member = PyDict_GetItem(found->second.ptr(), py::int_(value).ptr()))
        return py::reinterpret_borrow<py::object>(member);
    return hooks().enumMember(plexo::className(id), value);  // raises: no member has that value
}

class Identities;
Identities& identities();

// One Python object per scripting object while Python holds it: objects by the identity of the native
// instance they stand for, each entry dropped by a weak-reference callback when its object goes.
class Identities {
public:
    py::object find(std::uintptr_t key) const {
        if (!key) return {};
        auto found = m_objects.find(key);
        return found == m_objects.end() ? py::object()
                                        : py::reinterpret_borrow<py::object>(found->second.object);
    }

    // A new object of `cls` holding `array`, remembered under `key` (not remembered when 0).
    py::object make(PyObject* cls, plexo::Array array, std::uintptr_t key) {
        auto* type = reinterpret_cast<PyTypeObject*>(cls);
        py::object object = py::reinterpret_steal<py::object>(type->tp_alloc(type, 0));
        if (!object) throw py::error_already_set();
        py::object handle = makeHandle(std::move(array));
        if (PyObject_SetAttr(object.ptr(), internedHandleName(), handle.ptr()) != 0)
            throw py::error_already_set();
        if (!key) return object;
        PyObject* weak = PyWeakref_NewRef(object.ptr(), forget());
        if (!weak) throw py::error_already_set();
        m_objects[key] = Entry{object.ptr(), weak};
        m_keys[weak] = key;
        return object;
    }

private:
    struct Entry {
        PyObject* object;  // borrowed: the entry goes before the object does
        PyObject* weak;    // owned
    };

    // The callback every weak reference shares (a plain C function: it runs once per object dropped):
    // forgets the entry of the object that is going.
    static PyObject* forgetEntry(PyObject*, PyObject* weak) {
        Identities& self = identities();
        auto key = self.m_keys.find(weak);
        if (key != self.m_keys.end()) {
            auto entry = self.m_objects.find(key->second);
            if (entry != self.m_objects.end() && entry->second.weak == weak) self.m_objects.erase(entry);
            self.m_keys.erase(key);
            Py_DECREF(weak);
        }
        Py_RETURN_NONE;
    }
    static PyObject* forget() {
        static PyMethodDef definition{"forget", forgetEntry, METH_O, nullptr};
        static PyObject* function = PyCFunction_New(&definition, nullptr);
        return function;
    }

    std::unordered_map<std::uintptr_t, Entry> m_objects;
    std::unordered_map<PyObject*, std::uintptr_t> m_keys;
};
Identities& identities() {
    static auto* i = new Identities;  // left to the process, like the hooks
    return *i;
}

std::string utf8(const std::u16string& text) {
    return fenmo::toUtf8(text);
}

// --- host arrays to Python ---------------------------------------------------------------------------------

py::object toPython(const HostArray& array);

py::object objectToPython(const HostArray& array, std::size_t i) {
    const plexo::ClassId id = array.classId();
    plexo::PlexoClass* cls = plexo::getClass(id);
    if (cls->isEnumeration()) {
        plexo::Array element(array.numel() == 1 ? nullptr : plexo::omGetArrayElement(array, i));
        const HostArray* underlying = plexo::omGetUnderlyingArray(element ? *element : array);
        const auto value = underlying ? static_cast<std::int32_t>(plexo::getScalarDouble(*underlying)) : 0;
        return enumMember(id, value);
    }
    const auto key =
        reinterpret_cast<std::uintptr_t>(i < array.instances().size() ? array.instances()[i].get() : nullptr);
    if (py::object known = identities().find(key)) return known;
    plexo::Array element(array.numel() == 1 ? plexo::duplicateArray(array)
                                            : plexo::omGetArrayElement(array, i));
    return identities().make(pythonClass(id), std::move(element), key);
}

// The Python value of a value the caller owns: a single object keeps the array as its handle, uncopied.
py::object toPython(plexo::Array value) {
    if (!value) return py::none();
    if (value->kind() != ArrayKind::Object || value->numel() != 1 || value->instances().empty() ||
        plexo::getClass(value->classId())->isEnumeration())
        return toPython(*value);
    const auto key = reinterpret_cast<std::uintptr_t>(value->instances()[0].get());
    if (py::object known = identities().find(key)) return known;
    const plexo::ClassId id = value->classId();
    return identities().make(pythonClass(id), std::move(value), key);
}

template <class F>
py::object scalarOrList(const HostArray& array, F item) {
    if (array.numel() == 0) return py::none();
    if (array.numel() == 1) return item(0);
    py::list list;
    for (std::size_t i = 0; i < array.numel(); ++i) list.append(item(i));
    return list;
}

py::object toPython(const HostArray& array) {
    switch (array.kind()) {
        case ArrayKind::Double:
            return scalarOrList(array,
                                [&](std::size_t i) { return py::object(py::float_(array.doubles()[i])); });
        case ArrayKind::Int32:
            return scalarOrList(array,
                                [&](std::size_t i) { return py::object(py::int_(array.int32s()[i])); });
        case ArrayKind::Logical:
            return scalarOrList(
                array, [&](std::size_t i) { return py::object(py::bool_(array.logicals()[i] != 0)); });
        case ArrayKind::Char:
            return py::str(utf8(array.chars()));
        case ArrayKind::String:
            return scalarOrList(array,
                                [&](std::size_t i) { return py::object(py::str(utf8(array.strings()[i]))); });
        case ArrayKind::Struct:
            return scalarOrList(array, [&](std::size_t i) {
                py::dict dict;
                for (const std::string& field : array.fieldNames()) {
                    const HostArray* value = array.getField(i, field);
                    dict[py::str(field)] = value ? toPython(*value) : py::none();
                }
                return py::object(dict);
            });
        case ArrayKind::Cell: {
            py::list list;
            for (std::size_t i = 0; i < array.numel(); ++i) {
                const HostArray* value = array.getCell(i);
                list.append(value ? toPython(*value) : py::none());
            }
            return list;
        }
        case ArrayKind::Object:
            return scalarOrList(array, [&](std::size_t i) { return objectToPython(array, i); });
    }
    return py::none();
}

// --- Python values to host arrays ------------------------------------------------------------------------

// The object array a Python value is (a handle) or holds in `_h` (the slot of the package's objects), or
// null.
const HostArray* arrayOf(py::handle value) {
    if (const HostArray* array = handleArray(value.ptr())) return array;
    PyObject* h = PyObject_GetAttr(value.ptr(), internedHandleName());
    if (!h) {
        PyErr_Clear();
        return nullptr;
    }
    const HostArray* array = handleArray(h);
    Py_DECREF(h);  // the object's slot keeps the handle alive
    return array;
}

bool isWholeNumber(py::handle value) {
    return py::isinstance<py::int_>(value) && !py::isinstance<py::bool_>(value);
}

HostArray* fromPython(py::handle value) {
    if (value.is_none()) return plexo::createNumericMatrix(0, 0, plexo::NumericClass::Double);
    if (py::isinstance<py::bool_>(value)) return plexo::createLogicalScalar(value.cast<bool>());
    if (isWholeNumber(value)) {
        const long long n = value.cast<long long>();
        if (n >= std::numeric_limits<std::int32_t>::min() && n <= std::numeric_limits<std::int32_t>::max())
            return plexo::createInt32Scalar(static_cast<std::int32_t>(n));
        return plexo::createDoubleScalar(static_cast<double>(n));
    }
    if (py::isinstance<py::float_>(value)) return plexo::createDoubleScalar(value.cast<double>());
    if (py::isinstance<py::str>(value)) return plexo::createString(value.cast<std::string>());
    if (const HostArray* array = arrayOf(value)) return plexo::duplicateArray(*array);
    if (py::isinstance<py::dict>(value)) {
        plexo::Array out(plexo::createStructMatrix(1, 1, {}));
        for (auto [k, v] : value.cast<py::dict>())
            out->setField(0, py::str(k).cast<std::string>(), fromPython(v));
        return out.release();
    }
    if (py::isinstance<py::list>(value) || py::isinstance<py::tuple>(value)) {
        py::sequence items = value.cast<py::sequence>();
        const std::size_t n = items.size();
        bool numbers = n > 0, logicals = n > 0;
        for (py::handle item : items) {
            numbers = numbers && (isWholeNumber(item) || py::isinstance<py::float_>(item));
            logicals = logicals && py::isinstance<py::bool_>(item);
        }
        if (numbers) {
            plexo::Array out(plexo::createNumericMatrix(1, n, plexo::NumericClass::Double));
            for (std::size_t i = 0; i < n; ++i) out->doubles()[i] = items[i].cast<double>();
            return out.release();
        }
        if (logicals) {
            plexo::Array out(plexo::createLogicalMatrix(1, n));
            for (std::size_t i = 0; i < n; ++i) out->logicals()[i] = items[i].cast<bool>();
            return out.release();
        }
        plexo::Array out(plexo::createCellMatrix(1, n));
        for (std::size_t i = 0; i < n; ++i) out->setCell(i, fromPython(items[i]));
        return out.release();
    }
    throw py::type_error("a " + std::string(py::str(value.get_type().attr("__name__"))) +
                         " value has no scripting form");
}

// Converted inputs, owned for the duration of a call.
struct Inputs {
    std::vector<plexo::Array> owned;
    plexo::Inputs pointers;
    explicit Inputs(const py::sequence& values) {
        for (py::handle v : values) {
            owned.emplace_back(fromPython(v));
            pointers.push_back(owned.back().get());
        }
    }
};

py::object outputs(std::vector<plexo::Array>& produced) {
    if (produced.empty()) return py::none();
    if (produced.size() == 1) return produced[0] ? toPython(*produced[0]) : py::none();
    py::tuple out(produced.size());
    for (std::size_t i = 0; i < produced.size(); ++i)
        out[i] = produced[i] ? toPython(*produced[i]) : py::none();
    return out;
}

// --- classes as the package needs to know them ----------------------------------------------------------

py::object describe(const std::string& name) {
    plexo::PlexoClass* cls = plexo::findClass(plexo::makeInterned(name));
    if (!cls || cls->isBuiltin()) return py::none();
    py::dict d;
    plexo::PlexoClassInfo* info = cls->info();
    d["name"] = info->getName();
    d["namespace"] = cls->namespaceName();
    d["abstract"] = info->isAbstract();
    d["handle"] = info->isHandleClass();
    d["enumeration"] = info->isEnumeration();
    py::list supers;
    // Built-in superclasses (the int32 an enumeration is built on) have no Python class of their own.
    for (const auto& s : cls->superclasses())
        if (plexo::PlexoClass* super = plexo::findClass(s.id); super && !super->isBuiltin())
            supers.append(plexo::className(s.id));
    d["superclasses"] = supers;
    py::list properties;
    for (const auto& p : cls->properties()) {
        py::dict pd;
        pd["name"] = p->getName();
        pd["type"] = p->getTypeName();
        pd["settable"] = p->hasSetter();
        properties.append(pd);
    }
    d["properties"] = properties;
    py::list methods;
    for (const auto& m : cls->declaredMethods()) {
        py::dict md;
        const plexo::Signature& s = m->getSignature();
        md["name"] = m->getName();
        md["description"] = m->getDescription();
        md["static"] = (m->getAttributes() & plexo::Static) != 0;
        md["hidden"] = (m->getAttributes() & plexo::Hidden) != 0;
        md["inputs"] = s.inputs;
        md["outputs"] = s.outputs;
        md["argumentNames"] = s.argumentNames;
        md["required"] = s.requiredInputs;
        methods.append(md);
    }
    d["methods"] = methods;
    py::list members;
    for (const auto& v : cls->enumerationValues()) {
        const HostArray* object = v->getMemberObject();
        const HostArray* underlying = object ? plexo::omGetUnderlyingArray(*object) : nullptr;
        members.append(py::make_tuple(
            v->getName(), underlying ? static_cast<std::int32_t>(plexo::getScalarDouble(*underlying)) : 0));
    }
    d["members"] = members;
    return d;
}

// --- models ------------------------------------------------------------------------------------------------

fenmo::Model modelOf(const py::handle& object) {
    const HostArray* array = arrayOf(object);
    fenmo::Model model = array ? fenmo::qorin::modelFromHost(*array) : fenmo::Model();
    if (!model) throw py::type_error("not a model");
    return model;
}

py::object modelToPython(const fenmo::Model& model) {
    plexo::Array array(fenmo::qorin::modelToHost(model));
    return toPython(*array);
}

// A transaction a script opened; it keeps its model alive until it ends.
struct PyTransaction {
    fenmo::Model model;
    fenmo::Transaction transaction;
};

// A registered listener; removing it (or dropping the object) unregisters it.
struct PyListener {
    fenmo::ListenerToken token;
};

py::object elementToPython(const fenmo::ModelElement& element) {
    plexo::Array array(fenmo::qorin::elementToHost(element, fenmo::ModelElement::metaClass()));
    return toPython(*array);
}

py::object valueToPython(const fenmo::meta::Property& property, const fenmo::Value& value) {
    try {
        fenmo::qorin::ValueMarshaler* m = fenmo::qorin::marshalerFor(property->getType());
        if (!m || !value.hasPayload()) return py::none();
        plexo::Array array(m->toHostArray(value));
        return toPython(*array);
    } catch (const py::error_already_set&) {
        throw;
    } catch (...) {
        return py::none();  // a value without a scripting form (a collection) is reported by name only
    }
}

py::object reportToPython(const fenmo::ChangeReport& report, const py::object& makeReport) {
    using Cause = fenmo::ChangeReport::Cause;
    const char* cause = report.cause() == Cause::Commit ? "commit"
                        : report.cause() == Cause::Undo ? "undo"
                                                        : "redo";
    py::list created, destroyed, modified;
    for (const auto& e : report.created()) created.append(elementToPython(e));
    for (const auto& e : report.destroyed()) destroyed.append(elementToPython(e));
    for (const auto& change : report.modified()) {
        py::list properties;
        for (const auto& p : change.properties)
            properties.append(py::make_tuple(utf8(p.property->getName()),
                                             valueToPython(p.property, p.oldValue),
                                             valueToPython(p.property, p.newValue)));
        modified.append(py::make_tuple(elementToPython(change.element), properties));
    }
    return makeReport(cause, created, destroyed, modified);
}

// Libraries that register scripting namespaces export QorinInitialize_<name>; calls it when present.
bool initializeLibrary(void* handle, const std::string& name) {
    using Init = void (*)();
    auto init = reinterpret_cast<Init>(dlsym(handle, ("QorinInitialize_" + name).c_str()));
    if (!init) return false;
    init();
    return true;
}

// --- properties -----------------------------------------------------------------------------------------

// A property of a scripting class as a Python descriptor written against the C API, so that reading or
// writing it is one crossing with no Python frame in between. The property is searched by name once
// per scripting class it meets (objects of subclasses share the descriptor).
//     _arvelle.Property(name, settable, doc)
struct HostProperty {
    PyObject_HEAD std::string* name;
    PyObject* doc;
    bool settable;
    plexo::ClassId cachedClass;
    std::uint64_t cachedGeneration;
    const plexo::PlexoPropertyInfo* cached;

    const plexo::PlexoPropertyInfo& find(const HostArray& object) {
        if (!name) throw py::type_error("the property was not initialised");
        // Found again for another class, and after the host dropped a class (its infos went with it).
        const std::uint64_t generation = plexo::classGeneration();
        if (object.classId() != cachedClass || generation != cachedGeneration || !cached) {
            cached = plexo::findProperty(object, *name);
            if (!cached)
                throw plexo::HostError("plexo:class", "UndefinedProperty",
                                       "no property '" + *name + "' in class " + plexo::getClassName(object),
                                       {});
            cachedClass = object.classId();
            cachedGeneration = generation;
        }
        return *cached;
    }

    static const HostArray& arrayOfObject(PyObject* object) {
        const HostArray* array = arrayOf(object);
        if (!array) throw py::type_error("not a scripting object");
        return *array;
    }

    static PyObject* get(PyObject* self, PyObject* object, PyObject*) {
        if (!object) return Py_NewRef(self);  // looked up on the class
        auto* p = reinterpret_cast<HostProperty*>(self);
        try {
            return guarded([&] {
                       const HostArray& target = arrayOfObject(object);
                       return toPython(plexo::getProperty(target, p->find(target)));
                   })
                .release()
                .ptr();
        } catch (py::error_already_set& e) {
            e.restore();
        } catch (const py::builtin_exception& e) {
            e.set_error();
        }
        return nullptr;
    }

    static int set(PyObject* self, PyObject* object, PyObject* value) {
        auto* p = reinterpret_cast<HostProperty*>(self);
        if (!value || !p->settable) {
            PyErr_Format(PyExc_AttributeError, "property '%s' cannot be %s", p->name->c_str(),
                         value ? "set" : "deleted");
            return -1;
        }
        try {
            guarded([&] {
                const HostArray& target = arrayOfObject(object);
                plexo::Array v(fromPython(value));
                plexo::setProperty(target, p->find(target), *v);
            });
            return 0;
        } catch (py::error_already_set& e) {
            e.restore();
        } catch (const py::builtin_exception& e) {
            e.set_error();
        }
        return -1;
    }

    static int init(PyObject* self, PyObject* args, PyObject*) {
        auto* p = reinterpret_cast<HostProperty*>(self);
        const char* name = nullptr;
        int settable = 0;
        PyObject* doc = Py_None;
        if (!PyArg_ParseTuple(args, "sp|O", &name, &settable, &doc)) return -1;
        delete p->name;
        p->name = new std::string(name);
        p->settable = settable != 0;
        Py_XSETREF(p->doc, Py_NewRef(doc));
        p->cachedClass = nullptr;
        p->cached = nullptr;
        return 0;
    }

    static void dealloc(PyObject* self) {
        auto* p = reinterpret_cast<HostProperty*>(self);
        delete p->name;
        Py_XDECREF(p->doc);
        PyTypeObject* type = Py_TYPE(self);
        type->tp_free(self);
        Py_DECREF(type);  // instances of heap types hold their type
    }

    static PyObject* getDoc(PyObject* self, void*) {
        auto* p = reinterpret_cast<HostProperty*>(self);
        return Py_NewRef(p->doc ? p->doc : Py_None);
    }
};

PyGetSetDef hostPropertyGetSet[] = {{"__doc__", HostProperty::getDoc, nullptr, nullptr, nullptr},
                                    {nullptr, nullptr, nullptr, nullptr, nullptr}};
PyType_Slot hostPropertySlots[] = {{Py_tp_descr_get, reinterpret_cast<void*>(HostProperty::get)},
                                   {Py_tp_descr_set, reinterpret_cast<void*>(HostProperty::set)},
                                   {Py_tp_init, reinterpret_cast<void*>(HostProperty::init)},
                                   {Py_tp_new, reinterpret_cast<void*>(PyType_GenericNew)},
                                   {Py_tp_dealloc, reinterpret_cast<void*>(HostProperty::dealloc)},
                                   {Py_tp_getset, hostPropertyGetSet},
                                   {0, nullptr}};
PyType_Spec hostPropertySpec = {"arvelle._arvelle.Property", sizeof(HostProperty), 0, Py_TPFLAGS_DEFAULT,
                                hostPropertySlots};

}  // namespace

PYBIND11_MODULE(_arvelle, m) {
    m.doc() = "The scripting host of arvelle, for the arvelle package.";

    PyObject* propertyType = PyType_FromSpec(&hostPropertySpec);
    if (!propertyType) throw py::error_already_set();
    m.add_object("Property", py::reinterpret_steal<py::object>(propertyType));

    m.def("set_hooks", [](py::object error, py::object classOf, py::object enumMember) {
        hooks().error = std::move(error);
        hooks().classOf = std::move(classOf);
        hooks().enumMember = std::move(enumMember);
    });
    m.def("initialize", [] {
        guarded([] {
            fenmo::qorin::initialize();
            // The library linked with this module registers its namespaces once its binding is built;
            // until then it exports no initialiser and only its metamodel is there (for files).
            Dl_info info{};
            if (dladdr(reinterpret_cast<void*>(&tav::fenmo::MetaPackageArvelle::getInstance), &info) &&
                info.dli_fname)
                if (void* handle = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD)) {
                    initializeLibrary(handle, "arvelle");
                    dlclose(handle);
                }
        });
    });
    m.def(
        "load_library",
        [](const std::string& path, const std::string& name) {
            return guarded([&] {
                void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
                if (!handle) throw py::value_error(std::string("cannot load ") + path + ": " + dlerror());
                return initializeLibrary(handle, name);  // stays loaded: its classes may be in use
            });
        },
        py::arg("path"), py::arg("name"));

    // The embedding API.
    m.def("construct", [](const std::string& cls, const py::sequence& args) {
        return guarded([&] {
            Inputs in(args);
            plexo::Array object = plexo::construct(cls, in.pointers);
            return toPython(*object);
        });
    });
    m.def("get", [](py::handle self, const std::string& name) {
        return guarded([&] {
            plexo::Array value = plexo::getProperty(HostProperty::arrayOfObject(self.ptr()), name);
            return value ? toPython(*value) : py::none();
        });
    });
    m.def("set", [](py::handle self, const std::string& name, py::handle value) {
        guarded([&] {
            plexo::Array v(fromPython(value));
            plexo::setProperty(HostProperty::arrayOfObject(self.ptr()), name, *v);
        });
    });
    m.def("call", [](const std::string& method, const py::sequence& args, int nOutputs) {
        return guarded([&] {
            Inputs in(args);
            std::vector<plexo::Array> out = plexo::call(method, in.pointers, nOutputs);
            return outputs(out);
        });
    });
    m.def("call_static",
          [](const std::string& cls, const std::string& method, const py::sequence& args, int nOutputs) {
              return guarded([&] {
                  Inputs in(args);
                  std::vector<plexo::Array> out = plexo::callStatic(cls, method, in.pointers, nOutputs);
                  return outputs(out);
              });
          });
    m.def("enumeration_member", [](const std::string& cls, const std::string& member) {
        return guarded([&] { return makeHandle(plexo::enumerationMember(cls, member)); });
    });
    m.def("describe", [](const std::string& name) { return guarded([&] { return describe(name); }); });
    m.def("namespaces", [] { return plexo::namespaceNames(); });
    m.def("classes_in",
          [](const std::string& ns) { return guarded([&] { return plexo::classNamesIn(ns); }); });
    m.def("to_host_and_back", [](py::handle value) {
        return guarded([&] {
            plexo::Array array(fromPython(value));
            return py::make_tuple(plexo::getClassName(*array), array->rows(), array->cols(),
                                  toPython(*array));
        });
    });
    m.def("bound_count", [] { return plexo::factory::BindingRegistry::size(); });

    // Models.
    py::class_<PyTransaction>(m, "Transaction")
        .def("commit", [](PyTransaction& t) { guarded([&] { t.transaction.commit(); }); })
        .def("abandon", [](PyTransaction& t) { guarded([&] { t.transaction.abandon(); }); })
        .def_property_readonly("is_open", [](const PyTransaction& t) { return t.transaction.isOpen(); });
    py::class_<PyListener>(m, "Listener").def("remove", [](PyListener& l) { l.token.reset(); });

    m.def("begin_transaction", [](py::handle model) {
        return guarded([&] {
            fenmo::Model mo = modelOf(model);
            auto t = std::make_unique<PyTransaction>();
            t->transaction = mo->beginTransaction(false);
            t->model = std::move(mo);
            return t;
        });
    });
    m.def("transaction_depth", [](py::handle model) { return modelOf(model)->transactionDepth(); });
    m.def("add_listener", [](py::handle model, py::object callback, py::object makeReport) {
        return guarded([&] {
            fenmo::Model mo = modelOf(model);
            auto listener = std::make_unique<PyListener>();
            // The framework keeps a copy of the function; the callables are dropped with the GIL held.
            using Held = std::pair<py::object, py::object>;
            std::shared_ptr<Held> guardedHeld(new Held(std::move(callback), std::move(makeReport)),
                                              [](Held* p) {
                                                  py::gil_scoped_acquire gil;
                                                  delete p;
                                              });
            listener->token = mo->addListener([guardedHeld](const fenmo::ChangeReport& report) {
                py::gil_scoped_acquire gil;
                try {
                    guardedHeld->first(reportToPython(report, guardedHeld->second));
                } catch (py::error_already_set& e) {
                    // A listener cannot fail the edit: its error goes where Python reports errors in
                    // callbacks.
                    e.restore();
                    PyErr_WriteUnraisable(guardedHeld->first.ptr());
                }
            });
            return listener;
        });
    });
    m.def("query", [](py::handle model, const std::string& text) {
        fenmo::Model mo = modelOf(model);
        return guarded([&] {
            const fenmo::query::DynamicQuery query = fenmo::query::parseQuery(fenmo::toUtf16(text));
            std::vector<fenmo::ModelElement> matches;
            {
                py::gil_scoped_release noGil;
                matches = query.select(mo);
            }
            py::list out(matches.size());
            for (std::size_t i = 0; i < matches.size(); ++i) out[i] = elementToPython(matches[i]);
            return out;
        });
    });
    m.def("save", [](py::handle model, const std::string& path) {
        fenmo::Model mo = modelOf(model);
        guarded([&] {
            py::gil_scoped_release noGil;
            fenmo::xml::saveModel(mo, path);
        });
    });
    m.def(
        "load",
        [](const std::string& path, bool newIdentity) {
            return guarded([&] {
                fenmo::Model mo;
                {
                    py::gil_scoped_release noGil;
                    fenmo::xml::LoadOptions options;
                    options.newIdentity = newIdentity;
                    mo = fenmo::xml::loadModel(path, options);
                }
                return modelToPython(mo);
            });
        },
        py::arg("path"), py::arg("new_identity") = false);
}
