// Trap, leave and cleanup stack as one group: nesting, destruction order,
// level reuse, failed pushes, and the fatal cases.
#include "engine/core/runtime/CleanupStack.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "engine/core/runtime/EngineAlloc.h"
#include "engine/core/runtime/EngineContext.h"
#include "engine/core/runtime/Trap.h"

namespace {

std::vector<std::string> g_destroyed;

class Tracked : public CkwHeapObject {
public:
    explicit Tracked(std::string name) : m_name(std::move(name)) {}
    ~Tracked() override { g_destroyed.push_back(m_name); }

private:
    std::string m_name;
};

// Fails every allocation from the k-th on (counted from 1); 0 fails none.
int g_allocations = 0;
int g_failFrom = 0;
void* countingAlloc(uint32_t size, uint32_t)
{
    ++g_allocations;
    if (g_failFrom != 0 && g_allocations >= g_failFrom)
        return nullptr;
    return std::malloc(size);
}

class CleanupStackTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_destroyed.clear();
        g_allocations = 0;
        g_failFrom = 0;
        setEngineAllocHooks(&countingAlloc, nullptr);
        ASSERT_EQ(engineInit(), 1);
    }
    void TearDown() override
    {
        engineShutdown();
        setEngineAllocHooks(nullptr, nullptr);
    }
};

TEST_F(CleanupStackTest, LeaveInInnermostOfThreeTrapsDestroysOnlyItsObjectsLastPushedFirst)
{
    std::vector<std::string> afterInner;
    int32_t middleCode = 1;
    int32_t innerCode = 1;
    Tracked* outerObject = new Tracked("outer");
    Tracked* middleObject = new Tracked("middle");
    int32_t outer = engineTrap([&] {
        pushL(outerObject);
        middleCode = engineTrap([&] {
            pushL(middleObject);
            innerCode = engineTrap([&] {
                pushL(new Tracked("a"));
                pushL(new Tracked("b"));
                pushL(new Tracked("c"));
                leave(KErrNullArgument);
            });
            afterInner = g_destroyed;
            EXPECT_EQ(cleanupStack().openLevels(), 2);
            EXPECT_EQ(cleanupStack().currentObjectCount(), 1);
            popL(nullptr);
            delete new Tracked("middle-done");
        });
        popL(nullptr);
    });
    EXPECT_EQ(innerCode, KErrNullArgument);
    EXPECT_EQ(afterInner, (std::vector<std::string>{"c", "b", "a"}));
    EXPECT_EQ(middleCode, KErrNone);
    EXPECT_EQ(outer, KErrNone);
    EXPECT_EQ(cleanupStack().openLevels(), 0);
    // Popped objects survive their traps.
    EXPECT_EQ(g_destroyed, (std::vector<std::string>{"c", "b", "a", "middle-done"}));
    delete middleObject;
    delete outerObject;
}

TEST_F(CleanupStackTest, TrapExitDestroysWhatIsStillPushedAndPoppedObjectsSurvive)
{
    Tracked* popped = new Tracked("popped");
    int32_t code = engineTrap([&] {
        pushL(new Tracked("kept"));
        pushL(popped);
        popL(popped);
        pushL(new Tracked("dropped"));
    });
    EXPECT_EQ(code, KErrNone);
    EXPECT_EQ(g_destroyed, (std::vector<std::string>{"dropped", "kept"}));
    delete popped;
}

TEST_F(CleanupStackTest, ClosedLevelsAreReusedWithoutAllocating)
{
    ASSERT_EQ(engineTrap([] {}), KErrNone);
    const int levels = cleanupStack().allocatedLevels();
    const int before = g_allocations;
    ASSERT_EQ(engineTrap([] {}), KErrNone);
    EXPECT_EQ(cleanupStack().allocatedLevels(), levels);
    EXPECT_EQ(g_allocations, before);
}

