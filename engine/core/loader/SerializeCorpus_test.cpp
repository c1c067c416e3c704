// Replays the parser's fuzz corpus in every run: each input must end with one
// of the parser's codes, and the writer-made seeds that are whole files must
// load.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "engine/core/loader/SerializeFuzzInput.h"

namespace {

std::filesystem::path corpusFolder()
{
    if (const char* source = std::getenv("PF_SOURCE_DIR"))
        return std::filesystem::path(source) / "tools" / "m3g" / "corpus";
#ifdef PF_M3G_CORPUS
    return PF_M3G_CORPUS;
#else
    return "tools/m3g/corpus";
#endif
}

TEST(SerializeCorpus, EveryInputEndsWithAParserCode)
{
    TestEngine engine;
    int replayed = 0;
    int loaded = 0;
    for (const auto& entry : std::filesystem::directory_iterator(corpusFolder())) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<uint8_t> input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const int32_t code = parseFuzzInput(input);
        EXPECT_TRUE(isParserOutcome(code)) << entry.path() << " gave " << code;
        if (entry.path().filename().string().starts_with("ok-")) {
            EXPECT_EQ(code, -1) << entry.path();
            ++loaded;
        }
        ++replayed;
    }
    EXPECT_GT(replayed, 10);
    EXPECT_GT(loaded, 0);
}

} // namespace
