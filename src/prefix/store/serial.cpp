// Encoding and decoding of the trie's byte form, straight over a byte buffer with a cursor.
#include "prefix/store/serial.hpp"

#include <algorithm>
#include <cassert>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "prefix/failure.hpp"
#include "prefix/utf8.hpp"

namespace prefix {

namespace {

// First bytes of the varint forms. Values up to VARINT_MAX_SINGLE are one byte.
constexpr std::uint8_t VARINT_MAX_SINGLE = 250;
constexpr std::uint8_t VARINT_U16 = 251;
constexpr std::uint8_t VARINT_U32 = 252;
constexpr std::uint8_t VARINT_U64 = 253;
constexpr std::uint8_t VARINT_U128 = 254;

constexpr std::uint8_t TAG_ABSENT = 0;
constexpr std::uint8_t TAG_PRESENT = 1;

constexpr std::size_t varint_size(std::uint64_t value) noexcept {
  return value <= VARINT_MAX_SINGLE ? 1 : value <= 0xFFFF ? 3 : value <= 0xFFFFFFFF ? 5 : 9;
}

class Writer {
 public:
  explicit Writer(std::uint8_t* pos) : pos_(pos) {}

  [[nodiscard]] std::uint8_t* position() const { return pos_; }

  void varint(std::uint64_t value) {
    if (value <= VARINT_MAX_SINGLE) {
      *pos_++ = static_cast<std::uint8_t>(value);
    } else if (value <= 0xFFFF) {
      *pos_++ = VARINT_U16;
      little_endian(value, 2);
    } else if (value <= 0xFFFFFFFF) {
      *pos_++ = VARINT_U32;
      little_endian(value, 4);
    } else {
      *pos_++ = VARINT_U64;
      little_endian(value, 8);
    }
  }

  void code_point(char32_t cp) {
    assert(cp < 0xD800 || (cp > 0xDFFF && cp <= 0x10FFFF));
    if (cp < 0x80) {
      *pos_++ = static_cast<std::uint8_t>(cp);
    } else if (cp < 0x800) {
      *pos_++ = static_cast<std::uint8_t>(0xC0 | (cp >> 6));
      *pos_++ = continuation(cp);
    } else if (cp < 0x10000) {
      *pos_++ = static_cast<std::uint8_t>(0xE0 | (cp >> 12));
      *pos_++ = continuation(cp >> 6);
      *pos_++ = continuation(cp);
    } else {
      *pos_++ = static_cast<std::uint8_t>(0xF0 | (cp >> 18));
      *pos_++ = continuation(cp >> 12);
      *pos_++ = continuation(cp >> 6);
      *pos_++ = continuation(cp);
    }
  }

  void tag(bool present) { *pos_++ = present ? TAG_PRESENT : TAG_ABSENT; }

 private:
  static std::uint8_t continuation(char32_t bits) {
    return static_cast<std::uint8_t>(0x80 | (bits & 0x3F));
  }

  void little_endian(std::uint64_t value, int width) {
    for (int i = 0; i < width; ++i) *pos_++ = static_cast<std::uint8_t>(value >> (8 * i));
  }

  std::uint8_t* pos_;
};

// A cursor over the input. Each read returns false on refusal and leaves the
// reason in error(); the caller stops at the first refusal.
class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> bytes)
      : pos_(bytes.data()), end_(bytes.data() + bytes.size()) {}

  [[nodiscard]] std::size_t remaining() const { return static_cast<std::size_t>(end_ - pos_); }
  [[nodiscard]] DecodeError error() const { return error_; }

  // The next `n` bytes, which the caller has checked are there with
  // remaining(), for reading a common form in place; skip(n) then moves past it.
  [[nodiscard]] const std::uint8_t* peek() const { return pos_; }
  void skip(std::size_t n) { pos_ += n; }

  // A count: an unsigned 64-bit varint.
  [[nodiscard]] bool read_count(std::uint64_t& out) { return read_varint(IntegerType::U64, out); }

