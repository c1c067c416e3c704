// Object3D: tracks, user parameters, references and the animation step.
#include "engine/core/scene/CkwObject3D.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "engine/core/loader/CkwSerializeBufferObjectsIn.h"
#include "engine/core/math/FloatBits.h"
#include "engine/core/port/Port.h"
#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/EngineAlloc.h"
#include "engine/core/runtime/EngineContext.h"
#include "engine/core/runtime/MixBits.h"
#include "engine/core/runtime/Trap.h"
#include "engine/core/scene/CkwAnimationTrackBase.h"
#include "engine/core/scene/SceneIds.h"

// The list shows the tracks of one property side by side, groups in the order
// their properties first arrived and each group newest first. A group keeps
// its tracks in arrival order, so a new track costs no shift, and a table of
// every track held, by address, finds a duplicate or a track's place without
// a walk. A removed track leaves a hole; the holes are closed up only once
// they outnumber the tracks, so each close-up is paid for by the removals
// that made its holes. Until then a group answers "the k-th track" through a
// Fenwick tree over its places, which counts the tracks still in each run of
// places: reads and removals between close-ups cost the logarithm of the
// group, whatever order they come in. A climb of the tree and a lookup by
// address each count as one step: their depth follows the group's size and
// where the heap put the tracks, which no file can aim, and counting them
// would make the counts follow the layout.
struct CkwObject3D::TrackList : public CkwHeapObject {
    struct Place {
        CkwAnimationTrackBase* track; // null: a hole
        int32_t live;                 // tracks in the tree's run of places ending here
    };
    struct Group {
        int32_t property;
        int32_t components; // what every track of the group animates
        int32_t holes;
        CkwArray<Place>* places; // oldest first

        int32_t tracks() const { return places->count() - holes; }
        // The run of places the tree keeps at 1-based position i.
        static int32_t run(int32_t i) { return i & -i; }
        // The live count of the place appended last, from the runs it covers.
        void countAppended()
        {
            const int32_t i = places->count();
            int32_t live = 1;
            if (holes == 0) {
                live = run(i);
            } else {
                for (int32_t j = i - 1; j > i - run(i); j -= run(j))
                    live += (*places)[j - 1].live;
                countEngineVisits(1);
            }
            places->last().live = live;
        }
        void countRemoved(int32_t place)
        {
            for (int32_t i = place + 1; i <= places->count(); i += run(i))
                --(*places)[i - 1].live;
            countEngineVisits(1);
        }
        // The place of the k-th track, oldest first, counting from 0.
        int32_t placeOf(int32_t k) const
        {
            if (holes == 0)
                return k;
            const int32_t n = places->count();
            int32_t at = 0;
            for (int32_t step = std::bit_floor(static_cast<uint32_t>(n)); step != 0; step >>= 1)
                if (at + step <= n && (*places)[at + step - 1].live <= k) {
                    at += step;
                    k -= (*places)[at - 1].live;
                }
            countEngineVisits(1);
            return at;
        }
    };
    struct Slot {
        CkwAnimationTrackBase* track; // null: free
        int32_t property;             // the group it went into
        int32_t place;                // in the group's array
    };
    CkwArray<Group> groups;
    // Open addressing, at most a quarter full, so that runs stay short
    // whatever addresses the heap hands out.
    Slot* slots = nullptr;
    uint32_t slotCount = 0; // a power of two
    int32_t count = 0;
    int32_t holes = 0;

    ~TrackList() override
    {
        for (const Group& group : groups) {
            for (int32_t i = group.places->count() - 1; i >= 0; --i)
                if (CkwAnimationTrackBase* track = (*group.places)[i].track)
                    track->release();
            delete group.places;
        }
        engineFree(slots);
    }

