// Gathering Python words into a WordList: UTF-8 from each str's own storage,
// and the messages that name a refused word.
#include "native/python_words.hpp"

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "binding/error.hpp"
#include "binding/ref.hpp"
#include "prefix/utf8.hpp"

namespace native {
namespace {

using binding::Error;
using binding::Ref;

constexpr std::uint64_t MAX_PAYLOAD = 0xFFFFFFFF;
// Code points of an over-long word shown in its message.
constexpr Py_ssize_t SHOWN_CODE_POINTS = 20;
// An iterable's words are first compacted (repeats dropped) at this many
// words or bytes of text: vocabularies below them are sorted once, at the end.
constexpr std::size_t COMPACT_WORDS = std::size_t{1} << 21;
constexpr std::size_t COMPACT_BYTES = std::size_t{1} << 25;

enum class Encoded { Fine, Surrogate, TooLong };

// Appends `length` code points as UTF-8; a lone surrogate takes the
// three-byte form, which sorts like its code point. Whether one was met.
template <class Unit>
bool append_units(const Unit* units, Py_ssize_t length, std::string& out) {
  bool surrogate = false;
  for (Py_ssize_t i = 0; i < length; ++i) {
    const char32_t cp = units[i];
    surrogate = surrogate || (cp >= 0xD800 && cp <= 0xDFFF);
    prefix::append_utf8(out, cp);
  }
  return surrogate;
}

// Appends the UTF-8 form of the str `word` to `out`; on TooLong nothing stays appended.
Encoded append_utf8(PyObject* word, std::string& out) {
  const Py_ssize_t length = PyUnicode_GET_LENGTH(word);
  if (static_cast<std::size_t>(length) > prefix::MAX_WORD_BYTES) return Encoded::TooLong;
  const void* const data = PyUnicode_DATA(word);
  if (PyUnicode_IS_ASCII(word)) {
    out.append(static_cast<const char*>(data), static_cast<std::size_t>(length));
    return Encoded::Fine;
  }
  const std::size_t start = out.size();
  bool surrogate = false;
  switch (PyUnicode_KIND(word)) {
    case PyUnicode_1BYTE_KIND:
      surrogate = append_units(static_cast<const Py_UCS1*>(data), length, out);
      break;
    case PyUnicode_2BYTE_KIND:
      surrogate = append_units(static_cast<const Py_UCS2*>(data), length, out);
      break;
    default:
      surrogate = append_units(static_cast<const Py_UCS4*>(data), length, out);
      break;
  }
  if (out.size() - start > prefix::MAX_WORD_BYTES) {
    out.resize(start);
    return Encoded::TooLong;
  }
  return surrogate ? Encoded::Surrogate : Encoded::Fine;
}

Ref type_name(PyObject* object) {
  return Ref::steal(PyType_GetName(Py_TYPE(object)));
}

[[noreturn]] void fail(PyObject* type, Ref message) {
  if (!message) binding::throw_fetched();
  throw Error::pending(type, std::move(message));
}

// " at position <p>" for a word of an iterable, "" for a mapping's key.
Ref where(std::optional<std::uint64_t> position) {
  if (!position) return Ref::steal(PyUnicode_FromString(""));
  return Ref::steal(
      PyUnicode_FromFormat(" at position %llu", static_cast<unsigned long long>(*position)));
}

// The exact str a stored word is named by: a copy of a str subclass, so that
// its own __repr__ is not what names it.
Ref exact_str(PyObject* word) {
  return Ref::steal(PyUnicode_FromObject(word));
}

// A word of the list as a str; a surrogate's three-byte form gives the surrogate back.
Ref word_str(std::string_view word) {
  return Ref::steal(
      PyUnicode_DecodeUTF8(word.data(), static_cast<Py_ssize_t>(word.size()), "surrogatepass"));
}

class Gatherer {
 public:
  explicit Gatherer(bool is_mapping) : is_mapping_(is_mapping) {}

  // Reserves for `count` words, at most as many as are gathered before the
  // first compaction: an iterable's words may all be one.
  void expect(std::size_t count) {
    count = std::min(count, COMPACT_WORDS);
    words_.reserve(count, count * 8);
  }

