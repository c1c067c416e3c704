// Object3D: track grouping and its checks, the animation step with weights,
// controllers, pass stamps and the SCALE, CROP and MORPH_WEIGHTS cases, user
// parameters, references, find, copy and the destroy callback.
#include "engine/core/scene/CkwObject3D.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

#include "engine/core/runtime/EngineContext.h"
#include "engine/core/runtime/Trap.h"
#include "engine/core/scene/CkwAnimationTrackBase.h"
#include "engine/core/scene/SceneIds.h"
#include "engine/core/testing/AllocationSweep.h"

namespace {

// A track whose sample is a constant value per component.
class StubTrack : public CkwAnimationTrackBase {
public:
    StubTrack(int32_t property, std::vector<float> value, float weight = 1.0f, bool active = true,
              int32_t validity = 100)
        : m_property(property), m_value(std::move(value)), m_weight(weight), m_active(active), m_validity(validity)
    {
    }
    CkwObject3D* duplicate() const override { return nullptr; }
    int32_t getTargetProperty() const override { return m_property; }
    int32_t getComponentCount() const override { return static_cast<int32_t>(m_value.size()); }
    float getControllerWeight() const override { return m_weight; }
    bool isControllerActive(int32_t) const override { return m_active; }
    int32_t sample(int32_t, int32_t components, float* values, float weight) override
    {
        ++samples;
        for (int32_t i = 0; i < components && i < getComponentCount(); ++i)
            values[i] += weight * m_value[static_cast<size_t>(i)];
        return m_validity;
    }

    int32_t samples = 0;

private:
    int32_t m_property;
    std::vector<float> m_value;
    float m_weight;
    bool m_active;
    int32_t m_validity;
};

struct Applied {
    int32_t property;
    std::vector<float> values;
};

class Animated : public CkwObject3D {
public:
    explicit Animated(int32_t classId = 3) : m_classId(classId) {}
    int32_t getClassId() const override { return m_classId; }
    CkwObject3D* duplicate() const override
    {
        auto* copy = new Animated(m_classId);
        copy->copyFrom(*this);
        return copy;
    }
    bool isAnimatable(int32_t property) const override
    {
        return property == kPropertyTranslation || property == kPropertyScale || property == kPropertyCrop
            || property == kPropertyMorphWeights || property == kPropertyAlpha;
    }
    void applyAnimatedProperty(int32_t property, int32_t components, const float* values) override
    {
        applied.push_back({property, std::vector<float>(values, values + components)});
    }
    CkwReference getReference(int32_t index) const override
    {
        const int32_t own = getAnimationTrackCount();
        if (index < own)
            return CkwObject3D::getReference(index);
        index -= own;
        if (index < static_cast<int32_t>(extra.size()))
            return extra[static_cast<size_t>(index)];
        return CkwReference::end();
    }

    std::vector<Applied> applied;
    std::vector<CkwReference> extra;
    float cropWidth = 0.0f;
    float cropHeight = 0.0f;
    std::vector<float> morph;

protected:
    void getAnimationCrop(float& width, float& height) const override
    {
        width = cropWidth;
        height = cropHeight;
    }
    float* getMorphWeights(int32_t& count) override
    {
        count = static_cast<int32_t>(morph.size());
        return morph.empty() ? nullptr : morph.data();
    }

private:
    int32_t m_classId;
};

class Object3DTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(engineInit(), 1); }
    void TearDown() override { engineShutdown(); }

    // Objects the test made, kept alive by one count each.
    template <class T>
    T* make(T* object)
    {
        object->addRef();
        m_objects.push_back(object);
        return object;
    }

    int32_t trap(const std::function<void()>& body) { return engineTrap(body); }

    ~Object3DTest() override
    {
        for (auto it = m_objects.rbegin(); it != m_objects.rend(); ++it)
            (*it)->release();
    }

private:
    std::vector<CkwObject3D*> m_objects;
};

