#include "engine/core/io/CkwWinCEFile.h"

#include <gtest/gtest.h>
#include <vector>

#include "engine/core/io/IoTestKit.h"
#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/Trap.h"

namespace {

class EngineFileTest : public ::testing::Test {
protected:
    IkwFile* openFile(const std::string& path, int32_t& code)
    {
        IkwFile* file = nullptr;
        code = engineTrap([&] {
            CkwCleanupPtr<IkwFileManager> manager(CkwWinCEFileManager::create());
            file = manager->openNarrow(path.c_str(), 0);
        });
        if (file != nullptr)
            file->addRef();
        return file;
    }

    ScopedEngine m_engine;
    ScratchFolder m_folder;
};

TEST_F(EngineFileTest, SeeksWithinTheFileOnlyFromEachOrigin)
{
    const std::vector<uint8_t> bytes = {10, 11, 12, 13, 14, 15, 16, 17};
    int32_t code = 0;
    IkwFile* file = openFile(m_folder.write("f.bin", bytes), code);
    ASSERT_EQ(code, 0);
    ASSERT_EQ(file->size(), 8u);

    struct Case {
        int32_t origin, offset;
        bool moves;
        uint8_t byteThere;
    };
    const Case cases[] = {
        {kSeekBegin, 3, true, 13},  {kSeekCurrent, 2, true, 15},   {kSeekCurrent, -5, true, 10},
        {kSeekBegin, 8, false, 10}, {kSeekFromEnd, 1, true, 17},   {kSeekFromEnd, 0, false, 17},
        {kSeekBegin, -1, false, 17}, {kSeekFromEnd, 8, true, 10},  {kSeekFromEnd, 9, false, 10},
        {3, 0, false, 10},
    };
    int32_t position = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.origin << "," << c.offset);
        EXPECT_EQ(file->seek(c.origin, c.offset), c.moves);
        uint8_t b = 0;
        ASSERT_EQ(file->read(&b, 1), 1u);
        EXPECT_EQ(b, c.byteThere);
        position = b - 10;
        ASSERT_TRUE(file->seek(kSeekBegin, position));
    }
    file->release();
}

TEST_F(EngineFileTest, ReadsStopAtTheEnd)
{
    const std::vector<uint8_t> bytes(10, 7);
    int32_t code = 0;
    IkwFile* file = openFile(m_folder.write("f.bin", bytes), code);
    ASSERT_EQ(code, 0);
    uint8_t buffer[16] = {};
    ASSERT_TRUE(file->seek(kSeekBegin, 6));
    EXPECT_EQ(file->read(buffer, 10), 4u);
    EXPECT_EQ(file->read(buffer, 10), 0u);
    ASSERT_TRUE(file->seek(kSeekBegin, 1));
    EXPECT_EQ(file->read(buffer, 0xFFFFFFFFu), 0u); // position + count overflows
    file->release();
}

TEST_F(EngineFileTest, EveryOpenFailureLeavesMinusTwo)
{
    const std::string longPath = m_folder.path() + "/" + std::string(1100, 'a');
    const std::string cases[] = {
        m_folder.path() + "/missing.bin",
        m_folder.path(),                   // a folder
        m_folder.write("empty.bin", {}),   // nothing to map
        longPath,
        m_folder.path() + "/" + std::string(1024 - m_folder.path().size() - 1, 'b'), // exactly 1024
    };
    for (const std::string& path : cases) {
        SCOPED_TRACE(path.size());
        int32_t code = 0;
        EXPECT_EQ(openFile(path, code), nullptr);
        EXPECT_EQ(code, KErrFileOpen);
    }
}

} // namespace
