// Readers of the payload of a key a tree walk reported, by the id the view
// reports it by: a node id on the arrays and the compact form, a key number
// on a shared tree. Named types, so that the walks instantiated for them can
// be compiled apart (tree_queries.hpp).
#pragma once

#include <cstdint>

#include "prefix/store/compact_tree.hpp"
#include "prefix/store/shared_tree.hpp"
#include "prefix/store/trie.hpp"

namespace prefix::walk {

// Each requires a node (or key) known to have a payload.
struct ArrayPayloadOf {
  const Trie* trie;
  [[nodiscard]] std::uint32_t operator()(NodeId node) const { return *trie->node_payloads[node]; }
};

struct CompactPayloadOf {
  const CompactTree* tree;
  [[nodiscard]] std::uint32_t operator()(NodeId node) const { return *tree->get_payload(node); }
};

struct SharedPayloadOf {
  const SharedTree* tree;
  [[nodiscard]] std::uint32_t operator()(std::uint32_t key) const {
    return tree->payload_of_key(key);
  }
};

}  // namespace prefix::walk