TEST_F(Object3DTest, TrackChecksRefuseNullDuplicateForeignAndMismatchedTracks)
{
    Animated* object = make(new Animated);
    StubTrack* t1 = make(new StubTrack(kPropertyTranslation, {1, 2, 3}));
    StubTrack* t4 = make(new StubTrack(kPropertyTranslation, {1, 2, 3, 4}));
    StubTrack* fog = make(new StubTrack(kPropertyDensity, {1}));
    Animated* notTrack = make(new Animated(kClassAnimationTrack - 1));

    ASSERT_EQ(trap([&] { object->addAnimationTrack(t1); }), KErrNone);
    const struct {
        CkwObject3D* track;
        const char* what;
    } refused[] = {{nullptr, "null"}, {t1, "twice"}, {t4, "other size"}, {fog, "not animatable"}, {notTrack, "class"}};
    for (const auto& c : refused)
        EXPECT_EQ(trap([&] { object->addAnimationTrack(c.track); }), KErrIllegalArgument) << c.what;
    EXPECT_EQ(object->getAnimationTrackCount(), 1);
    EXPECT_EQ(t1->refCount(), 2);
    EXPECT_EQ(trap([&] { object->getAnimationTrack(1); }), KErrIndexOutOfRange);
    EXPECT_EQ(trap([&] { object->getAnimationTrack(-1); }), KErrIndexOutOfRange);
}

TEST_F(Object3DTest, TracksStayGroupedByPropertyInArrivalOrder)
{
    Animated* object = make(new Animated);
    StubTrack* a1 = make(new StubTrack(kPropertyTranslation, {1, 0, 0}));
    StubTrack* s1 = make(new StubTrack(kPropertyScale, {1, 1, 1}));
    StubTrack* a2 = make(new StubTrack(kPropertyTranslation, {2, 0, 0}));
    ASSERT_EQ(trap([&] {
        object->addAnimationTrack(a1);
        object->addAnimationTrack(s1);
        object->addAnimationTrack(a2);
    }),
              KErrNone);
    // A later track of a property goes in front of the first of its group.
    EXPECT_EQ(object->getAnimationTrack(0), a2);
    EXPECT_EQ(object->getAnimationTrack(1), a1);
    EXPECT_EQ(object->getAnimationTrack(2), s1);

    object->removeAnimationTrack(a2);
    object->removeAnimationTrack(a1);
    object->removeAnimationTrack(a1); // absent: nothing
    object->removeAnimationTrack(nullptr);
    EXPECT_EQ(object->getAnimationTrackCount(), 1);
    EXPECT_EQ(a1->refCount(), 1);
    // The emptied group is gone: a translation track of another size fits again.
    StubTrack* wide = make(new StubTrack(kPropertyTranslation, {1, 2, 3, 4}));
    EXPECT_EQ(trap([&] { object->addAnimationTrack(wide); }), KErrNone);
}

TEST_F(Object3DTest, ATrackThatCannotBeStoredLeavesTheTracksAsTheyWere)
{
    // Fails each allocation of adding a track of a new property in turn.
    sweepAllocationFailures([&] {
        const HookedRef<Animated> object(new Animated);
        StubTrack* moved = make(new StubTrack(kPropertyTranslation, {1, 2, 3}));
        StubTrack* scaled = make(new StubTrack(kPropertyScale, {2, 2, 2}));
        ASSERT_EQ(trap([&] { object->addAnimationTrack(moved); }), KErrNone);
        int32_t code = KErrNone;
        {
            FailingAllocHooks hooks;
            code = trap([&] { object->addAnimationTrack(scaled); });
        }
        if (!FailingAllocator::failed()) {
            EXPECT_EQ(code, KErrNone);
            EXPECT_EQ(object->getAnimationTrackCount(), 2);
            return;
        }
        ASSERT_EQ(code, KErrNoMemory);
        EXPECT_EQ(object->getAnimationTrackCount(), 1);
        EXPECT_EQ(scaled->refCount(), 1);
        ASSERT_EQ(trap([&] { object->animate(0, kNewAnimationPass); }), KErrNone);
        ASSERT_EQ(object->applied.size(), 1u);
        EXPECT_EQ(object->applied[0].property, kPropertyTranslation);
        // A retry once memory is back succeeds.
        ASSERT_EQ(trap([&] { object->addAnimationTrack(scaled); }), KErrNone);
        EXPECT_EQ(object->getAnimationTrack(1), scaled);
    });
}

