// The fuzzy walk alone, on a real word list and misspelling-like queries.
//
// The trie holds /usr/share/dict/american-english (or the file given by
// --words=PATH), laid out as the Python package lays it out: nodes in
// pre-order, children in code-point order. Queries are 1,000 words of the
// list, each with 1 or 2 random edits (fixed seed). Each benchmark runs all
// queries once per iteration and reports, besides the time per iteration:
//   ns_per_node   nanoseconds per visited node (a node whose row is computed)
//   nodes_per_q   visited nodes per query
//   records_per_q reported keys per query
// Times are CPU times of the benchmark thread. Visited nodes are counted once,
// before timing, by a separate walk of the checked matcher with a counting
// agent; every walk visits the same nodes. The *_steps benchmarks compare the
// Levenshtein and the swap rows per row step instead (see walk_per_step), and
// the swap rows the walk picks with the plain swap row (the ratio of their
// time per query is the bit sets' speedup).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "prefix/checked/matcher.hpp"
#include "prefix/distance/plain_swap_row.hpp"
#include "prefix/distance/swap_choice.hpp"
#include "prefix/search_trie.hpp"
#include "prefix/store/compact_tree.hpp"
#include "prefix/store/serial.hpp"
#include "prefix/store/tree_check.hpp"
#include "prefix/store/trie.hpp"
#include "prefix/utf8.hpp"
#include "prefix/walk/sinks.hpp"
#include "prefix/walk/tree_match.hpp"
#include "prefix/walk/tree_view.hpp"
#include "prefix/walk/tree_walk.hpp"
#include "trie_fixtures.hpp"

namespace {

using prefix::NodeId;
using prefix::Trie;

std::string words_path = "/usr/share/dict/american-english";  // NOLINT: set once in main

struct Corpus {
  Trie trie;
  prefix::TreeShape shape;
  std::optional<prefix::CompactTree> compact;  // when the trie is a complete tree
  std::vector<std::u32string> words;           // distinct, in file order
  std::vector<std::u32string> queries;         // fixed seed
};

// Distinct non-empty lines in file order.
std::vector<std::u32string> read_words(const std::string& path) {
  std::ifstream in(path);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    std::exit(1);
  }
  std::vector<std::u32string> words;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty()) words.push_back(prefix::decode_utf8(line));
  }
  std::vector<std::u32string> seen = words;
  std::sort(seen.begin(), seen.end());
  std::vector<std::u32string> distinct;
  for (std::u32string& word : words) {
    auto it = std::lower_bound(seen.begin(), seen.end(), word);
    if (!it->empty()) {
      it->clear();  // the first occurrence keeps its position
      distinct.push_back(std::move(word));
    }
  }
  return distinct;
}

// `count` words with 1 or 2 random edits each (insert, delete, substitute),
// new code points drawn from the letters of the words themselves.
std::vector<std::u32string> edited(const std::vector<std::u32string>& words, std::size_t count) {
  std::mt19937_64 rng(7);
  const auto below = [&rng](std::size_t bound) { return static_cast<std::size_t>(rng() % bound); };
  std::vector<std::u32string> queries;
  while (queries.size() < count) {
    std::u32string query = words[below(words.size())];
    const std::size_t edits = 1 + below(2);
    for (std::size_t e = 0; e < edits; ++e) {
      const std::u32string& donor = words[below(words.size())];
      const char32_t letter = donor[below(donor.size())];
      const std::size_t op = query.empty() ? 0 : below(3);
      if (op == 0) {
        query.insert(query.begin() + static_cast<std::ptrdiff_t>(below(query.size() + 1)), letter);
      } else if (op == 1) {
        query.erase(query.begin() + static_cast<std::ptrdiff_t>(below(query.size())));
      } else {
        query[below(query.size())] = letter;
      }
    }
    queries.push_back(std::move(query));
  }
  return queries;
}

const Corpus& corpus() {
  static const Corpus instance = [] {
    Corpus c;
    c.words = read_words(words_path);
    c.trie = prefix::testing::words_trie(c.words);
    c.shape = prefix::check_tree(c.trie);
    if (prefix::is_complete_tree(c.trie, c.shape)) c.compact.emplace(Trie(c.trie), c.shape);
    c.queries = edited(c.words, 1000);
    return c;
  }();
  return instance;
}

// Forwards to a Matcher and counts the nodes it is handed.
struct CountingAgent {
  prefix::Matcher matcher;
  std::uint64_t visited = 0;

