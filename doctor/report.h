// The doctor's findings: one line per check, in the order of the chain from
// the adapter to the whiteboard application, printed as soon as it is known.
#pragma once

#include <cstdio>
#include <string>

enum class Verdict { ok, warning, problem };

struct Finding {
    Verdict verdict;
    std::string check;  // short name of the link: "access", "calibration", ...
    std::string found;
    std::string fix;  // what to do; empty for ok
};

// "ok      board: ...", "problem access: ... Fix: ...", made terminal-safe:
// its checks quote names that any user can choose (processes, monitors).
std::string finding_line(const Finding& f);

// text with every control byte (C0, DEL, and C1 as UTF-8) and every byte
// that is not part of valid UTF-8 written as \xNN; all else as it is.
std::string terminal_safe(const std::string& text);

class Report {
public:
    explicit Report(FILE* out) : out_(out) {}
    void add(const Finding& f);
    void ok(const std::string& check, const std::string& found) {
        add({Verdict::ok, check, found, ""});
    }
    void warning(const std::string& check, const std::string& found, const std::string& fix) {
        add({Verdict::warning, check, found, fix});
    }
    void problem(const std::string& check, const std::string& found, const std::string& fix) {
        add({Verdict::problem, check, found, fix});
    }
    // 0 when no check found a problem, else 1.
    int exit_status() const { return problems_ > 0 ? 1 : 0; }

private:
    FILE* out_;
    int problems_ = 0;
};
