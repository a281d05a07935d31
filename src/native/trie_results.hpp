// A laid-out trie handed to Python: as the four lists from_internal_data
// takes, or as its byte form.
#pragma once

#include <Python.h>

#include "binding/ref.hpp"
#include "prefix/store/compact_tree.hpp"

namespace native {

// (node_shifts, node_strings, node_payloads, child_indices): lists of int,
// of one-character str ('' where there is no code point), of int or None,
// and of int. Releases each array of `arrays` once its list is made.
[[nodiscard]] binding::Ref arrays_into_py(prefix::FlatArrays&& arrays);

// The byte form of arrays.to_trie() as `bytes`, written in place at its exact size.
[[nodiscard]] binding::Ref bytes_into_py(const prefix::FlatArrays& arrays);

}  // namespace native
