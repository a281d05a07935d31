// Words given from Python (a mapping of str to payload, or an iterable of
// str), gathered and checked for a layout.
#pragma once

#include <Python.h>

#include <cstdint>
#include <vector>

#include "prefix/store/word_list.hpp"

namespace native {

// The words of a layout with their code-point order.
struct SortedWords {
  prefix::WordList words;
  std::vector<std::uint32_t> order;  // prefix::sorted_order(words)
};

// Gathers `words`: with `is_mapping`, a dict (read directly) or any mapping
// (through its items()), each key a str and each payload an int or an object
// with __index__ from 0 to 4294967295, bool refused; else an iterable of str,
// each word's payload its position, a repeated word keeping its first. Throws
// binding::Error: a TypeError for a non-iterable (message "words must be a
// mapping or an iterable of str, not <type>"), a word that is not a str or a
// payload of another type; a ValueError for the empty word, a word longer
// than prefix::MAX_WORD_BYTES in UTF-8, a payload or position out of range,
// a word given twice in a mapping and, once all are read, the first word in
// code-point order holding a lone surrogate. Each message names the word.
// What iteration, items() or __index__ raise passes through; a dict changed
// meanwhile raises RuntimeError as dict iteration does. Reads each word's
// characters in place: nothing is converted or cached on the str objects.
// Memory: the distinct words (an iterable's repeats are dropped by a sort of
// the words held each time they double, from two million words or 32 MiB).
[[nodiscard]] SortedWords gather_words(PyObject* words, bool is_mapping);

}  // namespace native
