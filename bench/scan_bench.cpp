// Throughput of scan_line on typical and on worst-case lines, in bytes per second.
// Not a test: it measures, it checks nothing. Build with -DQUILLET_BENCH=ON, run
// build/bench/scan_bench.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "scanner/scanner.h"

namespace {

// Lines repeated to about 64 KiB, scanned one after the other with the state carried.
std::vector<std::string> repeat_lines(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  std::size_t total = 0;
  while (total < (std::size_t{1} << 16)) {
    for (const std::string& line : lines) {
      out.push_back(line);
      total += line.size();
    }
  }
  return out;
}

void scan_all(benchmark::State& state, const std::vector<std::string>& lines) {
  std::size_t bytes = 0;
  for (const std::string& line : lines)
    bytes += line.size();
  for (auto _ : state) {
    quillet::ScanResult carried;
    for (const std::string& line : lines)
      carried = quillet::scan_line(line, carried);
    benchmark::DoNotOptimize(carried);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
}

void typical_code(benchmark::State& state) {
  static const auto lines = repeat_lines({
      "static inline int ring_put(struct ring *r, unsigned char byte) {\n",
      "    if (r->head - r->tail == RING_SIZE) return 0;\n",
      "    r->data[r->head++ & (RING_SIZE - 1)] = byte;           // wraps around\n",
      "    size_t tail;                                 /* next slot to read */\n",
      "    const char *name = \"ring\";\n",
      "}\n",
      "\n",
  });
  scan_all(state, lines);
}

void block_comment(benchmark::State& state) {
  static const auto lines = repeat_lines({
      "/*\n",
      " * Copyright (C) the authors. This library is free software; you can redistribute\n",
      " * it and/or modify it under the terms of the licence, see http://example.org/x.\n",
      " */\n",
  });
  scan_all(state, lines);
}

// Every byte stops the fast paths: quotes, escapes, separators and slashes throughout.
void worst_case(benchmark::State& state) {
  static const auto lines = repeat_lines({
      "c='\\''+'\"'+'/'+'\\\\'+'*'+1'1'1'1'1'1'1'1'1'1'1'1'1'1'1'1'1'1'1'1'1;/ / / / / / /\n",
      "s=\"\\\"\\\\\\\"/*//\"+u8\"/\"+R\"x(/*)\")x\"+L'x'+a/b/c/d/e/f/g/h/i/j/k/l/m/n/o; // c\n",
      "/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/\n",
  });
  scan_all(state, lines);
}

BENCHMARK(typical_code);
BENCHMARK(block_comment);
BENCHMARK(worst_case);

}  // namespace

BENCHMARK_MAIN();
