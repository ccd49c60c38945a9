#include "TextCodec.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace tags::codec {

#ifdef _WIN32
namespace {

unsigned Acp() {
    static const unsigned cp = GetACP();
    return cp;
}

std::wstring Wide(unsigned cp, std::string_view bytes) {
    if (bytes.empty()) return {};
    const int n = MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), w.data(), n);
    return w;
}

std::string Narrow(unsigned cp, const std::wstring &w) {
    if (w.empty()) return {};
    // No best fit: a character the code page lacks is '?', never a look-alike.
    const DWORD flags = cp == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int n = WideCharToMultiByte(cp, flags, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(cp, flags, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

} // namespace

bool AnsiIsCp1252() { return Acp() == 1252; }

std::string AnsiToUtf8(std::string_view bytes) {
    return AnsiIsCp1252() ? Cp1252ToUtf8(bytes) : Narrow(CP_UTF8, Wide(Acp(), bytes));
}

std::string Utf8ToAnsi(std::string_view utf8, size_t width) {
    std::string b = AnsiIsCp1252() ? Utf8ToCp1252(utf8) : Narrow(Acp(), Wide(CP_UTF8, SanitizeUtf8(utf8)));
    if (b.size() <= width) return b;
    size_t end = 0;
    while (end < b.size()) {
        const size_t next = end + (IsDBCSLeadByteEx(Acp(), static_cast<BYTE>(b[end])) ? 2 : 1);
        if (next > width) break;
        end = next;
    }
    return b.substr(0, end);
}
#else
bool AnsiIsCp1252() { return true; }

std::string AnsiToUtf8(std::string_view bytes) { return Cp1252ToUtf8(bytes); }

std::string Utf8ToAnsi(std::string_view utf8, size_t width) {
    std::string b = Utf8ToCp1252(utf8);
    if (b.size() > width) b.resize(width);
    return b;
}
#endif

} // namespace tags::codec
