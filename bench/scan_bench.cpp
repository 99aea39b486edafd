// Throughput of scan_line on typical and on worst-case lines, in bytes per second.
// Not a test: it measures, it checks nothing. Build with -DQUILLET_BENCH=ON, run
// build/bench/scan_bench.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "scanner/scanner.h"

namespace {

// Lines repeated to about 64 KiB, scanned one after the other with the state carried.
void scan_all(benchmark::State& state, const std::vector<std::string>& lines) {
  std::vector<std::string> text;
  std::size_t bytes = 0;
  while (bytes < (std::size_t{1} << 16)) {
    for (const std::string& line : lines) {
      text.push_back(line);
      bytes += line.size();
    }
  }
  for (auto _ : state) {
    quillet::ScanResult carried;
    for (const std::string& line : text)
      carried = quillet::scan_line(line, carried);
    benchmark::DoNotOptimize(carried);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
}

const std::vector<std::string> TYPICAL_CODE = {
    "static inline int ring_put(struct ring *r, unsigned char byte) {\n",
    "    if (r->head - r->tail == RING_SIZE) return 0;\n",
    "    r->data[r->head++ & (RING_SIZE - 1)] = byte;           // wraps around\n",
    "    size_t tail;                                 /* next slot to read */\n",
    "    const char *name = \"ring\";\n",
    "}\n",
    "\n",
};

const std::vector<std::string> BLOCK_COMMENT = {
    "/*\n",
    " * Copyright (C) the authors. This library is free software; you can redistribute\n",
    " * it and/or modify it under the terms of the licence, see http://example.org/x.\n",
    " */\n",
};

// Every byte stops the fast paths: quotes, escapes, separators and slashes throughout.
const std::vector<std::string> WORST_CASE = {
    "c='\\''+'\"'+'/'+'\\\\'+'*'+1'1'1'1'1'1'1'1'1'1'1'1'1'1'1'1'1'1'1'1'1;/ / / / / / /\n",
    "s=\"\\\"\\\\\\\"/*//\"+u8\"/\"+R\"x(/*)\")x\"+L'x'+a/b/c/d/e/f/g/h/i/j/k/l/m/n/o; // c\n",
    "/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/*/\n",
};

BENCHMARK_CAPTURE(scan_all, typical_code, TYPICAL_CODE);
BENCHMARK_CAPTURE(scan_all, block_comment, BLOCK_COMMENT);
BENCHMARK_CAPTURE(scan_all, worst_case, WORST_CASE);

}  // namespace

BENCHMARK_MAIN();
