// The trie inside a _quorvatine.PrefixSearch, for the package's own queries.
#pragma once

#include <Python.h>

#include "binding/error.hpp"
#include "binding/ref.hpp"
#include "prefix/search_trie.hpp"
#include "prefix_search_object.hpp"

namespace native {

// The trie `object` holds, borrowed for as long as `object` is alive (it
// never changes). Not a PrefixSearch (or subclass): TypeError.
inline const prefix::SearchTrie& trie_of(PyObject* object) {
  static constinit binding::OnceCell type;
  PyObject* const prefix_search = type.get_or_init([] {
    binding::Ref extension = binding::Ref::steal(PyImport_ImportModule("_quorvatine"));
    if (!extension) binding::throw_fetched();
    binding::Ref found =
        binding::Ref::steal(PyObject_GetAttrString(extension.get(), "PrefixSearch"));
    if (!found) binding::throw_fetched();
    return found;
  });
  if (PyObject_TypeCheck(object, reinterpret_cast<PyTypeObject*>(prefix_search)) == 0) {
    throw binding::type_mismatch(object, "PrefixSearch");
  }
  return reinterpret_cast<const PrefixSearchObject*>(object)->trie;
}

}  // namespace native
