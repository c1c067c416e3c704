// The built sample pack against what the game asks of it: every text and cue
// the game names is there, each cue decodes to the one form the sound device
// plays, and each scene of the scripted moments loads through the engine with
// the nodes and clips the game looks up by name.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/core/interface/InterfaceIds.h"
#include "framework/resources/PackEntryStream.h"
#include "framework/resources/ResourceIds.h"
#include "framework/resources/ResourceManager.h"
#include "framework/resources/ResourcePack.h"
#include "framework/resources/SoundSample.h"
#include "framework/resources/TypedResources.h"
#include "framework/strings/WideString.h"
#include "game/level/GameUtils.h"
#include "game/shell/AnimCopy.h"
#include "game/shell/EngineService.h"
#include "game/shell/ShellText.h"
#include "gfx2d/image/PixelFormat.h"
#include "gfx2d/span/SpanProgramSet.h"
#include "tests/support/BuildFixture.h"
#include "tests/support/TestApp.h"
#include "tools/pack/HostFiles.h"

namespace {

class SamplePack : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::vector<uint8_t> bytes = readBuildFixture("pennyfall.big");
        ASSERT_FALSE(bytes.empty()) << "the build writes pennyfall.big";
        app.m_resourceManager = manager;
        ASSERT_EQ(pack.openFile(new MemoryFile(bytes)), 1);
        ASSERT_EQ(manager->openTable(&pack, 50, 8, true), 1);
        // The first language is the current one, as the player's first choice.
        ASSERT_EQ(manager->loadListEntry(0), ResourceResult::Loaded);
    }

    std::u16string text(uint32_t id)
    {
        WideString out;
        loadTextById(out, id);
        return out.chars() ? std::u16string(out.chars()) : std::u16string();
    }

    ResourcePack pack;
    TestApp app;
    ResourceManager* manager = new ResourceManager();
};

uint32_t le(const uint8_t* p, int bytes)
{
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | p[i];
    return v;
}

TEST_F(SamplePack, HoldsEveryTextOfTheFlow)
{
    // Titles, messages, items and the soft keys of the front end; the
    // world's screens; options, results and their formats.
    const uint32_t ids[] = {
        0x21ff0243, 0x21ff02a0, 0x21ff0249, 0x21ff013b, 0x21ff02a9, 0x21ff0106, 0x21ff0293, 0x21ff0217, 0x21ff0131,
        0x21ff01e5, 0x21ff01a4, 0x21ff0242, 0x21ff018f, 0x21ff0147, 0x21ff023c, 0x21ff0113, 0x21ff02ac, 0x21ff022e,
        0x21ff0252, 0x21ff01ba, 0x21ff0289, 0x21ff01f7, 0x21ff0260, 0x21ff01b3, 0x21ff0119, 0x21ff0151, 0x21ff0190,
        0x21ff0287, 0x21ff015f, 0x21ff0133, 0x21ff01f0, 0x21ff01d0, 0x21ff01e2, 0x21ff0281, 0x21ff0291, 0x21ff016a,
        0x21ff0110, 0x21ff0255, 0x21ff0250, 0x21ff0277, 0x21ff016f, 0x21ff02b5, 0x21ff01d2, 0x21ff014b, 0x21ff01bb,
        0x21ff0120, 0x21ff0247, 0x21ff01a6, 0x21ff0275, 0x21ff01d3, 0x21ff7e04,
    };
    // Both languages hold every one, so the player reads each screen in either.
    ASSERT_EQ(manager->languageCount(), 2u);
    EXPECT_EQ(std::u16string(manager->languageName(0)), u"English");
    EXPECT_EQ(std::u16string(manager->languageName(1)), u"Deutsch");
    for (uint32_t language : {1u, 0u}) {
        ASSERT_EQ(manager->loadListEntry(language), ResourceResult::Loaded);
        for (uint32_t id : ids)
            EXPECT_FALSE(text(id).empty()) << std::hex << id << " in language " << language;
    }
    // A page shows its soft keys 434 and 481 as the rows of those numbers.
    EXPECT_EQ(text(0x21ff0000 | 434), u"OK");
    EXPECT_EQ(text(0x21ff0000 | 481), u"Back");

    // The time formats take the minutes, a pad character and the seconds.
    struct Time {
        uint32_t format;
        int32_t ms;
        std::u16string shown;
    };
    const Time times[] = {
        {0x21ff0250, 180000, u"Time limit 3 min 00 s"},
        {0x21ff0277, 75000, u"Best time 1 min  15 s"},
        {0x21ff016f, 4200, u"Over the limit by 0 min 04 s"},
    };
    for (const Time& t : times) {
        WideString out;
        GameUtils::formatTime(out, t.ms, false, false, int32_t(t.format));
        EXPECT_EQ(std::u16string(out.chars()), t.shown) << std::hex << t.format;
    }
}

