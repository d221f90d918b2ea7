// The edge-detection command at 1920 x 480 on three kinds of picture, against
// two references in the same run:
//   Floor   copying the picture's bytes twice, the least any implementation
//           must move (the working copy in, the edge map out);
//   OpenCV  the same operators as a user would write them with OpenCV, with
//           its default thread count and held to one thread (OpenCV1T).
// Then a size sweep of the command from 0.1 to 40 megapixels.
//
// After the runs it prints command/floor and command/OpenCV from the median
// real times when --benchmark_repetitions > 1, from the single run otherwise,
// and the command's time per pixel across the sweep.
#include "edge_detection.h"
#include "edge_pass.h"
#include "intensity_grid.h"

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

using namespace quadfind;

namespace {

constexpr int kWidth = 1920, kHeight = 480;

PictureSurface blankPicture(int w, int h) {
    PictureSurface s(w, h);
    for (int y = 0; y < h; ++y)
        std::memset(s.row(y), 0x80, s.rowBytes());
    return s;
}

// A bright convex quadrilateral, not axis-aligned, on a dark background.
PictureSurface quadPicture(int w, int h) {
    PictureSurface s(w, h);
    const double px[4] = {0.20 * w, 0.80 * w, 0.70 * w, 0.25 * w};
    const double py[4] = {0.15 * h, 0.25 * h, 0.85 * h, 0.75 * h};
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = s.row(y);
        for (int x = 0; x < w; ++x) {
            bool inside = true;
            for (int i = 0; i < 4; ++i) {
                const int j = (i + 1) % 4;
                const double cross = (px[j] - px[i]) * (y - py[i]) - (py[j] - py[i]) * (x - px[i]);
                inside = inside && cross >= 0;
            }
            const std::uint8_t v = inside ? 0xE0 : 0x18;
            row[3 * x] = v;
            row[3 * x + 1] = v;
            row[3 * x + 2] = std::uint8_t(v / 2);
        }
    }
    return s;
}

PictureSurface noisePicture(int w, int h) {
    PictureSurface s(w, h);
    std::mt19937 rng(12345);
    for (int y = 0; y < h; ++y)
        for (std::size_t i = 0; i < s.rowBytes(); ++i)
            s.row(y)[i] = std::uint8_t(rng());
    return s;
}

struct Kind {
    const char* name;
    PictureSurface (*make)(int, int);
};
const Kind kKinds[] = {{"blank", blankPicture}, {"quad", quadPicture}, {"noise", noisePicture}};

// The straightforward OpenCV version: both kernels with filter2D, absolute
// value, div 4, sum, threshold, findNonZero, then paint the interior and draw
// the two diagonals. Buffers are members so that repeated runs reuse them.
class OpenCvDetector {
public:
    EdgeScanResult run(const PictureSurface& picture) {
        EdgeScanResult r;
        const int w = picture.width(), h = picture.height();
        const cv::Mat src(h, w, CV_8UC3, const_cast<std::uint8_t*>(picture.row(0)), picture.rowBytes());
        src.copyTo(work_);
        if (w < 3 || h < 3)
            return r;
        cv::extractChannel(src, blue_, 0);
        cv::filter2D(blue_, sy_, CV_16S, ky_, cv::Point(-1, -1), 0, cv::BORDER_REPLICATE);
        cv::filter2D(blue_, sx_, CV_16S, kx_, cv::Point(-1, -1), 0, cv::BORDER_REPLICATE);
        cv::absdiff(sy_, cv::Scalar::all(0), sy_);
        cv::absdiff(sx_, cv::Scalar::all(0), sx_);
        // |S| div 4: the offset keeps every value off a rounding tie.
        sy_.convertTo(sy_, CV_16S, 0.25, -0.375);
        sx_.convertTo(sx_, CV_16S, 0.25, -0.375);
        cv::add(sy_, sx_, sum_);
        cv::threshold(sum_, sum_, 0, 255, cv::THRESH_BINARY);
        const cv::Rect interior(1, 1, w - 2, h - 2);
        sum_(interior).convertTo(mask_, CV_8U);
        cv::findNonZero(mask_, points_);
        cv::Mat inner = work_(interior);
        inner.setTo(cv::Scalar(0, 0, 0));
        inner.setTo(cv::Scalar(255, 0, 0), mask_);
        r.ScanEnd = {w - 2, h - 2};
        r.EdgeCount = std::int32_t(points_.size());
        if (!points_.empty()) {
            r.FirstEdge = {points_.front().x + 1, points_.front().y + 1};
            r.LastEdge = {points_.back().x + 1, points_.back().y + 1};
        }
        const cv::Point c1(r.FirstEdge.x, r.FirstEdge.y), c3(r.LastEdge.x, r.LastEdge.y);
        cv::line(work_, c1, c3, cv::Scalar(0, 255, 0));
        cv::line(work_, cv::Point(c3.x, c1.y), cv::Point(c1.x, c3.y), cv::Scalar(0, 0, 255));
        return r;
    }

private:
    const cv::Mat ky_ = (cv::Mat_<float>(3, 3) << -1, -1, -1, 0, 0, 0, 1, 1, 1);
    const cv::Mat kx_ = (cv::Mat_<float>(3, 3) << 1, 0, -1, 1, 0, -1, 1, 0, -1);
    cv::Mat work_, blue_, sy_, sx_, sum_, mask_;
    std::vector<cv::Point> points_;
};