  // A value: an unsigned 32-bit varint, for which the 8-byte form is refused.
  [[nodiscard]] bool read_u32(std::uint32_t& out) {
    if (pos_ != end_ && *pos_ <= VARINT_MAX_SINGLE) {
      out = *pos_++;
      return true;
    }
    std::uint64_t wide = 0;
    if (!read_varint(IntegerType::U32, wide)) return false;
    out = static_cast<std::uint32_t>(wide);
    return true;
  }

  // An optional's tag byte: 0 absent, 1 present, anything else refused.
  [[nodiscard]] bool read_tag(std::string_view type_name, bool& present) {
    if (pos_ == end_) return fail(UnexpectedEnd{1});
    const std::uint8_t tag = *pos_++;
    if (tag > TAG_PRESENT) return fail(UnexpectedVariant{type_name, TagRange{0, 1}, tag});
    present = tag == TAG_PRESENT;
    return true;
  }

  // One code point as UTF-8. The sequence length is settled by the lead byte
  // before anything is validated, so a truncated sequence is UnexpectedEnd even
  // when the bytes that are there could never form a valid one.
  [[nodiscard]] bool read_code_point(char32_t& out) {
    if (pos_ == end_) return fail(UnexpectedEnd{1});
    const std::uint8_t lead = *pos_;
    const std::size_t length = sequence_length(lead);
    if (length == 0) return fail(InvalidCharEncoding{{lead, 0, 0, 0}});
    if (remaining() < length) return fail(UnexpectedEnd{length - remaining()});
    const std::uint8_t* seq = pos_;
    pos_ += length;
    if (length == 1) {
      out = lead;
      return true;
    }
    // The second byte's range also rules out overlong forms (E0, F0), surrogates
    // (ED) and values above U+10FFFF (F4).
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xBF;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
    bool valid = seq[1] >= low && seq[1] <= high;
    for (std::size_t i = 2; i < length; ++i) valid = valid && (seq[i] & 0xC0) == 0x80;
    if (!valid) {
      InvalidCharEncoding bad{{0, 0, 0, 0}};
      std::copy(seq, seq + length, bad.bytes.begin());
      return fail(bad);
    }
    char32_t cp = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) cp = (cp << 6) | (seq[i] & 0x3F);
    out = cp;
    return true;
  }

 private:
  // Bytes in the UTF-8 sequence that `lead` starts, or 0 when it starts none.
  static std::size_t sequence_length(std::uint8_t lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
  }

  bool fail(DecodeError error) {
    error_ = error;
    return false;
  }

  bool read_varint(IntegerType expected, std::uint64_t& out) {
    if (pos_ == end_) return fail(UnexpectedEnd{1});
    const std::uint8_t first = *pos_++;
    if (first <= VARINT_MAX_SINGLE) {
      out = first;
      return true;
    }
    if (first == VARINT_U16) return read_little_endian<2>(out);
    if (first == VARINT_U32) return read_little_endian<4>(out);
    // The wider forms are refused before looking at the bytes that follow.
    if (first == VARINT_U64 && expected == IntegerType::U64) return read_little_endian<8>(out);
    const IntegerType found = first == VARINT_U64    ? IntegerType::U64
                              : first == VARINT_U128 ? IntegerType::U128
                                                     : IntegerType::Reserved;
    return fail(InvalidIntegerType{expected, found});
  }

  // A fixed width lets the compiler turn the byte loop into one load.
  template <std::size_t WIDTH>
  bool read_little_endian(std::uint64_t& out) {
    if (remaining() < WIDTH) return fail(UnexpectedEnd{WIDTH - remaining()});
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < WIDTH; ++i) value |= std::uint64_t{pos_[i]} << (8 * i);
    pos_ += WIDTH;
    out = value;
    return true;
  }

  const std::uint8_t* pos_;
  const std::uint8_t* end_;
  DecodeError error_{UnexpectedEnd{0}};
};

template <class T, class ReadEntry>
bool read_array(Reader& in, std::vector<T>& out, ReadEntry read_entry) {
  std::uint64_t count = 0;
  if (!in.read_count(count)) return false;
  // Every entry takes at least one byte, so the remaining input bounds how many
  // can follow: a hostile count costs no more memory than the input itself.
  out.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(count, in.remaining())));
  for (std::uint64_t i = 0; i < count; ++i) {
    T entry{};
    if (!read_entry(in, entry)) return false;
    out.push_back(entry);
  }
  return true;
}