TEST_F(Object3DTest, TracksGoAndComeBackAsAModelSaysWhateverAllocationFails)
{
    const int32_t properties[] = {kPropertyTranslation, kPropertyScale, kPropertyAlpha};
    std::vector<StubTrack*> all;
    for (int32_t i = 0; i < 60; ++i)
        all.push_back(make(new StubTrack(properties[i % 3], std::vector<float>(i % 3 == 2 ? 1 : 3, 1.0f))));
    // The cleanup stack grows on first use and keeps what it took.
    ASSERT_EQ(trap([&] { make(new Animated)->addAnimationTrack(all[0]); }), KErrNone);
    sweepAllocationFailures([&] {
        const HookedRef<Animated> object(new Animated);
        FailingAllocHooks hooks;
        // Groups in the order their properties arrived, each read newest first.
        std::vector<std::pair<int32_t, std::vector<StubTrack*>>> model;
        std::map<int32_t, int32_t> holes; // places left empty, by property
        const auto order = [&] {
            std::vector<CkwAnimationTrackBase*> tracks;
            for (const auto& group : model)
                tracks.insert(tracks.end(), group.second.rbegin(), group.second.rend());
            return tracks;
        };
        const auto add = [&](StubTrack* t) {
            if (trap([&] { object->addAnimationTrack(t); }) != KErrNone)
                return;
            auto g = std::find_if(model.begin(), model.end(), [&](auto& g) { return g.first == t->getTargetProperty(); });
            (g != model.end() ? g : model.insert(g, {t->getTargetProperty(), {}}))->second.push_back(t);
        };
        const auto remove = [&](CkwAnimationTrackBase* t) {
            object->removeAnimationTrack(t);
            for (auto g = model.begin(); g != model.end(); ++g)
                if (std::erase(g->second, t) != 0) {
                    ++holes[g->first];
                    if (g->second.empty()) {
                        holes.erase(g->first);
                        model.erase(g);
                    }
                    break;
                }
            const std::vector<CkwAnimationTrackBase*> tracks = order();
            size_t places = tracks.size();
            for (const auto& [property, n] : holes)
                places += static_cast<size_t>(n);
            if (places > 2 * tracks.size()) { // the holes outnumber the tracks: closed up
                holes.clear();
                places = tracks.size();
            }
            ASSERT_EQ(object->getAnimationTrackCount(), static_cast<int32_t>(tracks.size()));
            for (size_t i = 0; i < tracks.size(); ++i)
                ASSERT_EQ(object->getAnimationTrack(static_cast<int32_t>(i)), tracks[i]) << i;
            // Animation visits each place once and sums each group's tracks.
            object->applied.clear();
            const uint64_t visits = engineContext()->visits;
            ASSERT_EQ(trap([&] { object->animate(0, kNewAnimationPass); }), KErrNone);
            EXPECT_EQ(engineContext()->visits - visits, places);
            for (size_t g = 0; g < model.size(); ++g)
                EXPECT_EQ(object->applied.at(g).values[0], static_cast<float>(model[g].second.size()));
        };
        // From the front, the back and the middle, each read after, past the
        // close-up of the holes; then moved tracks go and come back.
        for (StubTrack* t : all)
            add(t);
        for (int32_t i = 0; i < 45 && !model.empty(); ++i) {
            const std::vector<CkwAnimationTrackBase*> tracks = order();
            ASSERT_NO_FATAL_FAILURE(remove(tracks[i % 3 == 0 ? 0 : i % 3 == 1 ? tracks.size() - 1 : tracks.size() / 2]));
        }
        for (size_t i = 0; i < all.size(); i += 2)
            add(all[i]);
        for (size_t i = 0; i < all.size(); i += 3)
            ASSERT_NO_FATAL_FAILURE(remove(all[i]));
        for (StubTrack* t : all)
            add(t);
        ASSERT_NO_FATAL_FAILURE(remove(nullptr));
    });
}

