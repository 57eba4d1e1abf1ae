#include "io/QuoteName.h"

#include <cstdint>
#include <cstdio>

namespace {

// Length of the UTF-8 sequence at s[i] that is printable, or 0 for a byte that
// needs escaping: C0 and C1 controls, DEL, malformed sequences, and the
// bidirectional controls that reorder the text around them.
size_t PrintableLength(const std::string& s, size_t i) {
    const auto by = static_cast<uint8_t>(s[i]);
    if (by < 0x20 || by == 0x7F) {
        return 0;
    }
    if (by < 0x80) {
        return 1;
    }
    size_t n;
    uint32_t c;
    if (by >= 0xC2 && by <= 0xDF) {
        n = 2;
        c = by & 0x1F;
    } else if (by >= 0xE0 && by <= 0xEF) {
        n = 3;
        c = by & 0x0F;
    } else if (by >= 0xF0 && by <= 0xF4) {
        n = 4;
        c = by & 0x07;
    } else {
        return 0;
    }
    if (i + n > s.size()) {
        return 0;
    }
    for (size_t k = 1; k < n; ++k) {
        const auto cont = static_cast<uint8_t>(s[i + k]);
        if ((cont & 0xC0) != 0x80) {
            return 0;
        }
        c = c << 6 | (cont & 0x3F);
    }
    const bool bOverlong = (n == 3 && c < 0x800) || (n == 4 && c < 0x10000);
    const bool bSurrogate = c >= 0xD800 && c <= 0xDFFF;
    const bool bControl = c <= 0x9F || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
                          (c >= 0x2066 && c <= 0x2069);
    if (bOverlong || bSurrogate || c > 0x10FFFF || bControl) {
        return 0;
    }
    return n;
}

}  // namespace

std::string QuoteName(const std::string& strName) {
    bool bPlain = true;
    for (size_t i = 0; i < strName.size() && bPlain;) {
        const size_t n = PrintableLength(strName, i);
        bPlain = n > 0;
        i += n;
    }
    if (bPlain) {
        return "\"" + strName + "\"";
    }
    std::string out = "$'";
    for (size_t i = 0; i < strName.size();) {
        const size_t n = PrintableLength(strName, i);
        if (n > 0) {
            const char c = strName[i];
            if (c == '\'' || c == '\\') {
                out += '\\';
            }
            out.append(strName, i, n);
            i += n;
            continue;
        }
        const auto by = static_cast<uint8_t>(strName[i++]);
        switch (by) {
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            default: {
                char sz[8];
                std::snprintf(sz, sizeof sz, "\\x%02x", by);
                out += sz;
            }
        }
    }
    return out + "'";
}
