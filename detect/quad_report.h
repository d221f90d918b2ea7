// The quadrilateral report: the figures derived from a scan, the fourteen
// field texts of the panel, and the two diagonals drawn over the edge map.
//
// Field texts: integers as "%i" writes them; the half sizes as the shortest
// general form of the single-precision value widened to double (at most 15
// significant digits, no trailing zeros, no separator for whole numbers),
// with the caller's decimal separator. Independent of the C locale.
#pragma once

#include "edge_scan.h"
#include "picture_surface.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace quadfind {

struct QuadReport {
    Point ScanEnd{};
    std::int32_t BoxWidth = 0;  // negative when corner 3 lies left of corner 1
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

// The texts of Edit1 ... Edit14 after a run; an empty optional marks a field
// the run leaves as it was (the corner 1 and corner 3 fields when no edge was
// found).
class FieldTexts {
public:
    static constexpr int kCount = 14;
    // number: 1 for Edit1 ... 14 for Edit14.
    const std::optional<std::string>& edit(int number) const { return texts_.at(std::size_t(number - 1)); }
    std::optional<std::string>& edit(int number) { return texts_.at(std::size_t(number - 1)); }

private:
    std::array<std::optional<std::string>, kCount> texts_;
};

FieldTexts FormatFields(const EdgeScanResult& scan, const QuadReport& report, std::string_view decimalSeparator);

std::string IntegerText(std::int32_t value);
std::string HalfText(float value, std::string_view decimalSeparator);

} // namespace quadfind