TEST_F(Object3DTest, AnimateBlendsTracksByControllerWeight)
{
    struct Case {
        const char* what;
        std::vector<std::pair<float, bool>> controllers; // weight, active
        bool applied;
        float x;
    };
    const Case cases[] = {
        {"weighted sum", {{0.25f, true}, {0.75f, true}}, true, 0.25f * 4 + 0.75f * 8},
        {"zero weight skipped", {{0.0f, true}, {0.5f, true}}, true, 0.5f * 8},
        {"only zero weight", {{0.0f, true}}, false, 0},
        {"negative weight", {{-1.0f, true}}, false, 0},
        {"inactive skipped", {{1.0f, false}, {1.0f, true}}, true, 8},
    };
    for (const Case& c : cases) {
        Animated* object = make(new Animated);
        const float values[] = {4, 8};
        for (size_t i = 0; i < c.controllers.size(); ++i) {
            StubTrack* t = make(new StubTrack(kPropertyTranslation, {values[i], 1, 0}, c.controllers[i].first,
                                              c.controllers[i].second, 50 + static_cast<int32_t>(i)));
            ASSERT_EQ(trap([&] { object->addAnimationTrack(t); }), KErrNone);
        }
        int32_t validity = 0;
        ASSERT_EQ(trap([&] { validity = object->animate(0, kNewAnimationPass); }), KErrNone);
        ASSERT_EQ(object->applied.size(), c.applied ? 1u : 0u) << c.what;
        if (c.applied) {
            EXPECT_EQ(object->applied[0].property, kPropertyTranslation);
            ASSERT_EQ(object->applied[0].values.size(), 3u);
            EXPECT_FLOAT_EQ(object->applied[0].values[0], c.x) << c.what;
            EXPECT_LT(validity, kValidityInfinite);
        } else {
            EXPECT_EQ(validity, kValidityInfinite);
        }
    }
}

TEST_F(Object3DTest, PassStampsAnimateOncePerPass)
{
    Animated* object = make(new Animated);
    StubTrack* t = make(new StubTrack(kPropertyAlpha, {0.5f}));
    ASSERT_EQ(trap([&] { object->addAnimationTrack(t); }), KErrNone);

    ASSERT_EQ(trap([&] {
        EXPECT_EQ(object->animate(0, 7), 100);
        EXPECT_EQ(object->animate(0, 7), kValidityInfinite);
        EXPECT_EQ(object->animate(0, 8), 100);
    }),
              KErrNone);
    EXPECT_EQ(t->samples, 2);

    engineContext()->animationPass = 41;
    ASSERT_EQ(trap([&] {
        object->animate(0, kNewAnimationPass);
        object->animate(0, kNewAnimationPass);
    }),
              KErrNone);
    EXPECT_EQ(t->samples, 4);
    EXPECT_EQ(engineContext()->animationPass, 43);
    EXPECT_EQ(object->passStamp(), 43u);

    // The counter skips the value that means "new pass".
    engineContext()->animationPass = -2;
    ASSERT_EQ(trap([&] { object->animate(0, kNewAnimationPass); }), KErrNone);
    EXPECT_EQ(engineContext()->animationPass, 0);
}