    // The slot of table holding track, or the free one where it would go.
    static Slot& slotIn(Slot* table, uint32_t size, const CkwAnimationTrackBase* track)
    {
        const uint32_t mask = size - 1;
        // Every bit of the address mixed into every bit of the slot: how
        // the heap happens to lay out tracks must not make runs that removal
        // walks again and again.
        auto at = static_cast<uint32_t>(mixBits(reinterpret_cast<uintptr_t>(track))) & mask;
        while (table[at].track != nullptr && table[at].track != track)
            at = (at + 1) & mask;
        return table[at];
    }
    Slot& slotOf(const CkwAnimationTrackBase* track) const
    {
        countEngineVisits(1);
        return slotIn(slots, slotCount, track);
    }
    bool holds(const CkwAnimationTrackBase* track) const
    {
        return slotCount != 0 && slotOf(track).track == track;
    }
    // Room for one more track; leaves -4 with the table unchanged.
    void reserveSlot()
    {
        if (4 * (uint64_t(count) + 1) <= slotCount)
            return;
        const uint32_t size = slotCount == 0 ? 8 : slotCount * 2;
        auto* table = static_cast<Slot*>(engineNewL(size, sizeof(Slot)));
        std::fill_n(table, size, Slot{nullptr, 0, 0});
        for (uint32_t i = 0; i < slotCount; ++i)
            if (slots[i].track != nullptr)
                slotIn(table, size, slots[i].track) = slots[i];
        countEngineVisits(slotCount);
        engineFree(slots);
        slots = table;
        slotCount = size;
    }
    // Empties the track's slot and moves the rest of its probe run back, so
    // every track stays reachable from where its probe starts.
    void removeSlot(const CkwAnimationTrackBase* track)
    {
        const uint32_t mask = slotCount - 1;
        Slot* hole = &slotOf(track);
        hole->track = nullptr;
        for (uint32_t at = (static_cast<uint32_t>(hole - slots) + 1) & mask; slots[at].track != nullptr;
             at = (at + 1) & mask) {
            const Slot moved = slots[at];
            slots[at].track = nullptr;
            slotIn(slots, slotCount, moved.track) = moved;
        }
    }
    Group* groupOf(int32_t property)
    {
        for (Group& group : groups)
            if (group.property == property)
                return &group;
        return nullptr;
    }
    // Closes up the holes of removed tracks; each slot follows its track, and
    // with every place live each run of the tree counts its own length.
    void closeUp()
    {
        for (Group& group : groups) {
            if (group.holes == 0)
                continue;
            CkwArray<Place>& places = *group.places;
            int32_t kept = 0;
            for (const Place& place : places)
                if (place.track != nullptr) {
                    slotOf(place.track).place = kept;
                    places[kept].track = place.track;
                    places[kept].live = Group::run(kept + 1);
                    ++kept;
                }
            countEngineVisits(static_cast<uint64_t>(places.count()));
            places.setCount(kept);
            group.holes = 0;
        }
        holes = 0;
    }
};

namespace {

// One level of a depth-first walk over references.
struct ReferenceCursor {
    CkwObject3D* object;
    int32_t index;
    const CkwArray<CkwObject3D*>* array;
    int32_t arrayPosition;
};

// The next non-null reference of the cursor, or null when it has no more.
CkwObject3D* nextReference(ReferenceCursor& cursor)
{
    for (;;) {
        if (cursor.array != nullptr) {
            if (cursor.arrayPosition < cursor.array->count()) {
                CkwObject3D* object = (*cursor.array)[cursor.arrayPosition++];
                if (object != nullptr)
                    return object;
                continue;
            }
            cursor.array = nullptr;
        }
        const CkwReference entry = cursor.object->getReference(cursor.index++);
        switch (entry.kind) {
        case CkwReference::Kind::End:
            --cursor.index;
            return nullptr;
        case CkwReference::Kind::Object:
            if (entry.object != nullptr)
                return entry.object;
            break;
        case CkwReference::Kind::Array:
            cursor.array = entry.array;
            cursor.arrayPosition = 0;
            break;
        }
    }
}

} // namespace

CkwObject3D::~CkwObject3D()
{
    removeUserParameters();
    delete m_tracks;
    if (m_destroyCallback != nullptr)
        m_destroyCallback(this);
}

