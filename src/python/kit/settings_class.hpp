// Settings classes (Relief, Globe, Hair) declared as a table of settings,
// each a member of the record the class owns. The table gives the keyword
// constructor (every parameter "=None", None meaning the default), whose
// text signature it writes, one read-write property per setting, and the
// repr.
#pragma once

#include <array>
#include <deque>
#include <string>
#include <type_traits>
#include <vector>

#include "base/float_text.hpp"
#include "python/kit/class_spec.hpp"
#include "python/kit/text.hpp"

namespace veldra::py {

template <typename Record>
struct Setting {
  const char* name;
  bool in_repr;
  PyObject* (*get)(const Record& record);
  // Converts `value`, then stores it into this setting alone, so that a
  // conversion running Python code that sets other settings loses nothing.
  // A list of the wrong length stores nothing and is not raised but
  // described in `deferred` (when still empty), so that a constructor
  // reports every conversion failure first.
  bool (*assign)(Record& record, PyObject* value, std::string& deferred);
  std::string (*text)(const Record& record);
};

template <typename T>
struct IsArray : std::false_type {};
template <typename E, std::size_t N>
struct IsArray<std::array<E, N>> : std::true_type {};

// How a setting appears in the repr; an enumeration by its display_name(),
// found next to the enumeration's type as for the enumeration classes.
inline std::string setting_text(double value) { return plain_float(value); }
inline std::string setting_text(std::uint64_t value) { return std::to_string(value); }
inline std::string setting_text(bool value) { return value ? "true" : "false"; }
template <typename E>
  requires std::is_enum_v<E> && requires(E value) { display_name(value); }
std::string setting_text(E value) {
  return std::string(display_name(value));
}

// "light wants three numbers, got [0.5, -0.5]", "background wants three bytes, got [1, 2]".
template <typename E>
std::string wrong_length(const char* name, std::size_t wanted, const std::vector<E>& given) {
  const char* count = wanted == 2 ? "two" : "three";
  const char* kind = std::is_same_v<E, std::uint8_t> ? "bytes" : "numbers";
  return std::string(name) + " wants " + count + " " + kind + ", got " + list_text(given);
}

template <auto Member>
struct SettingAccess;

template <typename Record, typename T, T Record::*Member>
struct SettingAccess<Member> {
  using RecordType = Record;
  static inline const char* name = "";

  static PyObject* get(const Record& record) { return to_python(T(record.*Member)); }

  static bool assign(Record& record, PyObject* value, std::string& deferred) {
    if constexpr (IsArray<T>::value) {
      using Item = typename T::value_type;
      auto items = Convert<std::vector<Item>>::from(value);
      if (!items) return false;
      if (items->size() != std::tuple_size_v<T>) {
        if (deferred.empty()) deferred = wrong_length(name, std::tuple_size_v<T>, *items);
        return true;
      }
      std::copy(items->begin(), items->end(), (record.*Member).begin());
    } else {
      auto converted = Convert<T>::from(value);
      if (!converted) return false;
      record.*Member = std::move(*converted);
    }
    return true;
  }

  static std::string text(const Record& record) {
    if constexpr (requires { setting_text(record.*Member); }) {
      return setting_text(record.*Member);
    } else {
      return std::string();
    }
  }
};

// One setting of a settings table; `in_repr` puts it in the repr.
template <auto Member>
Setting<typename SettingAccess<Member>::RecordType> setting(const char* name, bool in_repr = false) {
  using Access = SettingAccess<Member>;
  Access::name = name;
  return {name, in_repr, &Access::get, &Access::assign, &Access::text};
}

template <typename Record>
struct SettingsTable {
  static inline std::deque<Setting<Record>> settings;  // stable addresses for the properties
  static inline Signature signature;
};

template <typename Record>
PyObject* settings_get(PyObject* self, void* closure) {
  const auto* f = static_cast<const Setting<Record>*>(closure);
  return shielded([&] { return f->get(core_of<Record>(self)); });
}

// Converts `value` (which may run Python code, and so change other
// settings) and then stores the one setting of `closure`; deleting fails.
// Returns -1 with an exception set when nothing was stored.
template <typename Record>
int store_setting(PyObject* self, PyObject* value, void* closure) {
  if (!value) {
    PyErr_SetString(PyExc_AttributeError, "can't delete attribute");
    return -1;
  }
  const auto* f = static_cast<const Setting<Record>*>(closure);
  std::string deferred;
  if (!f->assign(core_of<Record>(self), value, deferred)) {
    prefix_argument_name("value");
    return -1;
  }
  if (!deferred.empty()) {
    PyErr_SetString(PyExc_ValueError, deferred.c_str());
    return -1;
  }
  return 0;
}

template <typename Record>
int settings_set(PyObject* self, PyObject* value, void* closure) {
  return shielded([&] { return store_setting<Record>(self, value, closure); });
}

// Binds and converts every setting, then checks list lengths, then boxes.
template <typename Record>
PyObject* build_settings(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  const auto& settings = SettingsTable<Record>::settings;
  std::vector<PyObject*> slots(settings.size());
  if (!bind_arguments(SettingsTable<Record>::signature, args, kwargs, slots.data())) return nullptr;
  Record record;
  std::string deferred;
  for (std::size_t i = 0; i < settings.size(); ++i) {
    if (slots[i] == Py_None) continue;
    if (!settings[i].assign(record, slots[i], deferred)) {
      prefix_argument_name(settings[i].name);
      return nullptr;
    }
  }
  if (!deferred.empty()) {
    PyErr_SetString(PyExc_ValueError, deferred.c_str());
    return nullptr;
  }
  return box_into<Record>(type, std::move(record));
}

template <typename Record>
PyObject* settings_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return shielded([&] { return build_settings<Record>(type, args, kwargs); });
}

template <typename Record>
PyObject* settings_text(PyObject* self) {
  const Record& record = core_of<Record>(self);
  std::string text = std::string(class_name<Record>) + "(";
  bool first = true;
  for (const Setting<Record>& f : SettingsTable<Record>::settings) {
    if (!f.in_repr) continue;
    text += (first ? "" : ", ") + std::string(f.name) + "=" + f.text(record);
    first = false;
  }
  text += ")";
  return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

template <typename Record>
PyObject* settings_repr(PyObject* self) {
  return shielded([&] { return settings_text<Record>(self); });
}

// Creates a settings class from its settings; `doc` follows the text
// signature written from them, which thus always matches the constructor.
template <typename Record>
PyObject* make_settings_class(const char* name, const char* doc,
                              std::vector<Setting<Record>> settings) {
  auto& table = SettingsTable<Record>::settings;
  table.assign(settings.begin(), settings.end());
  std::string signature = std::string(name) + "(";
  for (std::size_t i = 0; i < table.size(); ++i) {
    signature += (i ? ", " : "") + std::string(table[i].name) + "=None";
  }
  ClassSpec spec = class_owning<Record>(name, signature + ")\n--\n\n" + doc);
  spec.constructor = {&settings_new<Record>, &SettingsTable<Record>::signature};
  for (Setting<Record>& f : table) {
    spec.properties.push_back({f.name, "", &settings_get<Record>, &settings_set<Record>, &f});
  }
  spec.repr = &settings_repr<Record>;
  return make_class<Record>(std::move(spec));
}

}  // namespace veldra::py