// Entry readers, passed to read_array as objects (not function pointers) so
// that each loop is compiled with its reader inlined.
struct ReadValue {
  bool operator()(Reader& in, std::uint32_t& out) const { return in.read_u32(out); }
};

struct ReadOptionalCodePoint {
  bool operator()(Reader& in, std::optional<char32_t>& out) const {
    bool present = false;
    if (!in.read_tag(OPTIONAL_CODE_POINT_NAME, present)) return false;
    if (!present) return true;
    char32_t cp = 0;
    if (!in.read_code_point(cp)) return false;
    out = cp;
    return true;
  }
};

struct ReadOptionalPayload {
  bool operator()(Reader& in, std::optional<std::uint32_t>& out) const {
    bool present = false;
    if (!in.read_tag(OPTIONAL_PAYLOAD_NAME, present)) return false;
    if (!present) return true;
    std::uint32_t value = 0;
    if (!in.read_u32(value)) return false;
    out = value;
    return true;
  }
};

// The flat arrays' readers. Each reads the count, then its entries straight
// into an array of the declared size: runs of common forms in place, with
// the cursor in a register and no branch on whether an entry is present, and
// any other entry through the entry readers above, so the outcome, refusals
// included, is read_array's. A count above the remaining bytes cannot be met
// (an entry takes at least one byte): its entries are read for the refusal
// and dropped.
template <class Entry, class ReadEntry>
bool refuse_entries(Reader& in, std::uint64_t count, ReadEntry read_entry) {
  for (std::uint64_t i = 0; i < count; ++i) {
    Entry entry{};
    if (!read_entry(in, entry)) return false;
  }
  return true;  // not reached: the input runs out first
}

// The value whose varint starts at `pos`, which has at least 5 readable
// bytes, in its 1, 3 or 5 byte form, and in `length` that form's length;
// `length` 0 for the forms left to the exact reader.
inline std::uint32_t value_in_place(const std::uint8_t* pos, std::size_t& length) {
  const std::uint8_t first = pos[0];
  const std::uint32_t wide = std::uint32_t{pos[1]} | std::uint32_t{pos[2]} << 8 |
                             std::uint32_t{pos[3]} << 16 | std::uint32_t{pos[4]} << 24;
  length = first <= VARINT_MAX_SINGLE ? 1 : first == VARINT_U16 ? 3 : first == VARINT_U32 ? 5 : 0;
  return first <= VARINT_MAX_SINGLE ? first : first == VARINT_U16 ? wide & 0xFFFF : wide;
}

// Where in-place reads needing `width` bytes must stop.
const std::uint8_t* in_place_end(const Reader& in, std::size_t width) {
  return in.remaining() >= width ? in.peek() + (in.remaining() - width + 1) : in.peek();
}

bool read_values(Reader& in, std::vector<std::uint32_t>& out) {
  std::uint64_t count = 0;
  if (!in.read_count(count)) return false;
  if (count > in.remaining()) return refuse_entries<std::uint32_t>(in, count, ReadValue{});
  out.resize(static_cast<std::size_t>(count));
  std::uint32_t* const values = out.data();
  std::size_t i = 0;
  while (i < out.size()) {
    const std::uint8_t* pos = in.peek();
    const std::uint8_t* const stop = in_place_end(in, 5);
    for (std::size_t length = 0; i < out.size() && pos < stop; ++i, pos += length) {
      values[i] = value_in_place(pos, length);
      if (length == 0) break;
    }
    in.skip(static_cast<std::size_t>(pos - in.peek()));
    if (i < out.size() && !in.read_u32(values[i++])) return false;
  }
  return true;
}

