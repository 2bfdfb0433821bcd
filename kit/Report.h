// The conformance report: one line per check (verdict, check name, the figure measured), a summary
// line, and the program's exit code. Portable: no Windows header.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace kit {

struct CheckLine {
    std::string name;
    bool pass = false;
    std::string figure; // what was measured; on a failure also what was expected
};

class Report {
public:
    explicit Report(std::FILE* out) : m_out(out) {}

    // Records and prints one check at once, so a module that hangs later still leaves its lines.
    bool Add(const std::string& name, bool pass, const std::string& figure);
    // A check that could not run because the module lacks an export it needs.
    void Missing(const std::string& name, const std::string& exportName);
    // Free text between checks (the module path, a section title); not counted.
    void Note(const std::string& text);

    std::size_t Passed() const;
    std::size_t Failed() const { return m_lines.size() - Passed(); }
    const std::vector<CheckLine>& Lines() const { return m_lines; }

    // Prints the summary and the names of the failed checks; returns the exit code (0 only when every
    // check passed and at least one ran).
    int Finish();

private:
    std::FILE* m_out;
    std::vector<CheckLine> m_lines;
};

// printf-style formatting into a std::string, for figures.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace kit