void CkwObject3D::deserialize(CkwSerializeBufferObjectsIn& buffer)
{
    m_userID = buffer.readInt32();
    // A track costs four bytes of the record and a parameter eight, the
    // tables that keep them many times that: the load's ledger takes it as
    // they allocate it.
    for (uint32_t n = buffer.readArrayCount(4); n > 0; --n) {
        IkwSerializable* track = buffer.readObjectOfType(kClassAnimationTrack);
        if (track == nullptr)
            leave(KErrIllegalArgument);
        addAnimationTrack(dynamic_cast<CkwObject3D*>(track));
    }
    CkwArray<SkwParameterSource> parameters;
    const uint32_t count = buffer.readArrayCount(8);
    parameters.setCount(static_cast<int32_t>(count));
    for (SkwParameterSource& p : parameters) {
        p.id = buffer.readInt32();
        const uint32_t length = buffer.readArrayCount(1);
        p.length = static_cast<int32_t>(length);
        p.data = buffer.readBytes(length);
    }
    setUserParameters(parameters.data(), parameters.count());
}

int32_t CkwObject3D::animateReferences(int32_t, int32_t validity, uint32_t) { return validity; }

CkwReference CkwObject3D::getReference(int32_t index) const
{
    if (index >= 0 && index < getAnimationTrackCount())
        return CkwReference::single(trackAt(index));
    return CkwReference::end();
}

void CkwObject3D::applyAnimatedProperty(int32_t, int32_t, const float*) {}

bool CkwObject3D::isAnimatable(int32_t) const { return false; }

void CkwObject3D::getAnimationCrop(float& width, float& height) const
{
    width = 0.0f;
    height = 0.0f;
}

float* CkwObject3D::getMorphWeights(int32_t& count)
{
    count = 0;
    return nullptr;
}

void CkwObject3D::addAnimationTrack(CkwObject3D* object)
{
    auto* track = dynamic_cast<CkwAnimationTrackBase*>(object);
    if (track == nullptr || object->getClassId() != kClassAnimationTrack
        || !isAnimatable(track->getTargetProperty()))
        leave(KErrIllegalArgument);
    if (m_tracks == nullptr)
        m_tracks = new TrackList;
    insertTrack(track);
    track->addRef();
}

void CkwObject3D::insertTrack(CkwAnimationTrackBase* track)
{
    TrackList& list = *m_tracks;
    if (list.holds(track))
        leave(KErrIllegalArgument);
    const int32_t property = track->getTargetProperty();
    TrackList::Group* group = list.groupOf(property);
    if (group != nullptr && group->components != track->getComponentCount())
        leave(KErrIllegalArgument);
    // Room everywhere before anything changes: a leave in between would
    // leave a group without its track or the table without its entry.
    list.reserveSlot();
    if (group != nullptr) {
        CkwArray<TrackList::Place>& places = *group->places;
        places.setCountGrowing(places.count() + 1);
        places.last().track = track;
    } else {
        CkwCleanupPtr<CkwArray<TrackList::Place>> places(new CkwArray<TrackList::Place>);
        places->setCount(1);
        places->last().track = track;
        list.groups.append({property, track->getComponentCount(), 0, places.get()});
        group = &list.groups.last();
        places.release();
    }
    group->countAppended();
    list.slotOf(track) = {track, property, group->places->count() - 1};
    ++list.count;
}

void CkwObject3D::removeAnimationTrack(CkwObject3D* object)
{
    auto* track = dynamic_cast<CkwAnimationTrackBase*>(object);
    if (track == nullptr || m_tracks == nullptr || !m_tracks->holds(track))
        return;
    TrackList& list = *m_tracks;
    const TrackList::Slot slot = list.slotOf(track);
    TrackList::Group* group = list.groupOf(slot.property);
    (*group->places)[slot.place].track = nullptr;
    group->countRemoved(slot.place);
    ++group->holes;
    ++list.holes;
    if (group->tracks() == 0) {
        list.holes -= group->holes;
        delete group->places;
        std::move(group + 1, list.groups.end(), group);
        list.groups.setCount(list.groups.count() - 1);
    }
    list.removeSlot(track);
    --list.count;
    if (list.holes > list.count)
        list.closeUp();
    object->release();
}