TEST_F(SamplePack, CarriesImageSpansForEveryFormatPairTheScreensDraw)
{
    // Turned and scaled pictures on either screen: X8R8G8B8 and 8-bit ones
    // on both, 5-6-5 ones on the 5-6-5 screen the 3D view draws on.
    ASSERT_EQ(registerSpanProgramType(), 1);
    EXPECT_EQ(loadSpanProgramSets(*manager), 15u);
    const uint32_t pairs[][2] = {{PixelFormat::X8R8G8B8, PixelFormat::X8R8G8B8},
                                 {PixelFormat::X8R8G8B8, PixelFormat::P8X8R8G8B8},
                                 {PixelFormat::R5G6B5, PixelFormat::X8R8G8B8},
                                 {PixelFormat::R5G6B5, PixelFormat::P8X8R8G8B8},
                                 {PixelFormat::R5G6B5, PixelFormat::R5G6B5}};
    for (const SpanSetIds& ids : kSpanSets)
        for (const auto& [to, from] : pairs)
            EXPECT_EQ(findSpanProgramSet(*manager, ids.set)->select(to, from, kSpanKey3Image, kSpanKey4Image,
                                                                    kSpanKey5Image, kSpanKey6Image),
                      1)
                << std::hex << ids.set << " " << from << " onto " << to;
}

#ifdef PF_SAMPLE_SOUNDS
TEST_F(SamplePack, EveryCueIsShortMono8000HzThatStartsAndEndsQuietly)
{
    struct Cue {
        uint32_t id;
        bool music;
    };
    const Cue cues[] = {
        {0x0900013a, true},  {0x09000298, true},  {0x0900028a, true},  {0x090001f3, true},  {0x0900027a, false},
        {0x09000161, false}, {0x09000237, false}, {0x09000240, false}, {0x09000295, false},
    };
    constexpr uint32_t kBytesPerSecond = 8000 * 2;
    for (const Cue& cue : cues) {
        SCOPED_TRACE(testing::Message() << std::hex << cue.id);
        PackEntryStream entry;
        ASSERT_EQ(entry.open(&pack, cue.id, 1), 1);
        std::vector<uint8_t> ogg(entry.available());
        entry.read(ogg.data(), uint32_t(ogg.size()));
        uint8_t* wav = nullptr;
        uint32_t size = 0;
        ASSERT_EQ(decodeSound(ogg.data(), uint32_t(ogg.size()), &wav, &size, 0), 1);
        const std::vector<uint8_t> bytes(wav, wav + size);
        delete[] wav;
        ASSERT_GT(size, SoundFormat::WavHeaderSize);
        EXPECT_EQ(le(&bytes[22], 2), 1u);
        EXPECT_EQ(le(&bytes[24], 4), 8000u);
        EXPECT_EQ(le(&bytes[34], 2), 16u);
        const uint32_t data = le(&bytes[40], 4);
        EXPECT_EQ(data, size - SoundFormat::WavHeaderSize);
        // Jingles last about a second, music a few and loops.
        EXPECT_GE(data, kBytesPerSecond / 2);
        EXPECT_LE(data, (cue.music ? 5 : 2) * kBytesPerSecond);
        // It rises from silence in its first millisecond and is silent in
        // its last five, so a loop joins unheard.
        int32_t start = 0;
        int32_t end = 0;
        for (uint32_t i = 0; i < 40; ++i) {
            if (i < 8)
                start = std::max(start, std::abs(int16_t(le(&bytes[44 + 2 * i], 2))));
            end = std::max(end, std::abs(int16_t(le(&bytes[size - 2 - 2 * i], 2))));
        }
        EXPECT_LT(start, 1500);
        EXPECT_LT(end, 200);

        // The game's own load decodes it the same way.
        Resource* resource = nullptr;
        ASSERT_NE(manager->loadById(cue.id, &resource), ResourceResult::Failed);
        ASSERT_EQ(resource->m_typeId, ResourceClassId::Sound);
        const SoundSample* sample = static_cast<SoundResource*>(resource)->sample();
        ASSERT_NE(sample, nullptr);
        EXPECT_EQ(sample->tag(), ResourceType::RawPcm);
        EXPECT_GT(sample->size(), 0u);
        manager->releaseRef(&resource);
    }
}
#endif

