#include "report.h"

namespace {

// The length of the valid UTF-8 sequence at s[i] (1 for ASCII), or 0.
size_t utf8_length(const std::string& s, size_t i) {
    const auto at = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = at(i);
    if (c < 0x80) return 1;
    size_t n;
    unsigned char lo = 0x80, hi = 0xBF;  // the range of the second byte
    if (c >= 0xC2 && c <= 0xDF)
        n = 2;
    else if (c >= 0xE0 && c <= 0xEF)
        n = 3, lo = c == 0xE0 ? 0xA0 : 0x80, hi = c == 0xED ? 0x9F : 0xBF;
    else if (c >= 0xF0 && c <= 0xF4)
        n = 4, lo = c == 0xF0 ? 0x90 : 0x80, hi = c == 0xF4 ? 0x8F : 0xBF;
    else
        return 0;
    if (i + n > s.size() || at(i + 1) < lo || at(i + 1) > hi) return 0;
    for (size_t k = 2; k < n; ++k)
        if ((at(i + k) & 0xC0) != 0x80) return 0;
    return n;
}

}  // namespace

std::string terminal_safe(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t n = utf8_length(text, i);
        // C1 controls, U+0080 .. U+009F, are C2 80 .. C2 9F.
        const bool control =
            c < 0x20 || c == 0x7F ||
            (n == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0);
        if (n > 0 && !control) {
            out.append(text, i, n);
            i += n;
            continue;
        }
        for (size_t k = 0; k < (n > 0 ? n : 1); ++k) {
            char hex[5];
            snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(text[i + k]));
            out += hex;
        }
        i += n > 0 ? n : 1;
    }
    return out;
}

std::string finding_line(const Finding& f) {
    static const char* const kLabels[] = {"ok      ", "warning ", "problem "};
    std::string line = kLabels[int(f.verdict)] + f.check + ": " + f.found;
    if (f.verdict != Verdict::ok && !f.fix.empty()) line += " Fix: " + f.fix;
    return terminal_safe(line);
}

void Report::add(const Finding& f) {
    if (f.verdict == Verdict::problem) ++problems_;
    fprintf(out_, "%s\n", finding_line(f).c_str());
    fflush(out_);
}