  // Adds `word` with `payload`; `position` is the word's position in an
  // iterable, nothing for a mapping's key.
  void add_word(PyObject* word, std::uint32_t payload, std::optional<std::uint64_t> position) {
    check_word(word, position);
    if (position && *position > MAX_PAYLOAD) {
      refuse_late_word(word, *position);
      return;
    }
    const Encoded encoded = append_utf8(word, words_.text());
    if (encoded == Encoded::TooLong) refuse_long_word(word, position);
    if (encoded == Encoded::Surrogate)
      surrogates_.push_back(static_cast<std::uint32_t>(words_.size()));
    words_.end_word(payload);
    if (position && (words_.size() >= compact_at_words_ || words_.text_size() >= compact_at_bytes_))
        [[unlikely]] {
      compact();
    }
  }

  // Adds a mapping's key and payload.
  void add_entry(PyObject* key, PyObject* payload) {
    add_word(key, 0, std::nullopt);
    // The key is in: a payload refused after it still loses to its repeat.
    words_.set_last_payload(checked_payload(key, payload));
  }

  // A dict that changed while it was read: the RuntimeError of dict
  // iteration, which no repeat read before it overrides (the change made it).
  [[noreturn]] void refuse_change(const char* message) {
    changed_ = true;
    throw Error::pending(PyExc_RuntimeError, message);
  }

  // Runs `read` (which adds the words), and then the checks that need every
  // word: the first error raised while reading gives way to an earlier repeat.
  template <class Read>
  SortedWords finish(Read read) && {
    try {
      read(*this);
    } catch (Error&) {
      if (is_mapping_ && !changed_) refuse_repeat(prefix::sorted_order(words_));
      throw;
    }
    std::vector<std::uint32_t> order = prefix::sorted_order(words_);
    if (is_mapping_) refuse_repeat(order);
    if (!surrogates_.empty()) refuse_surrogate(order);
    return {std::move(words_), std::move(order)};
  }

 private:
  static void check_word(PyObject* word, std::optional<std::uint64_t> position) {
    if (!PyUnicode_Check(word)) {
      const Ref name = type_name(word);
      const Ref at = where(position);
      if (!name || !at) binding::throw_fetched();
      fail(PyExc_TypeError, Ref::steal(PyUnicode_FromFormat("word %R%U is %U, not str", word,
                                                            at.get(), name.get())));
    }
    if (PyUnicode_GET_LENGTH(word) == 0) {
      const Ref at = where(position);
      if (!at) binding::throw_fetched();
      fail(PyExc_ValueError,
           Ref::steal(PyUnicode_FromFormat(
               "the empty word%U cannot be stored: the root is never reported", at.get())));
    }
  }

  static std::uint32_t checked_payload(PyObject* key, PyObject* payload) {
    if (PyLong_CheckExact(payload)) {
      int overflow = 0;
      const long long value = PyLong_AsLongLongAndOverflow(payload, &overflow);
      if (overflow == 0 && value >= 0 && static_cast<unsigned long long>(value) <= MAX_PAYLOAD) {
        return static_cast<std::uint32_t>(value);
      }
      if (value == -1 && PyErr_Occurred() != nullptr) binding::throw_fetched();
    }
    const Ref named = exact_str(key);
    if (!named) binding::throw_fetched();
    if (PyBool_Check(payload)) {
      fail(PyExc_TypeError, Ref::steal(PyUnicode_FromFormat(
                                "payload of word %R is a bool; give an int", named.get())));
    }
    const Ref index = Ref::steal(PyNumber_Index(payload));
    if (!index) {
      Error error = Error::fetch();
      if (!error.is_instance_of(PyExc_TypeError)) throw error;
      const Ref name = type_name(payload);
      if (!name) binding::throw_fetched();
      fail(PyExc_TypeError, Ref::steal(PyUnicode_FromFormat("payload of word %R is %U, not int",
                                                            named.get(), name.get())));
    }
    int overflow = 0;
    const long long value = PyLong_AsLongLongAndOverflow(index.get(), &overflow);
    if (value == -1 && PyErr_Occurred() != nullptr) binding::throw_fetched();
    if (overflow != 0 || value < 0 || static_cast<unsigned long long>(value) > MAX_PAYLOAD) {
      fail(PyExc_ValueError,
           Ref::steal(PyUnicode_FromFormat("payload %S of word %R is outside 0 to 4294967295",
                                           index.get(), named.get())));
    }
    return static_cast<std::uint32_t>(value);
  }

  static void refuse_long_word(PyObject* word, std::optional<std::uint64_t> position) {
    const Ref shown = Ref::steal(PyUnicode_Substring(word, 0, SHOWN_CODE_POINTS));
    const Ref at = where(position);
    if (!shown || !at) binding::throw_fetched();
    fail(PyExc_ValueError,
         Ref::steal(PyUnicode_FromFormat(
             "word %R...%U is longer than %zu bytes of UTF-8, the most a word may take",
             shown.get(), at.get(), prefix::MAX_WORD_BYTES)));
  }