class SampleScenes : public SamplePack {
protected:
    void SetUp() override
    {
        SamplePack::SetUp();
        installEngineServices();
    }

    EngineRef load(uint32_t id, uint32_t iid) { return getEngineService()->loadObject(id).as(iid); }

    static uint32_t childCount(const EngineRef& group)
    {
        uint32_t count = 0;
        if (group)
            group.table<IkwGroupTable>().getChildCount(group.get(), &count);
        return count;
    }
    static EngineRef child(const EngineRef& group, uint32_t index)
    {
        EngineRef out;
        if (!group || group.table<IkwGroupTable>().getChild(group.get(), index, out.out()) != 0)
            out.reset();
        return out;
    }
};

TEST_F(SampleScenes, CarryTheNodesAndClipsTheGameLooksUp)
{
    struct Scene {
        uint32_t id;
        uint32_t root;
        std::vector<const char*> groups;  // by transform id
        std::vector<const char*> meshes;  // by name hash
        std::vector<const char*> clips;   // controllers by name hash
    };
    const Scene scenes[] = {
        {0x0300026b, kIidWorld, {"policeman_root", "diamond"}, {}, {}},
        {0x03000102, kIidWorld, {}, {}, {"remove", "lock"}},
        {0x03000259, kIidWorld, {"DummyLevel", "DummyUnlocked"}, {},
         {"openlock_start", "openlock_rotate", "closedlock_start", "closedlock_rotate"}},
        {0x03000174, kIidGroup, {"diamond"}, {"boy"}, {}},
        {0x0300022b, kIidGroup, {"diamond"}, {"boy"}, {}},
        {0x03000112, kIidGroup, {"diamond"}, {"girl_thief"}, {}},
        {0x030001c8, kIidGroup, {}, {}, {"walk_boy_simple", "walk_girl_simple", "idle_breath"}},
        {0x03000107, kIidGroup, {}, {}, {"diamond_car", "diamond_wait", "hi_five"}},
        {0x03000117, kIidGroup, {}, {}, {"idle_wait_man"}},
        {0x03000a0a, kIidWorld,
         {"DummyBOY", "DummyGIRL", "limo_dummy", "list", "lock", "dust", "DummyMAFIA", "final_cam", "boy_root", "girl_root"},
         {}, {}},
        {0x03000a09, kIidWorld, {"locks", "lock"}, {}, {}},
    };
    for (const Scene& scene : scenes) {
        SCOPED_TRACE(testing::Message() << std::hex << scene.id);
        const EngineRef root = load(scene.id, scene.root);
        ASSERT_TRUE(root);
        for (const char* name : scene.groups)
            EXPECT_TRUE(findObject(root, uint32_t(GameUtils::transformId(name)), kIidGroup)) << name;
        for (const char* name : scene.meshes)
            EXPECT_TRUE(findObject(root, uint32_t(GameUtils::nameHash(name)), kIidMesh)) << name;
        for (const char* name : scene.clips)
            EXPECT_TRUE(findObject(root, uint32_t(GameUtils::nameHash(name)), kIidAnimationController)) << name;
        if (scene.root == kIidWorld) {
            EngineRef camera;
            EXPECT_EQ(root.table<IkwWorldTable>().getActiveCamera(root.get(), camera.out()), 0);
            EXPECT_TRUE(camera);
        }
    }

    // The arrest puts the policeman under the one child of its root.
    const EngineRef arrest = load(0x0300026b, kIidWorld);
    const EngineRef policeman = findObject(arrest, uint32_t(GameUtils::transformId("policeman_root")), kIidGroup);
    ASSERT_TRUE(policeman);
    uint32_t children = 0;
    policeman.table<IkwGroupTable>().getChildCount(policeman.get(), &children);
    EXPECT_EQ(children, 1u);
    EXPECT_TRUE(child(policeman, 0).as(kIidGroup));

    // The level end: its camera first under "final_cam", the boy's spot
    // under a turned group, the girl's spot empty for her model.
    const EngineRef levelTen = load(0x03000a0a, kIidWorld);
    const auto named = [&](const EngineRef& root, const char* name) {
        return findObject(root, uint32_t(GameUtils::transformId(name)), kIidGroup);
    };
    EXPECT_TRUE(child(named(levelTen, "final_cam"), 0).as(kIidCamera));
    EngineRef parent;
    const EngineRef boy = named(levelTen, "boy_root");
    ASSERT_TRUE(boy);
    ASSERT_EQ(boy.table<IkwNodeTable>().getParent(boy.get(), parent.out()), 0);
    float turn[4] = {};
    parent.table<IkwTransformableTable>().getOrientation(parent.get(), turn);
    EXPECT_NEAR(turn[0], 90.0f, 1e-3f);
    EXPECT_EQ(childCount(named(levelTen, "girl_root")), 0u);

    // The hideout's wall: nine locks, each at a height of its own.
    const EngineRef locks = named(load(0x03000a09, kIidWorld), "locks");
    ASSERT_EQ(childCount(locks), 9u);
    std::vector<float> heights;
    for (uint32_t i = 0; i < 9; ++i) {
        const EngineRef lock = child(locks, i);
        uint32_t id = 0;
        lock.table<IkwObject3DTable>().getUserID(lock.get(), &id);
        EXPECT_EQ(id, uint32_t(GameUtils::transformId("lock"))) << i;
        float at[3] = {};
        lock.table<IkwTransformableTable>().getTranslation(lock.get(), at);
        heights.push_back(at[1]);
    }
    std::sort(heights.begin(), heights.end());
    EXPECT_EQ(std::adjacent_find(heights.begin(), heights.end()), heights.end());
}

