// libFuzzer target for the queries: four node arrays built from the input (a
// tree, a tree with a few entries broken, or arrays of arbitrary numbers), then
// node queries, fuzzy and exact lookups and a byte-form round trip on them.
// InternalFailure is the one failure allowed. Each query runs at several
// max_dist values, through the checked walk and through the walk the trie's
// shape picks, which must agree; on a well-formed tree the fuzzy results must
// equal a naive recursive walk. The form an instance keeps (SearchTrie) must answer every
// query, failures and their messages included, and encode the same bytes as
// the arrays.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "prefix/checked/matcher.hpp"
#include "prefix/failure.hpp"
#include "prefix/search_trie.hpp"
#include "prefix/store/compact_tree.hpp"
#include "prefix/store/serial.hpp"
#include "prefix/store/tree_check.hpp"
#include "prefix/store/trie.hpp"
#include "prefix/utf8.hpp"

namespace {

using prefix::NodeId;
using prefix::Trie;

constexpr std::uint64_t MAX_U64 = std::numeric_limits<std::uint64_t>::max();

void check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "check failed: %s\n", what);
    std::abort();
  }
}

// Mostly letters of a small alphabet, so that queries meet the edges of the
// trie; now and then any Unicode scalar value.
char32_t code_point(FuzzedDataProvider& in) {
  static constexpr char32_t ALPHABET[] = {U'a', U'b', U'c', U'\u00e9', U'\U0001F600'};
  if (in.ConsumeIntegralInRange<int>(0, 7) != 0) {
    return ALPHABET[in.ConsumeIntegralInRange<std::size_t>(0, std::size(ALPHABET) - 1)];
  }
  const auto cp = in.ConsumeIntegralInRange<char32_t>(0, 0x10FFFF - 0x800);
  return cp < 0xD800 ? cp : cp + 0x800;  // no surrogates: no entry point lets one in
}

// A node id or array value: mostly near the arrays, sometimes anywhere.
std::uint32_t near_index(FuzzedDataProvider& in, std::size_t bound) {
  if (in.ConsumeIntegralInRange<int>(0, 15) == 0) return in.ConsumeIntegral<std::uint32_t>();
  return in.ConsumeIntegralInRange<std::uint32_t>(0, static_cast<std::uint32_t>(bound + 1));
}

// The four arrays of a tree with up to 40 nodes (each node costs every
// checked walk a State of its own, so the size bounds what an input costs);
// each node's parent comes before it, so the child relation is a tree rooted at 0.
// `siblings_distinct` tells whether no two children of one node share a code point.
Trie tree(FuzzedDataProvider& in, bool& siblings_distinct) {
  const std::size_t count = in.ConsumeIntegralInRange<std::size_t>(1, 40);
  std::vector<std::vector<NodeId>> children(count);
  Trie trie;
  trie.node_chars.push_back(std::nullopt);
  // A payload on the root must never be reported.
  trie.node_payloads.push_back(in.ConsumeBool() ? std::optional<std::uint32_t>(1) : std::nullopt);
  siblings_distinct = true;
  for (NodeId id = 1; id < count; ++id) {
    // Often the node just before, so that chains reach deep.
    const auto parent = in.ConsumeBool() ? id - 1 : in.ConsumeIntegralInRange<NodeId>(0, id - 1);
    const char32_t cp = code_point(in);
    for (const NodeId sibling : children[parent]) {
      siblings_distinct = siblings_distinct && trie.node_chars[sibling] != cp;
    }
    children[parent].push_back(id);
    trie.node_chars.emplace_back(cp);
    if (in.ConsumeBool()) {
      trie.node_payloads.emplace_back(in.ConsumeIntegralInRange<std::uint32_t>(0, 300));
    } else {
      trie.node_payloads.emplace_back(std::nullopt);
    }
  }
  for (const auto& list : children) {
    trie.node_shifts.push_back(static_cast<std::uint32_t>(trie.child_indices.size()));
    trie.child_indices.insert(trie.child_indices.end(), list.begin(), list.end());
  }
  return trie;
}