  // Past the largest payload only words given before may follow.
  void refuse_late_word(PyObject* word, std::uint64_t position) {
    std::string text;
    if (append_utf8(word, text) == Encoded::TooLong) refuse_long_word(word, position);
    if (known_.empty() && words_.size() > 0) known_ = prefix::sorted_order(words_);
    const auto found = std::lower_bound(
        known_.begin(), known_.end(), text,
        [this](std::uint32_t i, const std::string& value) { return words_.word(i) < value; });
    if (found != known_.end() && words_.word(*found) == text) return;
    const Ref named = exact_str(word);
    if (!named) binding::throw_fetched();
    fail(PyExc_ValueError, Ref::steal(PyUnicode_FromFormat(
                               "word %R at position %llu is beyond the largest payload 4294967295",
                               named.get(), static_cast<unsigned long long>(position))));
  }

  // Drops the repeats among an iterable's words gathered so far, keeping the
  // first of each (its payload is its first position), which leaves them in
  // code-point order. Due when the words have doubled since the last time,
  // and at least COMPACT_WORDS or COMPACT_BYTES are held: so an iterable that
  // repeats its words takes memory for its distinct ones, and each word is
  // sorted a bounded number of times on average; fewer words are never
  // compacted at all.
  void compact() {
    const std::vector<std::uint32_t> order = prefix::sorted_order(words_);
    std::vector<bool> flagged(words_.size());
    for (const std::uint32_t i : surrogates_) flagged[i] = true;
    prefix::WordList kept;
    std::vector<std::uint32_t> surrogates;
    for (std::size_t k = 0; k < order.size(); ++k) {
      const std::uint32_t i = order[k];
      // Equal texts stand together, the first given first.
      if (k > 0 && words_.word(i) == words_.word(order[k - 1])) continue;
      if (flagged[i]) surrogates.push_back(static_cast<std::uint32_t>(kept.size()));
      kept.add(words_.word(i), words_.payload(i));
    }
    words_ = std::move(kept);
    surrogates_ = std::move(surrogates);
    compact_at_words_ = std::max(COMPACT_WORDS, 2 * words_.size());
    compact_at_bytes_ = std::max(COMPACT_BYTES, 2 * words_.text_size());
  }

  void refuse_repeat(const std::vector<std::uint32_t>& order) const {
    const std::optional<std::uint32_t> repeat = prefix::first_repeat(words_, order);
    if (!repeat) return;
    const Ref named = word_str(words_.word(*repeat));
    if (!named) binding::throw_fetched();
    fail(PyExc_ValueError, Ref::steal(PyUnicode_FromFormat("word %R appears twice", named.get())));
  }

  void refuse_surrogate(const std::vector<std::uint32_t>& order) const {
    std::vector<bool> flagged(words_.size());
    for (const std::uint32_t i : surrogates_) flagged[i] = true;
    const auto first =
        std::find_if(order.begin(), order.end(), [&](std::uint32_t i) { return flagged[i]; });
    const Ref named = word_str(words_.word(*first));
    if (!named) binding::throw_fetched();
    const Py_ssize_t length = PyUnicode_GET_LENGTH(named.get());
    Py_ssize_t at = 0;
    while (at < length) {
      const Py_UCS4 cp = PyUnicode_READ_CHAR(named.get(), at);
      if (cp >= 0xD800 && cp <= 0xDFFF) break;
      ++at;
    }
    const Ref surrogate = Ref::steal(PyUnicode_Substring(named.get(), at, at + 1));
    if (!surrogate) binding::throw_fetched();
    fail(PyExc_ValueError,
         Ref::steal(PyUnicode_FromFormat(
             "word %R holds the lone surrogate %R at %zd, which has no UTF-8 form", named.get(),
             surrogate.get(), at)));
  }

