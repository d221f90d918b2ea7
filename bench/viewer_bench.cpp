// The picture viewer on a 10000 x 10000 picture (300 MB), offscreen:
//   FirstFit       the first Fit repaint into an 800 x 800 canvas, which
//                  builds the halved levels, and the memory that adds per
//                  picture pixel, as the process's resident size grows;
//   PyramidBuild   building every level from the picture, with the bytes
//                  per picture pixel they hold by their own count;
//   FitRepaint     a Fit repaint once the levels exist: what every later
//                  repaint (a resize, an exposed window) costs;
//   ZoomedRepaint  a repaint at 4x, from the picture's own rows.
#include "picture_pyramid.h"
#include "picture_view.h"

#include <QApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QWheelEvent>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <malloc.h>
#include <unistd.h>

using namespace quadfind;

namespace {

constexpr int kSide = 10000;
constexpr double kPixels = double(kSide) * kSide;

// A blue edge map: a one-pixel outline, with a green and a red diagonal.
const PictureSurface& Picture() {
    static const PictureSurface picture = [] {
        PictureSurface p(kSide, kSide);
        for (const int at : {1000, kSide - 1000}) {
            p.setPenColour(0xFF0000);
            p.moveTo(1000, at), p.lineTo(kSide - 1000, at);
            p.moveTo(at, 1000), p.lineTo(at, kSide - 1000);
        }
        p.setPenColour(0x00FF00), p.moveTo(0, 0), p.lineTo(kSide, kSide);
        p.setPenColour(0x0000FF), p.moveTo(kSide - 1, 0), p.lineTo(-1, kSide);
        return p;
    }();
    return picture;
}

double ResidentBytes() {
    long pages = 0, resident = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE));
}

void FirstFit(benchmark::State& state) {
    const PictureSurface& picture = Picture();
    QImage target(800, 800, QImage::Format_RGB32);
    target.fill(0);
    double added = 0;
    for (auto _ : state) {
        state.PauseTiming();
        // What earlier runs freed goes back to the system, so that every run
        // finds the levels' memory untouched, as the first one does.
        malloc_trim(0);
        TPictureCanvas canvas;
        canvas.resize(800, 800);
        canvas.showPicture(&picture);
        canvas.setFit(true);
        const double before = ResidentBytes();
        state.ResumeTiming();
        canvas.render(&target);
        state.PauseTiming();
        added = ResidentBytes() - before;
        state.ResumeTiming();
    }
    state.counters["added_bytes_per_pixel"] = added / kPixels;
}
BENCHMARK(FirstFit)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void PyramidBuild(benchmark::State& state) {
    const PictureSurface& picture = Picture();
    std::size_t bytes = 0;
    for (auto _ : state) {
        PicturePyramid pyramid(&picture);
        benchmark::DoNotOptimize(pyramid.level(pyramid.levelCount() - 1).row(0));
        bytes = pyramid.bytes();
    }
    state.counters["bytes_per_pixel"] = double(bytes) / kPixels;
}
BENCHMARK(PyramidBuild)->Unit(benchmark::kMillisecond)->UseRealTime();

void Repaint(benchmark::State& state, bool fit) {
    TPictureCanvas canvas;
    canvas.resize(800, 800);
    canvas.showPicture(&Picture());
    canvas.setWheelZooms(true);
    canvas.setFit(fit);
    if (!fit) { // 4x around the middle
        QWheelEvent notches({400, 400}, {400, 400}, {}, {0, 240}, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                            false);
        QApplication::sendEvent(&canvas, &notches);
    }
    QImage target(800, 800, QImage::Format_RGB32);
    canvas.render(&target); // builds what it needs
    for (auto _ : state) {
        canvas.render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
    state.counters["scale"] = canvas.scale();
}
BENCHMARK_CAPTURE(Repaint, FitRepaint, true)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Repaint, ZoomedRepaint, false)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt would otherwise make /tmp/runtime-$USER and leave it there.
    QTemporaryDir runtime;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && runtime.isValid())
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    QApplication application(argc, argv);
    { // Qt's own first-use costs (style, fonts) are not the viewer's
        TPictureCanvas warm;
        QImage target(8, 8, QImage::Format_RGB32);
        warm.render(&target);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