CkwAnimationTrackBase* CkwObject3D::getAnimationTrack(int32_t index) const
{
    if (index < 0 || index >= getAnimationTrackCount())
        leave(KErrIndexOutOfRange);
    return trackAt(index);
}

CkwAnimationTrackBase* CkwObject3D::trackAt(int32_t index) const
{
    // Groups are few: one per animatable property at most.
    for (const TrackList::Group& group : m_tracks->groups) {
        const int32_t n = group.tracks();
        if (index < n)
            return (*group.places)[group.placeOf(n - 1 - index)].track;
        index -= n;
    }
    return nullptr;
}

int32_t CkwObject3D::getAnimationTrackCount() const
{
    return m_tracks != nullptr ? m_tracks->count : 0;
}

uint32_t CkwObject3D::resolvePassStamp(uint32_t stamp)
{
    if (stamp != kNewAnimationPass)
        return stamp;
    EngineContext& context = engineContextL();
    uint32_t next = static_cast<uint32_t>(context.animationPass) + 1;
    if (next == kNewAnimationPass)
        next = 0;
    context.animationPass = static_cast<int32_t>(next);
    return next;
}

int32_t CkwObject3D::animate(int32_t worldTime, uint32_t stamp)
{
    stamp = resolvePassStamp(stamp);
    int32_t validity = kValidityInfinite;
    if (!animateTracks(worldTime, stamp, validity))
        return kValidityInfinite;
    return animateReferences(worldTime, validity, stamp);
}

bool CkwObject3D::animateTracks(int32_t worldTime, uint32_t stamp, int32_t& validity)
{
    if (m_passStamp == stamp)
        return false;
    m_passStamp = stamp;
    validity = kValidityInfinite;
    if (m_tracks == nullptr)
        return true;

    for (const TrackList::Group& group : m_tracks->groups) {
        const CkwArray<TrackList::Place>& places = *group.places;
        const int32_t property = group.property;
        float fixedValues[4];
        float* values = fixedValues;
        int32_t capacity = 4;
        if (property == kPropertyMorphWeights) {
            values = getMorphWeights(capacity);
            if (values == nullptr)
                continue;
        }
        int32_t components = 0;
        bool contributed = false;
        // Holes are at most as many as the tracks: stepping over them costs
        // no more than the tracks do.
        countEngineVisits(static_cast<uint64_t>(places.count()));
        for (int32_t i = places.count() - 1; i >= 0; --i) {
            CkwAnimationTrackBase* track = places[i].track;
            if (track == nullptr)
                continue;
            // A track or its sequence made again since it joined the group
            // no longer has what adding it checked.
            if (track->getTargetProperty() != property || track->getComponentCount() != group.components)
                leave(KErrIllegalState);
            const float weight = track->getControllerWeight();
            if (!(weight > 0.0f) || !track->isControllerActive(worldTime))
                continue;
            if (!contributed) {
                std::fill_n(values, capacity, 0.0f);
                contributed = true;
            }
            const int32_t sequenceComponents = track->getComponentCount();
            int32_t trackValidity;
            if (property == kPropertyCrop && sequenceComponents == 2) {
                float width;
                float height;
                getAnimationCrop(width, height);
                // The crop is taken in whole pixels before it is weighted. A
                // sprite's crop may be negative (mirrored), a background's not.
                const int32_t low = getClassId() == kClassSprite ? INT32_MIN : 0;
                width = static_cast<float>(roundClamp(width, low, INT32_MAX));
                height = static_cast<float>(roundClamp(height, low, INT32_MAX));
                if (weight != 1.0f) {
                    width *= weight;
                    height *= weight;
                }
                values[2] += width;
                values[3] += height;
                trackValidity = track->sample(worldTime, 2, values, weight);
                components = 4;
            } else if (property == kPropertyScale && sequenceComponents == 1) {
                const float before = values[0];
                trackValidity = track->sample(worldTime, 1, values, weight);
                const float change = values[0] - before;
                values[1] += change;
                values[2] += change;
                components = 3;
            } else {
                components = property == kPropertyMorphWeights ? capacity : std::min(sequenceComponents, 4);
                trackValidity = track->sample(worldTime, components, values, weight);
            }
            validity = std::min(validity, trackValidity);
        }
        if (contributed)
            applyAnimatedProperty(property, components, values);
    }
    return true;
}

