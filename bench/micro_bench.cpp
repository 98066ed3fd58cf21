// SPDX-License-Identifier: MIT
// Micro-benchmarks of the list loading, the lookup and the rewriters, on the
// same synthetic texts and templates as the whole-process benchmarks.
#include <benchmark/benchmark.h>

#include <cstring>

#include "bench_inputs.h"
#include "replace/replacement_table.h"
#include "resources/rebuild.h"
#include "support/lookup_reference.h"
#include "support/scan_lookup.h"

namespace {

using benchinputs::Bytes;

// Items laid end to end in one buffer, with where each starts.
struct ItemSet {
  Bytes bytes;
  std::vector<size_t> offsets;
  std::vector<uint32_t> sizes;
  std::vector<std::u16string> texts;
};

ItemSet make_items(bool dialogs, size_t total_bytes) {
  benchinputs::Rng rng{dialogs ? 11u : 10u};
  ItemSet set;
  while (set.bytes.size() < total_bytes) {
    Bytes item = dialogs ? benchinputs::make_dialog(&rng, rng.between(2, 40),
                                                    rng.chance(50), &set.texts)
                         : benchinputs::make_menu(&rng, rng.between(300, 8000),
                                                  rng.chance(30), &set.texts);
    while (set.bytes.size() % 8 != 0) set.bytes.push_back(0);
    set.offsets.push_back(set.bytes.size());
    set.sizes.push_back(static_cast<uint32_t>(item.size()));
    set.bytes.insert(set.bytes.end(), item.begin(), item.end());
  }
  return set;
}

const ItemSet& menus() {
  static const ItemSet set = make_items(false, 8u << 20);
  return set;
}

const ItemSet& dialogs() {
  static const ItemSet set = make_items(true, 8u << 20);
  return set;
}

// The list bytes of `count` pairs drawn from `texts`, or absent texts.
Bytes list_bytes(const std::vector<std::u16string>& texts, size_t count,
                 bool absent) {
  benchinputs::Rng rng{count * 3 + (absent ? 1 : 0)};
  std::vector<std::u16string> finds, replacements;
  if (absent) {
    benchinputs::make_absent_pairs(&rng, benchinputs::kAlwaysPresent, count,
                                   &finds, &replacements);
  } else {
    benchinputs::make_pairs(&rng, texts, count, &finds, &replacements);
  }
  return benchinputs::make_list(finds, replacements);
}

uitrans::ReplacementTable make_table(const std::vector<std::u16string>& texts,
                                     size_t count, bool absent) {
  Bytes bytes = list_bytes(texts, count, absent);
  uitrans::ReplacementTable table;
  uitrans::parse_replacement_list(uitrans::ByteSpan{bytes.data(), bytes.size()},
                                  &table);
  return table;
}

void BM_ListLoad(benchmark::State& state) {
  Bytes bytes =
      list_bytes(menus().texts, static_cast<size_t>(state.range(0)), false);
  for (auto _ : state) {
    uitrans::ReplacementTable table;
    uitrans::parse_replacement_list(
        uitrans::ByteSpan{bytes.data(), bytes.size()}, &table);
    benchmark::DoNotOptimize(table.entries.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(bytes.size()));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ListLoad)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);

// find_replacement asked at every unit of 8 MiB of menus: the cost per
// position, which must not grow with the number of entries.
void BM_FindReplacement(benchmark::State& state) {
  const ItemSet& set = menus();
  uitrans::ReplacementTable table = make_table(
      set.texts, static_cast<size_t>(state.range(0)), state.range(1) != 0);
  uitrans::UnitView units{set.bytes.data(), set.bytes.size() / 2};
  for (auto _ : state) {
    uint64_t hits = 0;
    for (size_t i = 0; i < units.unit_count; ++i) {
      hits += uitrans::find_replacement(table, units, i) != uitrans::kNoEntry;
    }
    benchmark::DoNotOptimize(hits);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(set.bytes.size()));
}
BENCHMARK(BM_FindReplacement)
    ->ArgNames({"pairs", "absent"})
    ->Args({1000, 0})
    ->Args({10000, 0})
    ->Args({100000, 0})
    ->Args({1000, 1})
    ->Args({100000, 1})
    ->Unit(benchmark::kMillisecond);

// Lookups position by position along a run: tails hashed once per text.
void BM_ScanLookup(benchmark::State& state) {
  const ItemSet& set = menus();
  uitrans::ReplacementTable table = make_table(
      set.texts, static_cast<size_t>(state.range(0)), state.range(1) != 0);
  uitrans::UnitView units{set.bytes.data(), set.bytes.size() / 2};
  for (auto _ : state) {
    uint64_t hits = 0;
    testsupport::RunScanner scanner;
    testsupport::start_run_scan(&scanner, units, units.unit_count);
    for (size_t i = 0; i < units.unit_count; ++i) {
      hits += testsupport::scan_lookup(table, &scanner, i) != uitrans::kNoEntry;
    }
    benchmark::DoNotOptimize(hits);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(set.bytes.size()));
}
BENCHMARK(BM_ScanLookup)
    ->ArgNames({"pairs", "absent"})
    ->Args({1000, 0})
    ->Args({10000, 0})
    ->Args({100000, 0})
    ->Args({1000, 1})
    ->Args({100000, 1})
    ->Unit(benchmark::kMillisecond);

// The reference table scan, for scale: its cost grows with the entries.
void BM_FindReplacementByScan(benchmark::State& state) {
  const ItemSet& set = menus();
  uitrans::ReplacementTable table =
      make_table(set.texts, static_cast<size_t>(state.range(0)), false);
  // A slice, so that the larger tables finish.
  size_t units_scanned = size_t{1} << 16;
  uitrans::UnitView units{set.bytes.data(), set.bytes.size() / 2};
  for (auto _ : state) {
    uint64_t hits = 0;
    for (size_t i = 0; i < units_scanned; ++i) {
      hits += testsupport::find_replacement_by_scan(table, units, i) !=
              uitrans::kNoEntry;
    }
    benchmark::DoNotOptimize(hits);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(2 * units_scanned));
}
BENCHMARK(BM_FindReplacementByScan)
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond);

