// The conformance kit's own expectations, held against the host contract's worked examples, and its
// verdict: a kit that expects the wrong thing would pass a faulty module or fail a sound one.
#include "kit/KnownVectors.h"
#include "kit/Report.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::pair<int, int> PixelBytes(const std::vector<uint8_t>& line, int pixel) {
    return {line[2 * pixel], line[2 * pixel + 1]};
}

TEST(KitVectors, FirstGroupLandsWhereTheContractSays) {
    const std::vector<uint8_t> raw = kit::RawLines(1);
    const struct {
        bool mirror;
        int pixelA, pixelB;
    } cases[] = {{false, 0, 622}, {true, 1243, 621}};
    for (const auto& c : cases) {
        const std::vector<uint8_t> out = kit::ArrangedLines(raw, 1, c.mirror);
        EXPECT_EQ(PixelBytes(out, c.pixelA), std::make_pair(0x01, 0x02)) << c.mirror;
        EXPECT_EQ(PixelBytes(out, c.pixelB), std::make_pair(0x03, 0x04)) << c.mirror;
    }
}

TEST(KitVectors, ReorderedSectionsKeepTheGaps) {
    const struct {
        kit::Sections before, after;
    } cases[] = {
        // The unit's four equal images: the table stays numerically the same.
        {{{0, 886, 1772, 2658}, {836, 836, 836, 836}}, {{0, 886, 1772, 2658}, {836, 836, 836, 836}}},
        // Unequal images, worked by hand: images 0, 2, 3, 1 with the gaps of 90, 50 and 50 pixels kept.
        {{{10, 400, 700, 1100}, {300, 250, 350, 200}}, {{10, 400, 800, 1050}, {300, 350, 200, 250}}},
    };
    for (const auto& c : cases) {
        const kit::Sections r = kit::ReorderedSections(c.before);
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(r.offset[k], c.after.offset[k]) << k;
            EXPECT_EQ(r.width[k], c.after.width[k]) << k;
        }
    }
}

TEST(KitReport, ExitCodeZeroOnlyWhenEveryCheckPassed) {
    const struct {
        std::vector<bool> verdicts;
        bool missing;
        int exitCode;
    } cases[] = {{{}, false, 1}, {{true, true}, false, 0}, {{true, false}, false, 1}, {{true}, true, 1}};
    for (const auto& c : cases) {
        std::FILE* sink = std::tmpfile();
        kit::Report report(sink);
        for (bool v : c.verdicts)
            report.Add("check", v, "");
        if (c.missing)
            report.Missing("needs an export", "GetTiming");
        EXPECT_EQ(report.Finish(), c.exitCode);
        std::fclose(sink);
    }
}

// Integrators and the test command read the report by its line starts: keep them stable.
TEST(KitReport, LinesAndSummaryAnIntegratorCanRead) {
    std::FILE* sink = std::tmpfile();
    kit::Report report(sink);
    report.Note("module X");
    report.Add("export OpenCommPort", true, "present");
    report.Missing("GetTiming after a shot", "GetTiming");
    report.Finish();
    std::rewind(sink);
    std::vector<std::string> lines;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, sink))
        lines.emplace_back(buffer);
    std::fclose(sink);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "-- module X\n");
    EXPECT_EQ(lines[1].rfind("PASS  export OpenCommPort ", 0), 0u);
    EXPECT_NE(lines[1].find(" present"), std::string::npos);
    EXPECT_EQ(lines[2].rfind("FAIL  GetTiming after a shot ", 0), 0u);
    EXPECT_NE(lines[2].find("not run: the module does not export GetTiming"), std::string::npos);
    EXPECT_EQ(lines[3], "summary: 2 checks, 1 passed, 1 failed\n");
    EXPECT_EQ(lines[4], "failed: GetTiming after a shot\n");
}

} // namespace
