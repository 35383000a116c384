// Cost of reading and writing the material table, measured against two baselines in one
// run: the same one-name table in a tiny file and in a 4 GiB sparse file (the model data
// after the table must cost nothing), and raw stdio of the same table bytes (the parsing
// and formatting overhead). After the usual table it prints each ratio against its goal.
#include "nodfile/material_table.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr off_t kSmallFileSize = 1024;
constexpr off_t kSparseFileSize = off_t(4) << 30;
constexpr std::size_t kModelDataSize = 1024;  // after the larger tables

using Clock = std::chrono::steady_clock;

std::string g_dir;  // a fresh folder under the build tree, removed before exit
std::vector<std::string> g_files;  // fixed before any signal handler can run

std::string FilePath(const std::string& name) { return g_dir + "/" + name; }

void RemoveFiles()
{
    for (const std::string& path : g_files)
        ::unlink(path.c_str());
    ::rmdir(g_dir.c_str());
}

// An interrupted run must not leave its 4 GiB file behind either.
extern "C" void OnSignal(int signal_number)
{
    RemoveFiles();
    ::signal(signal_number, SIG_DFL);
    ::raise(signal_number);
}

// Names of every length from 0 to 32 bytes, so both short and long names are measured.
MaterialTable MakeNames(std::size_t count)
{
    MaterialTable names;
    std::string name;
    for (std::size_t i = 0; i < count; ++i) {
        name.assign(i % (kMaterialNameSize + 1), 'a');
        for (std::size_t j = 0; j < name.size(); ++j)
            name[j] = static_cast<char>('a' + (i + j * 7) % 26);
        names.push_back(name);
    }
    return names;
}

std::vector<unsigned char> EncodeTable(const MaterialTable& names)
{
    std::vector<unsigned char> bytes(8 + names.size() * kMaterialNameSize, 0);
    const auto put = [&](std::size_t at, std::uint32_t v) {
        for (int k = 0; k < 4; ++k)
            bytes[at + k] = static_cast<unsigned char>(v >> (8 * k));
    };
    put(0, kMaterialTableVersion);
    put(4, static_cast<std::uint32_t>(names.size()));
    for (std::size_t i = 0; i < names.size(); ++i)
        std::memcpy(&bytes[8 + i * kMaterialNameSize], names[i].data(), names[i].size());
    return bytes;
}

// Writes the table and sets the file's length; whatever the table leaves is a hole.
bool CreateFile(const std::string& path, const std::vector<unsigned char>& table, off_t size)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    bool ok = ::write(fd, table.data(), table.size()) == static_cast<ssize_t>(table.size());
    ok = ::ftruncate(fd, size) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    return ok;
}

