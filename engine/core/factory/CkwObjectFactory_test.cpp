// The object factory's table and the engine context's start and shutdown.
#include "engine/core/factory/CkwObjectFactory.h"

#include <gtest/gtest.h>

#include "engine/core/runtime/EngineContext.h"
#include "engine/core/runtime/Trap.h"
#include "engine/core/testing/StubSceneModule.h"

namespace {

class CkwObjectFactoryTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(engineInit(), 1); }
    void TearDown() override { engineShutdown(); }
    CkwObjectFactory& factory() { return *engineContext()->factory; }
};

TEST_F(CkwObjectFactoryTest, EveryTableIdMakesAFreshObjectOfItsClass)
{
    const int32_t ids[] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15,
                           16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 28, 29, 255};
    for (int32_t id : ids) {
        IkwSerializable* object = nullptr;
        ASSERT_EQ(engineTrap([&] { object = factory().create(id); }), KErrNone);
        ASSERT_NE(object, nullptr) << id;
        EXPECT_EQ(object->getClassId(), id);
        EXPECT_EQ(object->refCount(), 0);
        object->addRef();
        EXPECT_EQ(object->release(), 0);
    }
}

TEST_F(CkwObjectFactoryTest, IdsWithoutCreatorGiveNull)
{
    for (int32_t id : {0, 26, 27, 30, 31, 32, 33, 34, 35, 40, 254, 256, -1, INT32_MIN})
        EXPECT_EQ(factory().create(id), nullptr) << id;
}

TEST_F(CkwObjectFactoryTest, RegisterIgnoresIdsOutsideTheTable)
{
    factory().registerCreator(40, [] { return static_cast<IkwSerializable*>(nullptr); });
    factory().registerCreator(-3, nullptr);
    EXPECT_FALSE(factory().hasCreator(40));
    factory().registerCreator(kClassExternalReference, nullptr);
    EXPECT_FALSE(factory().hasCreator(kClassExternalReference));
}

TEST(EngineContext, StartsWithTheDefaultTransformAndShutsDownThroughTheHooks)
{
    ASSERT_EQ(engineInit(), 1);
    EngineContext* context = engineContext();
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(engineInit(), 0); // one context per process
    EXPECT_EQ(context->reserved5, -1);
    EXPECT_EQ(context->lastError, 0);
    EXPECT_EQ(context->identityMatrix->classWord, 63);
    const DefaultTransformBlock& block = *context->defaultTransform;
    EXPECT_EQ(block.scale[1], 1.0f);
    EXPECT_EQ(block.orientation[3], 1.0f);
    EXPECT_EQ(block.translation[2], 0.0f);
    EXPECT_EQ(block.generalMatrix, context->identityMatrix);
    EXPECT_EQ(block.matrix.classWord, 63);
    EXPECT_EQ(engineWord13(), &context->word13);

    const int32_t before = stubShutdowns();
    engineShutdown();
    EXPECT_EQ(engineContext(), nullptr);
    EXPECT_EQ(stubShutdowns(), before + 1);
    engineShutdown(); // nothing left: no effect
    EXPECT_EQ(stubShutdowns(), before + 1);
}

} // namespace
