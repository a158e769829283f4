// Text at the window-system boundary: the program's Windows-1252 bytes to Qt's Unicode and back.
#include <string>

#include "platform/qt/qt_platform.h"

namespace {
// Unicode code points of the bytes 0x80-0x9F; the five bytes Windows-1252 leaves undefined map to the
// control characters of the same value, as Windows does.
constexpr char32_t HIGH_CONTROL_RANGE[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t AnsiToCodePoint(unsigned char byte) {
    if (byte >= 0x80 && byte < 0xA0) return HIGH_CONTROL_RANGE[byte - 0x80];
    return byte;
}

char CodePointToAnsi(char32_t code) {
    if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) return static_cast<char>(code);
    for (int i = 0; i < 32; ++i)
        if (HIGH_CONTROL_RANGE[i] == code) return static_cast<char>(0x80 + i);
    return '?';
}

// Length of the valid UTF-8 sequence starting at text[i] (2-4 bytes) with its code point, or 0.
int Utf8Sequence(const std::string& text, size_t i, char32_t* code) {
    unsigned char lead = static_cast<unsigned char>(text[i]);
    int length = 0;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4;
    if (length == 0 || i + static_cast<size_t>(length) > text.size()) return 0;
    char32_t value = lead & (length == 2 ? 0x1F : length == 3 ? 0x0F : 0x07);
    for (int k = 1; k < length; ++k) {
        unsigned char next = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
        if ((next & 0xC0) != 0x80) return 0;
        value = (value << 6) | (next & 0x3F);
    }
    const char32_t smallest[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < smallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    *code = value;
    return length;
}
}  // namespace

QString AnsiToQString(const char* text, int length) {
    QString out;
    if (!text) return out;
    for (int i = 0; length < 0 ? text[i] != '\0' : i < length; ++i) {
        char32_t code = AnsiToCodePoint(static_cast<unsigned char>(text[i]));
        out += QChar(static_cast<char16_t>(code));
    }
    return out;
}

std::string QStringToAnsi(const QString& text) {
    std::string out;
    const QList<uint> codes = text.toUcs4();
    out.reserve(static_cast<size_t>(codes.size()));
    for (uint code : codes) out.push_back(CodePointToAnsi(code));
    return out;
}

QString TitleToQString(const std::string& title) {
    std::u32string codes;
    for (size_t i = 0; i < title.size();) {
        char32_t code = 0;
        int length = static_cast<unsigned char>(title[i]) >= 0x80 ? Utf8Sequence(title, i, &code) : 0;
        if (length > 0) {
            codes.push_back(code);
            i += static_cast<size_t>(length);
        } else {
            codes.push_back(AnsiToCodePoint(static_cast<unsigned char>(title[i])));
            ++i;
        }
    }
    return QString::fromUcs4(codes.data(), static_cast<qsizetype>(codes.size()));
}
