// The quadrilateral report: the figures derived from a scan, the texts of the
// fourteen fields they fill, and the two diagonals drawn over the edge map.
// Which panel row shows which field, under which heading, is report/'s.
//
// Field texts: integers as "%i" writes them; the half sizes as the shortest
// general form of the single-precision value widened to double (at most 15
// significant digits, no trailing zeros, no separator for whole numbers),
// with the caller's decimal separator. Independent of the C locale.
#pragma once

#include "edge_scan.h"
#include "picture_surface.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quadfind {

struct QuadReport {
    Point ScanEnd{};
    std::int32_t BoxWidth = 0; // negative when corner 3 lies left of corner 1
    std::int32_t BoxHeight = 0;
    // (LastEdge.x, FirstEdge.y) and (FirstEdge.x, LastEdge.y): the top-right
    // and bottom-left corners, except when BoxWidth is negative, where corner
    // 2 lies left of corner 1 and corner 4 right of corner 3.
    Point Corner2{};
    Point Corner4{};
    float HalfWidth = 0.0f;
    float HalfHeight = 0.0f;
    friend bool operator==(const QuadReport&, const QuadReport&) = default;
};

QuadReport ReportQuadrilateral(const EdgeScanResult& scan);

// Green from corner 1 to corner 3, then red from corner 2 to corner 4; end
// points excluded.
void DrawDiagonals(PictureSurface& working, const EdgeScanResult& scan, const QuadReport& report);

// The fourteen fields the command writes, numbered as the window's controls
// (Corner3X is Edit1): which figure goes into which field is part of the
// command, as the window's first version wrote it. PictureSize is the last
// interior pixel, as that version showed it.
enum class Field : int {
    Corner3X = 1,
    Corner3Y,
    PictureSizeX,
    PictureSizeY,
    BoxWidth,
    BoxHeight,
    Corner1X,
    Corner1Y,
    Corner2X,
    Corner2Y,
    Corner4X,
    Corner4Y,
    HalfWidth,
    HalfHeight,
};
inline constexpr int kFieldCount = int(Field::HalfHeight);

constexpr std::size_t FieldIndex(Field field) {
    return std::size_t(int(field) - 1);
}

// Every field, in number order.
inline constexpr std::array<Field, kFieldCount> kFields = [] {
    std::array<Field, kFieldCount> fields{};
    for (std::size_t i = 0; i < fields.size(); ++i)
        fields[i] = Field(int(i) + 1);
    return fields;
}();

// The texts of the fields after a run; an empty optional marks a field the
// run leaves as it was (the corner 1 and corner 3 fields when no edge was
// found).
class FieldTexts {
public:
    const std::optional<std::string>& operator[](Field field) const { return texts_[FieldIndex(field)]; }
    std::optional<std::string>& operator[](Field field) { return texts_[FieldIndex(field)]; }

private:
    std::array<std::optional<std::string>, kFieldCount> texts_;
};

FieldTexts FormatFields(const EdgeScanResult& scan, const QuadReport& report, std::string_view decimalSeparator);

std::string IntegerText(std::int32_t value);
std::string HalfText(float value, std::string_view decimalSeparator);

} // namespace quadfind
