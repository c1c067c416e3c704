// The IndexBuffer entries over a stand-in index buffer (the strip array comes
// with the scene library); the other common families are exercised through
// the Group and World tables.
#include "engine/core/interface/CommonEntries.h"

#include <gtest/gtest.h>

#include "engine/core/runtime/EngineContext.h"

namespace {

// Two triangles of a four-index strip.
class TwoTriangles : public CkwIndexBuffer {
public:
    int32_t getClassId() const override { return kClassTriangleStripArray; }
    CkwObject3D* duplicate() const override { return new TwoTriangles; }
    int32_t getIndexCount() const override { return 6; }
    void getTriangleIndices(int32_t outLength, int32_t* out) const override
    {
        if (outLength < 6)
            leave(KErrIllegalArgument);
        const int32_t list[6] = {0, 1, 2, 2, 1, 3};
        for (int i = 0; i < 6; ++i)
            out[i] = list[i];
    }
};

TEST(CommonEntries, IndexBufferExpandsIntoACheckedArray)
{
    ASSERT_EQ(engineInit(), 1);
    {
        TwoTriangles buffer;
        buffer.addRef();
        EngineHandle handle = {&kIndexBufferEntries, &buffer, 1, nullptr};
        const auto& t = kIndexBufferEntries;
        uint32_t count = 0;
        t.getIndexCount(&handle, &count);
        EXPECT_EQ(count, 6u);
        int32_t indices[7] = {-1, -1, -1, -1, -1, -1, -1};
        EXPECT_EQ(t.getIndices(&handle, 6, nullptr), 0x1000E);
        EXPECT_EQ(t.getIndices(&handle, 5, indices), 0x1000D);
        EXPECT_EQ(t.getIndices(&handle, 0x80000000u, indices), 0);
        EXPECT_EQ(t.getIndices(&handle, 7, indices), 0);
        EXPECT_EQ(std::vector<int32_t>(indices, indices + 7), (std::vector<int32_t>{0, 1, 2, 2, 1, 3, -1}));
        uint32_t userId = 1;
        t.object3D.setUserID(&handle, 42);
        t.object3D.getUserID(&handle, &userId);
        EXPECT_EQ(userId, 42u);
        // An empty handle is no index buffer.
        EngineHandle empty = {&kIndexBufferEntries, nullptr, 0, nullptr};
        EXPECT_EQ(t.getIndices(&empty, 7, indices), 0x1000E);
    }
    engineShutdown();
}

TEST(CommonEntries, SizesAboveTheSignedRangeSaturate)
{
    EXPECT_EQ(sizeArgument(0), 0);
    EXPECT_EQ(sizeArgument(0x7FFFFFFF), 0x7FFFFFFF);
    EXPECT_EQ(sizeArgument(0x80000000u), 0x7FFFFFFF);
    EXPECT_EQ(sizeArgument(0xFFFFFFFFu), 0x7FFFFFFF);
}

} // namespace
