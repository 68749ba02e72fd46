// strlik and cstrlik against POSIX fnmatch with FNM_CASEFOLD, on the same
// generated file names and the same patterns. Each pattern shape was chosen so
// that both matchers give the same answers (strlik never backtracks; the
// shapes do not need it); the set-up checks that they agree before timing.
#include <benchmark/benchmark.h>

#include <fnmatch.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "vdkit/core/wildcard.h"

namespace {

struct Shape {
  const char* name;
  const char* pattern;
};

const Shape kShapes[] = {
    {"literal", "WELL_12345_NORTH.TXT"},  {"star_prefix", "*.TXT"},       {"star_suffix", "WELL_1*"},
    {"question", "WELL_?2???_NORTH.?XT"}, {"many_stars", "*_1*_*T*.TXT"},
};

// File names such as "wElL_40213_SoUtH.dAt", letter case scrambled.
std::vector<std::string> MakeSubjects(size_t n) {
  static const char* const kTags[] = {"north", "south", "east", "west"};
  static const char* const kExts[] = {"txt", "dat", "tv"};
  std::vector<std::string> out;
  out.reserve(n);
  uint32_t rng = 12345;
  auto next = [&rng] { return rng = rng * 1664525u + 1013904223u; };
  char buf[64];
  for (size_t i = 0; i < n; ++i) {
    std::snprintf(buf, sizeof buf, "well_%05u_%s.%s", next() % 100000u, kTags[next() % 4], kExts[next() % 3]);
    std::string s(buf);
    for (char& c : s) {
      if (c >= 'a' && c <= 'z' && (next() >> 16) % 2) c = static_cast<char>(c - 32);
    }
    out.push_back(s);
  }
  out[0] = "Well_12345_North.txt";  // one exact hit for the literal shape
  return out;
}

const std::vector<std::string>& Subjects(size_t n) {
  static std::vector<std::string> small = MakeSubjects(1000), large = MakeSubjects(100000);
  return n == small.size() ? small : large;
}

bool ByFnmatch(const std::string& s, const char* pattern) {
  return fnmatch(pattern, s.c_str(), FNM_CASEFOLD) == 0;
}

// Both matchers must agree on every subject, or the ratio would compare
// different work.
bool Agree(const std::vector<std::string>& subjects, const char* pattern, int64_t* hits) {
  *hits = 0;
  for (const std::string& s : subjects) {
    const bool a = strlik(s.c_str(), pattern);
    if (a != ByFnmatch(s, pattern)) return false;
    *hits += a;
  }
  return true;
}

template <class MatchFn>
void Run(benchmark::State& state, MatchFn match) {
  const Shape& shape = kShapes[state.range(0)];
  const auto& subjects = Subjects(static_cast<size_t>(state.range(1)));
  int64_t hits = 0;
  if (!Agree(subjects, shape.pattern, &hits)) {
    state.SkipWithError("strlik and fnmatch disagree on this shape");
    return;
  }
  for (auto _ : state) {
    int64_t n = 0;
    for (const std::string& s : subjects) n += match(s, shape.pattern);
    benchmark::DoNotOptimize(n);
  }
  state.SetLabel(shape.name);
  state.counters["hits"] = static_cast<double>(hits);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(subjects.size()));
}

void BM_Wildcard_Strlik(benchmark::State& state) {
  Run(state, [](const std::string& s, const char* p) { return strlik(s.c_str(), p); });
}

void BM_Wildcard_Cstrlik(benchmark::State& state) {
  const cstrlik compiled(kShapes[state.range(0)].pattern);
  Run(state, [&compiled](const std::string& s, const char*) { return compiled.islike(s.c_str()); });
}

void BM_Fnmatch_Casefold(benchmark::State& state) {
  Run(state, ByFnmatch);
}

void ShapesAndSizes(benchmark::internal::Benchmark* b) {
  for (int64_t shape = 0; shape < static_cast<int64_t>(sizeof kShapes / sizeof kShapes[0]); ++shape) {
    for (int64_t n : {1000, 100000}) b->Args({shape, n});
  }
}

BENCHMARK(BM_Wildcard_Strlik)->Apply(ShapesAndSizes);
BENCHMARK(BM_Wildcard_Cstrlik)->Apply(ShapesAndSizes);
BENCHMARK(BM_Fnmatch_Casefold)->Apply(ShapesAndSizes);

}  // namespace

BENCHMARK_MAIN();
