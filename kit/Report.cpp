// The conformance report's lines and summary.
#include "kit/Report.h"

#include <cstdarg>

namespace kit {

bool Report::Add(const std::string& name, bool pass, const std::string& figure) {
    m_lines.push_back({name, pass, figure});
    std::fprintf(m_out, "%s  %-44s %s\n", pass ? "PASS" : "FAIL", name.c_str(), figure.c_str());
    std::fflush(m_out);
    return pass;
}

void Report::Missing(const std::string& name, const std::string& exportName) {
    Add(name, false, "not run: the module does not export " + exportName);
}

void Report::Note(const std::string& text) {
    std::fprintf(m_out, "-- %s\n", text.c_str());
    std::fflush(m_out);
}

std::size_t Report::Passed() const {
    std::size_t n = 0;
    for (const CheckLine& line : m_lines)
        n += line.pass;
    return n;
}

int Report::Finish() {
    std::fprintf(m_out, "summary: %u checks, %u passed, %u failed\n", static_cast<unsigned>(m_lines.size()),
                 static_cast<unsigned>(Passed()), static_cast<unsigned>(Failed()));
    for (const CheckLine& line : m_lines)
        if (!line.pass)
            std::fprintf(m_out, "failed: %s\n", line.name.c_str());
    std::fflush(m_out);
    return Failed() == 0 && !m_lines.empty() ? 0 : 1;
}

std::string Format(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

} // namespace kit
