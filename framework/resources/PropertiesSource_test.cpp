#include "framework/resources/PropertiesSource.h"

#include <gtest/gtest.h>

#include <string>

#include "framework/files/testing/MemoryFileSystem.h"
#include "framework/properties/PropertySet.h"
#include "framework/resources/ResourceManager.h"
#include "framework/resources/ResourcePack.h"
#include "tests/support/TestApp.h"
#include "tools/pack/HostFiles.h"
#include "tools/pack/ResourceWriters.h"

namespace {

struct PropertiesSourceTest : ::testing::Test {
    ResourcePack pack;
    TestApp app;
    MemoryFileSystem* fs = new MemoryFileSystem();
    ResourceManager* manager = new ResourceManager();
    PropertySet* properties = new PropertySet();

    PropertiesSourceTest()
    {
        app.m_fileSystem = fs;
        app.m_resourceManager = manager;
    }
    ~PropertiesSourceTest() override
    {
        delete properties;
        delete fs;
    }

    void open(uint32_t propertiesType)
    {
        std::string text = "USE_GAPI=true\nKOR_VERSION: pack\n";
        PackWriter writer;
        writer.add(ResourceIds::ResourceTableEntry, ResourceType::Data, encodeResourceTable({}));
        writer.add(ResourceIds::Properties, propertiesType, Bytes(text.begin(), text.end()), true);
        Bytes bytes;
        ASSERT_TRUE(writer.build(PackIndexForm::Sorted, bytes));
        ASSERT_EQ(pack.openFile(new MemoryFile(bytes)), 1);
        ASSERT_EQ(manager->openTable(&pack, 500, 33, true), 1);
    }
};

} // namespace

TEST_F(PropertiesSourceTest, LooseFileWinsOverThePackResource)
{
    open(ResourceType::Data);
    fs->put(u"/prog/properties.dat", "KOR_VERSION=file\n");
    ASSERT_EQ(loadProgramProperties(*properties, *manager), 1);
    EXPECT_STREQ(properties->getString("KOR_VERSION"), "file");
    EXPECT_FALSE(properties->has("USE_GAPI"));
}

TEST_F(PropertiesSourceTest, PackResourceServesWithoutTheFileAndIsReleased)
{
    open(ResourceType::Data);
    ASSERT_EQ(loadProgramProperties(*properties, *manager), 1);
    EXPECT_STREQ(properties->getString("KOR_VERSION"), "pack");
    EXPECT_EQ(properties->getBool("USE_GAPI"), 1);
    EXPECT_EQ(manager->held(ResourceIds::Properties), nullptr);
    fs->put(u"/prog/properties.dat", "KOR_VERSION=file\n");
    // There, but it will not open, or it opens and will not read: the pack serves.
    for (const MemoryFileSystem::Faults faults : {MemoryFileSystem::Faults{.readOpens = -1}, {.shortReads = 1}}) {
        fs->faults = faults;
        EXPECT_EQ(loadProgramProperties(*properties, *manager), 1);
        EXPECT_STREQ(properties->getString("KOR_VERSION"), "pack");
    }
}

TEST_F(PropertiesSourceTest, PropertiesOfAnotherClassAreRefused)
{
    open(ResourceType::IdList);
    EXPECT_EQ(loadProgramProperties(*properties, *manager), 0);
    EXPECT_EQ(manager->held(ResourceIds::Properties), nullptr);
}
