// Read access from quorvatine._native to the trie of an existing
// _quorvatine.PrefixSearch, for as long as native code reads it.
#pragma once

#include <Python.h>

#include "binding/borrow.hpp"
#include "prefix/search_trie.hpp"
#include "prefix_search_object.hpp"

namespace native {

// Finds the PrefixSearch type once, at module initialisation: the type of an
// instance that `extension` (the imported _quorvatine) makes itself through
// its built-in from_internal_data, which must also be the type the module
// lists as PrefixSearch and have instances of this build's layout. Taking the
// type from an instance, not only from the attribute, means a replaced
// attribute cannot pass another class off as PrefixSearch. Returns that
// instance. Throws binding::Error (TypeError) or prefix::InternalFailure when
// any of the checks fails.
binding::Ref adopt_prefix_search_type(PyObject* extension);

// The type adopt_prefix_search_type found; null before.
[[nodiscard]] PyTypeObject* prefix_search_type() noexcept;

// A strong reference to a PrefixSearch and a shared borrow of it, so its trie
// stays alive and unchanged while other threads read it. Taking it requires
// the interpreter lock and refuses anything whose type is not exactly
// PrefixSearch (TypeError "'<type>' object cannot be converted to
// 'PrefixSearch'"); so must dropping it, as it releases a reference. trie()
// may be read from any thread, with or without the lock, in between.
class BorrowedTrie {
 public:
  explicit BorrowedTrie(PyObject* object);

  [[nodiscard]] const prefix::SearchTrie& trie() const noexcept { return borrow_->trie; }

 private:
  binding::SharedBorrow<PrefixSearchObject> borrow_;
};

}  // namespace native
