// Span-program sets: loading records and the main entry, writing them back,
// key-word selection, the resource class and the start-up loading of the
// three sets.
#include "gfx2d/span/SpanProgramSet.h"

#include <new>

#include "framework/resources/DataBlock.h"
#include "framework/resources/ResourceManager.h"
#include "framework/resources/ResourceTypes.h"
#include "framework/streams/InputStream.h"
#include "framework/streams/MemoryInputStream.h"
#include "framework/streams/OutputStream.h"
#include "gfx2d/raster/SpanRecordWords.h"

namespace {

constexpr int kStateLoaded = 2;
constexpr int32_t kFirstDriverKind = 1;
constexpr int32_t kLastDriverKind = 4;

// What the binding and the drivers would index with must stay inside the
// raster state's interpolant arrays.
bool recordIsUsable(const uint8_t* record)
{
    const int32_t count = spanRecordInterpolantCount(record);
    const int32_t driver = spanRecordWord(record, kSpanWordDriverKind);
    const int32_t depth = spanRecordDepthInterpolant(record);
    return count >= 0 && count <= kSpanMaxInterpolants && driver >= kFirstDriverKind &&
           driver <= kLastDriverKind && depth < count && depth >= -1;
}

}  // namespace

SpanProgramSet::SpanProgramSet() : HashedObject(ResourceType::SpanPrograms) {}

SpanProgramSet::~SpanProgramSet() = default;

void SpanProgramSet::clear()
{
    for (Slot& slot : m_slots)
        slot = Slot{};
    m_header.reset();
    m_headerLength = 0;
    m_headerBytes[0] = m_headerBytes[1] = m_headerBytes[2] = 0;
    m_selected = nullptr;
}

int SpanProgramSet::load(InputStream& stream, uint32_t tag)
{
    const uint32_t available = stream.available();
    if (available == 0)
        return 0;
    if (tag == kSpanRecordTag) {
        uint32_t slot = 0;
        while (slot < kSpanSetMaxRecords && m_slots[slot].record)
            ++slot;
        if (slot == kSpanSetMaxRecords || available > kSpanRecordBytes)
            return 0;
        std::unique_ptr<uint8_t[]> record(new (std::nothrow) uint8_t[kSpanRecordBytes]());
        if (!record)
            return 0;
        stream.read(record.get(), available);
        if (stream.hasError() || !recordIsUsable(record.get()))
            return 0;
        m_slots[slot] = Slot{std::move(record), nullptr, false};
        return 1;
    }
    m_state = kStateLoaded;
    for (uint8_t& b : m_headerBytes)
        b = stream.readU8();
    // The length is kept in 16 bits: a longer block would load and save cut short.
    const uint32_t headerLength = stream.available();
    if (headerLength > UINT16_MAX) {
        clear();
        return 0;
    }
    m_headerLength = static_cast<uint16_t>(headerLength);
    m_header.reset(m_headerLength ? new (std::nothrow) uint8_t[m_headerLength] : nullptr);
    if (m_headerLength && !m_header) {
        clear();
        return 0;
    }
    if (m_headerLength)
        stream.read(m_header.get(), m_headerLength);
    if (stream.hasError()) {
        clear();
        return 0;
    }
    return 1;
}

int SpanProgramSet::save(OutputStream& stream, uint32_t tag) const
{
    if (tag == kSpanRecordTag) {
        if (!m_selected)
            return 0;
        stream.write(m_selected, kSpanRecordBytes);
    } else {
        for (uint8_t b : m_headerBytes)
            stream.writeU8(b);
        if (m_headerLength)
            stream.write(m_header.get(), m_headerLength);
    }
    return stream.hasError() ? 0 : 1;
}

uint32_t SpanProgramSet::getKeyWord(const uint8_t* record, uint32_t i)
{
    // Key words run to the end of the record and no further.
    if (i >= kSpanRecordBytes / 4 - kSpanKeyWordBase)
        return 0;
    return static_cast<uint32_t>(spanRecordWord(record, kSpanKeyWordBase + i));
}

