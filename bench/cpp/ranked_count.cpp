// Ranked queries alone, for instruction counts: suggest() for every query of
// a file against the words of another, with nothing else in the loop.
//
//   ranked_count WORDS QUERIES [--n=N] [--max-dist=D] [--swaps] [--sorted]
//                [--limit=Q] [--print]
//
// The trie is the shared tree of WORDS (one word a line, repeats dropped),
// each word's payload its line among the distinct ones, or with --sorted its
// rank in code-point order (so payloads equal key numbers). Prints the
// number of queries, of those with a match, and a checksum of the answers
// (--print: every answer). Under callgrind, only the query loop is counted:
//   valgrind --tool=callgrind --collect-atstart=no ranked_count ...
#include <valgrind/callgrind.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "prefix/ranked_search.hpp"
#include "prefix/search_trie.hpp"
#include "prefix/store/word_list.hpp"
#include "prefix/utf8.hpp"

namespace {

std::vector<std::string> read_lines(const char* path) {
  std::ifstream in(path);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", path);
    std::exit(1);
  }
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

std::uint64_t option(std::string_view arg, std::string_view name, std::uint64_t value) {
  if (arg.substr(0, name.size()) != name) return value;
  return std::stoull(std::string(arg.substr(name.size())));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: ranked_count WORDS QUERIES [options]\n");
    return 2;
  }
  std::uint64_t n = 1;
  std::uint64_t max_dist = 2;
  std::uint64_t limit = ~std::uint64_t{0};
  bool swaps = false;
  bool sorted = false;
  bool print = false;
  for (int i = 3; i < argc; ++i) {
    const std::string_view arg = argv[i];
    n = option(arg, "--n=", n);
    max_dist = option(arg, "--max-dist=", max_dist);
    limit = option(arg, "--limit=", limit);
    swaps = swaps || arg == "--swaps";
    sorted = sorted || arg == "--sorted";
    print = print || arg == "--print";
  }
  std::vector<std::string> words = read_lines(argv[1]);
  {
    std::unordered_set<std::string> seen;
    std::vector<std::string> distinct;
    for (std::string& word : words) {
      if (seen.insert(word).second) distinct.push_back(std::move(word));
    }
    words = std::move(distinct);
  }
  if (sorted) std::sort(words.begin(), words.end());
  prefix::WordList list;
  for (std::size_t i = 0; i < words.size(); ++i) list.add(words[i], static_cast<std::uint32_t>(i));
  const prefix::SearchTrie trie = prefix::SearchTrie::from_words(list, prefix::sorted_order(list));
  std::vector<std::u32string> queries;
  for (const std::string& line : read_lines(argv[2])) {
    if (queries.size() >= limit) break;
    queries.push_back(prefix::decode_utf8(line));
  }
  const prefix::ScoreOf no_scores;
  std::uint64_t found = 0;
  std::uint64_t checksum = 0;
  const auto start = std::chrono::steady_clock::now();
  CALLGRIND_START_INSTRUMENTATION;
  for (const std::u32string& query : queries) {
    const auto matches = prefix::suggest(trie, {query, n, max_dist, swaps, false, no_scores});
    found += matches.empty() ? 0 : 1;
    for (const prefix::RankedMatch& match : matches) {
      checksum = checksum * 1000003 + match.payload * 31 + match.distance;
      if (print)
        std::printf("%s\t%u\t%llu\n", match.key.c_str(), match.payload,
                    static_cast<unsigned long long>(match.distance));
    }
    if (print && matches.empty()) std::printf("-\n");
  }
  CALLGRIND_STOP_INSTRUMENTATION;
  const std::chrono::duration<double, std::micro> spent = std::chrono::steady_clock::now() - start;
  std::printf("%zu queries, %llu found, checksum %llx, %.1f us a query\n", queries.size(),
              static_cast<unsigned long long>(found), static_cast<unsigned long long>(checksum),
              spent.count() / static_cast<double>(std::max<std::size_t>(queries.size(), 1)));
  return 0;
}
