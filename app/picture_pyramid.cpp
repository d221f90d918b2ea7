#include "picture_pyramid.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace quadfind {

namespace {

constexpr int kChannels = PictureSurface::kBytesPerPixel;

// How the blocks of one axis fall on the level below: output pixel i is the
// mean of children 2i and 2i + 1, weighted by the picture pixels each stands
// for. All but the last child stand for `full` of them.
struct HalvingAxis {
    int children = 0; // the level below's size
    std::int64_t full = 1;
    std::int64_t last = 1; // what the last child stands for, 1..full
    int size() const { return (children + 1) / 2; }
    // Outputs whose two children both stand for `full`: the fast loop's.
    int evenOutputs() const { return children % 2 == 0 && last == full ? size() : size() - 1; }
    std::array<std::int64_t, 2> weights(int i) const {
        const auto weight = [&](int child) -> std::int64_t {
            return child >= children ? 0 : child == children - 1 ? last : full;
        };
        return {weight(2 * i), weight(2 * i + 1)};
    }
};

// A pixel on the cut-short edge: the weighted mean, rounded half up as the
// fast loop rounds.
void HalveEdgePixel(const PictureSurface& from, PictureSurface& to, const HalvingAxis& ax, const HalvingAxis& ay, int x,
                    int y) {
    const std::array<std::int64_t, 2> wx = ax.weights(x), wy = ay.weights(y);
    const double total = double(wx[0] + wx[1]) * double(wy[0] + wy[1]);
    std::uint8_t* out = to.row(y) + std::size_t(kChannels) * std::size_t(x);
    for (int c = 0; c < kChannels; ++c) {
        double sum = 0;
        for (int dy = 0; dy < 2; ++dy)
            for (int dx = 0; dx < 2; ++dx)
                if (wx[std::size_t(dx)] && wy[std::size_t(dy)])
                    sum += double(wx[std::size_t(dx)]) * double(wy[std::size_t(dy)]) *
                           from.row(2 * y + dy)[kChannels * (2 * x + dx) + c];
        out[c] = std::uint8_t(std::floor(sum / total + 0.5));
    }
}

// `to` = `from` halved; `from` is level k - 1 of a picture `pictureWidth` x
// `pictureHeight` large.
void Halve(const PictureSurface& from, PictureSurface& to, int k, std::int32_t pictureWidth,
           std::int32_t pictureHeight) {
    const std::int64_t full = std::int64_t(1) << (k - 1);
    const HalvingAxis ax{from.width(), full, pictureWidth - (from.width() - 1) * full};
    const HalvingAxis ay{from.height(), full, pictureHeight - (from.height() - 1) * full};
    to = PictureSurface(ax.size(), ay.size(), PictureSurface::Uninitialised{});
    const int evenX = ax.evenOutputs(), evenY = ay.evenOutputs();
    // The two rows summed first, in a loop the compiler vectorises, then
    // the pairs of pixels in the sums.
    std::vector<std::uint16_t> sums(std::size_t(evenX) * 2 * kChannels);
    for (int y = 0; y < evenY; ++y) {
        const std::uint8_t* a = from.row(2 * y);
        const std::uint8_t* b = from.row(2 * y + 1);
        for (std::size_t i = 0; i < sums.size(); ++i)
            sums[i] = std::uint16_t(a[i] + b[i]);
        std::uint8_t* out = to.row(y);
        for (std::size_t x = 0; x < std::size_t(evenX); ++x) {
            const std::uint16_t* pair = sums.data() + std::size_t(2 * kChannels) * x;
            for (std::size_t c = 0; c < kChannels; ++c)
                out[kChannels * x + c] = std::uint8_t((pair[c] + pair[kChannels + c] + 2) >> 2);
        }
        for (int x = evenX; x < to.width(); ++x)
            HalveEdgePixel(from, to, ax, ay, x, y);
    }
    for (int y = evenY; y < to.height(); ++y)
        for (int x = 0; x < to.width(); ++x)
            HalveEdgePixel(from, to, ax, ay, x, y);
}

// For each output pixel of an axis, the level's pixels it reads and their
// weights (summing to 1): taps[begin[i]] up to taps[begin[i + 1]].
struct AxisTaps {
    std::vector<int> begin;
    std::vector<int> index;
    std::vector<float> weight;
    int widest = 0; // most taps of any output pixel

