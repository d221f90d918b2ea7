#include "readable_name.h"

#include <cstdint>
#include <cstdio>

namespace quadfind {

std::string ReadableName(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    auto escape = [&out](unsigned char c) {
        char text[5];
        std::snprintf(text, sizeof text, "\\x%02X", c);
        out += text;
    };
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = b[i];
        if (c < 0x80) {
            if (c < 0x20 || c == 0x7F)
                escape(c);
            else if (c == '\\')
                out += "\\\\"; // so that a name's own "\x41" cannot pass for an escape
            else
                out += char(c);
            ++i;
            continue;
        }
        // The length and smallest code point of a sequence led by c.
        std::size_t length = 0;
        std::uint32_t cp = 0, least = 0;
        if (c >= 0xC2 && c <= 0xDF)
            length = 2, cp = c & 0x1F, least = 0x80;
        else if (c >= 0xE0 && c <= 0xEF)
            length = 3, cp = c & 0x0F, least = 0x800;
        else if (c >= 0xF0 && c <= 0xF4)
            length = 4, cp = c & 0x07, least = 0x10000;
        bool valid = length != 0 && i + length <= n;
        for (std::size_t k = 1; valid && k < length; ++k) {
            valid = (b[i + k] & 0xC0) == 0x80;
            cp = cp << 6 | (b[i + k] & 0x3F);
        }
        valid = valid && cp >= least && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
        if (!valid) {
            escape(c);
            ++i;
        } else if (cp < 0xA0) { // C1 control characters
            for (std::size_t k = 0; k < length; ++k)
                escape(b[i + k]);
            i += length;
        } else {
            out.append(bytes.substr(i, length));
            i += length;
        }
    }
    return out;
}

} // namespace quadfind