CkwObject3D* CkwObject3D::find(int32_t userID)
{
    if (m_userID == userID)
        return this;
    // An object held by several others (the appearance of many submeshes, a
    // controller of many tracks) is searched once: a part already searched
    // held no match, and searching it on every path could take time far
    // beyond the scene's size. The marks go again however the search ends.
    struct Marks {
        CkwArray<CkwObject3D*> objects;
        ~Marks()
        {
            for (CkwObject3D* object : objects)
                object->m_searched = false;
        }
    } marks;
    uint64_t visited = 0;
    const auto count = [&] {
        countEngineVisits(visited);
    };
    // An explicit stack: a file can nest tens of thousands of groups.
    CkwArray<ReferenceCursor> stack;
    stack.append({this, 0, nullptr, 0});
    while (!stack.isEmpty()) {
        CkwObject3D* next = nextReference(stack.last());
        if (next == nullptr) {
            stack.setCount(stack.count() - 1);
            continue;
        }
        ++visited;
        if (next->m_searched)
            continue;
        if (next->m_userID == userID) {
            count();
            return next;
        }
        if (next->refCount() > 1) {
            marks.objects.append(next);
            next->m_searched = true;
        }
        stack.append({next, 0, nullptr, 0});
    }
    count();
    return nullptr;
}

int32_t CkwObject3D::getReferences(int32_t capacity, CkwObject3D** out) const
{
    ReferenceCursor cursor = {const_cast<CkwObject3D*>(this), 0, nullptr, 0};
    int32_t count = 0;
    while (CkwObject3D* object = nextReference(cursor)) {
        if (out != nullptr && count < capacity)
            out[count] = object;
        ++count;
    }
    return count;
}

CkwObject3D::SkwUserParameter* CkwObject3D::findParameter(int32_t id) const
{
    if (m_userParameters == nullptr)
        return nullptr;
    uint64_t visited = 0;
    SkwUserParameter* found = nullptr;
    for (SkwUserParameter& p : *m_userParameters) {
        ++visited;
        if (p.id == id) {
            found = &p;
            break;
        }
    }
    countEngineVisits(visited);
    return found;
}

namespace {

int32_t copyParameter(const CkwObject3D::SkwUserParameter& p, int32_t size, uint8_t* buffer)
{
    if (buffer != nullptr && size > 0 && p.length > 0)
        kwMemcpy(buffer, p.value, static_cast<size_t>(std::min(size, p.length)));
    return p.length;
}

} // namespace

int32_t CkwObject3D::getUserParameter(int32_t id, int32_t size, uint8_t* buffer) const
{
    const SkwUserParameter* p = findParameter(id);
    return p != nullptr ? copyParameter(*p, size, buffer) : -1;
}

int32_t CkwObject3D::getUserParameterAt(int32_t index, int32_t size, uint8_t* buffer) const
{
    if (index < 0 || index >= getUserParameterCount())
        return -1;
    return copyParameter((*m_userParameters)[index], size, buffer);
}

int32_t CkwObject3D::getUserParameterCount() const
{
    return m_userParameters != nullptr ? m_userParameters->count() : 0;
}

bool CkwObject3D::getUserParameterId(int32_t index, int32_t& id) const
{
    if (index < 0 || index >= getUserParameterCount())
        return false;
    id = (*m_userParameters)[index].id;
    return true;
}

