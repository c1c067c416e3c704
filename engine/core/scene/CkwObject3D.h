// The base of every scene object a 3D file can hold: user id, user parameters,
// animation tracks grouped by target property, search by user id, the list of
// referenced objects and the animation step that blends the tracks by weight
// and applies the result through the class's applyAnimatedProperty.
#pragma once

#include <cstdint>

#include "engine/core/loader/IkwDeserializable.h"
#include "engine/core/runtime/CkwArray.h"
#include "engine/core/runtime/CkwRefCount.h"

class CkwAnimationTrackBase;
class CkwObject3D;
class CkwSerializeBufferObjectsIn;

// One entry of an object's reference list: a single object (null entries are
// skipped by the walkers), an array of objects, or the end of the list.
struct CkwReference {
    enum class Kind : uint8_t { End, Object, Array };

    Kind kind = Kind::End;
    CkwObject3D* object = nullptr;
    const CkwArray<CkwObject3D*>* array = nullptr;

    static CkwReference end() { return {}; }
    static CkwReference single(CkwObject3D* object) { return {Kind::Object, object, nullptr}; }
    static CkwReference list(const CkwArray<CkwObject3D*>& array) { return {Kind::Array, nullptr, &array}; }
};

class CkwObject3D : public IkwSerializable, public IkwDeserializable {
public:
    struct SkwUserParameter {
        int32_t id;
        uint8_t* value; // owned; null when empty
        int32_t length;
    };

    using DestroyCallback = void (*)(CkwRefCount* object);

    CkwObject3D() = default;
    ~CkwObject3D() override;

    // Reads user id, animation tracks and user parameters; subclasses read
    // their own fields after calling it.
    void deserialize(CkwSerializeBufferObjectsIn& buffer) override;
    // A copy of the object with reference count 0; what it references is shared.
    virtual CkwObject3D* duplicate() const = 0;
    // Animates what this object references in the same pass; returns the
    // smaller of validity and theirs.
    virtual int32_t animateReferences(int32_t worldTime, int32_t validity, uint32_t stamp);
    // The reference at index; the base lists the animation tracks.
    virtual CkwReference getReference(int32_t index) const;
    virtual void applyAnimatedProperty(int32_t property, int32_t components, const float* values);
    virtual bool isAnimatable(int32_t property) const;

    int32_t getUserID() const { return m_userID; }
    void setUserID(int32_t id) { m_userID = id; }

    // Null, a track of another class, a property the object cannot take, a
    // track already present or one whose value size differs from the other
    // tracks of its property leave -1301.
    void addAnimationTrack(CkwObject3D* track);
    void removeAnimationTrack(CkwObject3D* track);
    // Leaves -1101 outside 0..count-1.
    CkwAnimationTrackBase* getAnimationTrack(int32_t index) const;
    int32_t getAnimationTrackCount() const;

    // Samples the tracks at worldTime once per pass; kNewAnimationPass starts
    // a new pass. Returns the validity in world time.
    int32_t animate(int32_t worldTime, uint32_t stamp);
    uint32_t passStamp() const { return m_passStamp; }

    // This object or the first one below it, depth first, with the user id.
    CkwObject3D* find(int32_t userID);
    // Counts every non-null reference and stores as many as capacity allows.
    int32_t getReferences(int32_t capacity, CkwObject3D** out) const;

    // The value's full length, or -1 when the id is absent; at most size bytes
    // are copied into buffer when it is given.
    int32_t getUserParameter(int32_t id, int32_t size, uint8_t* buffer) const;
    int32_t getUserParameterAt(int32_t index, int32_t size, uint8_t* buffer) const;
    int32_t getUserParameterCount() const;
    // The id of the parameter at index; false (id untouched) past the end.
    bool getUserParameterId(int32_t index, int32_t& id) const;
    // Replaces the value of the id or appends it; null data or length < 1
    // stores an empty value.
    void setUserParameter(int32_t id, int32_t length, const uint8_t* data);
    void removeUserParameters();

    void setDestroyCallback(DestroyCallback callback) { m_destroyCallback = callback; }

protected:
    // The duplicate's share of the base: user id, tracks and user parameters.
    void copyFrom(const CkwObject3D& source);
    // The own-track half of animate: false when the object was already
    // animated in this pass. Resolves nothing; stamp must be a real pass.
    bool animateTracks(int32_t worldTime, uint32_t stamp, int32_t& validity);
    static uint32_t resolvePassStamp(uint32_t stamp);

    // What the CROP and MORPH_WEIGHTS animation reads of sprites, backgrounds
    // and morphing meshes.
    virtual void getAnimationCrop(float& width, float& height) const;
    virtual float* getMorphWeights(int32_t& count);

private:
    struct TrackList;

    // A parameter's bytes where they are read from, not yet held.
    struct SkwParameterSource {
        int32_t id;
        int32_t length;
        const uint8_t* data;
    };

    void insertTrack(CkwAnimationTrackBase* track);
    // The track at a place in the list, which must exist.
    CkwAnimationTrackBase* trackAt(int32_t index) const;
    SkwUserParameter* findParameter(int32_t id) const;
    void reserveUserParameters(int32_t n);
    // Copies the source's bytes into existing, or into a new entry behind
    // the list's reserved room when existing is null.
    void storeUserParameter(SkwUserParameter* existing, const SkwParameterSource& source);
    // Sets each in order as setUserParameter would.
    void setUserParameters(const SkwParameterSource* sources, int32_t n);

    int32_t m_userID = 0;
    TrackList* m_tracks = nullptr;
    CkwArray<SkwUserParameter>* m_userParameters = nullptr;
    uint32_t m_passStamp = 0xFFFFFFFFu;
    bool m_searched = false; // met by the search under way
    DestroyCallback m_destroyCallback = nullptr;
};
