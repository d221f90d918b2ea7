#include "panel_text.h"

#include <cstddef>

namespace quadfind {

namespace {

// Terminal cells of a UTF-8 text: code points from U+1100 up (the CJK
// ranges the headings use) take two, everything else one.
std::size_t displayWidth(const std::string& s) {
    std::size_t width = 0;
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char lead = static_cast<unsigned char>(s[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t cp = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length && i + k < s.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        width += cp >= 0x1100 ? 2 : 1;
        i += length;
    }
    return width;
}

void padRight(std::string& out, const std::string& s, std::size_t width) {
    out += s;
    for (std::size_t w = displayWidth(s); w < width; ++w)
        out += ' ';
}

void padLeft(std::string& out, const std::string& s, std::size_t width) {
    for (std::size_t w = displayWidth(s); w < width; ++w)
        out += ' ';
    out += s;
}

} // namespace

ShownFields ShownAfterRun(const FieldTexts& fields) {
    ShownFields shown;
    for (const Field field : kFields) {
        const auto& text = fields[field];
        shown[FieldIndex(field)] = text ? *text : FieldName(field);
    }
    return shown;
}

std::string PanelText(const ShownFields& shown) {
    constexpr std::size_t kHeading = 18, kGloss = 20, kValue = 10;
    std::string out(kHeading + kGloss, ' ');
    padLeft(out, "X", kValue);
    out += ' ';
    padLeft(out, "Y", kValue);
    out += '\n';
    for (const PanelRow& row : kPanelRows) {
        padRight(out, row.heading, kHeading);
        padRight(out, row.gloss, kGloss);
        padLeft(out, shown[FieldIndex(row.x)], kValue);
        out += ' ';
        padLeft(out, shown[FieldIndex(row.y)], kValue);
        out += '\n';
    }
    return out;
}

} // namespace quadfind
