// Test helpers for the 3D file parser: an engine context with creators for
// small test objects, and a driver that feeds a file in pieces the way the
// loader does, resolving pending external references as they come.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "engine/core/factory/CkwObjectFactory.h"
#include "engine/core/loader/CkwHeaderObject.h"
#include "engine/core/loader/CkwSerializeBufferObjectsIn.h"
#include "engine/core/loader/CkwSerializeObjectsIn.h"
#include "engine/core/runtime/EngineContext.h"
#include "engine/core/runtime/Trap.h"

// Wire form: Int32 userID; UInt32 n and n object indices; UInt32 m and m floats.
class TestObject : public IkwSerializable, public IkwDeserializable {
public:
    explicit TestObject(int32_t classId) : m_classId(classId) {}
    int32_t getClassId() const override { return m_classId; }

    void deserialize(CkwSerializeBufferObjectsIn& buffer) override
    {
        userId = buffer.readInt32();
        for (uint32_t n = buffer.readArrayCount(4); n > 0; --n)
            keepReference(buffer.readObjectIndex());
        for (uint32_t n = buffer.readArrayCount(4); n > 0; --n)
            floats.push_back(buffer.readFloat());
    }

    int32_t userId = 0;
    std::vector<IkwSerializable*> references;
    std::vector<float> floats;

protected:
    // One reference as it is read; a record may leave before the next.
    virtual void keepReference(IkwSerializable* object) { references.push_back(object); }

private:
    int32_t m_classId;
};

template <int32_t ClassId>
IkwSerializable* createTestObject()
{
    return new TestObject(ClassId);
}

// An engine for the duration of a test, its factory making TestObjects for
// every file type and CkwXREF for external references.
class TestEngine {
public:
    TestEngine()
    {
        engineInit();
        CkwObjectFactory& factory = *engineContext()->factory;
        registerAll(factory, std::make_integer_sequence<int32_t, 25>());
    }
    ~TestEngine() { engineShutdown(); }

private:
    template <int32_t... Ids>
    static void registerAll(CkwObjectFactory& factory, std::integer_sequence<int32_t, Ids...>)
    {
        (factory.registerCreator(Ids + 1, &createTestObject<Ids + 1>), ...);
    }
};

// Piece sizes by position in the file.
using PieceSize = std::function<uint32_t(uint32_t position)>;

inline PieceSize fixedPieces(uint32_t size)
{
    return [size](uint32_t) { return size; };
}

// Feeds the whole file and closes. Pending external references are resolved
// with resolveWith (null by default). Returns the first write code other than
// -1, else close's result, or the code of a leave.
inline int32_t feedFile(CkwSerializeObjectsIn& parser, std::span<const uint8_t> file, const PieceSize& piece,
                        bool allowOwnFormat = true, IkwSerializable* resolveWith = nullptr)
{
    int32_t result = -1;
    const int32_t leaveCode = engineTrap([&] {
        result = parser.reset(allowOwnFormat);
        if (result != -1)
            return;
        uint32_t at = 0;
        while (at < file.size()) {
            const uint32_t left = static_cast<uint32_t>(file.size()) - at;
            const uint32_t n = std::min(std::max(piece(at), 1u), left);
            const int32_t r = parser.write(file.data(), at, n);
            if (r >= 0) {
                at += static_cast<uint32_t>(r);
                while (parser.hasPendingExternalReferences())
                    parser.resolvePendingReference(resolveWith);
                continue;
            }
            if (r != -1) {
                result = r;
                return;
            }
            at += n;
        }
        result = parser.close();
    });
    return leaveCode != KErrNone ? leaveCode : result;
}
