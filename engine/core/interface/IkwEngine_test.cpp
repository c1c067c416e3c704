#include "engine/core/interface/IkwEngine.h"

#include <gtest/gtest.h>
#include <set>

#include "engine/core/factory/ClassIds.h"
#include "engine/core/interface/EngineHandle.h"
#include "engine/core/interface/InterfaceIds.h"
#include "engine/core/interface/InterfaceMetadata.h"
#include "engine/core/interface/LoaderInterfaces.h"
#include "engine/core/runtime/CkwRefCount.h"

namespace {

class RootTest : public ::testing::Test {
protected:
    RootTest()
    {
        EXPECT_EQ(initEngineApi(&m_root), 0);
        m_api = m_root->table;
    }
    ~RootTest() override
    {
        if (m_root != nullptr)
            while (m_api->release(m_root) != 0) {
            }
    }
    void initialise() { ASSERT_EQ(m_api->initialize(m_root, nullptr, nullptr), 0); }

    IkwEngine* m_root = nullptr;
    const IkwEngineTable* m_api = nullptr;
};

TEST(MapLeaveCode, TranslatesEveryKnownCode)
{
    const struct {
        int32_t code;
        EngineResult result;
    } cases[] = {
        {0, 0},          {-2, 0x10000},     {-4, 0x10001},     {-9, 0x10002},     {-39, 0x10003},
        {-41, 0x10004},  {-1000, 0x10005},  {-1001, 0x10006},  {-1101, 0x10007},  {-1103, 0x10008},
        {-1200, 0x10008}, {-1201, 0x10009}, {-1202, 0x1000A},  {-1203, 0x1000B},  {-1300, 0x1000C},
        {-1301, 0x1000D}, {-1302, 0x1000E}, {-2010, -10},      {-2007, -7},       {-2001, -1},
        {-2000, -2000},  {-7, -7},          {259, 259},        {2, 2},            {0x1000C, 0x1000C},
    };
    for (const auto& c : cases)
        EXPECT_EQ(mapLeaveCode(c.code), c.result) << c.code;
}

TEST_F(RootTest, EntryPointAndRecordsHoldTheirFixedValues)
{
    EXPECT_EQ(initEngineApi(nullptr), 1);
    EngineVersion version;
    m_api->getVersion(&version);
    EXPECT_EQ(std::vector<uint32_t>(version.words, version.words + 5), (std::vector<uint32_t>{2, 2, 0, 441, 0}));
    EnginePixelFormat format;
    m_api->getPixelFormat(&format);
    EXPECT_EQ(format.greenMask, 0x07E0u);
    EXPECT_EQ(format.redShift, 11u);
    EXPECT_EQ(format.greenBits, 6u);
    EXPECT_EQ(m_api->getRefCount(nullptr), 0u);
    EXPECT_EQ(m_api->getObjectType(nullptr), 0u);
    EXPECT_EQ(m_api->addRef(m_root), 2u);
    EXPECT_EQ(m_api->release(m_root), 1u);
    EXPECT_EQ(m_api->setOption(5), 0);
}

TEST_F(RootTest, CreationNeedsInitialisationAndAConcreteInterface)
{
    EngineHandle* handle = nullptr;
    EXPECT_EQ(m_api->createEngineObject(kIidLoader, &handle), 0x1000C);
    initialise();
    EXPECT_EQ(m_api->initialize(m_root, nullptr, nullptr), 0x1000C);
    EXPECT_EQ(m_api->createEngineObject(kIidLoader, nullptr), 14);
    for (uint32_t iid : {11u, 18u, 19u, 27u, 0u, 32u, 99u, 102u}) {
        handle = reinterpret_cast<EngineHandle*>(1);
        EXPECT_EQ(m_api->createEngineObject(iid, &handle), 1) << iid;
        EXPECT_EQ(handle, nullptr);
    }
    ASSERT_EQ(m_api->createEngineObject(kIidLoader, &handle), 0);
    EXPECT_EQ(m_api->getObjectType(handle), kIidLoader);
    EXPECT_EQ(handle->object->refCount(), 1);
    tableOf<IkwUnknownTable>(handle).release(handle);
}

TEST_F(RootTest, HandlesCountAndReuseTheirRecords)
{
    initialise();
    EngineHandle* handle = nullptr;
    ASSERT_EQ(m_api->createEngineObject(kIidArchive, &handle), 0);
    const IkwUnknownTable& unknown = tableOf<IkwUnknownTable>(handle);
    CkwRefCount* object = handle->object;
    EXPECT_EQ(unknown.addRef(handle), 2u);
    EXPECT_EQ(object->refCount(), 2);

    EngineHandle* same = nullptr;
    EXPECT_EQ(unknown.queryInterface(handle, kIidArchive, &same), 0);
    EXPECT_EQ(same, handle);
    EXPECT_EQ(handle->count, 3u);
    EXPECT_EQ(unknown.queryInterface(handle, kIidLoader, &same), 3);
    EXPECT_EQ(same, nullptr);
    EXPECT_EQ(unknown.queryInterface(handle, kIidUniversalB, &same), 0);
    EXPECT_EQ(unknown.queryInterface(handle, kIidUniversalA, nullptr), 14);

    EXPECT_EQ(unknown.release(handle), 3u);
    EXPECT_EQ(unknown.release(handle), 2u);
    EXPECT_EQ(unknown.release(handle), 1u);
    EXPECT_EQ(unknown.release(handle), 0u);
    EXPECT_EQ(unknown.release(handle), 0u); // dead: nothing released twice
    EXPECT_EQ(unknown.addRef(handle), 0u);  // nor revived without an object
    EXPECT_EQ(handle->count, 0u);

    EngineHandle* next = nullptr;
    ASSERT_EQ(m_api->createEngineObject(kIidArchiveMember, &next), 0);
    EXPECT_EQ(next, handle); // the free list's record
    EXPECT_EQ(m_api->getObjectType(next), kIidArchiveMember);
    tableOf<IkwUnknownTable>(next).release(next);
}

int g_destroyed = 0;

class CountedObject : public CkwHeapObject, public CkwRefCount {
public:
    ~CountedObject() override { ++g_destroyed; }
    int32_t getClassId() const override { return kClassArchive; }
};

TEST_F(RootTest, TrackedHandlesAreHandedBackAtTheLastRelease)
{
    initialise();
    EXPECT_EQ(m_api->setOption(kOptionTrackHandles), 0);
    g_destroyed = 0;
    auto* kept = new CountedObject;
    auto* dropped = new CountedObject;
    EngineHandle* a = nullptr;
    EngineHandle* b = nullptr;
    ASSERT_EQ(wrapObject(kept, &a), 0);
    ASSERT_EQ(wrapObject(dropped, &b), 0);
    unknownAddRef(a);
    unknownRelease(b); // unlinked from the tracked list, destroyed now
    EXPECT_EQ(g_destroyed, 1);
    EXPECT_EQ(m_api->addRef(m_root), 2u);
    EXPECT_EQ(m_api->release(m_root), 1u);
    EXPECT_EQ(g_destroyed, 1);
    EXPECT_EQ(m_api->release(m_root), 0u);
    m_root = nullptr;
    EXPECT_EQ(g_destroyed, 2);
}

TEST_F(RootTest, ObjectsWithoutATableAreNotWrapped)
{
    initialise();
    class Foreign : public CkwHeapObject, public CkwRefCount {
    public:
        explicit Foreign(int32_t classId) : m_classId(classId) {}
        int32_t getClassId() const override { return m_classId; }
        int32_t m_classId;
    };
    // No interface at all answers 2; an interface without a table of its own
    // size (the stand-in module offers Transform only a Group table) says it
    // is not supported.
    const struct {
        int32_t classId;
        EngineResult result;
    } cases[] = {{kClassResourceLoader, 2}, {kClassExternalReference, 2}, {kClassTransform, 0x1000C}};
    for (const auto& c : cases) {
        EngineHandle* handle = reinterpret_cast<EngineHandle*>(1);
        EXPECT_EQ(wrapObject(new Foreign(c.classId), &handle), c.result) << c.classId; // destroyed, nobody held it
        EXPECT_EQ(handle, nullptr);
    }
    EngineHandle* handle = nullptr;
    EXPECT_EQ(m_api->createEngineObject(kIidTransform, &handle), 0x1000C);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(wrapObject(nullptr, &handle), 0);
    EXPECT_EQ(handle, nullptr);
}

TEST(InterfaceMetadata, DescribesTheTwentyNineInterfaces)
{
    const auto rows = interfaceMetadata();
    ASSERT_EQ(rows.size(), 29u);
    const std::set<uint32_t> abstractIds = {11, 18, 19, 27};
    std::set<int32_t> classes;
    uint32_t slot = 0;
    for (const InterfaceInfo& info : rows) {
        SCOPED_TRACE(info.iid);
        EXPECT_FALSE(abstractIds.count(info.iid));
        EXPECT_EQ(interfaceById(info.iid), &info);
        EXPECT_EQ(interfaceSlot(info), slot++);
        EXPECT_EQ(info.accepts[0], info.iid); // an interface accepts itself first
        for (uint32_t accepted : info.accepts) {
            const bool known = abstractIds.count(accepted) != 0 || interfaceById(accepted) != nullptr;
            EXPECT_TRUE(accepted == 0 || known) << accepted;
        }
        for (int32_t classId : info.classIds) {
            if (classId == 0)
                continue;
            EXPECT_TRUE(classes.insert(classId).second) << "class on two rows: " << classId;
            EXPECT_EQ(interfaceByClass(classId), &info);
        }
        EXPECT_NE(info.create, nullptr);
    }
    for (uint32_t iid : abstractIds)
        EXPECT_EQ(interfaceById(iid), nullptr);
    for (int32_t classId : {0, 26, 30, 255, 34, -1})
        EXPECT_EQ(interfaceByClass(classId), nullptr);
    EXPECT_EQ(interfaceByClass(kClassPlasmaImage)->iid, kIidImage2D);
    EXPECT_EQ(interfaceByClass(kClassCompressedImage2D)->iid, kIidImage2D);
    EXPECT_EQ(interfaceByClass(kClassBrewLoader)->iid, kIidLoader);
    EXPECT_EQ(interfaceById(kIidLoader)->table, &kLoaderTable);
    EXPECT_EQ(interfaceById(kIidLoader)->entryCount, kEntryCount<IkwLoaderTable>);
    EXPECT_EQ(interfaceById(kIidArchive)->entryCount, kEntryCount<IkwArchiveTable>);
    EXPECT_EQ(interfaceById(kIidArchiveMember)->entryCount, kEntryCount<IkwArchiveMemberTable>);
    EXPECT_EQ(interfaceById(kIidGroup)->entryCount, kEntryCount<IkwGroupTable>);
    EXPECT_EQ(interfaceById(kIidWorld)->entryCount, kEntryCount<IkwWorldTable>);
}

} // namespace
