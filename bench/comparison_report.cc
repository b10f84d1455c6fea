#include "bench/comparison_report.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>

namespace halvex::bench {
namespace {

// Passes everything to the console and keeps each benchmark's processor time per iteration: the
// median of the repetitions when there are several, else the one measurement. Processor time,
// not wall time, since on a shared machine the wall clock also counts the moments that other
// processes had the core.
class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) {
        continue;
      }
      const std::string& name = run.run_name.function_name;
      if (run.run_type == Run::RT_Aggregate) {
        if (run.aggregate_name == "median") {
          medians_[name] = Seconds(run);
          counters_[name] = run.counters;
        }
      } else {
        single_[name] = Seconds(run);
        counters_.emplace(name, run.counters);
      }
    }
    benchmark::ConsoleReporter::ReportRuns(runs);
  }

  const benchmark::UserCounters* CountersOf(const std::string& name) const {
    auto counters = counters_.find(name);
    return counters == counters_.end() ? nullptr : &counters->second;
  }

  bool Find(const std::string& name, double* seconds) const {
    auto median = medians_.find(name);
    if (median != medians_.end()) {
      *seconds = median->second;
      return true;
    }
    auto single = single_.find(name);
    if (single != single_.end()) {
      *seconds = single->second;
      return true;
    }
    return false;
  }

 private:
  static double Seconds(const Run& run) {
    return run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
  }

  std::map<std::string, double> medians_;
  std::map<std::string, double> single_;
  std::map<std::string, benchmark::UserCounters> counters_;
};

std::string FormatNumber(double value) {
  char text[32];
  std::snprintf(text, sizeof(text), "%.2f", value);
  return text;
}

std::string FormatTime(double seconds) {
  char text[32];
  if (seconds >= 1e-3) {
    std::snprintf(text, sizeof(text), "%.3f ms", seconds * 1e3);
  } else {
    std::snprintf(text, sizeof(text), "%.2f us", seconds * 1e6);
  }
  return text;
}

}  // namespace

std::string ComparisonLine(const std::string& label,
                           const std::string& ratioName,
                           double ratio,
                           const std::string& target,
                           bool met) {
  return label + ": " + ratioName + " = " + FormatNumber(ratio) + " (target " + target + ") " +
         (met ? "PASS" : "MISS");
}

int RunBenchmarksAndCompare(int argc,
                            char** argv,
                            const std::vector<Comparison>& comparisons,
                            const std::vector<Measurement>& measurements) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\n");
  for (const Comparison& comparison : comparisons) {
    double numerator = 0;
    double denominator = 0;
    if (!reporter.Find(comparison.numerator, &numerator) ||
        !reporter.Find(comparison.denominator, &denominator) || denominator <= 0) {
      continue;
    }
    const double ratio = numerator / denominator;
    const std::string line =
        comparison.target > 0
            ? ComparisonLine(comparison.label, comparison.ratioName, ratio,
                             "<= " + FormatNumber(comparison.target), ratio <= comparison.target)
            : comparison.label + ": " + comparison.ratioName + " = " + FormatNumber(ratio) +
                  " (no target)";
    std::printf("%s   [%s %s, %s %s]\n", line.c_str(), comparison.numerator.c_str(),
                FormatTime(numerator).c_str(), comparison.denominator.c_str(),
                FormatTime(denominator).c_str());
  }
  for (const Measurement& measurement : measurements) {
    double seconds = 0;
    const benchmark::UserCounters* counters = reporter.CountersOf(measurement.benchmark);
    if (!reporter.Find(measurement.benchmark, &seconds) || counters == nullptr) {
      continue;
    }
    std::string line = measurement.label + ": " + FormatTime(seconds) + " per call";
    for (const auto& [name, counter] : *counters) {
      line += ", " + name + " = " + FormatNumber(counter.value);
    }
    std::printf("%s (no target)   [%s]\n", line.c_str(), measurement.benchmark.c_str());
  }
  std::fflush(stdout);
  return 0;
}

}  // namespace halvex::bench
