#include "game/shell/ResourcePreloader.h"

#include "framework/resources/Resource.h"
#include "framework/resources/ResourceManager.h"
#include "framework/resources/ResourcePack.h"
#include "tests/support/AllocationWatch.h"
#include "tests/support/TestApp.h"
#include "tools/pack/HostFiles.h"
#include "tools/pack/PackWriter.h"
#include "tools/pack/ResourceWriters.h"

#include <gtest/gtest.h>

namespace {

constexpr uint32_t kListAB = 0x05007E01;
constexpr uint32_t kEmptyList = 0x05007E02;
constexpr uint32_t kListWithGap = 0x05007E03;
constexpr uint32_t kA = 0x03007E10;
constexpr uint32_t kB = 0x03007E11;
constexpr uint32_t kMissing = 0x03007E12;
constexpr uint32_t kFreshList = 0x05007F00;  // lists for one preload each
constexpr uint32_t kFreshLists = 64;

struct PreloaderTest : ::testing::Test {
    ResourcePack pack;
    TestApp app;
    ResourceManager* manager = new ResourceManager();

    PreloaderTest()
    {
        app.m_resourceManager = manager;
        PackWriter writer;
        writer.add(ResourceIds::ResourceTableEntry, ResourceType::Data, encodeResourceTable({}), true);
        writer.add(kListAB, ResourceType::IdList, encodeIdList({kA, kB}));
        writer.add(kEmptyList, ResourceType::IdList, encodeIdList({}));
        writer.add(kListWithGap, ResourceType::IdList, encodeIdList({kA, kMissing, kB}));
        for (uint32_t i = 0; i < kFreshLists; ++i)
            writer.add(kFreshList + i, ResourceType::IdList, encodeIdList({kA, kB}));
        writer.add(kA, ResourceType::Data, Bytes{1});
        writer.add(kB, ResourceType::Data, Bytes{2});
        Bytes bytes;
        EXPECT_TRUE(writer.build(PackIndexForm::Sorted, bytes));
        EXPECT_EQ(pack.openFile(new MemoryFile(bytes)), 1);
        EXPECT_EQ(manager->openTable(&pack, 50, 8, true), 1);
    }
    uint32_t refs(uint32_t id)
    {
        Resource* r = manager->held(id);
        return r ? r->refCount() : 0;
    }
};

TEST_F(PreloaderTest, ListsLoadToTheirEndAndStateAndPercentFollow)
{
    const struct {
        const char* name;
        uint32_t list;
        uint32_t state;
        uint32_t refsA, refsB;
    } cases[] = {
        {"two ids", kListAB, PreloadState::Done, 1, 1},
        {"an empty list is done at once", kEmptyList, PreloadState::Done, 0, 0},
        {"a missing id stops the load", kListWithGap, PreloadState::Failed, 1, 0},
        {"no list", kMissing, PreloadState::Failed, 0, 0},
    };
    for (const auto& c : cases) {
        ResourcePreloader preloader;
        preloader.start(c.list);
        if (c.list != kMissing) {
            EXPECT_EQ(preloader.getPercent(), c.list == kEmptyList ? 100u : 0u) << c.name;
        }
        preloader.step();
        EXPECT_EQ(preloader.getState(), c.state) << c.name;
        EXPECT_EQ(preloader.getPercent(), 100u) << c.name;
        EXPECT_EQ(refs(kA), c.refsA) << c.name;
        EXPECT_EQ(refs(kB), c.refsB) << c.name;
        // The list resource itself is let go once the load ends.
        EXPECT_EQ(refs(c.list), 0u) << c.name;
        ResourcePreloader::unloadList(c.list);
        EXPECT_EQ(refs(kA), 0u) << c.name;
        EXPECT_EQ(refs(kB), 0u) << c.name;
    }
}

TEST_F(PreloaderTest, UnloadingReleasesOnlyWhatThePreloaderTook)
{
    // Another holder has B before and after the preload.
    Resource* b = nullptr;
    manager->loadById(kB, &b);
    ResourcePreloader preloader;
    preloader.start(kListAB);
    preloader.step();
    EXPECT_EQ(refs(kB), 2u);
    EXPECT_EQ(ResourcePreloader::unloadList(kListAB), 1);
    EXPECT_EQ(refs(kA), 0u);
    EXPECT_EQ(refs(kB), 1u);
    // A second unload, or one of a list never preloaded, takes nothing more.
    EXPECT_EQ(ResourcePreloader::unloadList(kListAB), 1);
    EXPECT_EQ(ResourcePreloader::unloadList(kEmptyList), 1);
    EXPECT_EQ(refs(kB), 1u);
    EXPECT_EQ(ResourcePreloader::unloadList(kMissing), 0);

    // Memory that runs out at any allocation of a preload of a list never
    // seen leaves no record behind: what it took is let go at once, kept
    // by the manager, or never taken.
    uint32_t list = kFreshList;
    for (size_t failAt = 1, more = 1; more && list < kFreshList + kFreshLists - 1; ++failAt, ++list) {
        ResourcePreloader loader;
        AllocationWatch watch(SIZE_MAX, failAt);
        EXPECT_NO_THROW(loader.start(list); loader.step()) << failAt;
        more = watch.requests() >= failAt;
    }
    EXPECT_LT(list, kFreshList + kFreshLists - 1);
    for (uint32_t at = kFreshList; at < list; ++at)
        EXPECT_EQ(ResourcePreloader::unloadList(at), 1);
    const uint32_t before[] = {refs(kA), refs(kB)};
    preloader.start(list);
    preloader.step();
    EXPECT_EQ(ResourcePreloader::unloadList(list), 1);
    EXPECT_EQ(refs(kA), before[0]);
    EXPECT_EQ(refs(kB), before[1]);
}

// Unloading lists costs in proportion to their preloads, list ids spread or in one bucket of 503.
TEST_F(PreloaderTest, UnloadsStayInProportionToThePreloads)
{
    for (uint32_t stride : {1u, 503u}) {
        auto listId = [&](uint32_t i) { return 0x05000800u + i * stride % 0x7000u; };
        PackWriter writer;
        writer.add(ResourceIds::ResourceTableEntry, ResourceType::Data, encodeResourceTable({}), true);
        writer.add(kA, ResourceType::Data, Bytes{1});
        for (uint32_t i = 0; i < 2048; ++i)
            writer.add(listId(i), ResourceType::IdList, encodeIdList({kA}));
        Bytes bytes;
        ASSERT_TRUE(writer.build(PackIndexForm::Sorted, bytes));
        ASSERT_EQ(pack.openFile(new MemoryFile(bytes)), 1);
        ASSERT_EQ(manager->openTable(&pack, 50, 8, true), 1);
        uint64_t work[2] = {};
        for (uint32_t k = 0, lists = 1024; k < 2; ++k, lists *= 2) {
            for (uint32_t i = 0; i < lists; ++i) {
                ResourcePreloader preloader;
                preloader.start(listId(i));
                preloader.step();
            }
            work[k] = ResourcePreloader::probes() + manager->probes();
            for (uint32_t i = 0; i < lists; ++i)
                EXPECT_EQ(ResourcePreloader::unloadList(listId(i)), 1);
            work[k] = ResourcePreloader::probes() + manager->probes() - work[k];
        }
        EXPECT_LE(work[1] * 10, work[0] * 23) << stride << ": " << work[0] << " then " << work[1];
    }
}

} // namespace
