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
        f[Field::Corner3X] = IntegerText(scan.LastEdge.x);
        f[Field::Corner3Y] = IntegerText(scan.LastEdge.y);
        f[Field::Corner1X] = IntegerText(scan.FirstEdge.x);
        f[Field::Corner1Y] = IntegerText(scan.FirstEdge.y);
    }
    f[Field::PictureSizeX] = IntegerText(report.ScanEnd.x);
    f[Field::PictureSizeY] = IntegerText(report.ScanEnd.y);
    f[Field::BoxWidth] = IntegerText(report.BoxWidth);
    f[Field::BoxHeight] = IntegerText(report.BoxHeight);
    f[Field::Corner2X] = IntegerText(report.Corner2.x);
    f[Field::Corner2Y] = IntegerText(report.Corner2.y);
    f[Field::Corner4X] = IntegerText(report.Corner4.x);
    f[Field::Corner4Y] = IntegerText(report.Corner4.y);
    f[Field::HalfWidth] = HalfText(report.HalfWidth, decimalSeparator);
    f[Field::HalfHeight] = HalfText(report.HalfHeight, decimalSeparator);
    return f;
}

} // namespace quadfind