void setBytesProcessed(benchmark::State& state, const PictureSurface& p) {
    const auto pixels = double(p.width()) * p.height();
    state.counters["pixels"] = pixels;
    // Seconds per pixel, shown with an SI prefix (n for nanoseconds).
    state.counters["per_pixel"] =
        benchmark::Counter(pixels, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void benchCommand(benchmark::State& state, const PictureSurface* picture) {
    // One untimed run sizes the working copy and the grid, as the window's
    // second and later runs find them.
    PictureSurface working;
    EdgePassWorkspace workspace;
    RunEdgeDetection(*picture, working, workspace, ".");
    for (auto _ : state) {
        auto run = RunEdgeDetection(*picture, working, workspace, ".");
        benchmark::DoNotOptimize(run);
        benchmark::DoNotOptimize(working.row(0));
        benchmark::ClobberMemory();
    }
    setBytesProcessed(state, *picture);
}

// The command as RunEdgeDetection runs it, with the kernel for any x86-64
// instead of the one chosen for this processor.
void benchPortable(benchmark::State& state, const PictureSurface* picture) {
    PictureSurface working;
    EdgePassWorkspace workspace;
    RunEdgeDetection(*picture, working, workspace, ".");
    for (auto _ : state) {
        const EdgeScanResult scan =
            CaptureAndScan(*picture, working, workspace, {EdgePassKernel::Portable, std::nullopt, std::nullopt});
        const QuadReport report = ReportQuadrilateral(scan);
        DrawDiagonals(working, scan, report);
        auto fields = FormatFields(scan, report, ".");
        benchmark::DoNotOptimize(fields);
        benchmark::DoNotOptimize(working.row(0));
        benchmark::ClobberMemory();
    }
    setBytesProcessed(state, *picture);
}

void benchOpenCv(benchmark::State& state, const PictureSurface* picture) {
    OpenCvDetector cvd;
    // Both must find the same edges, or the comparison means nothing.
    PictureSurface working;
    EdgePassWorkspace workspace;
    const EdgeScanResult ours = RunEdgeDetection(*picture, working, workspace, ".").scan;
    if (!(cvd.run(*picture) == ours)) {
        state.SkipWithError("OpenCV and the command disagree on the edge tallies");
        return;
    }
    for (auto _ : state) {
        auto r = cvd.run(*picture);
        benchmark::DoNotOptimize(r);
        benchmark::ClobberMemory();
    }
    setBytesProcessed(state, *picture);
}

// The same with OpenCV held to one thread, like the command.
void benchOpenCvOneThread(benchmark::State& state, const PictureSurface* picture) {
    const int threads = cv::getNumThreads();
    cv::setNumThreads(1);
    benchOpenCv(state, picture);
    cv::setNumThreads(threads);
}

void benchFloor(benchmark::State& state, const PictureSurface* picture) {
    const std::size_t n = picture->rowBytes() * std::size_t(picture->height());
    std::vector<std::uint8_t> a(n), b(n); // zero-filled: no page is touched first in the loop
    for (auto _ : state) {
        std::memcpy(a.data(), picture->row(0), n);
        benchmark::ClobberMemory();
        std::memcpy(b.data(), a.data(), n);
        benchmark::ClobberMemory();
    }
    setBytesProcessed(state, *picture);
}

// Median real time per iteration (seconds) of each benchmark, or the single
// run's time when there are no repetitions.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    RecordingReporter() : ConsoleReporter(isatty(fileno(stdout)) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred || run.iterations == 0)
                continue;
            const double seconds = run.real_accumulated_time / double(run.iterations);
            const std::string& name = run.run_name.function_name;
            if (run.run_type == Run::RT_Aggregate) {
                if (run.aggregate_name == "median")
                    median_[name] = seconds;
            } else {
                single_.emplace(name, seconds); // the first repetition
            }
        }
    }
    bool has(const std::string& name) const { return median_.count(name) || single_.count(name); }
    bool hasMedians() const { return !median_.empty(); }
    double seconds(const std::string& name) const {
        const auto m = median_.find(name);
        return m != median_.end() ? m->second : single_.at(name);
    }

private:
    std::map<std::string, double> median_, single_;
};