bool read_code_points(Reader& in, std::vector<std::uint32_t>& out) {
  std::uint64_t count = 0;
  if (!in.read_count(count)) return false;
  if (count > in.remaining()) {
    return refuse_entries<std::optional<char32_t>>(in, count, ReadOptionalCodePoint{});
  }
  out.resize(static_cast<std::size_t>(count));
  std::uint32_t* const code_points = out.data();
  std::size_t i = 0;
  while (i < out.size()) {
    // In place: a present ASCII code point (its tag and one byte), or none.
    const std::uint8_t* pos = in.peek();
    const std::uint8_t* const stop = in_place_end(in, 2);
    for (; i < out.size() && pos < stop; ++i) {
      if (pos[0] == TAG_PRESENT && pos[1] < 0x80) {
        code_points[i] = pos[1];
        pos += 2;
      } else if (pos[0] == TAG_ABSENT) {
        code_points[i] = NO_CODE_POINT;
        pos += 1;
      } else {
        break;
      }
    }
    in.skip(static_cast<std::size_t>(pos - in.peek()));
    if (i == out.size()) break;
    std::optional<char32_t> entry;
    if (!ReadOptionalCodePoint{}(in, entry)) return false;
    code_points[i++] = entry ? static_cast<std::uint32_t>(*entry) : NO_CODE_POINT;
  }
  return true;
}

bool read_payloads(Reader& in, FlatArrays& out) {
  std::uint64_t count = 0;
  if (!in.read_count(count)) return false;
  if (count > in.remaining()) {
    return refuse_entries<std::optional<std::uint32_t>>(in, count, ReadOptionalPayload{});
  }
  const auto entries = static_cast<std::size_t>(count);
  out.payload_count = entries;
  out.has_payload = BitRow(entries);
  // The present values go to a scratch array sized for all entries, whose
  // untouched pages cost nothing, then to one of their exact number.
  const auto values = std::make_unique_for_overwrite<std::uint32_t[]>(entries);
  std::size_t present = 0;
  std::size_t i = 0;
  while (i < entries) {
    // In place: a tag and, when it is 1, a value in a form value_in_place
    // takes. An absent entry's value is written and not counted.
    const std::uint8_t* pos = in.peek();
    const std::uint8_t* const stop = in_place_end(in, 6);
    for (; i < entries && pos < stop; ++i) {
      const std::uint8_t tag = pos[0];
      std::size_t length = 0;
      values[present] = value_in_place(pos + 1, length);
      if (tag > TAG_PRESENT || (tag == TAG_PRESENT && length == 0)) break;
      out.has_payload.set_if(i, tag == TAG_PRESENT);
      present += tag;
      pos += 1 + (tag == TAG_PRESENT ? length : 0);
    }
    in.skip(static_cast<std::size_t>(pos - in.peek()));
    if (i == entries) break;
    std::optional<std::uint32_t> entry;
    if (!ReadOptionalPayload{}(in, entry)) return false;
    if (entry) {
      out.has_payload.set(i);
      values[present++] = *entry;
    }
    ++i;
  }
  out.payloads.assign(values.get(), values.get() + present);
  return true;
}

void fail_decode(const DecodeError& error) {
  throw InternalFailure("cannot decode trie bytes: " + to_string(error));
}

}  // namespace

std::size_t encoded_size(const Trie& trie) noexcept {
  std::size_t size = varint_size(trie.node_shifts.size()) + varint_size(trie.node_chars.size()) +
                     varint_size(trie.node_payloads.size()) +
                     varint_size(trie.child_indices.size());
  for (const std::uint32_t shift : trie.node_shifts) size += varint_size(shift);
  for (const auto& cp : trie.node_chars) size += cp ? 1 + utf8_length(*cp) : 1;
  for (const auto& payload : trie.node_payloads) size += payload ? 1 + varint_size(*payload) : 1;
  for (const std::uint32_t child : trie.child_indices) size += varint_size(child);
  return size;
}

std::size_t encoded_size(const CompactTree& tree) {
  const std::size_t nodes = tree.node_count();
  std::size_t size = 3 * varint_size(nodes) + varint_size(tree.child_indices().size());
  for (const std::uint32_t shift : tree.node_shifts()) size += varint_size(shift);
  const std::optional<char32_t> root = tree.root_code_point();
  size += root ? 1 + utf8_length(*root) : 1;
  for (std::size_t k = 0; k < tree.child_indices().size(); ++k) {
    size += 1 + utf8_length(tree.child_code_point(k));
  }
  size += nodes;  // a tag per payload
  for (const std::uint32_t payload : tree.payload_values()) size += varint_size(payload);
  for (const std::uint32_t child : tree.child_indices()) size += varint_size(child);
  return size;
}