  bool is_mapping_;
  bool changed_ = false;  // refuse_change was called
  prefix::WordList words_;
  std::vector<std::uint32_t> surrogates_;  // words holding a lone surrogate
  std::vector<std::uint32_t> known_;       // sorted order, once past the largest payload
  // What an iterable's words reach before the next compaction.
  std::size_t compact_at_words_ = COMPACT_WORDS;
  std::size_t compact_at_bytes_ = COMPACT_BYTES;
};

[[noreturn]] void refuse_non_iterable(PyObject* words) {
  const Ref name = type_name(words);
  if (!name) binding::throw_fetched();
  fail(PyExc_TypeError, Ref::steal(PyUnicode_FromFormat(
                            "words must be a mapping or an iterable of str, not %U", name.get())));
}

Ref next_item(PyObject* iterator) {
  Ref item = Ref::steal(PyIter_Next(iterator));
  if (!item && PyErr_Occurred() != nullptr) binding::throw_fetched();
  return item;
}

// A mapping's item as its key and payload, unpacked as `for key, payload in ...` would.
std::pair<Ref, Ref> unpack_pair(PyObject* item) {
  if (PyTuple_CheckExact(item) && PyTuple_GET_SIZE(item) == 2) {
    return {Ref::borrow(PyTuple_GET_ITEM(item, 0)), Ref::borrow(PyTuple_GET_ITEM(item, 1))};
  }
  const Ref tuple = Ref::steal(PySequence_Tuple(item));
  if (!tuple) binding::throw_fetched();
  const Py_ssize_t size = PyTuple_GET_SIZE(tuple.get());
  if (size != 2) {
    fail(PyExc_ValueError,
         Ref::steal(size < 2 ? PyUnicode_FromFormat(
                                   "not enough values to unpack (expected 2, got %zd)", size)
                             : PyUnicode_FromString("too many values to unpack (expected 2)")));
  }
  return {Ref::borrow(PyTuple_GET_ITEM(tuple.get(), 0)),
          Ref::borrow(PyTuple_GET_ITEM(tuple.get(), 1))};
}

void read_mapping(PyObject* words, Gatherer& gatherer) {
  if (PyDict_CheckExact(words)) {
    gatherer.expect(static_cast<std::size_t>(PyDict_GET_SIZE(words)));
    // The checks of dict iteration: __index__ may run code that changes the
    // dict, and a key moved past the cursor would come round again.
    const Py_ssize_t size = PyDict_GET_SIZE(words);
    Py_ssize_t left = size;
    Py_ssize_t cursor = 0;
    PyObject* key = nullptr;
    PyObject* payload = nullptr;
    while (PyDict_Next(words, &cursor, &key, &payload)) {
      if (left-- == 0) gatherer.refuse_change("dictionary keys changed during iteration");
      // Owned: the dict may let go of them.
      const Ref held_key = Ref::borrow(key);
      const Ref held_payload = Ref::borrow(payload);
      gatherer.add_entry(held_key.get(), held_payload.get());
      if (PyDict_GET_SIZE(words) != size) {
        gatherer.refuse_change("dictionary changed size during iteration");
      }
    }
    return;
  }
  const Ref items = Ref::steal(PyObject_CallMethod(words, "items", nullptr));
  if (!items) binding::throw_fetched();
  const Ref iterator = Ref::steal(PyObject_GetIter(items.get()));
  if (!iterator) binding::throw_fetched();
  while (const Ref item = next_item(iterator.get())) {
    const auto [key, payload] = unpack_pair(item.get());
    gatherer.add_entry(key.get(), payload.get());
  }
}

void read_iterable(PyObject* words, Gatherer& gatherer) {
  const auto add = [&gatherer](PyObject* word, std::uint64_t position) {
    gatherer.add_word(word, static_cast<std::uint32_t>(std::min(position, MAX_PAYLOAD)), position);
  };
  if (PyList_CheckExact(words)) {
    gatherer.expect(static_cast<std::size_t>(PyList_GET_SIZE(words)));
    // The length is read again for every word: naming a refused one runs
    // code (its __repr__) that may change the list.
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(words); ++i) {
      const Ref word = Ref::borrow(PyList_GET_ITEM(words, i));
      add(word.get(), static_cast<std::uint64_t>(i));
    }
    return;
  }
  if (PyTuple_CheckExact(words)) {
    gatherer.expect(static_cast<std::size_t>(PyTuple_GET_SIZE(words)));
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(words); ++i) {
      add(PyTuple_GET_ITEM(words, i), static_cast<std::uint64_t>(i));
    }
    return;
  }
  const Ref iterator = Ref::steal(PyObject_GetIter(words));
  if (!iterator) {
    Error error = Error::fetch();
    if (error.is_instance_of(PyExc_TypeError)) refuse_non_iterable(words);
    throw error;
  }
  std::uint64_t position = 0;
  while (const Ref word = next_item(iterator.get())) add(word.get(), position++);
}

}  // namespace

SortedWords gather_words(PyObject* words, bool is_mapping) {
  return Gatherer(is_mapping).finish([&](Gatherer& gatherer) {
    if (is_mapping) {
      read_mapping(words, gatherer);
    } else {
      read_iterable(words, gatherer);
    }
  });
}

}  // namespace native