struct SweepSize {
    const char* label;
    int w, h;
};
// Aspect 4:1 like the 1920 x 480 limit.
const SweepSize kSweep[] = {
    {"0.1MP", 632, 158}, {"0.4MP", 1264, 316}, {"0.9MP", 1920, 480},
    {"4MP", 4000, 1000}, {"10MP", 6324, 1581}, {"40MP", 12648, 3162},
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;

    std::vector<std::unique_ptr<PictureSurface>> pictures;
    for (const Kind& k : kKinds) {
        pictures.push_back(std::make_unique<PictureSurface>(k.make(kWidth, kHeight)));
        const PictureSurface* p = pictures.back().get();
        benchmark::RegisterBenchmark((std::string("Command/") + k.name).c_str(), benchCommand, p)
            ->Unit(benchmark::kMicrosecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark((std::string("Portable/") + k.name).c_str(), benchPortable, p)
            ->Unit(benchmark::kMicrosecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark((std::string("OpenCV/") + k.name).c_str(), benchOpenCv, p)
            ->Unit(benchmark::kMicrosecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark((std::string("OpenCV1T/") + k.name).c_str(), benchOpenCvOneThread, p)
            ->Unit(benchmark::kMicrosecond)
            ->UseRealTime();
    }
    benchmark::RegisterBenchmark("Floor", benchFloor, pictures.front().get())
        ->Unit(benchmark::kMicrosecond)
        ->UseRealTime();

    // Sweep pictures are made when their benchmark first runs, so that the
    // 40 MP one is not held through the whole program.
    for (const SweepSize& s : kSweep) {
        benchmark::RegisterBenchmark((std::string("Sweep/") + s.label).c_str(),
                                     [s](benchmark::State& state) {
                                         const PictureSurface picture = quadPicture(s.w, s.h);
                                         benchCommand(state, &picture);
                                     })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark((std::string("SweepFloor/") + s.label).c_str(),
                                     [s](benchmark::State& state) {
                                         const PictureSurface picture(s.w, s.h);
                                         benchFloor(state, &picture);
                                     })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }

    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\nRatios at %d x %d (real time, %s; OpenCV with %d threads; kernel %s):\n", kWidth, kHeight,
                reporter.hasMedians() ? "medians of repetitions" : "single runs", cv::getNumThreads(),
                BestEdgePassKernel() == EdgePassKernel::Avx2 ? "AVX2" : "portable");
    for (const Kind& k : kKinds) {
        const std::string command = std::string("Command/") + k.name;
        const std::string opencv = std::string("OpenCV/") + k.name;
        if (!reporter.has(command))
            continue;
        const double t = reporter.seconds(command);
        std::printf("  %-6s command %8.1f us", k.name, t * 1e6);
        if (reporter.has("Floor"))
            std::printf("   command/floor %6.2f", t / reporter.seconds("Floor"));
        if (reporter.has(opencv))
            std::printf("   command/OpenCV %6.3f", t / reporter.seconds(opencv));
        if (reporter.has(std::string("OpenCV1T/") + k.name))
            std::printf("   command/OpenCV-1-thread %6.3f", t / reporter.seconds(std::string("OpenCV1T/") + k.name));
        std::printf("\n");
        const std::string portable = std::string("Portable/") + k.name;
        if (reporter.has(portable)) {
            const double tp = reporter.seconds(portable);
            std::printf("  %-6s portable kernel %8.1f us", k.name, tp * 1e6);
            if (reporter.has("Floor"))
                std::printf("   /floor %6.2f", tp / reporter.seconds("Floor"));
            if (reporter.has(opencv))
                std::printf("   /OpenCV %6.3f", tp / reporter.seconds(opencv));
            std::printf("\n");
        }
    }
    double lo = INFINITY, hi = 0;
    for (const SweepSize& s : kSweep) {
        const std::string name = std::string("Sweep/") + s.label;
        if (!reporter.has(name))
            continue;
        const double nsPerPixel = reporter.seconds(name) * 1e9 / (double(s.w) * s.h);
        lo = std::min(lo, nsPerPixel);
        hi = std::max(hi, nsPerPixel);
        std::printf("  sweep %-6s %5d x %-5d %7.3f ns/px", s.label, s.w, s.h, nsPerPixel);
        const std::string floor = std::string("SweepFloor/") + s.label;
        if (reporter.has(floor))
            std::printf("   floor %7.3f ns/px   command/floor %5.2f",
                        reporter.seconds(floor) * 1e9 / (double(s.w) * s.h),
                        reporter.seconds(name) / reporter.seconds(floor));
        std::printf("\n");
    }
    if (hi > 0)
        std::printf("  sweep slowest/fastest per pixel %.2f\n", hi / lo);
    benchmark::Shutdown();
    return 0;
}
