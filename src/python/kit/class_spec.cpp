#include "python/kit/class_spec.hpp"

#include <cstring>
#include <deque>

namespace veldra::py {
namespace class_spec_detail {
namespace {

// Everything a heap type points into must outlive it; types live as long as
// the process, so the tables are kept here.
struct KeptTables {
  ClassSpec spec;
  std::string qualified_name;
  std::vector<std::string> method_names;
  std::vector<PyMethodDef> methods;
  std::vector<PyGetSetDef> properties;
  std::vector<PyType_Slot> slots;
};

std::deque<KeptTables>& kept() {
  static std::deque<KeptTables> tables;
  return tables;
}

}  // namespace
}  // namespace class_spec_detail

PyObject* make_class(ClassSpec spec, PyTypeObject** registered, const char** registered_name) {
  using namespace class_spec_detail;
  KeptTables& t = kept().emplace_back();
  t.spec = std::move(spec);
  const ClassSpec& s = t.spec;
  t.qualified_name = std::string("veldra.") + s.name;

  if (s.constructor.call &&
      !parse_signature(s.doc.c_str(), std::string(s.name) + ".__new__()", *s.constructor.signature)) {
    return nullptr;
  }
  t.method_names.reserve(s.methods.size());
  for (const MethodSpec& m : s.methods) {
    const char* open = std::strchr(m.doc, '(');
    std::string name(m.doc, open ? open : m.doc);
    if (!parse_signature(m.doc, std::string(s.name) + "." + name + "()", *m.signature)) {
      return nullptr;
    }
    t.method_names.push_back(std::move(name));
  }
  for (std::size_t i = 0; i < s.methods.size(); ++i) {
    t.methods.push_back({t.method_names[i].c_str(),
                         reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(s.methods[i].call)),
                         METH_VARARGS | METH_KEYWORDS, s.methods[i].doc});
  }
  t.methods.push_back({nullptr, nullptr, 0, nullptr});
  for (const PropertySpec& p : s.properties) {
    t.properties.push_back({p.name, p.get, p.set, p.doc, p.closure});
  }
  t.properties.push_back({nullptr, nullptr, nullptr, nullptr, nullptr});

  t.slots.push_back({Py_tp_doc, const_cast<char*>(s.doc.c_str())});
  t.slots.push_back({Py_tp_dealloc, reinterpret_cast<void*>(s.dealloc)});
  t.slots.push_back({Py_tp_methods, t.methods.data()});
  t.slots.push_back({Py_tp_getset, t.properties.data()});
  if (s.constructor.call) t.slots.push_back({Py_tp_new, reinterpret_cast<void*>(s.constructor.call)});
  if (s.repr) t.slots.push_back({Py_tp_repr, reinterpret_cast<void*>(s.repr)});
  if (s.length) t.slots.push_back({Py_sq_length, reinterpret_cast<void*>(s.length)});
  if (s.compare) t.slots.push_back({Py_tp_richcompare, reinterpret_cast<void*>(s.compare)});
  if (s.unhashable) {
    t.slots.push_back({Py_tp_hash, reinterpret_cast<void*>(PyObject_HashNotImplemented)});
  }
  if (s.as_int) t.slots.push_back({Py_nb_int, reinterpret_cast<void*>(s.as_int)});
  if (s.get_buffer) {
    t.slots.push_back({Py_bf_getbuffer, reinterpret_cast<void*>(s.get_buffer)});
    t.slots.push_back({Py_bf_releasebuffer, reinterpret_cast<void*>(s.release_buffer)});
  }
  t.slots.push_back({0, nullptr});

  // Like built-in types, the classes refuse attribute assignment and
  // deletion (Palette.GRAY = 5, del Relief.gloss).
  unsigned int flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE;
  if (!s.constructor.call) flags |= Py_TPFLAGS_DISALLOW_INSTANTIATION;
  PyType_Spec type_spec{t.qualified_name.c_str(), s.basic_size, 0, flags, t.slots.data()};
  PyObject* type = PyType_FromSpec(&type_spec);
  if (!type) return nullptr;
  // Objects of the class are made from C++ long after registration (a
  // rendering returns an Image), even once Python code has deleted the class
  // from the module; the registry holds its own reference for the life of
  // the process so that the class outlives every such call.
  *registered = reinterpret_cast<PyTypeObject*>(Py_NewRef(type));
  *registered_name = s.name;
  return type;
}

}  // namespace veldra::py