int SpanProgramSet::select(uint32_t k1, uint32_t k2, uint32_t k3, uint32_t k4, uint32_t k5, uint32_t k6)
{
    m_selected = nullptr;
    for (uint32_t slot = 0; slot < kSpanSetMaxRecords; ++slot) {
        const uint8_t* r = m_slots[slot].record.get();
        if (!r)
            return 0;
        auto word = [r](uint32_t i) { return static_cast<uint32_t>(spanRecordWord(r, i)); };
        if (word(kSpanWordKey1) == k1 && word(kSpanWordKey2) == k2 && word(kSpanWordKey3) == k3 &&
            word(kSpanWordKey4) == k4 && word(kSpanWordKey5) == k5 && word(kSpanWordKey6) == k6) {
            // A program set aside is not run again, nor replaced by a later match.
            if (m_slots[slot].setAside)
                return 0;
            m_selected = r;
            m_selectedSlot = slot;
            return 1;
        }
    }
    return 0;
}

const ArmProgram* SpanProgramSet::selectedProgram()
{
    if (!m_selected)
        return nullptr;
    OwnedArmProgram& program = m_slots[m_selectedSlot].program;
    if (!program)
        program = decodeArmCode(m_selected + kSpanRecordCodeOffset, kSpanCodeBytes);
    return program.get();
}

void SpanProgramSet::setAside(const uint8_t* record)
{
    for (uint32_t slot = 0; slot < kSpanSetMaxRecords; ++slot)
        if (record && m_slots[slot].record.get() == record)
            m_slots[slot].setAside = true;
}

uint32_t SpanProgramResource::memorySize() const
{
    const SpanProgramSet* s = set();
    if (!s)
        return 0;
    size_t bytes = sizeof(SpanProgramSet) + s->headerLength();
    for (uint32_t i = 0; i < kSpanSetMaxRecords; ++i) {
        bytes += s->record(i) ? kSpanRecordBytes : 0;
        bytes += s->program(i) ? armProgramBytes(*s->program(i)) : 0;
    }
    return static_cast<uint32_t>(bytes);
}

HashedObject* SpanProgramResource::makePayload() { return new (std::nothrow) SpanProgramSet(); }

int SpanProgramResource::loadPayload(InputStream& stream, uint32_t tag) { return set()->load(stream, tag); }

int registerSpanProgramType()
{
    return registerResourceType(ResourceType::SpanPrograms, makeResource<SpanProgramResource>);
}

SpanProgramSet* findSpanProgramSet(ResourceManager& manager, uint32_t setId)
{
    Resource* resource = nullptr;
    if (!manager.findLoaded(setId, &resource) || resource->m_typeId != ResourceClassId::SpanProgram)
        return nullptr;
    return static_cast<SpanProgramResource*>(resource)->set();
}

uint32_t loadSpanProgramSets(ResourceManager& manager)
{
    uint32_t loaded = 0;
    for (const SpanSetIds& ids : kSpanSets) {
        Resource* resource = nullptr;
        if (manager.loadById(ids.set, &resource) == ResourceResult::Failed || !resource ||
            resource->m_typeId != ResourceClassId::SpanProgram)
            continue;
        SpanProgramSet* set = static_cast<SpanProgramResource*>(resource)->set();
        for (uint32_t id : ids.records) {
            Resource* entry = nullptr;
            if (id == 0 || manager.loadById(id, &entry) == ResourceResult::Failed || !entry)
                continue;
            const DataBlock* block = entry->m_typeId == ResourceClassId::Data
                                         ? static_cast<const DataBlock*>(entry->payload())
                                         : nullptr;
            MemoryInputStream stream;
            if (set && block && stream.open(block->data(), block->size()))
                loaded += static_cast<uint32_t>(set->load(stream, block->tag()));
            manager.releaseRef(&entry);
        }
    }
    return loaded;
}
