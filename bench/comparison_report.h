// Runs the registered benchmarks and closes with one line per comparison: the ratio of two
// benchmarks' median times, measured in the same run, against its target.
#ifndef HALVEX_BENCH_COMPARISON_REPORT_H_
#define HALVEX_BENCH_COMPARISON_REPORT_H_

#include <string>
#include <vector>

namespace halvex::bench {

struct Comparison {
  std::string label;      // e.g. "nv12 1080p"
  std::string numerator;  // benchmark names
  std::string denominator;
  std::string ratioName;  // e.g. "ours/libyuv"
  double target;          // the ratio must not exceed it
};

// A benchmark reported on its own, with its time and its counters: a measurement without a
// competitor.
struct Measurement {
  std::string label;
  std::string benchmark;
};

// Runs the benchmarks selected by the command line (Google Benchmark's flags) and prints the
// comparisons whose two benchmarks both ran, then the measurements. Returns the process's exit
// status.
int RunBenchmarksAndCompare(int argc,
                            char** argv,
                            const std::vector<Comparison>& comparisons,
                            const std::vector<Measurement>& measurements = {});

// One result line, in the form every benchmark of this folder prints.
std::string ComparisonLine(const std::string& label,
                           const std::string& ratioName,
                           double ratio,
                           const std::string& target,
                           bool met);

}  // namespace halvex::bench

#endif  // HALVEX_BENCH_COMPARISON_REPORT_H_
