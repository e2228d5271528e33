// The one output rule of every benchmark program: each goal on a line of its own,
//   <what>: <ratio> (goal <= <limit>)     or     <what>: <ratio> (goal >= <limit>)
// and, when the work a goal is made of failed (a run skipped with an error, a
// figure that came out empty), `<what>: FAILED (goal <= <limit>)`. Absolute
// times and memory are plain lines beside them. The program's exit code is 0
// when every goal printed was met, 1 when one was missed, 2 when one failed;
// `./dev bench` reads the lines and names the goals missed.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <time.h>

namespace sqda::bench {

class Goals
{
public:
    // `ratio` at most `limit`; a ratio that is not a finite positive number
    // (empty figures, failed work) prints FAILED.
    void atMost(const std::string &what, double ratio, double limit, bool workFailed = false)
    {
        print(what, ratio, "<=", limit, workFailed, ratio <= limit);
    }
    void atLeast(const std::string &what, double ratio, double limit, bool workFailed = false)
    {
        print(what, ratio, ">=", limit, workFailed, ratio >= limit);
    }

    // A plain line: an absolute time, a memory figure, the machine's state.
    static void note(const char *format, ...) __attribute__((format(printf, 1, 2)))
    {
        va_list args;
        va_start(args, format);
        std::vfprintf(stdout, format, args);
        va_end(args);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }

    int exitCode() const { return m_failed ? 2 : m_missed ? 1 : 0; }

    // The build type the program was compiled in, for the output's first lines.
    static const char *buildType()
    {
#ifdef SQDA_BENCH_BUILD_TYPE
        return SQDA_BENCH_BUILD_TYPE;
#else
        return "unknown";
#endif
    }

private:
    void print(const std::string &what, double ratio, const char *op, double limit, bool workFailed, bool met)
    {
        if (workFailed || !std::isfinite(ratio) || ratio <= 0) {
            std::printf("%s: FAILED (goal %s %.2f)\n", what.c_str(), op, limit);
            m_failed = true;
        } else {
            std::printf("%s: %.3f (goal %s %.2f)\n", what.c_str(), ratio, op, limit);
            m_missed = m_missed || !met;
        }
        std::fflush(stdout);
    }

    bool m_failed = false;
    bool m_missed = false;
};

// Keeps what each run measured and whether its work failed, for goals made
// from the standard runs' times (benchmarks without their own samples).
// The benchmark library's table goes to the error stream, so that standard
// output holds only the goal lines and the plain figures.
class GoalReporter : public benchmark::ConsoleReporter
{
public:
    GoalReporter()
        : ConsoleReporter(OO_Tabular)
    {
        SetOutputStream(&std::cerr);
        SetErrorStream(&std::cerr);
    }

    // Real (or manual) time per iteration, processor time per iteration.
    std::map<std::string, double> real, cpu;
    std::map<std::string, std::map<std::string, double>> counters;
    std::set<std::string> failed;

    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &r : runs) {
            const std::string name = r.benchmark_name();
            if (r.error_occurred) {
                failed.insert(name);
                std::fprintf(stderr, "%s: %s\n", name.c_str(), r.error_message.c_str());
                continue;
            }
            real[name] = r.GetAdjustedRealTime();
            cpu[name] = r.GetAdjustedCPUTime();
            for (const auto &[key, counter] : r.counters)
                counters[name][key] = counter.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    bool ran(const std::string &name) const { return real.count(name) || failed.count(name); }
    bool anyFailed(std::initializer_list<std::string> names) const
    {
        return std::any_of(names.begin(), names.end(), [this](const std::string &n) { return failed.count(n) > 0; });
    }
    // A counter of a run; 0 when the run or the counter is missing.
    double counter(const std::string &name, const std::string &key) const
    {
        const auto run = counters.find(name);
        if (run == counters.end())
            return 0;
        const auto c = run->second.find(key);
        return c == run->second.end() ? 0 : c->second;
    }
    // ours / reference from `times` (real or cpu); 0 when either is missing.
    static double ratio(const std::map<std::string, double> &times, const std::string &ours, const std::string &ref)
    {
        const auto a = times.find(ours), b = times.find(ref);
        return a == times.end() || b == times.end() || b->second <= 0 ? 0 : a->second / b->second;
    }
};

// Samples of the two sides of a comparison taken in turns within one run; the
// goals are made of their medians.
class Samples
{
public:
    void add(const std::string &name, double seconds) { m_samples[name].push_back(seconds); }
    double last(const std::string &name) const
    {
        const auto it = m_samples.find(name);
        return it == m_samples.end() || it->second.empty() ? 0 : it->second.back();
    }
    double median(const std::string &name) const
    {
        const auto it = m_samples.find(name);
        if (it == m_samples.end() || it->second.empty())
            return 0;
        std::vector<double> v = it->second;
        std::sort(v.begin(), v.end());
        return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    }
    double fastest(const std::string &name) const
    {
        const auto it = m_samples.find(name);
        return it == m_samples.end() || it->second.empty() ? 0
                                                           : *std::min_element(it->second.begin(), it->second.end());
    }
    void clear() { m_samples.clear(); }
    const std::map<std::string, std::vector<double>> &all() const { return m_samples; }

private:
    std::map<std::string, std::vector<double>> m_samples;
};

// " <n>", the size a sample's name ends with.
inline std::string spaced(long long n)
{
    char text[24];
    std::snprintf(text, sizeof text, " %lld", n);
    return text;
}

// Processor time of the whole process (every thread) and of the calling thread, and wall time, in seconds.
inline double processCpuNow()
{
    timespec ts {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}
inline double threadCpuNow()
{
    timespec ts {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}
inline double wallNow()
{
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// A line naming the program, its build type and the machine's load average, at
// the start and at the end of every program's output.
inline void printLoad(const char *program, const char *when)
{
    double load[3] = { 0, 0, 0 };
    if (FILE *f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf %lf %lf", &load[0], &load[1], &load[2]) != 3)
            load[0] = load[1] = load[2] = 0;
        std::fclose(f);
    }
    Goals::note("%s %s: build type %s, load average %.2f %.2f %.2f", program, when, Goals::buildType(), load[0],
        load[1], load[2]);
}

} // namespace sqda::bench