void CkwObject3D::reserveUserParameters(int32_t n)
{
    if (m_userParameters == nullptr)
        m_userParameters = new CkwArray<SkwUserParameter>;
    const int32_t count = m_userParameters->count();
    if (int64_t{count} + n > INT32_MAX)
        leave(KErrNoMemory);
    m_userParameters->setCountGrowing(count + n);
    m_userParameters->setCount(count);
}

void CkwObject3D::storeUserParameter(SkwUserParameter* existing, const SkwParameterSource& source)
{
    const int32_t length = source.data == nullptr || source.length < 1 ? 0 : source.length;
    uint8_t* value = nullptr;
    if (length > 0) {
        value = static_cast<uint8_t*>(engineNewL(static_cast<uint32_t>(length)));
        kwMemcpy(value, source.data, static_cast<size_t>(length));
    }
    if (existing != nullptr) {
        engineFree(existing->value);
        existing->value = value;
        existing->length = length;
        return;
    }
    m_userParameters->append({source.id, value, length});
}

void CkwObject3D::setUserParameter(int32_t id, int32_t length, const uint8_t* data)
{
    SkwUserParameter* existing = findParameter(id);
    // Room for the entry first, so nothing can leave once the value is held.
    if (existing == nullptr)
        reserveUserParameters(1);
    storeUserParameter(existing, {id, length, data});
}

void CkwObject3D::setUserParameters(const SkwParameterSource* sources, int32_t n)
{
    if (n <= 0)
        return;
    reserveUserParameters(n);
    CkwArray<SkwUserParameter>& list = *m_userParameters;
    const int32_t held = list.count();
    // All places of one id side by side, held ones first: the first place is
    // where the id stays and the last holds the value it ends with, as
    // setting them one by one would leave it, without a walk of the list for
    // each.
    struct Place {
        int32_t id;
        int32_t order; // below held: a held entry; else held + source index
    };
    CkwArray<Place> places;
    places.setCount(held + n);
    for (int32_t i = 0; i < held; ++i)
        places[i] = {list[i].id, i};
    for (int32_t k = 0; k < n; ++k)
        places[held + k] = {sources[k].id, held + k};
    std::sort(places.begin(), places.end(),
              [](const Place& a, const Place& b) { return a.id != b.id ? a.id < b.id : a.order < b.order; });
    // For a source that brings a new id, the source whose value it takes.
    CkwArray<int32_t> takes;
    takes.setCount(n);
    std::fill(takes.begin(), takes.end(), -1);
    for (int32_t start = 0, end = 0; start < places.count(); start = end) {
        while (end < places.count() && places[end].id == places[start].id)
            ++end;
        const int32_t first = places[start].order;
        const int32_t last = places[end - 1].order;
        if (last < held)
            continue;
        if (first < held)
            storeUserParameter(&list[first], sources[last - held]);
        else
            takes[first - held] = last - held;
    }
    for (int32_t k = 0; k < n; ++k)
        if (takes[k] >= 0)
            storeUserParameter(nullptr, {sources[k].id, sources[takes[k]].length, sources[takes[k]].data});
    countEngineVisits(static_cast<uint64_t>(places.count()));
}

void CkwObject3D::removeUserParameters()
{
    if (m_userParameters == nullptr)
        return;
    for (SkwUserParameter& p : *m_userParameters)
        engineFree(p.value);
    delete m_userParameters;
    m_userParameters = nullptr;
}

void CkwObject3D::copyFrom(const CkwObject3D& source)
{
    m_userID = source.m_userID;
    for (int32_t i = 0; i < source.getAnimationTrackCount(); ++i)
        addAnimationTrack(source.trackAt(i));
    CkwArray<SkwParameterSource> parameters;
    parameters.setCount(source.getUserParameterCount());
    for (int32_t i = 0; i < parameters.count(); ++i) {
        const SkwUserParameter& p = (*source.m_userParameters)[i];
        parameters[i] = {p.id, p.length, p.value};
    }
    setUserParameters(parameters.data(), parameters.count());
}
