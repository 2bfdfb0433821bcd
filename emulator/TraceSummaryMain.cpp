// lumen-trace-summary: what a service trace (NXJBUS_TRACE) holds, for the technician: requests per
// second, failures by kind, answer times and the longest silence of the unit.
#include "nxjbus/TraceFile.h"

#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4 || (argc == 3) || (argc == 4 && std::string(argv[2]) != "--port")) {
        std::fprintf(stderr, "usage: lumen-trace-summary TRACE [--port NAME]\n"
                             "  NAME: the port whose lines to read (default: the first one in the file)\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "lumen-trace-summary: cannot read %s\n", argv[1]);
        return 1;
    }
    nxjbus::Trace trace;
    std::string error;
    if (!nxjbus::ReadTrace(in, trace, error, argc == 4 ? argv[3] : "")) {
        std::fprintf(stderr, "lumen-trace-summary: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    std::fputs(nxjbus::FormatSummary(nxjbus::Summarise(trace), trace.port).c_str(), stdout);
    return 0;
}
