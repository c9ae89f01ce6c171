// Ratios between benchmarks of one run, printed after the usual table with the goal each must meet.
//
// A program lists its ratios and calls runWithRatios from main instead of RunSpecifiedBenchmarks. Lines
// start with "ratio:" so that `./setup.sh bench` can gather them into one table.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace benchratio {

// Either the speed of `ours` against `reference` (the reference's time over ours, CPU time for work on
// one thread, wall time otherwise), or, with no reference, the counter `counter` of `ours`.
struct Ratio {
    std::string what;
    std::string ours;
    std::string reference;
    double goal = 1.0;
    bool wallTime = false;
    std::string counter;
    bool atMost = false; // the goal is an upper bound (a share of a core, say), not a lower one
};

// Ours against a reference benchmark of the same run.
inline Ratio speed(std::string what, std::string ours, std::string reference, double goal = 1.0, bool wallTime = false)
{
    Ratio ratio;
    ratio.what = std::move(what);
    ratio.ours = std::move(ours);
    ratio.reference = std::move(reference);
    ratio.goal = goal;
    ratio.wallTime = wallTime;
    return ratio;
}

// A counter that a benchmark computes itself (already a ratio).
inline Ratio counter(std::string what, std::string run, std::string name, double goal)
{
    Ratio ratio;
    ratio.what = std::move(what);
    ratio.ours = std::move(run);
    ratio.counter = std::move(name);
    ratio.goal = goal;
    return ratio;
}

// A counter of a benchmark that must stay at or below `goal`.
inline Ratio counterAtMost(std::string what, std::string run, std::string name, double goal)
{
    Ratio ratio = counter(std::move(what), std::move(run), std::move(name), goal);
    ratio.atMost = true;
    return ratio;
}

// Prints one ratio line; answers whether the goal is met (a negative value: not measured).
inline bool printRatio(const std::string& what, double value, double goal, bool atMost = false)
{
    const char* bound = atMost ? "<=" : ">=";
    if (value < 0) {
        std::printf("ratio: %-62s   not measured (goal %s %.2f)\n", what.c_str(), bound, goal);
        return false;
    }
    const bool met = atMost ? value <= goal : value >= goal;
    std::printf("ratio: %-62s %6.2f (goal %s %.2f) %s\n", what.c_str(), value, bound, goal, met ? "met" : "MISSED");
    return met;
}

class Collector : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (!run.error_occurred && run.run_type == Run::RT_Iteration)
                m_runs[run.benchmark_name()] = run;
        ConsoleReporter::ReportRuns(runs);
    }

    const Run* find(const std::string& name) const
    {
        auto it = m_runs.find(name);
        return it == m_runs.end() ? nullptr : &it->second;
    }

private:
    std::map<std::string, Run> m_runs;
};

inline int runWithRatios(int argc, char** argv, const std::vector<Ratio>& ratios)
{
    benchmark::Initialize(&argc, argv);
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    benchmark::Shutdown();
    int missed = 0;
    for (const Ratio& ratio : ratios) {
        const auto* ours = collector.find(ratio.ours);
        const auto* reference = ratio.reference.empty() ? nullptr : collector.find(ratio.reference);
        double value = -1;
        if (ours && !ratio.counter.empty()) {
            auto it = ours->counters.find(ratio.counter);
            if (it != ours->counters.end())
                value = it->second.value;
        } else if (ours && reference) {
            const double mine = ratio.wallTime ? ours->GetAdjustedRealTime() : ours->GetAdjustedCPUTime();
            const double theirs = ratio.wallTime ? reference->GetAdjustedRealTime() : reference->GetAdjustedCPUTime();
            if (mine > 0)
                value = theirs / mine;
        }
        if (!printRatio(ratio.what, value, ratio.goal, ratio.atMost))
            ++missed;
    }
    if (missed > 0)
        std::printf("ratio: %d of %zu goals missed or not measured\n", missed, ratios.size());
    std::fflush(stdout);
    return 0;
}

} // namespace benchratio
