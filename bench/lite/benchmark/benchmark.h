// The part of Google Benchmark's interface that our benchmarks use, for the
// Windows cross build, where the system has no build of the library: each
// benchmark runs with more iterations until it has run for its minimum time
// (0.5 s unless MinTime says), and prints its time per iteration and its
// counters in the library's console layout, so that the same sources and
// the same readers serve both systems. Its CPU column is the wall time.
#pragma once
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace benchmark {

enum TimeUnit { kNanosecond, kMicrosecond, kMillisecond };

class State {
public:
    explicit State(int64_t nIterations) : m_nLeft(nIterations), m_nIterations(nIterations) {}

    struct Value {
        ~Value() {}  // not trivial: no unused-variable warning for "auto _"
    };
    class Iterator {
    public:
        explicit Iterator(State* pState) : m_pState(pState) {}
        Value operator*() const { return Value(); }
        Iterator& operator++() {
            --m_pState->m_nLeft;
            return *this;
        }
        bool operator!=(const Iterator&) const {
            if (m_pState->m_nLeft > 0)
                return true;
            m_pState->Stop();
            return false;
        }

    private:
        State* m_pState;
    };
    Iterator begin() {
        Start();
        return Iterator(this);
    }
    Iterator end() { return Iterator(this); }

    void PauseTiming() { m_dRun += Since(m_tStart); }
    void ResumeTiming() { m_tStart = Clock::now(); }
    void SkipWithError(const char* text) {
        m_strError = text;
        m_nLeft = 0;
    }
    void SetLabel(const std::string& label) { m_strLabel = label; }
    int64_t iterations() const { return m_nIterations; }

    std::map<std::string, double> counters;
    double Seconds() const { return m_dRun; }
    const std::string& Error() const { return m_strError; }
    const std::string& Label() const { return m_strLabel; }

private:
    using Clock = std::chrono::steady_clock;
    static double Since(Clock::time_point t) {
        return std::chrono::duration<double>(Clock::now() - t).count();
    }
    void Start() { m_tStart = Clock::now(); }
    void Stop() { m_dRun += Since(m_tStart); }

    int64_t m_nLeft;
    int64_t m_nIterations;
    Clock::time_point m_tStart;
    double m_dRun = 0;
    std::string m_strError;
    std::string m_strLabel;
};

template <class T>
inline void DoNotOptimize(const T& value) {
    asm volatile("" : : "r,m"(value) : "memory");
}

namespace internal {

struct SBenchmark {
    const char* name;
    void (*fn)(State&);
    TimeUnit unit = kNanosecond;
    double dMinTime = 0.5;
    SBenchmark* Unit(TimeUnit u) {
        unit = u;
        return this;
    }
    SBenchmark* MinTime(double seconds) {
        dMinTime = seconds;
        return this;
    }
};

inline std::vector<SBenchmark*>& Registry() {
    static std::vector<SBenchmark*> all;
    return all;
}

inline SBenchmark* Register(const char* name, void (*fn)(State&)) {
    Registry().push_back(new SBenchmark{name, fn});
    return Registry().back();
}

inline void Report(const SBenchmark& b, const State& state) {
    if (!state.Error().empty()) {
        std::printf("%-28s ERROR OCCURRED: '%s'\n", b.name, state.Error().c_str());
        return;
    }
    const double scale = b.unit == kMillisecond ? 1e3 : b.unit == kMicrosecond ? 1e6 : 1e9;
    const char* unit = b.unit == kMillisecond ? "ms" : b.unit == kMicrosecond ? "us" : "ns";
    const double each = state.Seconds() * scale / static_cast<double>(state.iterations());
    std::printf("%-28s %10.3f %s %10.3f %s %10lld", b.name, each, unit, each, unit,
                static_cast<long long>(state.iterations()));
    for (const auto& c : state.counters)
        std::printf(" %s=%g", c.first.c_str(), c.second);
    if (!state.Label().empty())
        std::printf(" %s", state.Label().c_str());
    std::printf("\n");
}

}  // namespace internal

inline void Initialize(int*, char**) {}

inline void RunSpecifiedBenchmarks() {
    std::printf("%-28s %13s %13s %10s\n", "Benchmark", "Time", "CPU", "Iterations");
    for (const internal::SBenchmark* b : internal::Registry()) {
        for (int64_t n = 1;; n *= 10) {
            State state(n);
            b->fn(state);
            if (!state.Error().empty() || state.Seconds() >= b->dMinTime ||
                n >= (int64_t(1) << 40)) {
                internal::Report(*b, state);
                break;
            }
            // Straight to about the minimum time once a run took long enough to tell.
            if (state.Seconds() > b->dMinTime / 100) {
                const double want = 1.4 * b->dMinTime / state.Seconds() * static_cast<double>(n);
                n = static_cast<int64_t>(want) / 10 + 1;
            }
        }
    }
    std::fflush(stdout);
}

}  // namespace benchmark

#define DORUZORO_BENCH_CAT2(a, b) a##b
#define DORUZORO_BENCH_CAT(a, b) DORUZORO_BENCH_CAT2(a, b)
#define BENCHMARK(fn)                                                                \
    static ::benchmark::internal::SBenchmark* DORUZORO_BENCH_CAT(g_bench_, __LINE__) \
        [[maybe_unused]] = ::benchmark::internal::Register(#fn, fn)
#define BENCHMARK_MAIN()                       \
    int main(int argc, char** argv) {          \
        ::benchmark::Initialize(&argc, argv);  \
        ::benchmark::RunSpecifiedBenchmarks(); \
        return 0;                              \
    }