TEST_F(CleanupStackTest, PushWhoseGrowthFailsStillDestroysTheObject)
{
    int32_t code = engineTrap([] {
        // The level has one reserved slot; filling it forces a growth.
        Tracked* object = new Tracked("pushed");
        g_failFrom = g_allocations + 1;
        pushL(object);
    });
    g_failFrom = 0;
    EXPECT_EQ(code, KErrNoMemory);
    EXPECT_EQ(g_destroyed, (std::vector<std::string>{"pushed"}));
    EXPECT_EQ(cleanupStack().openLevels(), 0);
}

TEST_F(CleanupStackTest, CleanupPtrOwnsOnTheNormalPathAndYieldsToTheStackOnLeave)
{
    int32_t code = engineTrap([] {
        CkwCleanupPtr<Tracked> first(new Tracked("first"));
        CkwCleanupPtr<Tracked> second(new Tracked("second"));
        Tracked* released = second.release();
        delete released;
    });
    EXPECT_EQ(code, KErrNone);
    EXPECT_EQ(g_destroyed, (std::vector<std::string>{"second", "first"}));

    g_destroyed.clear();
    code = engineTrap([] {
        CkwCleanupPtr<Tracked> held(new Tracked("held"));
        pushL(new Tracked("plain"));
        leave(KErrIllegalArgument);
    });
    EXPECT_EQ(code, KErrIllegalArgument);
    EXPECT_EQ(g_destroyed, (std::vector<std::string>{"plain", "held"}));
}

TEST_F(CleanupStackTest, BadAllocInsideATrapBecomesNoMemory)
{
    int32_t code = engineTrap([] {
        pushL(new Tracked("x"));
        throw std::bad_alloc();
    });
    EXPECT_EQ(code, KErrNoMemory);
    EXPECT_EQ(g_destroyed, (std::vector<std::string>{"x"}));
    EXPECT_EQ(engineTrapStack()->count, 0);
}

TEST_F(CleanupStackTest, EveryFailingAllocationOfANewObjectLeavesNoMemory)
{
    int32_t code = engineTrap([] {
        g_failFrom = g_allocations + 1;
        new Tracked("never");
    });
    g_failFrom = 0;
    EXPECT_EQ(code, KErrNoMemory);
    EXPECT_TRUE(g_destroyed.empty());
}

using CleanupStackDeathTest = CleanupStackTest;

TEST_F(CleanupStackDeathTest, SixthNestedTrapIsFatal)
{
    auto nest = [](auto& self, int depth) -> void {
        engineTrap([&] {
            if (depth > 1)
                self(self, depth - 1);
        });
    };
    nest(nest, 5); // five is allowed
    EXPECT_DEATH(nest(nest, 6), "nested traps");
}

// Misuse that would write outside a level's array stops the engine instead.
TEST_F(CleanupStackDeathTest, UnmatchedPopAndPushOutsideATrapAreFatal)
{
    EXPECT_DEATH(engineTrap([] { popL(nullptr); }), "pop without a push");
    EXPECT_DEATH(engineTrap([] {
                     pushL(new Tracked("one"));
                     popL(nullptr);
                     popL(nullptr);
                 }),
                 "pop without a push");
    EXPECT_DEATH(pushL(new Tracked("loose")), "push outside a trap");
    EXPECT_DEATH(popL(nullptr), "pop without a push");
}

TEST_F(CleanupStackDeathTest, LeaveWithoutATrapExitsWithCodeOne)
{
    EXPECT_EXIT(leave(KErrIllegalArgument), ::testing::ExitedWithCode(1), "");
}

TEST(EngineRuntime, EngineInitSurvivesEveryFailingAllocation)
{
    for (int k = 1; k < 64; ++k) {
        g_allocations = 0;
        g_failFrom = k;
        setEngineAllocHooks(&countingAlloc, nullptr);
        int32_t ok = engineInit();
        g_failFrom = 0;
        if (ok == 1) {
            engineShutdown();
            setEngineAllocHooks(nullptr, nullptr);
            EXPECT_GT(k, 3);
            return;
        }
        EXPECT_EQ(engineContext(), nullptr) << "allocation " << k;
    }
    setEngineAllocHooks(nullptr, nullptr);
    FAIL() << "engineInit never succeeded";
}

} // namespace
