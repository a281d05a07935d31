// The instance layout of _quorvatine's PrefixSearch, and making an instance:
// shared by _quorvatine, which defines the type, and quorvatine._native,
// which hands over tries it lays out. Both are built together from these
// sources, so they agree on the layout; the size check guards a mix of builds.
#pragma once

#include <Python.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <utility>

#include "binding/error.hpp"
#include "binding/ref.hpp"
#include "prefix/failure.hpp"
#include "prefix/search_trie.hpp"

struct PrefixSearchObject {
  PyObject ob_base;
  prefix::SearchTrie trie;  // set at creation, never changed
  std::atomic<std::size_t> borrow_count;
};

// A new instance of `type` (the PrefixSearch type) owning `kept`. Throws
// InternalFailure when the type's instances are not of this layout, the
// interpreter's error when allocation fails.
inline binding::Ref new_prefix_search_of(PyTypeObject* type, prefix::SearchTrie&& kept) {
  if (type->tp_basicsize != static_cast<Py_ssize_t>(sizeof(PrefixSearchObject))) {
    throw prefix::InternalFailure("PrefixSearch instances are " +
                                  std::to_string(type->tp_basicsize) + " bytes, not " +
                                  std::to_string(sizeof(PrefixSearchObject)));
  }
  const allocfunc alloc = type->tp_alloc != nullptr ? type->tp_alloc : PyType_GenericAlloc;
  binding::Ref object = binding::Ref::steal(alloc(type, 0));
  if (!object) binding::throw_fetched();
  auto* const instance = reinterpret_cast<PrefixSearchObject*>(object.get());
  std::construct_at(&instance->trie, std::move(kept));
  std::construct_at(&instance->borrow_count, std::size_t{0});
  return object;
}