TEST_F(Object3DTest, SpecialPropertiesShapeTheAppliedValues)
{
    // SCALE from one component is uniform.
    Animated* scaled = make(new Animated);
    StubTrack* s = make(new StubTrack(kPropertyScale, {2.0f}, 0.5f));
    ASSERT_EQ(trap([&] { scaled->addAnimationTrack(s); }), KErrNone);
    ASSERT_EQ(trap([&] { scaled->animate(0, kNewAnimationPass); }), KErrNone);
    ASSERT_EQ(scaled->applied.size(), 1u);
    EXPECT_EQ(scaled->applied[0].values, (std::vector<float>{1.0f, 1.0f, 1.0f}));

    // CROP from two components adds the current crop size, rounded, then
    // weighted: two tracks of weight 0.5 on a 5 x 7 crop give 5 x 7 again.
    const struct {
        int32_t classId;
        float weight;
        float width;
        float height;
        std::vector<float> expected;
    } crops[] = {
        {kClassSprite, 1.0f, 10.4f, -20.6f, {3, 4, 10.4f, -20.6f}},
        {kClassSprite, 0.5f, 10.2f, -20.6f, {1.5f, 2, 5, -10.5f}},
        {kClassSprite, 0.5f, 5.0f, 7.0f, {1.5f, 2, 2.5f, 3.5f}},
        {kClassBackground, 0.5f, 10.0f, -20.0f, {1.5f, 2, 5, 0}},
    };
    for (const auto& c : crops) {
        Animated* object = make(new Animated(c.classId));
        object->cropWidth = c.width;
        object->cropHeight = c.height;
        StubTrack* t = make(new StubTrack(kPropertyCrop, {3, 4}, c.weight));
        ASSERT_EQ(trap([&] { object->addAnimationTrack(t); }), KErrNone);
        ASSERT_EQ(trap([&] { object->animate(0, kNewAnimationPass); }), KErrNone);
        ASSERT_EQ(object->applied.size(), 1u);
        const std::vector<float>& v = object->applied[0].values;
        ASSERT_EQ(v.size(), 4u);
        EXPECT_FLOAT_EQ(v[0], c.expected[0]);
        EXPECT_FLOAT_EQ(v[1], c.expected[1]);
        if (c.weight == 1.0f) {
            // Weight 1 adds the crop rounded, unscaled.
            EXPECT_EQ(v[2], 10.0f);
            EXPECT_EQ(v[3], -21.0f);
        } else {
            EXPECT_EQ(v[2], c.expected[2]);
            EXPECT_EQ(v[3], c.expected[3]);
        }
    }

    // MORPH_WEIGHTS writes into the object's own weights.
    Animated* morphing = make(new Animated);
    morphing->morph = {9, 9, 9, 9, 9, 9};
    StubTrack* m = make(new StubTrack(kPropertyMorphWeights, {1, 2, 3, 4, 5, 6}, 0.5f));
    ASSERT_EQ(trap([&] { morphing->addAnimationTrack(m); }), KErrNone);
    ASSERT_EQ(trap([&] { morphing->animate(0, kNewAnimationPass); }), KErrNone);
    ASSERT_EQ(morphing->applied.size(), 1u);
    EXPECT_EQ(morphing->applied[0].values, (std::vector<float>{0.5f, 1, 1.5f, 2, 2.5f, 3}));
    EXPECT_EQ(morphing->morph, (std::vector<float>{0.5f, 1, 1.5f, 2, 2.5f, 3}));
}

TEST_F(Object3DTest, UserParameterCopyIsBoundedByTheBuffer)
{
    Animated* object = make(new Animated);
    const uint8_t value[] = {1, 2, 3, 4, 5};
    ASSERT_EQ(trap([&] {
        object->setUserParameter(7, 5, value);
        object->setUserParameter(9, 0, value);
        object->setUserParameter(11, 3, nullptr);
    }),
              KErrNone);
    uint8_t buffer[8] = {};
    EXPECT_EQ(object->getUserParameter(7, 0, nullptr), 5);
    EXPECT_EQ(object->getUserParameter(7, 2, buffer), 5);
    EXPECT_EQ(buffer[0], 1);
    EXPECT_EQ(buffer[1], 2);
    EXPECT_EQ(buffer[2], 0); // nothing past the buffer's size
    EXPECT_EQ(object->getUserParameter(9, 8, buffer), 0);
    EXPECT_EQ(object->getUserParameter(11, 8, buffer), 0);
    EXPECT_EQ(object->getUserParameter(8, 8, buffer), -1);
    EXPECT_EQ(object->getUserParameterAt(3, 8, buffer), -1);

    // Setting an id again replaces its value.
    const uint8_t other[] = {42};
    ASSERT_EQ(trap([&] { object->setUserParameter(7, 1, other); }), KErrNone);
    EXPECT_EQ(object->getUserParameterCount(), 3);
    EXPECT_EQ(object->getUserParameterAt(0, 8, buffer), 1);
    EXPECT_EQ(buffer[0], 42);

    object->removeUserParameters();
    EXPECT_EQ(object->getUserParameter(7, 0, nullptr), -1);
}