std::size_t encoded_size(const FlatArrays& arrays) noexcept {
  std::size_t size = varint_size(arrays.node_shifts.size()) +
                     varint_size(arrays.node_chars.size()) + varint_size(arrays.payload_count) +
                     varint_size(arrays.child_indices.size());
  for (const std::uint32_t shift : arrays.node_shifts) size += varint_size(shift);
  for (const std::uint32_t cp : arrays.node_chars) {
    size += cp == NO_CODE_POINT ? 1 : 1 + utf8_length(cp);
  }
  size += arrays.payload_count;  // a tag per entry
  for (const std::uint32_t payload : arrays.payloads) size += varint_size(payload);
  for (const std::uint32_t child : arrays.child_indices) size += varint_size(child);
  return size;
}

namespace {

// The byte form's four arrays of a shared tree, sized per array: what each
// node adds to node_shifts, node_chars, node_payloads and child_indices.
struct SharedSizes {
  std::size_t shifts = 0;
  std::size_t chars = 0;
  std::size_t payloads = 0;
  std::size_t children = 0;
};

SharedSizes shared_sizes(const SharedTree& tree) {
  SharedSizes sizes;
  std::uint64_t entries = 0;  // child entries of the nodes before
  tree.for_each_node([&](const SharedTree::Node& node) {
    sizes.shifts += varint_size(entries);
    sizes.chars += node.code_point == NO_CODE_POINT ? 1 : 1 + utf8_length(node.code_point);
    sizes.payloads += node.payload ? 1 + varint_size(*node.payload) : 1;
    std::uint64_t child = node.id + 1;
    for (std::size_t k = node.first; k < node.last; ++k) {
      sizes.children += varint_size(child);
      child += tree.size_below(k);
    }
    entries += node.last - node.first;
  });
  return sizes;
}

}  // namespace

std::size_t encoded_size(const SharedTree& tree) {
  const SharedSizes sizes = shared_sizes(tree);
  const std::uint64_t nodes = tree.node_count();
  return 3 * varint_size(nodes) + varint_size(nodes - 1) + sizes.shifts + sizes.chars +
         sizes.payloads + sizes.children;
}

