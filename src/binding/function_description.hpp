// Parameter tables of the entry points and the binding of call arguments to them.
#pragma once

#include <Python.h>

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

#include "binding/error.hpp"

namespace binding {

// The parameters of one entry point. Every parameter may be given by position
// or by keyword; the first `required_count` are required. The display name
// that leads every binding message is "<class_name>.<function_name>()" for a
// method and "<function_name>()" for a module function.
template <std::size_t N>
struct FunctionDescription {
  std::optional<std::string_view> class_name;  // absent for module functions
  std::string_view function_name;
  std::array<std::string_view, N> parameter_names;
  std::size_t required_count;
};

// The table without its size, as the binding routine reads it.
struct ParameterTable {
  std::optional<std::string_view> class_name;
  std::string_view function_name;
  std::span<const std::string_view> parameter_names;
  std::size_t required_count;
};

// Fills `slots` (one borrowed reference per parameter, all null on entry) from
// a fast call's positional arguments and keyword names; on return every
// required slot is filled. Throws a pending TypeError with the exact binding
// message on the first failure: too many positional arguments (keywords are
// then not looked at), an unknown keyword, a parameter given twice, missing
// required parameters. Allocates nothing on success.
void bind_slots(const ParameterTable& table, PyObject* const* args, Py_ssize_t nargs,
                PyObject* kwnames, std::span<PyObject*> slots);

// The arguments of one call, bound to the parameters of a table. The
// references are borrowed from the caller's argument array.
template <std::size_t N>
class BoundArguments {
 public:
  explicit BoundArguments(const FunctionDescription<N>& description) noexcept
      : names_(description.parameter_names) {}

  [[nodiscard]] PyObject* operator[](std::size_t index) const noexcept { return slots_[index]; }
  [[nodiscard]] std::span<PyObject*> slots() noexcept { return slots_; }

  // Converts argument `index` with `Rule` (binding/conversions.hpp). A failure
  // is thrown as wrap_argument_error gives it for that parameter's name.
  template <class Rule>
  [[nodiscard]] typename Rule::Value convert(std::size_t index) const {
    try {
      return Rule::convert(slots_[index]);
    } catch (Error& error) {
      throw wrap_argument_error(std::move(error), names_[index]);
    }
  }

 private:
  std::array<std::string_view, N> names_;
  std::array<PyObject*, N> slots_{};
};

// Binds a fast call (METH_FASTCALL | METH_KEYWORDS) to `description`; see
// bind_slots for the failures. The common call (all parameters by position)
// stays inline.
template <std::size_t N>
[[nodiscard]] BoundArguments<N> bind(const FunctionDescription<N>& description,
                                     PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  BoundArguments<N> bound(description);
  if (kwnames == nullptr && nargs == static_cast<Py_ssize_t>(N)) {
    for (std::size_t i = 0; i < N; ++i) bound.slots()[i] = args[i];
    return bound;
  }
  bind_slots(ParameterTable{description.class_name, description.function_name,
                            description.parameter_names, description.required_count},
             args, nargs, kwnames, bound.slots());
  return bound;
}

}  // namespace binding