// Breaks one entry: a child id anywhere (a cycle, a shared child, an id past
// the arrays), a shift anywhere, a code point removed, or an array shortened
// or lengthened by one.
void break_one(FuzzedDataProvider& in, Trie& trie) {
  const std::size_t nodes = trie.node_chars.size();
  auto pick = [&in](std::size_t size) {
    return in.ConsumeIntegralInRange<std::size_t>(0, size - 1);
  };
  switch (in.ConsumeIntegralInRange<int>(0, 5)) {
    case 0:
      if (!trie.child_indices.empty()) {
        trie.child_indices[pick(trie.child_indices.size())] = near_index(in, nodes);
      }
      break;
    case 1:
      if (!trie.node_shifts.empty()) {
        trie.node_shifts[pick(trie.node_shifts.size())] = near_index(in, trie.child_indices.size());
      }
      break;
    case 2:
      if (!trie.node_chars.empty()) trie.node_chars[pick(trie.node_chars.size())].reset();
      break;
    case 3:
      switch (in.ConsumeIntegralInRange<int>(0, 3)) {
        case 0:
          if (!trie.node_shifts.empty()) trie.node_shifts.pop_back();
          break;
        case 1:
          if (!trie.node_chars.empty()) trie.node_chars.pop_back();
          break;
        case 2:
          if (!trie.node_payloads.empty()) trie.node_payloads.pop_back();
          break;
        default:
          if (!trie.child_indices.empty()) trie.child_indices.pop_back();
          break;
      }
      break;
    case 4:
      trie.node_shifts.push_back(near_index(in, trie.child_indices.size()));
      break;
    default:
      trie.child_indices.push_back(near_index(in, nodes));
      break;
  }
}

// Arrays of independent lengths and arbitrary entries.
Trie arbitrary(FuzzedDataProvider& in) {
  Trie trie;
  const auto length = [&in] { return in.ConsumeIntegralInRange<std::size_t>(0, 64); };
  trie.node_shifts.resize(length());
  trie.node_chars.resize(length());
  trie.node_payloads.resize(length());
  trie.child_indices.resize(length());
  for (auto& shift : trie.node_shifts) shift = near_index(in, trie.child_indices.size());
  for (auto& cp : trie.node_chars) {
    if (in.ConsumeIntegralInRange<int>(0, 7) != 0) cp = code_point(in);
  }
  for (auto& payload : trie.node_payloads) {
    if (in.ConsumeBool()) payload = in.ConsumeIntegral<std::uint32_t>();
  }
  for (auto& child : trie.child_indices) child = near_index(in, trie.node_chars.size());
  return trie;
}

// Mostly small; now and then up to 40, past the widths a row can take as bit
// sets, or anything at all.
std::uint64_t max_dist(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange<int>(0, 7)) {
    case 4:
    case 5:
      return in.ConsumeIntegralInRange<std::uint64_t>(4, 40);
    case 6:
      return MAX_U64;
    case 7:
      return in.ConsumeIntegral<std::uint64_t>();
    default:
      return in.ConsumeIntegralInRange<std::uint64_t>(0, 3);
  }
}

// Mostly short; now and then longer than a machine word of columns.
std::size_t query_length(FuzzedDataProvider& in) {
  return in.ConsumeIntegralInRange<int>(0, 3) != 0 ? in.ConsumeIntegralInRange<std::size_t>(0, 12)
                                                   : in.ConsumeIntegralInRange<std::size_t>(0, 90);
}

std::optional<std::uint64_t> limit(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
      return std::nullopt;
    case 1:
      return in.ConsumeIntegral<std::uint64_t>();
    default:
      return in.ConsumeIntegralInRange<std::uint64_t>(0, 4);
  }
}

