// A tree whose equal subtrees are stored once: the minimal acyclic automaton
// of its keys, read in place from an index image (index_image.hpp). Node ids
// are those of the tree it stands for (pre-order, children in code-point
// order), worked out from per-state node counts; payloads are found by key
// number, counted in pre-order along the path with per-transition offsets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "prefix/store/image_storage.hpp"
#include "prefix/store/index_image.hpp"
#include "prefix/store/trie.hpp"

namespace prefix {

class SharedTree {
 public:
  // A tree over `parts` (parse_image's, without a byte form), whose bytes
  // `owner` keeps alive (an OwnedImage or a file mapping). Reads nothing
  // beyond the header: every later read is bounded where it is made, so
  // damaged sections give wrong answers or InternalFailure, never a read
  // outside the image, a cycle or an unbounded walk.
  SharedTree(const ImageParts& parts, std::shared_ptr<const ImageStorage> owner);

  // Trie::get_children and Trie::get_payload of the tree this stands for,
  // messages included. A descent from the root: per level a pass over the
  // children (their node counts), so O(depth x fan-out).
  [[nodiscard]] std::vector<Child> get_children(NodeId node_id) const;
  [[nodiscard]] std::optional<std::uint32_t> get_payload(NodeId node_id) const;

  // One node of the tree this stands for, as for_each_node meets it.
  struct Node {
    std::uint64_t id;     // pre-order
    char32_t code_point;  // NO_CODE_POINT for a root without one
    std::optional<std::uint32_t> payload;
    std::size_t first;  // its transitions [first, last): its children, whose ids are
    std::size_t last;   // id + 1 and on, each after the subtree before (size_below)
  };
  // Calls visit(node) for every node of the tree in pre-order: node_count()
  // calls with ids 0, 1, ... Throws InternalFailure when the sections do not
  // add up to that (a damaged image), having visited at most that many.
  // Memory: a frame per level of the deepest path.
  void for_each_node(const std::function<void(const Node&)>& visit) const;

  // The payload of the key numbered `key` (keys counted in pre-order from
  // 0, the root never a key). Throws InternalFailure for a number the
  // payload map does not cover (damaged sections only).
  [[nodiscard]] std::uint32_t payload_of_key(std::uint32_t key) const;
  // One above the largest payload of a key (0 without keys): a pass over
  // the payload map's run starts.
  [[nodiscard]] std::uint64_t payload_bound() const;

  [[nodiscard]] const ImageHeader& header() const noexcept { return header_; }
  [[nodiscard]] std::uint64_t node_count() const noexcept { return header_.node_count; }
  [[nodiscard]] std::uint32_t root() const noexcept { return header_.state_count - 1; }
  [[nodiscard]] std::size_t transition_count() const noexcept { return header_.transition_count; }
  // The image this reads, header included.
  [[nodiscard]] std::span<const std::uint8_t> image() const noexcept { return image_; }
  // What holds the image: memory or a mapped file.
  [[nodiscard]] const std::shared_ptr<const ImageStorage>& storage() const noexcept {
    return owner_;
  }

  // For the walk (walk/tree_view.hpp): the arrays as stored.
  [[nodiscard]] const std::uint32_t* firsts() const noexcept { return firsts_; }
  [[nodiscard]] const std::uint32_t* targets() const noexcept { return targets_; }
  [[nodiscard]] const std::uint32_t* keys_before() const noexcept { return keys_before_; }
  [[nodiscard]] const std::uint8_t* heights() const noexcept { return heights_; }
  [[nodiscard]] const std::uint64_t* final_bits() const noexcept { return final_bits_; }
  // The code points, each code_point_width bytes.
  [[nodiscard]] const void* code_points() const noexcept { return code_points_; }
  [[nodiscard]] char32_t code_point(std::size_t k) const noexcept;
  [[nodiscard]] bool is_final(std::size_t k) const noexcept {
    return ((final_bits_[k / 64] >> (k % 64)) & 1) != 0;
  }

  // The transitions [first, last) of `state`, reached over the transition at
  // `from` (transition_count() for the root) at depth `depth`: clamped so
  // that they lie before `from` (positions fall along every path, so no
  // walk meets a state twice on one path) and empty from the height on.
  [[nodiscard]] std::pair<std::size_t, std::size_t> range_below(
      std::uint32_t state, std::size_t from, std::uint32_t depth) const noexcept {
    const std::size_t s = std::min<std::size_t>(state, header_.state_count - 1);
    const std::size_t last = std::min<std::size_t>(firsts_[s + 1], from);
    const std::size_t first =
        depth >= header_.height ? last : std::min<std::size_t>(firsts_[s], last);
    return {first, last};
  }
  // Nodes in the tree below the target of transition k, itself included.
  [[nodiscard]] std::uint64_t size_below(std::size_t k) const noexcept {
    return sizes_[std::min<std::size_t>(targets_[k], header_.state_count - 1)];
  }

 private:
  // Where a pre-order node id lies: the state, the transition into it
  // (transition_count() for the root), its depth and its key number base.
  struct Place {
    std::uint32_t state;
    std::size_t from;
    std::uint32_t depth;
    std::uint32_t rank;
  };
  [[nodiscard]] Place find(NodeId node_id, const char* array) const;

  ImageHeader header_;
  std::span<const std::uint8_t> image_;
  std::shared_ptr<const ImageStorage> owner_;
  const std::uint32_t* firsts_;
  const std::uint32_t* sizes_;
  const void* code_points_;
  const std::uint32_t* targets_;
  const std::uint32_t* keys_before_;
  const std::uint8_t* heights_;
  const std::uint64_t* final_bits_;
  const std::uint64_t* run_starts_ = nullptr;
  const std::uint32_t* run_ranks_ = nullptr;
  const std::uint32_t* run_deltas_ = nullptr;
};

}  // namespace prefix
