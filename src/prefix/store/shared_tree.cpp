// Node queries and payloads on a shared tree, read in place.
#include "prefix/store/shared_tree.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>
#include <utility>

#include "prefix/failure.hpp"

namespace prefix {
namespace {

template <class T>
const T* as_array(std::span<const std::uint8_t> bytes) noexcept {
  // Sections start at multiples of 64 bytes of storage aligned to 8 or more.
  return reinterpret_cast<const T*>(bytes.data());
}

[[noreturn]] void fail_damaged(const std::string& what) {
  throw InternalFailure("the index is damaged: " + what);
}

}  // namespace

SharedTree::SharedTree(const ImageParts& parts, std::shared_ptr<const ImageStorage> owner)
    : header_(parts.header),
      image_(parts.image),
      owner_(std::move(owner)),
      firsts_(as_array<std::uint32_t>(parts.section(Section::Firsts))),
      sizes_(as_array<std::uint32_t>(parts.section(Section::Sizes))),
      code_points_(parts.section(Section::CodePoints).data()),
      targets_(as_array<std::uint32_t>(parts.section(Section::Targets))),
      keys_before_(as_array<std::uint32_t>(parts.section(Section::KeysBefore))),
      heights_(parts.section(Section::Heights).data()),
      final_bits_(as_array<std::uint64_t>(parts.section(Section::FinalBits))) {
  if (header_.payload_runs != 0) {
    run_starts_ = as_array<std::uint64_t>(parts.section(Section::RunStarts));
    run_ranks_ = as_array<std::uint32_t>(parts.section(Section::RunRanks));
    run_deltas_ = as_array<std::uint32_t>(parts.section(Section::RunDeltas));
  }
}

char32_t SharedTree::code_point(std::size_t k) const noexcept {
  const auto* const bytes = static_cast<const std::uint8_t*>(code_points_);
  switch (header_.code_point_width) {
    case 1:
      return bytes[k];
    case 2:
      return reinterpret_cast<const std::uint16_t*>(bytes)[k];
    default:
      return reinterpret_cast<const std::uint32_t*>(bytes)[k];
  }
}

SharedTree::Place SharedTree::find(NodeId node_id, const char* array) const {
  if (node_id >= header_.node_count) fail_node_id(node_id, array, header_.node_count);
  Place place{root(), transition_count(), 0, 0};
  std::uint64_t id = 0;  // the pre-order id of place's node
  while (id != node_id) {
    const auto [first, last] = range_below(place.state, place.from, place.depth);
    std::uint64_t child = id + 1;
    std::size_t k = first;
    for (; k < last; ++k) {
      const std::uint64_t below = size_below(k);
      if (node_id < child + below) break;
      child += below;
    }
    if (k == last) fail_damaged("node " + std::to_string(node_id) + " lies in no subtree");
    place = Place{targets_[k], k, place.depth + 1, place.rank + keys_before_[k]};
    id = child;
  }
  return place;
}

std::vector<Child> SharedTree::get_children(NodeId node_id) const {
  const Place place = find(node_id, "node_shifts");
  const auto [first, last] = range_below(place.state, place.from, place.depth);
  std::vector<Child> children;
  children.reserve(last - first);
  std::uint64_t child = std::uint64_t{node_id} + 1;
  for (std::size_t k = first; k < last; ++k) {
    children.push_back(Child{code_point(k), static_cast<NodeId>(child)});
    child += size_below(k);
  }
  return children;
}

std::optional<std::uint32_t> SharedTree::get_payload(NodeId node_id) const {
  const Place place = find(node_id, "node_payloads");
  if (node_id == 0) {
    if ((header_.flags & ImageHeader::ROOT_HAS_PAYLOAD) == 0) return std::nullopt;
    return header_.root_payload;
  }
  if (!is_final(place.from)) return std::nullopt;
  return payload_of_key(place.rank);
}

void SharedTree::for_each_node(const std::function<void(const Node&)>& visit) const {
  struct Frame {
    std::size_t next;
    std::size_t last;
    std::uint64_t child_id;  // of the child at `next`
    std::uint32_t rank;
    std::uint32_t depth;
  };
  const auto root_range = range_below(root(), transition_count(), 0);
  std::optional<std::uint32_t> root_payload;
  if ((header_.flags & ImageHeader::ROOT_HAS_PAYLOAD) != 0) root_payload = header_.root_payload;
  const char32_t root_code_point = (header_.flags & ImageHeader::ROOT_HAS_CODE_POINT) != 0
                                       ? header_.root_code_point
                                       : NO_CODE_POINT;
  if (root_code_point != NO_CODE_POINT &&
      (root_code_point > 0x10FFFF || (root_code_point >= 0xD800 && root_code_point <= 0xDFFF))) {
    fail_damaged("root code point " + std::to_string(root_code_point));
  }
  visit(Node{0, root_code_point, root_payload, root_range.first, root_range.second});
  std::uint64_t visited = 1;
  std::vector<Frame> frames{{root_range.first, root_range.second, 1, 0, 0}};
  while (!frames.empty()) {
    Frame& frame = frames.back();
    if (frame.next >= frame.last) {
      frames.pop_back();
      continue;
    }
    const std::size_t k = frame.next++;
    const std::uint64_t id = frame.child_id;
    frame.child_id += size_below(k);
    const std::uint32_t rank = frame.rank + keys_before_[k];
    const std::uint32_t depth = frame.depth + 1;
    if (id != visited || ++visited > header_.node_count) {
      fail_damaged("the node counts do not add up at node " + std::to_string(id));
    }
    const auto [first, last] = range_below(targets_[k], k, depth);
    const char32_t code_point = this->code_point(k);
    if (code_point > 0x10FFFF || (code_point >= 0xD800 && code_point <= 0xDFFF)) {
      fail_damaged("code point " + std::to_string(code_point));
    }
    std::optional<std::uint32_t> payload;
    if (is_final(k)) payload = payload_of_key(rank);
    visit(Node{id, code_point, payload, first, last});
    frames.push_back(Frame{first, last, id + 1, rank, depth});
  }
  if (visited != header_.node_count) {
    fail_damaged(std::to_string(visited) + " nodes, not " + std::to_string(header_.node_count));
  }
}

std::uint32_t SharedTree::payload_of_key(std::uint32_t key) const {
  if (run_starts_ == nullptr) return key;
  if (key >= header_.key_count) fail_damaged("key number " + std::to_string(key));
  const std::size_t word = key / 64;
  const std::uint64_t up_to = run_starts_[word] & ((std::uint64_t{2} << (key % 64)) - 1);
  // The runs started up to this key, less one: the run it lies in.
  const std::uint64_t run = std::uint64_t{run_ranks_[word]} + std::popcount(up_to) - 1;
  if (run >= header_.payload_runs) fail_damaged("payload run " + std::to_string(run));
  return key + run_deltas_[run];
}

std::uint64_t SharedTree::payload_bound() const {
  const std::uint64_t keys = header_.key_count;
  if (keys == 0) return 0;
  if (run_starts_ == nullptr) return keys;
  // Payloads rise by one within a run, so its last key has its largest: the
  // key before the next run's start, the last key for the last run.
  std::uint64_t bound = 0;
  std::uint64_t run = 0;
  const auto close_run = [&](std::uint64_t last_key) {
    if (run == 0 || run > header_.payload_runs) return;
    const auto payload = static_cast<std::uint32_t>(last_key + run_deltas_[run - 1]);
    bound = std::max<std::uint64_t>(bound, std::uint64_t{payload} + 1);
  };
  for (std::uint64_t word = 0; word < (keys + 63) / 64; ++word) {
    for (std::uint64_t bits = run_starts_[word]; bits != 0; bits &= bits - 1) {
      const std::uint64_t key = word * 64 + static_cast<std::uint64_t>(std::countr_zero(bits));
      if (key >= keys) break;
      close_run(key - 1);
      ++run;
    }
  }
  close_run(keys - 1);
  return bound;
}

}  // namespace prefix