std::uint64_t levenshtein(std::u32string_view a, std::u32string_view b) {
  std::vector<std::uint64_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::uint64_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::uint64_t above = row[j];
      row[j] = std::min({above + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The walk model on a well-formed tree: a node is reported when it has a
// payload and its whole text is within max_dist; it is opened when some cell
// of its row (the distances from its text to every prefix of the query) is
// within max_dist, and then the child that continues the query goes first, the
// others follow in stored order. Rows are full, unbanded and unsaturated.
void model_walk(const Trie& trie, std::u32string_view query, std::uint64_t bound, NodeId node,
                std::u32string& text, const std::vector<std::uint64_t>& row,
                std::vector<prefix::MatchRecord>& out) {
  if (node != 0 && trie.node_payloads[node] && row.back() <= bound) {
    check(row.back() == levenshtein(text, query), "walk model row disagrees with Levenshtein");
    out.push_back({prefix::encode_utf8(text), node, row.back()});
  }
  if (*std::min_element(row.begin(), row.end()) > bound) return;
  std::vector<prefix::Child> order = trie.get_children(node);
  if (text.size() < query.size()) {
    std::stable_partition(order.begin(), order.end(), [&](const prefix::Child& child) {
      return child.code_point == query[text.size()];
    });
  }
  std::vector<std::uint64_t> next(row.size());
  for (const prefix::Child& child : order) {
    next[0] = row[0] + 1;
    for (std::size_t j = 1; j < row.size(); ++j) {
      next[j] = std::min(
          {row[j] + 1, next[j - 1] + 1, row[j - 1] + (query[j - 1] == child.code_point ? 0 : 1)});
    }
    text.push_back(child.code_point);
    model_walk(trie, query, bound, child.id, text, next, out);
    text.pop_back();
  }
}

// Whether every node reachable from the root can be read, payload and
// children (all that any walk reads), and is reached once: a plain pass,
// much cheaper than a query walk over the same nodes.
bool reads_as_tree(const Trie& trie) {
  std::vector<NodeId> stack{0};
  std::size_t reached = 0;
  try {
    while (!stack.empty()) {
      const NodeId node = stack.back();
      stack.pop_back();
      if (++reached > trie.node_payloads.size()) return false;
      static_cast<void>(trie.get_payload(node));
      for (const prefix::Child& child : trie.get_children(node)) stack.push_back(child.id);
    }
  } catch (const prefix::InternalFailure&) {
    return false;
  }
  return true;
}

// The value, or the failure message.
template <class Query>
auto outcome(Query query) -> std::variant<decltype(query()), std::string> {
  try {
    return query();
  } catch (const prefix::InternalFailure& failure) {
    return std::string(failure.what());
  }
}

// Runs one fuzzy query every way a query can go: the walk the trie's shape
// picks (the unchecked one for a tree) and the form an instance keeps must
// give the records of a reference, or fail alike with the same message. On a
// well-formed tree the reference is the walk model, and the checked walk is
// held to it only when `with_checked`: checked walks are most of what an
// input costs. Elsewhere the checked walk is the reference. Both compute
// plain rows, so every row kind the tree walk picks is held to the plain row.
void fuzzy_checked(const Trie& trie, const prefix::TreeShape& shape, const prefix::SearchTrie& kept,
                   bool well_formed, bool with_checked, std::u32string_view query,
                   std::uint64_t bound, std::optional<std::uint64_t> cap) {
  using Records = std::vector<prefix::MatchRecord>;
  const auto checked = [&] { return prefix::fuzzy_match(trie, query, bound, cap); };
  std::variant<Records, std::string> reference;
  if (well_formed) {
    Records expected;
    std::u32string text;
    std::vector<std::uint64_t> root(query.size() + 1);
    for (std::size_t j = 0; j < root.size(); ++j) root[j] = j;
    model_walk(trie, query, bound, 0, text, root, expected);
    if (cap && expected.size() > *cap) expected.resize(*cap);
    reference = std::move(expected);
    if (with_checked)
      check(outcome(checked) == reference, "fuzzy_match differs from the walk model");
  } else {
    reference = outcome(checked);
  }
  check(outcome([&] { return prefix::fuzzy_match(trie, shape, query, bound, cap); }) == reference,
        "the walk the shape picks differs from the checked walk");
  check(outcome([&] { return kept.fuzzy_match(query, bound, cap); }) == reference,
        "the kept form finds other records");
  const auto* records = std::get_if<Records>(&reference);
  if (records == nullptr) {
    check(!shape.is_tree, "fuzzy_match failed on a tree");
    return;
  }
  check(!cap || records->size() <= *cap, "more records than the limit");
  for (const prefix::MatchRecord& record : *records) {
    check(record.distance <= bound, "record beyond max_dist");
    check(record.node_id != 0, "root reported");
    check(trie.get_payload(record.node_id).has_value(), "record without payload");
  }
}

// exact_match every way: the checked one, the one the trie's shape picks and
// the kept form's must agree. (The checked exact_match is the first record of
// the checked fuzzy walk at max_dist 0 by construction.)
void exact_checked(const Trie& trie, const prefix::TreeShape& shape, const prefix::SearchTrie& kept,
                   std::u32string_view query) {
  const auto checked = outcome([&] { return prefix::exact_match(trie, query); });
  check(outcome([&] { return prefix::exact_match(trie, shape, query); }) == checked,
        "exact_match on the walk the shape picks differs from the checked one");
  check(outcome([&] { return kept.exact_match(query); }) == checked,
        "the kept form finds another exact match");
  const auto* found = std::get_if<std::optional<prefix::MatchRecord>>(&checked);
  if (found != nullptr && found->has_value()) {
    check((*found)->text == prefix::encode_utf8(query) && (*found)->distance == 0,
          "exact_match found another text");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  Trie trie;
  bool is_tree = false;
  bool well_formed = false;
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
      trie = arbitrary(in);
      break;
    case 1: {
      bool siblings_distinct = false;
      trie = tree(in, siblings_distinct);
      const int breaks = in.ConsumeIntegralInRange<int>(1, 3);
      for (int i = 0; i < breaks; ++i) break_one(in, trie);
      break;
    }
    default:
      trie = tree(in, well_formed);
      is_tree = true;
      break;
  }

  const prefix::TreeShape shape = prefix::check_tree(trie);
  check(shape.is_tree || !is_tree, "a tree is not recognised as one");
  // The unchecked walk trusts is_tree: every read a walk can make must then
  // succeed.
  if (shape.is_tree) check(reads_as_tree(trie), "check_tree passed arrays that a walk cannot read");

  const prefix::SearchTrie kept{Trie(trie)};
  check(kept.is_compact() == prefix::is_complete_tree(trie, shape), "the wrong form is kept");
  const std::size_t nodes = std::max(trie.node_shifts.size(), trie.node_payloads.size());
  // Two operations per input keep executions fast (the checked walks are
  // most of the cost); the fuzzer varies the rest. Each query runs at two or
  // three max_dist values.
  for (int operation = 0; operation < 2 && in.remaining_bytes() > 0; ++operation) {
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
      case 0: {
        const NodeId node = near_index(in, nodes);
        check(outcome([&] { return kept.get_children(node); }) ==
                  outcome([&] { return trie.get_children(node); }),
              "the kept form lists other children");
        break;
      }
      case 1: {
        const NodeId node = near_index(in, nodes);
        check(outcome([&] { return kept.get_payload(node); }) ==
                  outcome([&] { return trie.get_payload(node); }),
              "the kept form gives another payload");
        break;
      }
      default: {
        std::u32string query(query_length(in), U'\0');
        for (char32_t& cp : query) cp = code_point(in);
        const std::optional<std::uint64_t> cap = limit(in);
        const int bounds = in.ConsumeIntegralInRange<int>(2, 3);
        for (int i = 0; i < bounds; ++i) {
          fuzzy_checked(trie, shape, kept, well_formed, i == 0, query, max_dist(in), cap);
        }
        exact_checked(trie, shape, kept, query);
        break;
      }
    }
  }

  // Whatever the arrays hold, the byte form carries them unchanged.
  const std::vector<std::uint8_t> bytes = prefix::encode_to_vec(trie);
  std::vector<std::uint8_t> kept_bytes;
  kept.encode_with([&kept_bytes](std::size_t size) {
    kept_bytes.resize(size);
    return kept_bytes.data();
  });
  check(kept_bytes == bytes, "the kept form encodes other bytes");
  const prefix::DecodeResult decoded = prefix::try_decode(bytes);
  const Trie* round_trip = std::get_if<Trie>(&decoded);
  check(round_trip != nullptr && *round_trip == trie, "byte form does not round-trip");
  return 0;
}
