#include "python/kit/module_kit.hpp"

#include <cstring>
#include <deque>
#include <string>

namespace veldra::py {
namespace module_kit_detail {
namespace {

// Function tables must outlive the functions made from them, which live
// as long as the process.
struct KeptFunctions {
  std::vector<MethodSpec> specs;
  std::vector<std::string> names;
  std::vector<PyMethodDef> defs;
};

std::deque<KeptFunctions>& kept() {
  static std::deque<KeptFunctions> tables;
  return tables;
}

}  // namespace
}  // namespace module_kit_detail

bool add_to_module(PyObject* module, const char* name, PyObject* value) {
  Ref owned(value);
  if (!owned) return false;
  if (name[0] == '_') return PyModule_AddObjectRef(module, name, owned.get()) == 0;
  Ref all(PyObject_GetAttrString(module, "__all__"));
  if (!all) {
    PyErr_Clear();
    all = Ref(PyList_New(0));
    if (!all || PyModule_AddObjectRef(module, "__all__", all.get()) < 0) return false;
  }
  Ref text(PyUnicode_FromString(name));
  return text && PyList_Append(all.get(), text.get()) == 0 &&
         PyModule_AddObjectRef(module, name, owned.get()) == 0;
}

namespace module_kit_detail {
namespace {

// add_functions() with each function bound to `prefix` + its name and
// with `home` as its __module__.
bool add_functions_as(PyObject* module, std::vector<MethodSpec> functions, const char* prefix,
                      PyObject* home) {
  KeptFunctions& t = kept().emplace_back();
  t.specs = std::move(functions);
  t.names.reserve(t.specs.size());
  for (const MethodSpec& f : t.specs) {
    const char* open = std::strchr(f.doc, '(');
    std::string name(f.doc, open ? open : f.doc);
    if (!parse_signature(f.doc, name + "()", *f.signature)) return false;
    t.names.push_back(std::move(name));
  }
  for (std::size_t i = 0; i < t.specs.size(); ++i) {
    t.defs.push_back({t.names[i].c_str(),
                      reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(t.specs[i].call)),
                      METH_VARARGS | METH_KEYWORDS, t.specs[i].doc});
  }
  for (PyMethodDef& def : t.defs) {
    const std::string name = prefix + std::string(def.ml_name);
    if (!add_to_module(module, name.c_str(), PyCFunction_NewEx(&def, module, home))) return false;
  }
  return true;
}

}  // namespace
}  // namespace module_kit_detail

bool add_functions(PyObject* module, std::vector<MethodSpec> functions) {
  using namespace module_kit_detail;
  Ref module_name(PyModule_GetNameObject(module));
  return module_name && add_functions_as(module, std::move(functions), "", module_name.get());
}

bool add_private_functions(PyObject* module, std::vector<MethodSpec> functions, const char* home) {
  using namespace module_kit_detail;
  Ref home_name(PyUnicode_FromString(home));
  return home_name && add_functions_as(module, std::move(functions), "_", home_name.get());
}

PyObject* initialise_once(PyModuleDef& def, PyObject*& cache, bool (*fill)(PyObject* module)) {
  if (PyInterpreterState_GetID(PyInterpreterState_Get()) != 0) {
    PyErr_Format(PyExc_ImportError, "veldra.%s can only be imported in the main interpreter",
                 def.m_name);
    return nullptr;
  }
  if (cache) return Py_NewRef(cache);
  Ref module(PyModule_Create(&def));
  if (!module || !fill(module.get())) return nullptr;
  cache = Py_NewRef(module.get());
  return module.release();
}

}  // namespace veldra::py
