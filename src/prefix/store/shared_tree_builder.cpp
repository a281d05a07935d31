// The registry of states that makes equal subtrees one, and the two ways
// trees are fed to it: sorted words, and pre-order arrays.
#include "prefix/store/shared_tree_builder.hpp"

#include <algorithm>
#include <bit>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "prefix/failure.hpp"
#include "prefix/utf8.hpp"

namespace prefix {
namespace {

constexpr std::uint32_t NO_STATE = 0xFFFF'FFFF;
constexpr std::uint64_t MAX_NODES = std::uint64_t{1} << 32;

struct Transition {
  char32_t code_point;
  std::uint32_t target;
};

// The registry's hash of a state with finality `final` and transitions
// at(0) .. at(count - 1).
template <class At>
std::uint64_t state_hash(bool final, std::size_t count, At at) noexcept {
  std::uint64_t hash = final ? 0x51ED'2701'A3C9'F4B1 : 0x2545'F491'4F6C'DD1D;
  for (std::size_t i = 0; i < count; ++i) {
    const Transition t = at(i);
    hash = (hash ^ (std::uint64_t{t.code_point} << 32 | t.target)) * 0x9E37'79B9'7F4A'7C15;
    hash ^= hash >> 29;
  }
  return hash;
}

// The payload of each key in key order, as runs of payloads that rise by one
// with the key number: a bit per key where a run starts, and per run the
// payload minus the key number.
class PayloadRuns {
 public:
  void push(std::uint32_t payload) {
    const bool starts = keys_ == 0 || payload != previous_ + 1;
    if (keys_ % 64 == 0) starts_.push_back(0);
    if (starts) {
      starts_.back() |= std::uint64_t{1} << (keys_ % 64);
      deltas_.push_back(payload - static_cast<std::uint32_t>(keys_));
    }
    previous_ = payload;
    ++keys_;
  }

  // Whether every payload equals its key number: no map is stored.
  [[nodiscard]] bool is_identity() const noexcept {
    return deltas_.empty() || (deltas_.size() == 1 && deltas_[0] == 0);
  }
  [[nodiscard]] std::vector<std::uint32_t> ranks() const {
    std::vector<std::uint32_t> ranks;
    ranks.reserve(starts_.size());
    std::uint32_t sum = 0;
    for (const std::uint64_t word : starts_) {
      ranks.push_back(sum);
      sum += static_cast<std::uint32_t>(std::popcount(word));
    }
    return ranks;
  }
  [[nodiscard]] const std::vector<std::uint64_t>& starts() const noexcept { return starts_; }
  [[nodiscard]] const std::vector<std::uint32_t>& deltas() const noexcept { return deltas_; }
  [[nodiscard]] std::uint64_t keys() const noexcept { return keys_; }

 private:
  std::vector<std::uint64_t> starts_;
  std::vector<std::uint32_t> deltas_;
  std::uint32_t previous_ = 0;
  std::uint64_t keys_ = 0;
};

// The root's own code point and payload, which no state holds.
struct RootExtras {
  std::optional<char32_t> code_point;
  std::optional<std::uint32_t> payload;
};

// States in the order they are made, each after every state it leads to, so
// that a state's transitions lie before those of every state leading to it.
// A state equal to one made before (same finality, same transitions) is
// that one: the registry is an open-addressing table of state ids.
class Minimiser {
 public:
  Minimiser() { table_.assign(1024, NO_STATE); }

  // The id of the state with `final` and `transitions` (ascending code
  // points, targets made before).
  std::uint32_t add(bool final, std::span<const Transition> transitions) {
    const std::uint64_t hash =
        state_hash(final, transitions.size(), [&](std::size_t i) { return transitions[i]; });
    std::size_t slot = hash & (table_.size() - 1);
    for (; table_[slot] != NO_STATE; slot = (slot + 1) & (table_.size() - 1)) {
      if (equals(table_[slot], final, transitions)) return table_[slot];
    }
    const std::uint32_t id = append(final, transitions, false);
    table_[slot] = id;
    if (2 * ++used_ > table_.size()) grow();
    return id;
  }

