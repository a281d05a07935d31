// What the checked walk allocates on arrays that are not a tree: in proportion
// to the nodes it reaches times the query length, however deep the walk goes
// and however many children wait on its stack. Counted by replacing the
// global allocation functions of this test program.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "prefix/checked/matcher.hpp"
#include "prefix/failure.hpp"
#include "trie_fixtures.hpp"

namespace {

bool counting = false;
std::size_t counted_bytes = 0;

void* counted_malloc(std::size_t size) noexcept {
  if (counting) counted_bytes += size;
  return std::malloc(size == 0 ? 1 : size);
}

void* counted_new(std::size_t size) {
  if (void* memory = counted_malloc(size)) return memory;
  throw std::bad_alloc();
}

}  // namespace

// Every plain and nothrow form is replaced, so that each allocation and its
// release meet in malloc and free (a sanitizer's own forms would otherwise
// pair with these). The aligned forms stay the library's, paired among
// themselves.
void* operator new(std::size_t size) {
  return counted_new(size);
}
void* operator new[](std::size_t size) {
  return counted_new(size);
}
void* operator new(std::size_t size, const std::nothrow_t& /*tag*/) noexcept {
  return counted_malloc(size);
}
void* operator new[](std::size_t size, const std::nothrow_t& /*tag*/) noexcept {
  return counted_malloc(size);
}
void operator delete(void* memory) noexcept {
  std::free(memory);
}
void operator delete[](void* memory) noexcept {
  std::free(memory);
}
void operator delete(void* memory, std::size_t /*size*/) noexcept {
  std::free(memory);
}
void operator delete[](void* memory, std::size_t /*size*/) noexcept {
  std::free(memory);
}
void operator delete(void* memory, const std::nothrow_t& /*tag*/) noexcept {
  std::free(memory);
}
void operator delete[](void* memory, const std::nothrow_t& /*tag*/) noexcept {
  std::free(memory);
}

namespace prefix {
namespace {

using testing::lay_out;

constexpr std::uint64_t MAX_U64 = std::numeric_limits<std::uint64_t>::max();
// Far above what a State and its links take per pending child, far below a
// copy of a text or row per child.
constexpr std::size_t BYTES_PER_NODE = 1024;

struct Cost {
  std::string failure;
  std::size_t bytes;
};

// The failure of a checked fuzzy_match and the bytes allocated meanwhile.
Cost checked_walk_cost(const Trie& trie, const std::u32string& query) {
  Cost cost;
  counted_bytes = 0;
  counting = true;
  try {
    (void)fuzzy_match(trie, query, MAX_U64, std::nullopt);
  } catch (const InternalFailure& failure) {
    cost.failure = failure.what();
  }
  counting = false;
  cost.bytes = counted_bytes;
  return cost;
}

TEST(CheckedWalkCost, ALongChainBackToTheRootCostsLinearlyInItsLength) {
  // 0 -> 1 -> ... -> N, and N lists the root again. A copy of the text per
  // node would allocate about 2 N^2 bytes.
  constexpr NodeId N = 20'000;
  std::vector<std::vector<NodeId>> children(N + 1);
  for (NodeId id = 0; id < N; ++id) children[id] = {id + 1};
  children[N] = {0};
  const Trie trie = lay_out(children, std::vector<std::optional<char32_t>>(N + 1, U'a'),
                            std::vector<std::optional<std::uint32_t>>(N + 1));
  const Cost cost = checked_walk_cost(trie, U"a");
  EXPECT_EQ(cost.failure, "child relation is not a tree: node " + std::to_string(N) +
                              " would bring the walk to " + std::to_string(N + 2) +
                              " nodes, more than node_payloads length " + std::to_string(N + 1));
  EXPECT_LT(cost.bytes, N * BYTES_PER_NODE);
}

TEST(CheckedWalkCost, ManyPendingChildrenShareTheirParentsRow) {
  // The root lists a node that fails when visited, then W leaves, all 'a'; the
  // query is n code points long. A copy of the root's row per child would
  // allocate W * (n + 1) * 8 bytes before the failure.
  constexpr NodeId W = 2'000;
  const std::u32string query(2'000, U'a');
  std::vector<std::vector<NodeId>> children(W + 2);
  children[0].push_back(W + 1);
  for (NodeId id = 1; id <= W; ++id) children[0].push_back(id);
  Trie trie = lay_out(children, std::vector<std::optional<char32_t>>(W + 2, U'a'),
                      std::vector<std::optional<std::uint32_t>>(W + 2));
  trie.node_shifts.pop_back();  // node W + 1 has no child range
  const Cost cost = checked_walk_cost(trie, query);
  EXPECT_EQ(cost.failure, "node id " + std::to_string(W + 1) + " not below node_shifts length " +
                              std::to_string(W + 1));
  EXPECT_LT(cost.bytes, W * BYTES_PER_NODE + 8 * (query.size() + 1) * sizeof(std::uint64_t));
}

}  // namespace
}  // namespace prefix