namespace detail {

void write_encoded(const SharedTree& tree, std::span<std::uint8_t> out) {
  const SharedSizes sizes = shared_sizes(tree);
  const std::uint64_t nodes = tree.node_count();
  std::uint8_t* at = out.data();
  Writer shifts(at);
  shifts.varint(nodes);
  at = shifts.position() + sizes.shifts;
  Writer chars(at);
  chars.varint(nodes);
  at = chars.position() + sizes.chars;
  Writer payloads(at);
  payloads.varint(nodes);
  at = payloads.position() + sizes.payloads;
  Writer children(at);
  children.varint(nodes - 1);
  std::uint64_t entries = 0;
  tree.for_each_node([&](const SharedTree::Node& node) {
    shifts.varint(entries);
    chars.tag(node.code_point != NO_CODE_POINT);
    if (node.code_point != NO_CODE_POINT) chars.code_point(node.code_point);
    payloads.tag(node.payload.has_value());
    if (node.payload) payloads.varint(*node.payload);
    std::uint64_t child = node.id + 1;
    for (std::size_t k = node.first; k < node.last; ++k) {
      children.varint(child);
      child += tree.size_below(k);
    }
    entries += node.last - node.first;
  });
  assert(children.position() == out.data() + out.size());
}

void write_encoded(const FlatArrays& arrays, std::span<std::uint8_t> out) {
  Writer w(out.data());
  w.varint(arrays.node_shifts.size());
  for (const std::uint32_t shift : arrays.node_shifts) w.varint(shift);
  w.varint(arrays.node_chars.size());
  for (const std::uint32_t cp : arrays.node_chars) {
    w.tag(cp != NO_CODE_POINT);
    if (cp != NO_CODE_POINT) w.code_point(cp);
  }
  w.varint(arrays.payload_count);
  const std::uint32_t* payload = arrays.payloads.data();
  for (std::size_t i = 0; i < arrays.payload_count; ++i) {
    const bool present = arrays.has_payload.test(i);
    w.tag(present);
    if (present) w.varint(*payload++);
  }
  w.varint(arrays.child_indices.size());
  for (const std::uint32_t child : arrays.child_indices) w.varint(child);
  assert(w.position() == out.data() + out.size());
}

void write_encoded(const Trie& trie, std::span<std::uint8_t> out) {
  Writer w(out.data());
  w.varint(trie.node_shifts.size());
  for (const std::uint32_t shift : trie.node_shifts) w.varint(shift);
  w.varint(trie.node_chars.size());
  for (const auto& cp : trie.node_chars) {
    w.tag(cp.has_value());
    if (cp) w.code_point(*cp);
  }
  w.varint(trie.node_payloads.size());
  for (const auto& payload : trie.node_payloads) {
    w.tag(payload.has_value());
    if (payload) w.varint(*payload);
  }
  w.varint(trie.child_indices.size());
  for (const std::uint32_t child : trie.child_indices) w.varint(child);
  assert(w.position() == out.data() + out.size());
}

void write_encoded(const CompactTree& tree, std::span<std::uint8_t> out) {
  const std::size_t nodes = tree.node_count();
  const std::vector<std::uint32_t>& child_indices = tree.child_indices();
  // Every node but the root is listed once, so this fills every other entry.
  std::vector<char32_t> node_chars(nodes);
  for (std::size_t k = 0; k < child_indices.size(); ++k) {
    node_chars[child_indices[k]] = tree.child_code_point(k);
  }
  Writer w(out.data());
  w.varint(nodes);
  for (const std::uint32_t shift : tree.node_shifts()) w.varint(shift);
  w.varint(nodes);
  const std::optional<char32_t> root = tree.root_code_point();
  w.tag(root.has_value());
  if (root) w.code_point(*root);
  for (std::size_t node = 1; node < nodes; ++node) {
    w.tag(true);
    w.code_point(node_chars[node]);
  }
  w.varint(nodes);
  const std::uint32_t* payload = tree.payload_values().data();
  for (std::size_t node = 0; node < nodes; ++node) {
    const bool present = tree.has_payload().test(node);
    w.tag(present);
    if (present) w.varint(*payload++);
  }
  w.varint(child_indices.size());
  for (const std::uint32_t child : child_indices) w.varint(child);
  assert(w.position() == out.data() + out.size());
}

}  // namespace detail

std::vector<std::uint8_t> encode_to_vec(const Trie& trie) {
  std::vector<std::uint8_t> out;
  encode_with(trie, [&out](std::size_t size) {
    out.resize(size);
    return out.data();
  });
  return out;
}

DecodeResult try_decode(std::span<const std::uint8_t> bytes) {
  Reader in(bytes);
  Trie trie;
  const bool read = read_array(in, trie.node_shifts, ReadValue{}) &&
                    read_array(in, trie.node_chars, ReadOptionalCodePoint{}) &&
                    read_array(in, trie.node_payloads, ReadOptionalPayload{}) &&
                    read_array(in, trie.child_indices, ReadValue{});
  if (!read) return in.error();
  return trie;
}

Trie decode_or_fail(std::span<const std::uint8_t> bytes) {
  DecodeResult result = try_decode(bytes);
  if (auto* error = std::get_if<DecodeError>(&result)) fail_decode(*error);
  return std::get<Trie>(std::move(result));
}

FlatDecodeResult try_decode_flat(std::span<const std::uint8_t> bytes) {
  Reader in(bytes);
  FlatArrays arrays;
  const bool read = read_values(in, arrays.node_shifts) &&
                    read_code_points(in, arrays.node_chars) && read_payloads(in, arrays) &&
                    read_values(in, arrays.child_indices);
  if (!read) return in.error();
  return arrays;
}

FlatArrays decode_flat_or_fail(std::span<const std::uint8_t> bytes) {
  FlatDecodeResult result = try_decode_flat(bytes);
  if (auto* error = std::get_if<DecodeError>(&result)) fail_decode(*error);
  return std::get<FlatArrays>(std::move(result));
}

}  // namespace prefix