TEST_F(SampleScenes, ClipGroupsGiveTheModelsTheirClipsUnderTheVariantIds)
{
    // As the scripted scenes share them: the companion's and the policeman's
    // copies sit one above the clip's own id.
    struct Copy {
        uint32_t clips;
        uint32_t model;
        uint32_t variant;
        std::vector<const char*> names;
    };
    const Copy copies[] = {
        {0x030001c8, 0x03000174, 0, {"walk_boy_simple", "walk_girl_simple", "idle_breath"}},
        {0x03000107, 0x03000174, 0, {"diamond_car", "diamond_wait", "hi_five"}},
        {0x030001c8, 0x03000112, 1, {"walk_girl_simple", "idle_breath"}},
        {0x03000107, 0x03000112, 1, {"diamond_car", "diamond_wait", "hi_five"}},
        {0x03000117, 0x0300022b, 1, {"idle_wait_man"}},
    };
    for (const Copy& copy : copies) {
        SCOPED_TRACE(testing::Message() << std::hex << copy.clips << " onto " << copy.model);
        const EngineRef source = load(copy.clips, kIidGroup);
        const EngineRef model = load(copy.model, kIidGroup);
        ASSERT_TRUE(source && model);
        assignAnimationIds(source, model, copy.variant);
        for (const char* name : copy.names) {
            const uint32_t id = uint32_t(GameUtils::nameHash(name));
            EXPECT_TRUE(findObject(model, id + copy.variant, kIidAnimationController)) << name;
            if (copy.variant != 0) {
                EXPECT_FALSE(findObject(model, id, kIidAnimationController)) << name << " only as the copy";
            }
        }
    }
}

} // namespace
