// Time from OK on the open-file dialog to the list filled, for tables of 1,000, 10,000
// and 100,000 names, with the ratio between consecutive sizes. Prints, asserts nothing.
//
//   gui_bench PROGRAM WORKDIR
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "nod_fixture.h"
#include "program.h"
#include "support.h"

using namespace e2e;

namespace {

constexpr int kRuns = 3;
constexpr double kGoal = 12.0;  // at most 12x the time for 10x the names

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER freq;
    QueryPerformanceFrequency(&freq);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(freq.QuadPart);
}

std::string TableOf(int count) {
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(count));
    char buf[32];
    for (int i = 0; i < count; ++i) {
        std::snprintf(buf, sizeof buf, "Material_%06d", i);
        names.push_back(buf);
    }
    return NodTable(names) + "model data";
}

double TimeOneOpen(const std::string& exe, const std::string& work, const std::string& path, int count) {
    Program p(exe, work);
    HWND open = p.ShowOpenDialog();
    p.EnterFileName(open, path);
    HWND list = p.Item(ui::kList);
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    PostCommand(open, IDOK);
    // LB_GETCOUNT is answered only between the program's messages, so the count is seen
    // complete as soon as the handler that fills the list returns.
    bool filled = WaitUntil([&] { return ListCount(list) == count; }, 600000, 1);
    QueryPerformanceCounter(&end);
    if (!filled) Fail("the list never held " + std::to_string(count) + " names");
    p.Exit();
    return Seconds(start, end);
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s PROGRAM WORKDIR\n", argv[0]);
        return 2;
    }
    const std::string exe = argv[1], work = argv[2];
    const int sizes[] = {1000, 10000, 100000};
    std::vector<double> medians;
    try {
        for (int count : sizes) {
            std::string path = work + "\\bench-" + std::to_string(count) + ".nod";
            WriteFileBytes(path, TableOf(count));
            std::vector<double> times;
            for (int run = 0; run < kRuns; ++run) times.push_back(TimeOneOpen(exe, work, path, count));
            std::vector<double> sorted = times;
            std::sort(sorted.begin(), sorted.end());
            medians.push_back(sorted[kRuns / 2]);
            std::printf("open %6d names:", count);
            for (double t : times) std::printf(" %8.1f ms", t * 1000.0);
            std::printf("   median %8.1f ms\n", medians.back() * 1000.0);
        }
    } catch (const CaseFailure& e) {
        std::printf("benchmark failed: %s\n", e.what());
        return 1;
    }
    for (std::size_t i = 1; i < medians.size(); ++i) {
        double ratio = medians[i] / medians[i - 1];
        std::printf("%6d -> %6d names: %5.2fx the time for 10x the names (goal: at most %.0fx) %s\n", sizes[i - 1],
                    sizes[i], ratio, kGoal, ratio <= kGoal ? "met" : "NOT met");
    }
    return 0;
}
