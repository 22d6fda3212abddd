#include "report.h"

std::string finding_line(const Finding& f) {
    static const char* const kLabels[] = {"ok      ", "warning ", "problem "};
    std::string line = kLabels[int(f.verdict)] + f.check + ": " + f.found;
    if (f.verdict != Verdict::ok && !f.fix.empty()) line += " Fix: " + f.fix;
    return line;
}

void Report::add(const Finding& f) {
    if (f.verdict == Verdict::problem) ++problems_;
    fprintf(out_, "%s\n", finding_line(f).c_str());
    fflush(out_);
}
