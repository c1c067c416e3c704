// Replays the archive fuzz corpus in every run: each input must open, walk and
// read to an archive outcome; the writer-made seeds named "ok-" must succeed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "engine/core/io/ArchiveFuzzInput.h"

namespace {

TEST(ArchiveCorpus, EveryInputEndsWithAnArchiveOutcome)
{
    const char* source = std::getenv("PF_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    ScopedEngine engine;
    ScratchFolder folder;
    int replayed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(source) / "tools/archive/corpus")) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<uint8_t> input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const int32_t code = archiveFuzzInput(folder, input);
        EXPECT_TRUE(isArchiveOutcome(code)) << entry.path() << " gave " << code;
        const bool writerMade = entry.path().filename().string().starts_with("ok-");
        EXPECT_TRUE(!writerMade || code == 0) << entry.path() << " gave " << code;
        ++replayed;
    }
    EXPECT_GE(replayed, 6);
}

} // namespace
