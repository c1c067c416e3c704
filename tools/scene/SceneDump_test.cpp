#include "tools/scene/SceneDump.h"

#include <gtest/gtest.h>

#include "engine/core/io/IoTestKit.h"
#include "tools/m3g/M3gFileWriter.h"

namespace {

TEST(SceneDump, ReportsRootsOrTheSignedErrorResult)
{
    ScratchFolder folder;
    const std::vector<uint8_t> headerOnly = M3gFileWriter().finish();
    std::vector<uint8_t> badChecksum = headerOnly;
    badChecksum.back() ^= 1;
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        std::string output;
        int exit;
    } cases[] = {
        {"header only", headerOnly, "roots 0\n", 0},
        {"empty", {}, "error 65544\n", 1},
        {"not a 3D file", {'x', 'y', 'z'}, "error -7\n", 1},
        {"bad checksum", badChecksum, "error -9\n", 1},
        {"cut short", std::vector<uint8_t>(headerOnly.begin(), headerOnly.end() - 2), "error 65544\n", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string out;
        EXPECT_EQ(dumpScene(folder.write("f.m3g", c.bytes), out), c.exit);
        EXPECT_EQ(out, c.output);
    }
    std::string out;
    EXPECT_EQ(dumpScene(folder.path() + "/missing.m3g", out), 1);
    EXPECT_EQ(out, "error 65536\n");
}

} // namespace