  [[nodiscard]] prefix::State initial_state() const { return matcher.initial_state(); }
  void visit_node(NodeId node, std::optional<std::uint32_t> payload, prefix::State& state) {
    ++visited;
    matcher.visit_node(node, payload, state);
  }
  std::vector<prefix::PendingEntry> get_children_to_visit(NodeId node, const prefix::State& state,
                                                          std::vector<prefix::Child> children) {
    return matcher.get_children_to_visit(node, state, std::move(children));
  }
};

std::uint64_t visited_nodes(const Corpus& c, std::uint64_t max_dist) {
  std::uint64_t total = 0;
  for (const std::u32string& query : c.queries) {
    CountingAgent agent{
        prefix::Matcher(query, max_dist, std::nullopt, c.trie.node_payloads.size())};
    c.trie.dfs(agent);
    total += agent.visited;
  }
  return total;
}

// CPU time of this thread, so that other load on the machine does not count.
double thread_cpu_ns() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

// Runs `search(query)` over every query per iteration; `search` returns the
// number of records.
template <class Search>
void run_queries(benchmark::State& state, std::uint64_t max_dist, Search search) {
  const Corpus& c = corpus();
  const std::uint64_t nodes = visited_nodes(c, max_dist);
  std::uint64_t records = 0;
  double cpu_ns = 0;
  for (auto _ : state) {
    const double start = thread_cpu_ns();
    records = 0;
    for (const std::u32string& query : c.queries) records += search(query);
    cpu_ns += thread_cpu_ns() - start;
    benchmark::ClobberMemory();
  }
  const auto iterations = static_cast<double>(state.iterations());
  const auto queries = static_cast<double>(c.queries.size());
  state.counters["ns_per_node"] = cpu_ns / (iterations * static_cast<double>(nodes));
  state.counters["nodes_per_q"] = static_cast<double>(nodes) / queries;
  state.counters["records_per_q"] = static_cast<double>(records) / queries;
  state.counters["queries"] =
      benchmark::Counter(queries, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_checked_walk(benchmark::State& state) {
  const auto max_dist = static_cast<std::uint64_t>(state.range(0));
  const Trie& trie = corpus().trie;
  run_queries(state, max_dist, [&](const std::u32string& query) {
    return prefix::fuzzy_match(trie, query, max_dist, std::nullopt).size();
  });
}
BENCHMARK(BM_checked_walk)->DenseRange(1, 3)->Unit(benchmark::kMillisecond);

// The walk over the compact form, which an instance built from words keeps.
void BM_tree_walk(benchmark::State& state) {
  const auto max_dist = static_cast<std::uint64_t>(state.range(0));
  const Corpus& c = corpus();
  if (!c.compact) {
    state.SkipWithError("the word list did not lay out as a complete tree");
    return;
  }
  run_queries(state, max_dist, [&](const std::u32string& query) {
    return prefix::fuzzy_match_tree(*c.compact, query, max_dist, std::nullopt).size();
  });
}
BENCHMARK(BM_tree_walk)->DenseRange(1, 3)->Unit(benchmark::kMicrosecond);

// The same walk over the shared tree (equal subtrees once) that `build`
// keeps, made from the byte form of the compact one.
void BM_tree_walk_shared(benchmark::State& state) {
  const auto max_dist = static_cast<std::uint64_t>(state.range(0));
  static const prefix::SearchTrie shared =
      prefix::SearchTrie::from_bytes(prefix::encode_to_vec(corpus().trie));
  if (shared.shared_tree() == nullptr) {
    state.SkipWithError("the word list did not lay out as a pre-order tree");
    return;
  }
  run_queries(state, max_dist, [&](const std::u32string& query) {
    return prefix::fuzzy_match_tree(*shared.shared_tree(), query, max_dist, std::nullopt).size();
  });
}
BENCHMARK(BM_tree_walk_shared)->DenseRange(1, 3)->Unit(benchmark::kMicrosecond);

// The same walk over the four arrays and their shape, as for a tree with
// unreachable nodes or entries.
void BM_tree_walk_arrays(benchmark::State& state) {
  const auto max_dist = static_cast<std::uint64_t>(state.range(0));
  const Corpus& c = corpus();
  if (!c.shape.is_tree) {
    state.SkipWithError("the word list did not lay out as a tree");
    return;
  }
  run_queries(state, max_dist, [&](const std::u32string& query) {
    return prefix::fuzzy_match_tree(c.trie, c.shape, query, max_dist, std::nullopt).size();
  });
}
BENCHMARK(BM_tree_walk_arrays)->DenseRange(1, 3)->Unit(benchmark::kMicrosecond);

// A row kind that counts its steps (rows worked out), otherwise `Rows`.
template <class Rows>
struct CountingRows : Rows {
  using Rows::Rows;
  explicit CountingRows(Rows&& rows, std::uint64_t* counter)
      : Rows(std::move(rows)), steps(counter) {}
  bool step(const typename Rows::Parent& parent, typename Rows::Word* row, char32_t edge) const {
    ++*steps;
    return Rows::step(parent, row, edge);
  }
  std::uint64_t* steps = nullptr;
};

// The rows of walk_per_step: the walk's Levenshtein or swap kinds, or the
// plain swap row at every max_dist.
enum class Distance { levenshtein, swaps, plain_swaps };

template <class Use>
void with_distance_rows(Distance distance, std::u32string_view query, std::uint64_t max_dist,
                        Use&& use) {
  if (distance == Distance::plain_swaps) {
    std::forward<Use>(use)(prefix::distance::PlainSwapRows(query, max_dist));
    return;
  }
  prefix::distance::with_rows_of(distance == Distance::swaps, query, max_dist,
                                 std::forward<Use>(use));
}

// The walk over the compact form with Levenshtein or optimal-string-alignment
// rows, reported per row step (each visited or screened node), so that the
// two distances, which visit slightly different nodes, compare per unit of
// work: ns_per_step. The swap kinds visit the same nodes as each other.
void walk_per_step(benchmark::State& state, Distance distance) {
  const auto max_dist = static_cast<std::uint64_t>(state.range(0));
  const Corpus& c = corpus();
  if (!c.compact) {
    state.SkipWithError("the word list did not lay out as a complete tree");
    return;
  }
  const auto walk = [&](const std::u32string& query, std::uint64_t* steps) {
    prefix::walk::LimitSink sink(max_dist, std::nullopt);
    std::visit(
        [&]<class T>(const prefix::CodePointsOf<T>& code_points) {
          const prefix::walk::CompactView<T> view(*c.compact, code_points);
          with_distance_rows(distance, query, max_dist, [&]<class R>(R&& rows) {
            if (steps == nullptr) {
              prefix::walk::walk_tree(view, std::forward<R>(rows), query, max_dist, sink);
            } else {
              prefix::walk::walk_tree(view,
                                      CountingRows<std::decay_t<R>>(std::forward<R>(rows), steps),
                                      query, max_dist, sink);
            }
          });
        },
        c.compact->child_code_points());
    return std::move(sink).take().size();
  };
  std::uint64_t steps = 0;
  for (const std::u32string& query : c.queries) walk(query, &steps);
  std::uint64_t records = 0;
  double cpu_ns = 0;
  for (auto _ : state) {
    const double start = thread_cpu_ns();
    records = 0;
    for (const std::u32string& query : c.queries) records += walk(query, nullptr);
    cpu_ns += thread_cpu_ns() - start;
    benchmark::ClobberMemory();
  }
  const auto iterations = static_cast<double>(state.iterations());
  const auto queries = static_cast<double>(c.queries.size());
  state.counters["ns_per_step"] = cpu_ns / (iterations * static_cast<double>(steps));
  state.counters["steps_per_q"] = static_cast<double>(steps) / queries;
  state.counters["records_per_q"] = static_cast<double>(records) / queries;
}

// 1 to 3 on the one-word rows, 4 and 6 on the bit sets.
void BM_tree_walk_levenshtein_steps(benchmark::State& state) {
  walk_per_step(state, Distance::levenshtein);
}
BENCHMARK(BM_tree_walk_levenshtein_steps)->DenseRange(1, 4)->Arg(6)->Unit(benchmark::kMicrosecond);
void BM_tree_walk_swaps_steps(benchmark::State& state) {
  walk_per_step(state, Distance::swaps);
}
BENCHMARK(BM_tree_walk_swaps_steps)->DenseRange(1, 4)->Arg(6)->Unit(benchmark::kMicrosecond);
void BM_tree_walk_plain_swaps_steps(benchmark::State& state) {
  walk_per_step(state, Distance::plain_swaps);
}
BENCHMARK(BM_tree_walk_plain_swaps_steps)->Arg(4)->Arg(6)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg.starts_with("--words=")) {
      words_path = std::string(arg.substr(8));
    } else {
      std::fprintf(stderr, "unknown argument %s\n", argv[i]);
      return 1;
    }
  }
  std::printf("%zu words from %s, %zu trie nodes, %zu queries\n", corpus().words.size(),
              words_path.c_str(), corpus().trie.node_chars.size(), corpus().queries.size());
  std::fflush(stdout);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