// Every benchmark times only the file work itself, by the wall clock; `after` runs
// untimed (freeing what a read returned is the caller's cost, not the reader's), though
// the CPU column still counts it.
template <typename Work, typename After>
void TimeEach(benchmark::State& state, const char* failure, Work work, After after)
{
    for (auto _ : state) {
        const auto start = Clock::now();
        const bool ok = work();
        const auto stop = Clock::now();
        if (!ok) {
            state.SkipWithError(failure);
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
        after();
    }
}

template <typename Work>
void TimeEach(benchmark::State& state, const char* failure, Work work)
{
    TimeEach(state, failure, work, [] {});
}

void BM_Read(benchmark::State& state, std::string path, std::size_t count)
{
    MaterialTable names;  // empty at each call, as the dialog's is
    TimeEach(
        state, "the table did not load",
        [&] { return ReadMaterialTable(path, names) == TableReadResult::Loaded && names.size() == count; },
        [&] { names = MaterialTable(); });
}

void BM_Write(benchmark::State& state, std::string path, MaterialTable names)
{
    TimeEach(state, "the table was not saved",
             [&] { return WriteMaterialTable(path, names) == TableWriteResult::Saved; });
}

// The least any reader must do: open, one fread of the table bytes from offset 0, close.
void BM_RawRead(benchmark::State& state, std::string path, std::size_t bytes)
{
    std::vector<unsigned char> buffer(bytes);
    TimeEach(state, "raw read failed", [&] {
        std::FILE* file = std::fopen(path.c_str(), "rb");
        if (!file)
            return false;
        const bool ok = std::fread(buffer.data(), 1, bytes, file) == bytes;
        std::fclose(file);
        benchmark::DoNotOptimize(buffer.data());
        return ok;
    });
}

// The least any writer must do: open for update, one fwrite at offset 0, flush, close.
void BM_RawWrite(benchmark::State& state, std::string path, std::vector<unsigned char> bytes)
{
    TimeEach(state, "raw write failed", [&] {
        std::FILE* file = std::fopen(path.c_str(), "r+b");
        if (!file)
            return false;
        bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        ok = std::fflush(file) == 0 && ok;
        ok = std::fclose(file) == 0 && ok;
        return ok;
    });
}

template <typename... Args>
void Register(const std::string& name, Args&&... args)
{
    benchmark::RegisterBenchmark(name.c_str(), std::forward<Args>(args)...)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
}

struct Times {
    double real = 0;  // seconds per iteration; zero when the benchmark did not run or failed
    double cpu = 0;
};

// Keeps each benchmark's times and prints the usual table, in the order of registration
// although repetitions run interleaved; with repetitions only the median is shown, and it
// alone stands for the benchmark.
class CollectingReporter : public benchmark::ConsoleReporter {
public:
    CollectingReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type != Run::RT_Iteration && !median)
                continue;
            shown_.push_back(run);
            if (run.error_occurred)
                continue;
            const double unit = benchmark::GetTimeUnitMultiplier(run.time_unit);
            const Times t{run.GetAdjustedRealTime() / unit, run.GetAdjustedCPUTime() / unit};
            const std::string& name = run.run_name.function_name;
            if (median)
                medians_[name] = t;
            else
                samples_[name].push_back(t);
        }
    }

    void Finalize() override
    {
        std::stable_sort(shown_.begin(), shown_.end(), [](const Run& a, const Run& b) {
            return a.family_index < b.family_index;
        });
        if (!shown_.empty())
            ConsoleReporter::ReportRuns(shown_);
        ConsoleReporter::Finalize();
    }

    Times Get(const std::string& name) const
    {
        if (const auto m = medians_.find(name); m != medians_.end())
            return m->second;
        const auto s = samples_.find(name);
        if (s == samples_.end() || s->second.empty())
            return {};
        std::vector<Times> v = s->second;
        const auto middle = v.begin() + v.size() / 2;
        std::nth_element(v.begin(), middle, v.end(),
                         [](const Times& a, const Times& b) { return a.real < b.real; });
        return *middle;
    }

private:
    std::vector<Run> shown_;
    std::map<std::string, std::vector<Times>> samples_;
    std::map<std::string, Times> medians_;
};

struct Ratio {
    std::string what;
    std::string measured;
    std::string baseline;
    double goal;  // zero: shown without a goal
};

void PrintSummary(const CollectingReporter& reporter, const std::vector<Ratio>& ratios)
{
    std::printf("\nRatios (real time, this run):\n");
    bool waited = false;
    for (const Ratio& r : ratios) {
        const Times a = reporter.Get(r.measured);
        const Times b = reporter.Get(r.baseline);
        const bool measured = a.real > 0 && b.real > 0;
        // Real time well above CPU time means the process waited for a processor.
        waited = waited || a.real > 1.15 * a.cpu || b.real > 1.15 * b.cpu;
        std::printf("  %-40s ", r.what.c_str());
        if (measured)
            std::printf("%7.2fx", a.real / b.real);
        else
            std::printf("   not measured");
        if (r.goal > 0) {
            std::printf("  goal <= %.1fx", r.goal);
            if (measured)
                std::printf("  %s", a.real / b.real <= r.goal ? "meets" : "MISSES");
        }
        std::printf("\n");
    }
    if (waited)
        std::printf("Note: real time ran well above CPU time; other work on the machine "
                    "skews these figures.\n");
}

}  // namespace

