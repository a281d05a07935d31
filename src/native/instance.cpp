// Finding _quorvatine's PrefixSearch type and borrowing its instances.
#include "native/instance.hpp"

#include <string>

#include "binding/error.hpp"
#include "binding/ref.hpp"
#include "prefix/failure.hpp"

namespace native {

namespace {

constinit binding::OnceCell type_cell;

// The type check of BorrowedTrie: exactly the adopted type. Instances of a
// subclass could only come from a build that allows subclassing, whose
// layout this build does not know.
PyObject* checked_instance(PyObject* object) {
  if (reinterpret_cast<PyObject*>(Py_TYPE(object)) != type_cell.get()) {
    throw binding::type_mismatch(object, "PrefixSearch");
  }
  return object;
}

}  // namespace

binding::Ref adopt_prefix_search_type(PyObject* extension) {
  const binding::Ref make =
      binding::Ref::steal(PyObject_GetAttrString(extension, "from_internal_data"));
  if (!make) binding::throw_fetched();
  if (!PyCFunction_Check(make.get()))
    throw binding::type_mismatch(make.get(), "builtin_function_or_method");
  const binding::Ref empty = binding::Ref::steal(PyList_New(0));
  if (!empty) binding::throw_fetched();
  binding::Ref instance = binding::Ref::steal(PyObject_CallFunctionObjArgs(
      make.get(), empty.get(), empty.get(), empty.get(), empty.get(), nullptr));
  if (!instance) binding::throw_fetched();
  PyObject* const type = reinterpret_cast<PyObject*>(Py_TYPE(instance.get()));
  const binding::Ref listed =
      binding::Ref::steal(PyObject_GetAttrString(extension, "PrefixSearch"));
  if (!listed) binding::throw_fetched();
  if (listed.get() != type) {
    throw prefix::InternalFailure("_quorvatine.PrefixSearch is not the type of its instances");
  }
  const Py_ssize_t size = Py_TYPE(instance.get())->tp_basicsize;
  if (size != static_cast<Py_ssize_t>(sizeof(PrefixSearchObject))) {
    throw prefix::InternalFailure("PrefixSearch instances are " + std::to_string(size) +
                                  " bytes, not " + std::to_string(sizeof(PrefixSearchObject)));
  }
  type_cell.get_or_init([type] { return binding::Ref::borrow(type); });
  return instance;
}

PyTypeObject* prefix_search_type() noexcept {
  return reinterpret_cast<PyTypeObject*>(type_cell.get());
}

BorrowedTrie::BorrowedTrie(PyObject* object)
    : borrow_(checked_instance(object), prefix_search_type(), "PrefixSearch") {}

}  // namespace native
