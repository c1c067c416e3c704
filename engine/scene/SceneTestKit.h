// Test helpers of the scene library: an engine for the duration of a test,
// plain nodes of any class id (stand-ins for classes not built), loading a
// writer-made file into its object list and reading one record's data into
// an object as the loader would.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "engine/core/loader/CkwSerializeObjectsIn.h"
#include "engine/core/loader/SerializeTestKit.h"
#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/EngineContext.h"
#include "engine/core/runtime/Trap.h"
#include "engine/core/scene/CkwAnimationTrackBase.h"
#include "engine/scene/CkwGroup.h"
#include "engine/scene/CkwWorld.h"

// A node with no data of its own, answering the class id it is given.
class PlainNode : public CkwNode {
public:
    explicit PlainNode(int32_t classId) : m_classId(classId) {}
    int32_t getClassId() const override { return m_classId; }

protected:
    CkwNode* copyNode() const override
    {
        CkwCleanupPtr<PlainNode> copy(new PlainNode(m_classId));
        copy->copyNodeFields(*this);
        return copy.release();
    }

private:
    int32_t m_classId;
};

// A track that adds weight x value to the first component at any time and
// says its result holds for 40 ms.
class ConstantTrack : public CkwAnimationTrackBase {
public:
    ConstantTrack(int32_t property, float value) : m_property(property), m_value(value) {}
    CkwObject3D* duplicate() const override { return nullptr; }
    int32_t getTargetProperty() const override { return m_property; }
    int32_t getComponentCount() const override { return 1; }
    float getControllerWeight() const override { return 1.0f; }
    bool isControllerActive(int32_t) const override { return true; }
    int32_t sample(int32_t, int32_t, float* values, float weight) override
    {
        values[0] += weight * m_value;
        return 40;
    }

private:
    int32_t m_property;
    float m_value;
};

class SceneTest {
public:
    SceneTest() { engineInit(); }
    ~SceneTest()
    {
        for (auto it = m_held.rbegin(); it != m_held.rend(); ++it)
            (*it)->release();
        engineShutdown();
    }

    // Keeps one count on object until the test ends.
    template <class T>
    T* hold(T* object)
    {
        object->addRef();
        m_held.push_back(object);
        return object;
    }
    CkwGroup* group() { return hold(new CkwGroup); }
    CkwWorld* world() { return hold(new CkwWorld); }
    PlainNode* node(int32_t classId) { return hold(new PlainNode(classId)); }

    static int32_t trap(const std::function<void()>& body) { return engineTrap(body); }

private:
    std::vector<CkwRefCount*> m_held;
};

// Feeds file to parser; -1 when it loaded.
inline int32_t loadFile(CkwSerializeObjectsIn& parser, const std::vector<uint8_t>& file)
{
    return feedFile(parser, file, fixedPieces(4096));
}

// Reads one record's data into object through its deserialize, with the given
// objects already loaded at indices 2, 3, ... (0 is null, 1 the header), its
// allocations drawn on a fresh load's ledger as the loader draws them.
// Returns the leave code; a record read without a leave but with bytes left
// over gives kRecordNotConsumed, which the loader refuses as well.
constexpr int32_t kRecordNotConsumed = 1;
inline int32_t readRecord(CkwObject3D& object, const std::vector<uint8_t>& data,
                          const std::vector<CkwObject3D*>& loaded = {})
{
    CkwArray<IkwSerializable*> objects;
    CkwArray<bool> referenced;
    CkwSerializeBufferObjectsIn buffer;
    int32_t code = engineTrap([&] {
        objects.append(nullptr);
        objects.append(nullptr);
        for (CkwObject3D* o : loaded)
            objects.append(o);
        referenced.setCount(objects.count());
        buffer.prepare(static_cast<uint32_t>(data.size()), &objects, &referenced);
        if (!data.empty())
            buffer.append(data.data(), static_cast<uint32_t>(data.size()));
        const CkwRecordAllocations allocations(buffer);
        object.deserialize(buffer);
    });
    return code == KErrNone && buffer.remaining() != 0 ? kRecordNotConsumed : code;
}
