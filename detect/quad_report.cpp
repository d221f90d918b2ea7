#include "quad_report.h"

#include "edge_rule.h"

#include <charconv>
#include <system_error>

namespace quadfind {

QuadReport ReportQuadrilateral(const EdgeScanResult& scan) {
    QuadReport q;
    q.ScanEnd = scan.ScanEnd;
    q.BoxWidth = scan.LastEdge.x - scan.FirstEdge.x;
    q.BoxHeight = scan.LastEdge.y - scan.FirstEdge.y;
    q.Corner4 = {scan.LastEdge.x - q.BoxWidth, scan.LastEdge.y};
    q.Corner2 = {scan.LastEdge.x, scan.LastEdge.y - q.BoxHeight};
    // Single precision on purpose: the panel shows what a float holds.
    q.HalfWidth = float(q.BoxWidth) * 0.5f;
    q.HalfHeight = float(q.BoxHeight) * 0.5f;
    return q;
}

void DrawDiagonals(PictureSurface& working, const EdgeScanResult& scan, const QuadReport& report) {
    working.setPenColour(edge_rule::kDiagonal13Colour);
    working.moveTo(scan.FirstEdge.x, scan.FirstEdge.y);
    working.lineTo(scan.LastEdge.x, scan.LastEdge.y);
    working.setPenColour(edge_rule::kDiagonal24Colour);
    working.moveTo(report.Corner2.x, report.Corner2.y);
    working.lineTo(report.Corner4.x, report.Corner4.y);
}

std::string IntegerText(std::int32_t value) {
    char buf[16];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, end);
}

std::string HalfText(float value, std::string_view decimalSeparator) {
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, double(value), std::chars_format::general, 15);
    std::string text(buf, end);
    if (const auto dot = text.find('.'); dot != std::string::npos)
        text.replace(dot, 1, decimalSeparator);
    return text;
}

FieldTexts FormatFields(const EdgeScanResult& scan, const QuadReport& report, std::string_view decimalSeparator) {
    FieldTexts f;
    if (scan.EdgeCount > 0) {
        f.edit(1) = IntegerText(scan.LastEdge.x);
        f.edit(2) = IntegerText(scan.LastEdge.y);
        f.edit(7) = IntegerText(scan.FirstEdge.x);
        f.edit(8) = IntegerText(scan.FirstEdge.y);
    }
    f.edit(3) = IntegerText(report.ScanEnd.x);
    f.edit(4) = IntegerText(report.ScanEnd.y);
    f.edit(5) = IntegerText(report.BoxWidth);
    f.edit(6) = IntegerText(report.BoxHeight);
    f.edit(9) = IntegerText(report.Corner2.x);
    f.edit(10) = IntegerText(report.Corner2.y);
    f.edit(11) = IntegerText(report.Corner4.x);
    f.edit(12) = IntegerText(report.Corner4.y);
    f.edit(13) = HalfText(report.HalfWidth, decimalSeparator);
    f.edit(14) = HalfText(report.HalfHeight, decimalSeparator);
    return f;
}

} // namespace quadfind