    void add(int i, float w) {
        index.push_back(i);
        weight.push_back(w);
    }
    void close() {
        begin.push_back(int(index.size()));
        widest = std::max(widest, begin.back() - begin[begin.size() - 2]);
    }
};

// `levelSize` pixels of level k, which stand for `pictureSize` picture pixels.
AxisTaps MakeTaps(const RenderAxis& axis, int k, int levelSize, std::int32_t pictureSize) {
    AxisTaps taps;
    taps.begin.reserve(std::size_t(axis.count) + 1);
    taps.begin.push_back(0);
    const double unit = std::ldexp(1.0, k); // picture pixels per level pixel
    const double extent = pictureSize / unit;
    const bool average = 1 / axis.scale >= unit; // each output pixel covers a level pixel or more
    for (int i = 0; i < axis.count; ++i) {
        const double start = axis.origin + i / axis.scale;
        if (!average) {
            const double nearest = std::clamp(std::floor(start), 0.0, pictureSize - 1.0);
            taps.add(int(nearest / unit), 1);
        } else {
            const double a = std::clamp(start / unit, 0.0, extent);
            const double b = std::clamp((axis.origin + (i + 1) / axis.scale) / unit, 0.0, extent);
            if (b <= a) { // wholly outside: the edge
                taps.add(std::min(int(a), levelSize - 1), 1);
            } else {
                const int last = std::min(int(std::ceil(b)) - 1, levelSize - 1);
                for (int j = int(a); j <= last; ++j)
                    taps.add(j, float((std::min(b, j + 1.0) - std::max(a, double(j))) / (b - a)));
            }
        }
        taps.close();
    }
    return taps;
}

} // namespace

void PicturePyramid::reset(const PictureSurface* picture) {
    picture_ = picture;
    width_ = picture ? picture->width() : 0;
    height_ = picture ? picture->height() : 0;
    built_.clear();
    levelCount_ = 0;
    if (picture && !picture->empty())
        for (std::int64_t side = std::max(width_, height_);; side = (side + 1) / 2) {
            ++levelCount_;
            if (side == 1)
                break;
        }
}

const PictureSurface& PicturePyramid::level(int k) {
    if (k == 0)
        return *picture_;
    while (int(built_.size()) < k) {
        const int next = int(built_.size()) + 1;
        PictureSurface halved;
        Halve(next == 1 ? *picture_ : built_.back(), halved, next, picture_->width(), picture_->height());
        built_.push_back(std::move(halved));
    }
    return built_[std::size_t(k - 1)];
}

std::size_t PicturePyramid::bytes() const {
    std::size_t total = 0;
    for (const PictureSurface& level : built_)
        total += level.rowBytes() * std::size_t(level.height());
    return total;
}

QImage RenderPicture(PicturePyramid& pyramid, RenderAxis x, RenderAxis y) {
    if (pyramid.levelCount() == 0 || x.count <= 0 || y.count <= 0)
        return {};
    const PictureSurface& picture = pyramid.level(0);
    // The smallest level whose pixels are still no larger than an output pixel.
    const double footprint = std::min(1 / x.scale, 1 / y.scale);
    int k = 0;
    while (k + 1 < pyramid.levelCount() && std::ldexp(1.0, k + 1) <= footprint)
        ++k;
    const PictureSurface& level = pyramid.level(k);
    const AxisTaps tx = MakeTaps(x, k, level.width(), picture.width());
    const AxisTaps ty = MakeTaps(y, k, level.height(), picture.height());

    QImage out(x.count, y.count, QImage::Format_RGB32);
    if (out.isNull())
        return {};
    // The level's rows filtered across, kept while the next output rows may
    // read them: they use consecutive rows, at most ty.widest of them.
    const std::size_t across = std::size_t(x.count) * kChannels;
    std::vector<float> rows(across * std::size_t(ty.widest));
    std::vector<int> rowHeld(std::size_t(ty.widest), -1);
    const auto filtered = [&](int r) -> const float* {
        const std::size_t slot = std::size_t(r % ty.widest);
        float* row = rows.data() + slot * across;
        if (rowHeld[slot] != r) {
            rowHeld[slot] = r;
            const std::uint8_t* src = level.row(r);
            for (int i = 0; i < x.count; ++i) {
                float b = 0, g = 0, red = 0;
                for (int t = tx.begin[std::size_t(i)]; t < tx.begin[std::size_t(i) + 1]; ++t) {
                    const std::uint8_t* p = src + std::ptrdiff_t(kChannels) * tx.index[std::size_t(t)];
                    const float w = tx.weight[std::size_t(t)];
                    b += w * float(p[0]);
                    g += w * float(p[1]);
                    red += w * float(p[2]);
                }
                float* pixel = row + std::ptrdiff_t(kChannels) * i;
                pixel[0] = b;
                pixel[1] = g;
                pixel[2] = red;
            }
        }
        return row;
    };
    std::vector<float> sum(across);
    for (int j = 0; j < y.count; ++j) {
        std::fill(sum.begin(), sum.end(), 0.0f);
        for (int t = ty.begin[std::size_t(j)]; t < ty.begin[std::size_t(j) + 1]; ++t) {
            const float* row = filtered(ty.index[std::size_t(t)]);
            const float w = ty.weight[std::size_t(t)];
            for (std::size_t i = 0; i < across; ++i)
                sum[i] += w * row[i];
        }
        QRgb* line = reinterpret_cast<QRgb*>(out.scanLine(j));
        const auto byte = [](float v) { return std::min(255, int(std::lround(v))); };
        for (int i = 0; i < x.count; ++i) {
            const float* p = sum.data() + std::ptrdiff_t(kChannels) * i;
            line[i] = qRgb(byte(p[2]), byte(p[1]), byte(p[0]));
        }
    }
    return out;
}

} // namespace quadfind