void rewrite_all(benchmark::State& state, const ItemSet& set,
                 bool dialog_items) {
  uitrans::ReplacementTable table = make_table(
      set.texts, static_cast<size_t>(state.range(0)), state.range(1) != 0);
  uitrans::RebuildOutput output;
  uint32_t largest = 0;
  for (uint32_t size : set.sizes) largest = std::max(largest, size);
  uitrans::reserve_output(&output, largest + uitrans::kItemHeadroom);
  int32_t replaced = 0;
  for (auto _ : state) {
    for (size_t i = 0; i < set.offsets.size(); ++i) {
      uitrans::ItemContext item;
      item.item.image = uitrans::ByteSpan{set.bytes.data(), set.bytes.size()};
      item.item.offset = set.offsets[i];
      item.item.size = set.sizes[i];
      item.table = &table;
      item.output = &output;
      item.replaced_count = &replaced;
      uint32_t new_size = 0;
      uitrans::Outcome outcome = dialog_items
                                     ? uitrans::rewrite_dialog(item, &new_size)
                                     : uitrans::rewrite_menu(item, &new_size);
      if (!outcome.ok()) {
        state.SkipWithError("rewrite failed");
        break;
      }
      // Keep the zero beyond the item that the rewriters rely on.
      std::memset(output.data, 0, new_size);
    }
  }
  uitrans::release_output(&output);
  state.counters["replaced_per_pass"] = benchmark::Counter(
      static_cast<double>(replaced) / static_cast<double>(state.iterations()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(set.bytes.size()));
}

void BM_RewriteMenus(benchmark::State& state) {
  rewrite_all(state, menus(), false);
}
BENCHMARK(BM_RewriteMenus)
    ->ArgNames({"pairs", "absent"})
    ->Args({1000, 0})
    ->Args({10000, 0})
    ->Args({100000, 0})
    ->Args({1000, 1})
    ->Args({100000, 1})
    ->Unit(benchmark::kMillisecond);

void BM_RewriteDialogs(benchmark::State& state) {
  rewrite_all(state, dialogs(), true);
}
BENCHMARK(BM_RewriteDialogs)
    ->ArgNames({"pairs", "absent"})
    ->Args({1000, 0})
    ->Args({10000, 0})
    ->Args({100000, 0})
    ->Args({1000, 1})
    ->Args({100000, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
