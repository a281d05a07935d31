// Positional and keyword binding with the exact TypeError messages of each failure.
#include "binding/function_description.hpp"

#include <string>
#include <vector>

#include "binding/ref.hpp"

namespace binding {
namespace {

std::string display_name(const ParameterTable& table) {
  std::string name;
  if (table.class_name) {
    name.append(*table.class_name);
    name.push_back('.');
  }
  name.append(table.function_name);
  name.append("()");
  return name;
}

// 'a'; 'a' and 'b'; 'a', 'b', and 'c'.
std::string quoted_list(const std::vector<std::string_view>& names) {
  std::string list;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) {
      if (names.size() > 2) list.push_back(',');
      list.append(i + 1 == names.size() ? " and " : " ");
    }
    list.push_back('\'');
    list.append(names[i]);
    list.push_back('\'');
  }
  return list;
}

[[noreturn]] void fail_too_many_positional(const ParameterTable& table, Py_ssize_t given) {
  throw Error::pending(PyExc_TypeError, display_name(table) + " takes " +
                                            std::to_string(table.parameter_names.size()) +
                                            " positional arguments but " + std::to_string(given) +
                                            (given == 1 ? " was" : " were") + " given");
}

[[noreturn]] void fail_unexpected_keyword(const ParameterTable& table, PyObject* keyword) {
  const std::string head = display_name(table);
  throw Error::pending(PyExc_TypeError,
                       Ref::steal(PyUnicode_FromFormat("%s got an unexpected keyword argument '%S'",
                                                       head.c_str(), keyword)));
}

[[noreturn]] void fail_multiple_values(const ParameterTable& table, std::string_view name) {
  throw Error::pending(
      PyExc_TypeError,
      display_name(table) + " got multiple values for argument '" + std::string(name) + "'");
}

[[noreturn]] void fail_missing(const ParameterTable& table, std::span<PyObject* const> slots) {
  std::vector<std::string_view> missing;
  for (std::size_t i = 0; i < table.required_count; ++i) {
    if (slots[i] == nullptr) missing.push_back(table.parameter_names[i]);
  }
  throw Error::pending(
      PyExc_TypeError,
      display_name(table) + " missing " + std::to_string(missing.size()) + " required positional " +
          (missing.size() == 1 ? "argument" : "arguments") + ": " + quoted_list(missing));
}

// The index of the parameter whose name equals `keyword` byte for byte, or
// the parameter count when there is none (also when the keyword has no UTF-8
// form, as with a lone surrogate).
std::size_t find_parameter(const ParameterTable& table, PyObject* keyword) {
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(keyword, &size);
  if (utf8 == nullptr) {
    PyErr_Clear();
    return table.parameter_names.size();
  }
  const std::string_view name(utf8, static_cast<std::size_t>(size));
  std::size_t index = 0;
  while (index < table.parameter_names.size() && table.parameter_names[index] != name) ++index;
  return index;
}

}  // namespace

void bind_slots(const ParameterTable& table, PyObject* const* args, Py_ssize_t nargs,
                PyObject* kwnames, std::span<PyObject*> slots) {
  const std::size_t given = static_cast<std::size_t>(nargs);
  const std::size_t parameter_count = table.parameter_names.size();
  for (std::size_t i = 0; i < given && i < parameter_count; ++i) slots[i] = args[i];
  if (given > parameter_count) fail_too_many_positional(table, nargs);

  const Py_ssize_t keyword_count = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
  for (Py_ssize_t k = 0; k < keyword_count; ++k) {
    PyObject* const keyword = PyTuple_GET_ITEM(kwnames, k);
    const std::size_t index = find_parameter(table, keyword);
    if (index == parameter_count) fail_unexpected_keyword(table, keyword);
    if (slots[index] != nullptr) fail_multiple_values(table, table.parameter_names[index]);
    slots[index] = args[nargs + k];
  }

  if (given < table.required_count) {
    for (std::size_t i = given; i < table.required_count; ++i) {
      if (slots[i] == nullptr) fail_missing(table, slots);
    }
  }
}

}  // namespace binding