  // The image with `transitions` as the root's (never merged), the root's
  // extras and the payload of each key.
  OwnedImage finish(std::span<const Transition> transitions, const RootExtras& root,
                    const PayloadRuns& runs) {
    table_ = {};
    const std::uint32_t id = append(false, transitions, true);
    ImageHeader header{};
    header.node_count = sizes_[id];
    header.state_count = id + 1;
    header.transition_count = static_cast<std::uint32_t>(targets_.size());
    header.key_count = keys_[id];
    header.height = state_heights_[id];
    if (root.code_point) {
      header.flags |= ImageHeader::ROOT_HAS_CODE_POINT;
      header.root_code_point = *root.code_point;
    }
    if (root.payload) {
      header.flags |= ImageHeader::ROOT_HAS_PAYLOAD;
      header.root_payload = *root.payload;
    }
    std::vector<std::uint32_t> sizes(sizes_.begin(), sizes_.end());
    sizes_ = {};
    std::vector<std::uint64_t> final_bits((finals_.size() + 63) / 64);
    for (std::size_t k = 0; k < finals_.size(); ++k) {
      final_bits[k / 64] |= std::uint64_t{finals_[k]} << (k % 64);
    }
    const char32_t widest =
        code_points_.empty() ? 0 : *std::max_element(code_points_.begin(), code_points_.end());
    header.code_point_width = widest <= 0xFF ? 1 : widest <= 0xFFFF ? 2 : 4;
    std::vector<std::uint8_t> narrow;
    std::vector<std::uint16_t> middle;
    std::span<const std::uint8_t> code_points = bytes_of(std::span<const char32_t>(code_points_));
    if (header.code_point_width == 1) {
      narrow.assign(code_points_.begin(), code_points_.end());
      code_points = bytes_of(std::span<const std::uint8_t>(narrow));
    } else if (header.code_point_width == 2) {
      middle.assign(code_points_.begin(), code_points_.end());
      code_points = bytes_of(std::span<const std::uint16_t>(middle));
    }
    std::vector<SectionData> sections = {
        {Section::Firsts, bytes_of(std::span<const std::uint32_t>(firsts_))},
        {Section::Sizes, bytes_of(std::span<const std::uint32_t>(sizes))},
        {Section::CodePoints, code_points},
        {Section::Targets, bytes_of(std::span<const std::uint32_t>(targets_))},
        {Section::KeysBefore, bytes_of(std::span<const std::uint32_t>(keys_before_))},
        {Section::Heights, bytes_of(std::span<const std::uint8_t>(heights_))},
        {Section::FinalBits, bytes_of(std::span<const std::uint64_t>(final_bits))},
    };
    const std::vector<std::uint32_t> ranks = runs.ranks();
    if (!runs.is_identity()) {
      header.payload_runs = static_cast<std::uint32_t>(runs.deltas().size());
      sections.push_back(
          {Section::RunStarts, bytes_of(std::span<const std::uint64_t>(runs.starts()))});
      sections.push_back({Section::RunRanks, bytes_of(std::span<const std::uint32_t>(ranks))});
      sections.push_back(
          {Section::RunDeltas, bytes_of(std::span<const std::uint32_t>(runs.deltas()))});
    }
    return assemble_image(header, sections);
  }

 private:
  bool equals(std::uint32_t state, bool final, std::span<const Transition> transitions) const {
    const std::size_t first = firsts_[state];
    if (finals_of_states_[state] != final || firsts_[state + 1] - first != transitions.size()) {
      return false;
    }
    for (std::size_t i = 0; i < transitions.size(); ++i) {
      if (code_points_[first + i] != transitions[i].code_point ||
          targets_[first + i] != transitions[i].target) {
        return false;
      }
    }
    return true;
  }

  std::uint32_t append(bool final, std::span<const Transition> transitions, bool is_root) {
    if (firsts_.size() > NO_STATE - 1 || targets_.size() + transitions.size() >= NO_STATE) {
      throw InternalFailure("more than 4294967294 states or transitions in the index");
    }
    // The root's own payload is no key: keys are numbered below it only.
    std::uint64_t keys = final && !is_root ? 1 : 0;
    std::uint64_t size = 1;
    std::uint32_t height = 0;
    for (const Transition& t : transitions) {
      code_points_.push_back(t.code_point);
      targets_.push_back(t.target);
      keys_before_.push_back(static_cast<std::uint32_t>(keys));
      heights_.push_back(
          static_cast<std::uint8_t>(std::min<std::uint32_t>(state_heights_[t.target], 0xFF)));
      finals_.push_back(finals_of_states_[t.target]);
      keys += keys_[t.target];
      size += sizes_[t.target];
      height = std::max(height, state_heights_[t.target] + 1);
    }
    if (size > (is_root ? MAX_NODES : MAX_NODES - 1)) {
      throw InternalFailure("more than 4294967296 nodes in the tree");
    }
    const auto id = static_cast<std::uint32_t>(firsts_.size() - 1);
    firsts_.push_back(static_cast<std::uint32_t>(targets_.size()));
    finals_of_states_.push_back(final ? 1 : 0);
    keys_.push_back(static_cast<std::uint32_t>(keys));
    sizes_.push_back(size);
    state_heights_.push_back(height);
    return id;
  }

  void grow() {
    std::vector<std::uint32_t> old(table_.size() * 2, NO_STATE);
    old.swap(table_);
    for (const std::uint32_t state : old) {
      if (state == NO_STATE) continue;
      const std::size_t first = firsts_[state];
      const std::size_t last = firsts_[state + 1];
      const std::uint64_t hash =
          state_hash(finals_of_states_[state] != 0, last - first, [&](std::size_t i) {
            return Transition{code_points_[first + i], targets_[first + i]};
          });
      std::size_t slot = hash & (table_.size() - 1);
      while (table_[slot] != NO_STATE) slot = (slot + 1) & (table_.size() - 1);
      table_[slot] = state;
    }
  }