int main(int argc, char** argv)
{
    // Other work on the machine makes a single run swing by 10 to 20 percent, so by default
    // each benchmark runs five times, interleaved in random order, and the ratios use the
    // medians. Flags given on the command line come later and win.
    std::vector<char*> args = {argv[0]};
    char repetitions[] = "--benchmark_repetitions=5";
    char min_time[] = "--benchmark_min_time=0.2";
    char aggregates[] = "--benchmark_display_aggregates_only=true";
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    args.insert(args.end(), {repetitions, min_time, aggregates, interleave});
    args.insert(args.end(), argv + 1, argv + argc);
    int arg_count = static_cast<int>(args.size());
    args.push_back(nullptr);
    benchmark::Initialize(&arg_count, args.data());
    if (benchmark::ReportUnrecognizedArguments(arg_count, args.data()))
        return 1;

    std::string dir_template = std::string(MATERIAL_BENCH_DIR) + "/files-XXXXXX";
    if (!::mkdtemp(dir_template.data())) {
        std::perror("cannot create the benchmark folder");
        return 1;
    }
    g_dir = dir_template;

    bool ready = true;
    const auto make = [&](const std::string& name, const std::vector<unsigned char>& table,
                          off_t size) {
        const std::string path = FilePath(name);
        g_files.push_back(path);
        if (!CreateFile(path, table, size)) {
            std::perror(path.c_str());
            ready = false;
        }
        return path;
    };

    const MaterialTable one = {"stone"};
    const std::vector<unsigned char> one_bytes = EncodeTable(one);
    const std::string small = make("small.nod", one_bytes, kSmallFileSize);
    const std::string sparse = make("sparse.nod", one_bytes, kSparseFileSize);
    Register("Read/1name/1KiB", BM_Read, small, one.size());
    Register("Read/1name/4GiB", BM_Read, sparse, one.size());
    Register("Write/1name/1KiB", BM_Write, small, one);
    Register("Write/1name/4GiB", BM_Write, sparse, one);

    std::vector<Ratio> ratios = {
        {"read 1 name, 4 GiB file / 1 KiB file", "Read/1name/4GiB", "Read/1name/1KiB", 1.1},
        {"write 1 name, 4 GiB file / 1 KiB file", "Write/1name/4GiB", "Write/1name/1KiB", 1.1},
    };

    for (const std::size_t count : {std::size_t(1000), std::size_t(100000)}) {
        const MaterialTable names = MakeNames(count);
        const std::vector<unsigned char> bytes = EncodeTable(names);
        const std::string n = std::to_string(count);
        const std::string path =
            make("table" + n + ".nod", bytes, static_cast<off_t>(bytes.size() + kModelDataSize));
        Register("Read/" + n, BM_Read, path, count);
        Register("RawRead/" + n, BM_RawRead, path, bytes.size());
        Register("Write/" + n, BM_Write, path, names);
        Register("RawWrite/" + n, BM_RawWrite, path, bytes);
        // The goals hold for the large table; the small one is shown for the trend.
        const bool large = count == 100000;
        ratios.push_back({"read " + n + " names / raw fread", "Read/" + n, "RawRead/" + n,
                          large ? 10.0 : 0.0});
        ratios.push_back({"write " + n + " names / raw fwrite", "Write/" + n, "RawWrite/" + n,
                          large ? 3.0 : 0.0});
    }

    ::signal(SIGINT, OnSignal);
    ::signal(SIGTERM, OnSignal);
    ::signal(SIGHUP, OnSignal);

    // A missed goal is a finding to report, not a failure of the run.
    if (ready) {
        CollectingReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        PrintSummary(reporter, ratios);
    }
    benchmark::Shutdown();

    RemoveFiles();
    return ready ? 0 : 1;
}
