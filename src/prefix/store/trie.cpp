// Node queries of the trie: child ranges and payloads, checked against the arrays.
#include "prefix/store/trie.hpp"

#include <string>

#include "prefix/failure.hpp"

namespace prefix {

void fail_node_id(NodeId node_id, const char* array, std::size_t length) {
  throw InternalFailure("node id " + std::to_string(node_id) + " not below " + array + " length " +
                        std::to_string(length));
}

std::vector<Child> Trie::get_children(NodeId node_id) const {
  if (node_id >= node_shifts.size()) {
    fail_node_id(node_id, "node_shifts", node_shifts.size());
  }
  const auto [start, end] = child_range(node_shifts, child_indices.size(), node_id);
  if (start >= end) return {};
  if (end > child_indices.size()) {
    throw InternalFailure("child range " + std::to_string(start) + ".." + std::to_string(end) +
                          " of node " + std::to_string(node_id) +
                          " runs past child_indices length " +
                          std::to_string(child_indices.size()));
  }
  std::vector<Child> children;
  children.reserve(end - start);
  for (std::size_t k = start; k < end; ++k) {
    const NodeId child = child_indices[k];
    if (child >= node_chars.size()) {
      throw InternalFailure("child id " + std::to_string(child) + " of node " +
                            std::to_string(node_id) + " not below node_chars length " +
                            std::to_string(node_chars.size()));
    }
    const std::optional<char32_t> code_point = node_chars[child];
    if (!code_point) {
      throw InternalFailure("child " + std::to_string(child) + " of node " +
                            std::to_string(node_id) + " has no code point");
    }
    children.push_back(Child{*code_point, child});
  }
  return children;
}

std::optional<std::uint32_t> Trie::get_payload(NodeId node_id) const {
  if (node_id >= node_payloads.size()) {
    fail_node_id(node_id, "node_payloads", node_payloads.size());
  }
  return node_payloads[node_id];
}

}  // namespace prefix
