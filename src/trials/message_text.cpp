#include "trials/message_text.h"

namespace kestu {

namespace {

void AppendEscaped(std::string& out, unsigned char byte)
{
    static const char hex[] = "0123456789ABCDEF";
    out += "\\x";
    out += hex[byte >> 4];
    out += hex[byte & 15];
}

// Length of the well-formed UTF-8 sequence at text[i], 0 when there is none.
std::size_t Utf8Length(std::string_view text, std::size_t i)
{
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t n = 0;
    unsigned min = 0;
    unsigned code = 0;
    if (c >= 0xC2 && c <= 0xDF) n = 2, min = 0x80, code = c & 0x1F;
    else if (c >= 0xE0 && c <= 0xEF) n = 3, min = 0x800, code = c & 0x0F;
    else if (c >= 0xF0 && c <= 0xF4) n = 4, min = 0x10000, code = c & 0x07;
    else return 0;
    if (i + n > text.size()) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        const auto b = static_cast<unsigned char>(text[i + k]);
        if ((b & 0xC0) != 0x80) return 0;
        code = (code << 6) | (b & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    // A byte-order mark, and the C1 controls, are invisible in a message.
    if (code == 0xFEFF || (code >= 0x80 && code <= 0x9F)) return 0;
    return n;
}

}  // namespace

std::string ForMessage(std::string_view text, std::size_t limit)
{
    std::string out;
    std::size_t i = 0;
    for (; i < text.size() && out.size() < limit;) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        const std::size_t n = c >= 0x80 ? Utf8Length(text, i) : 0;
        if (n == 0) {
            AppendEscaped(out, c);
            ++i;
        } else {
            out.append(text.substr(i, n));
            i += n;
        }
    }
    if (i < text.size()) out += "...";
    return out;
}

}  // namespace kestu