  // Per transition.
  std::vector<char32_t> code_points_;
  std::vector<std::uint32_t> targets_;
  std::vector<std::uint32_t> keys_before_;
  std::vector<std::uint8_t> heights_;
  std::vector<std::uint8_t> finals_;
  // Per state.
  std::vector<std::uint32_t> firsts_{0};
  std::vector<std::uint8_t> finals_of_states_;
  std::vector<std::uint32_t> keys_;
  std::vector<std::uint64_t> sizes_;
  std::vector<std::uint32_t> state_heights_;
  std::vector<std::uint32_t> table_;
  std::size_t used_ = 0;
};

void decode_into(std::string_view text, std::u32string& out) {
  out.clear();
  for (std::size_t at = 0; at < text.size();) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = std::min(utf8_sequence_length(lead), text.size() - at);
    char32_t cp = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
      cp = (cp << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3F);
    }
    out.push_back(cp);
    at += length;
  }
}

}  // namespace

OwnedImage shared_image(const WordList& words, std::span<const std::uint32_t> order) {
  Minimiser states;
  PayloadRuns runs;
  // The path of the previous word: per depth its state's finality and
  // transitions so far, the last one still to be made (its target pending).
  struct Level {
    bool final = false;
    std::vector<Transition> transitions;
  };
  std::vector<Level> path(1);
  std::size_t depth = 0;  // of the previous word's last node
  const auto make_below = [&](std::size_t keep) {
    for (; depth > keep; --depth) {
      Level& level = path[depth];
      path[depth - 1].transitions.back().target = states.add(level.final, level.transitions);
      level.final = false;
      level.transitions.clear();
    }
  };
  std::u32string previous;
  std::u32string current;
  std::string_view previous_text;
  constexpr std::size_t AHEAD = 8;
  for (std::size_t k = 0; k < order.size(); ++k) {
    if (k + AHEAD < order.size()) __builtin_prefetch(words.word(order[k + AHEAD]).data());
    const std::string_view text = words.word(order[k]);
    if (k > 0 && text == previous_text) continue;
    decode_into(text, current);
    const auto shared = static_cast<std::size_t>(
        std::mismatch(previous.begin(), previous.end(), current.begin(), current.end()).first -
        previous.begin());
    make_below(shared);
    for (std::size_t i = shared; i < current.size(); ++i) {
      path[depth].transitions.push_back(Transition{current[i], NO_STATE});
      if (++depth == path.size()) path.emplace_back();
    }
    path[depth].final = true;
    runs.push(words.payload(order[k]));
    previous.swap(current);
    previous_text = text;
  }
  make_below(0);
  return states.finish(path[0].transitions, RootExtras{}, runs);
}

std::optional<OwnedImage> shared_image(const FlatArrays& arrays) {
  const std::size_t nodes = arrays.node_shifts.size();
  const std::vector<std::uint32_t>& shifts = arrays.node_shifts;
  const std::vector<std::uint32_t>& children = arrays.child_indices;
  if (nodes == 0 || arrays.node_chars.size() != nodes || arrays.payload_count != nodes ||
      children.size() + 1 != nodes || shifts[0] != 0) {
    return std::nullopt;
  }
  for (std::size_t node = 1; node < nodes; ++node) {
    if (shifts[node] < shifts[node - 1]) return std::nullopt;
  }
  if (shifts[nodes - 1] > children.size()) return std::nullopt;
  // Children before parents: in pre-order every child's id is above its
  // parent's. A node's children must be numbered one after the other, each
  // after the whole subtree of the one before.
  std::vector<std::uint32_t> state_of(nodes);
  std::vector<std::uint32_t> size(nodes);
  std::vector<Transition> transitions;
  Minimiser states;
  for (std::size_t node = nodes; node-- > 0;) {
    const std::size_t first = shifts[node];
    const std::size_t last = node + 1 < nodes ? shifts[node + 1] : children.size();
    std::uint64_t expected = node + 1;
    transitions.clear();
    for (std::size_t k = first; k < last; ++k) {
      const std::uint32_t child = children[k];
      if (child != expected || child >= nodes) return std::nullopt;
      const std::uint32_t code_point = arrays.node_chars[child];
      if (code_point > 0x10FFFF ||
          (!transitions.empty() && code_point <= transitions.back().code_point)) {
        return std::nullopt;
      }
      transitions.push_back(Transition{code_point, state_of[child]});
      expected += size[child];
    }
    size[node] = static_cast<std::uint32_t>(expected - node);
    if (node > 0) state_of[node] = states.add(arrays.has_payload.test(node), transitions);
  }
  if (size[0] != nodes) return std::nullopt;
  state_of = {};
  size = {};
  PayloadRuns runs;
  RootExtras root;
  const std::uint32_t* payload = arrays.payloads.data();
  if (arrays.has_payload.test(0)) root.payload = *payload++;
  if (arrays.node_chars[0] != NO_CODE_POINT) root.code_point = arrays.node_chars[0];
  for (std::size_t node = 1; node < nodes; ++node) {
    if (arrays.has_payload.test(node)) runs.push(*payload++);
  }
  return states.finish(transitions, root, runs);
}

}  // namespace prefix
