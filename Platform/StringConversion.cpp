// WideCharToMultiByte: UTF-16 into the ANSI code page or UTF-8.
//
// The platform's ANSI and OEM code pages are the first 256 code points (as the dialog
// templates are read): a character above them becomes the default character ('?' unless
// the caller gives one), and the caller hears of it through lpUsedDefaultChar. UTF-8
// takes every character; a surrogate without its partner becomes U+FFFD, and UTF-8 takes
// neither a default character nor its flag. A length of -1 converts through the
// terminating zero, which is then counted. With a buffer size of 0 the call only measures;
// a buffer too small gets what fits and the call fails with ERROR_INSUFFICIENT_BUFFER.
#include <windows.h>

#include <string>

namespace {

void AppendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

}  // namespace

int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCCH lpDefaultChar, LPBOOL lpUsedDefaultChar) {
    const bool utf8 = CodePage == CP_UTF8;
    const bool single = CodePage == CP_ACP || CodePage == CP_OEMCP || CodePage == 1252 || CodePage == 28591;
    if (!lpWideCharStr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
        (cbMultiByte > 0 && !lpMultiByteStr) || (!utf8 && !single) ||
        (utf8 && (lpDefaultChar || lpUsedDefaultChar))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    (void)dwFlags;
    size_t count = 0;
    if (cchWideChar == -1) {
        while (lpWideCharStr[count]) ++count;
        ++count;  // the zero is converted too
    } else {
        count = static_cast<size_t>(cchWideChar);
    }
    std::string out;
    bool usedDefault = false;
    for (size_t i = 0; i < count; ++i) {
        uint32_t c = static_cast<uint16_t>(lpWideCharStr[i]);
        if (!utf8) {
            if (c < 256) {
                out.push_back(static_cast<char>(c));
            } else {
                out.push_back(lpDefaultChar ? *lpDefaultChar : '?');
                usedDefault = true;
            }
            continue;
        }
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < count) {
            const uint32_t low = static_cast<uint16_t>(lpWideCharStr[i + 1]);
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (c >= 0xD800 && c < 0xE000) c = 0xFFFD;  // a lone surrogate
        AppendUtf8(out, c);
    }
    if (lpUsedDefaultChar) *lpUsedDefaultChar = usedDefault ? TRUE : FALSE;
    if (out.size() > 0x7FFFFFFF) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const int needed = static_cast<int>(out.size());
    if (cbMultiByte == 0) return needed;
    if (needed > cbMultiByte) {
        out.copy(lpMultiByteStr, static_cast<size_t>(cbMultiByte));
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    out.copy(lpMultiByteStr, out.size());
    return needed;
}