TEST_F(Object3DTest, GetReferencesCountsEveryReferenceWhateverTheRoom)
{
    Animated* object = make(new Animated);
    Animated* a = make(new Animated);
    Animated* b = make(new Animated);
    Animated* c = make(new Animated);
    CkwArray<CkwObject3D*>* array = new CkwArray<CkwObject3D*>;
    ASSERT_EQ(trap([&] {
        array->append(b);
        array->append(nullptr);
        array->append(c);
    }),
              KErrNone);
    object->extra = {CkwReference::single(a), CkwReference::single(nullptr), CkwReference::list(*array)};

    CkwObject3D* out[4] = {};
    EXPECT_EQ(object->getReferences(0, nullptr), 3);
    EXPECT_EQ(object->getReferences(0, out), 3);
    EXPECT_EQ(out[0], nullptr);
    EXPECT_EQ(object->getReferences(2, out), 3);
    EXPECT_EQ(out[0], a);
    EXPECT_EQ(out[1], b);
    EXPECT_EQ(out[2], nullptr);
    EXPECT_EQ(object->getReferences(4, out), 3);
    EXPECT_EQ(out[2], c);
    delete array;
}

TEST_F(Object3DTest, FindSearchesDepthFirstThroughArrays)
{
    Animated* root = make(new Animated);
    Animated* a = make(new Animated);
    Animated* deep = make(new Animated);
    Animated* other = make(new Animated);
    root->setUserID(1);
    a->setUserID(2);
    deep->setUserID(5);
    other->setUserID(5);
    CkwArray<CkwObject3D*>* array = new CkwArray<CkwObject3D*>;
    ASSERT_EQ(trap([&] { array->append(deep); }), KErrNone);
    a->extra = {CkwReference::list(*array)};
    root->extra = {CkwReference::single(nullptr), CkwReference::single(a), CkwReference::single(other)};

    ASSERT_EQ(trap([&] {
        EXPECT_EQ(root->find(1), root);
        EXPECT_EQ(root->find(2), a);
        EXPECT_EQ(root->find(5), deep); // depth first: a's array before other
        EXPECT_EQ(root->find(6), nullptr);
    }),
              KErrNone);
    delete array;
}

int32_t g_destroyed = 0;
CkwRefCount* g_destroyedObject = nullptr;

TEST_F(Object3DTest, CopyFromAndDestroyCallback)
{
    Animated* source = make(new Animated);
    StubTrack* t = make(new StubTrack(kPropertyTranslation, {1, 2, 3}));
    const uint8_t value[] = {5, 6};
    ASSERT_EQ(trap([&] {
        source->setUserID(77);
        source->addAnimationTrack(t);
        source->setUserParameter(3, 2, value);
    }),
              KErrNone);
    CkwObject3D* copy = nullptr;
    ASSERT_EQ(trap([&] { copy = source->duplicate(); }), KErrNone);
    copy->addRef();
    EXPECT_EQ(copy->getUserID(), 77);
    EXPECT_EQ(copy->getAnimationTrack(0), t);
    EXPECT_EQ(t->refCount(), 3);
    uint8_t buffer[2] = {};
    EXPECT_EQ(copy->getUserParameter(3, 2, buffer), 2);
    EXPECT_EQ(buffer[1], 6);

    copy->setDestroyCallback([](CkwRefCount* object) {
        ++g_destroyed;
        g_destroyedObject = object;
    });
    CkwRefCount* part = copy;
    copy->release();
    EXPECT_EQ(g_destroyed, 1);
    EXPECT_EQ(g_destroyedObject, part);
    EXPECT_EQ(t->refCount(), 2);
}

} // namespace
