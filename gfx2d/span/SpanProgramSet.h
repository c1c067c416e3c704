// A span-program set: the payload of one span resource, holding up to 30
// stored span-program records read from the pack's record entries, and the
// key-word lookup the drawing context selects a record with.
#pragma once

#include <cstdint>
#include <memory>

#include "framework/resources/Resource.h"
#include "framework/services/HashedObject.h"
#include "gfx2d/span/ArmInterpreter.h"
#include "gfx2d/span/SpanIds.h"

class InputStream;
class OutputStream;
class ResourceManager;

class SpanProgramSet : public HashedObject {
public:
    SpanProgramSet();
    ~SpanProgramSet() override;

    int kind() const { return 2; }
    int state() const { return m_state; }
    void clear();
    // tag kSpanRecordTag: one record into the next free slot; any other tag:
    // the set's main entry (three header bytes and a header block). 1 or 0.
    int load(InputStream& stream, uint32_t tag);
    int save(OutputStream& stream, uint32_t tag) const;
    // 1 and the first matching record selected, or 0 and none.
    int select(uint32_t destinationFormat, uint32_t sourceFormat, uint32_t key3, uint32_t key4, uint32_t key5,
               uint32_t key6);
    const uint8_t* selected() const { return m_selected; }
    // The selected record's code, decoded at its first use and kept while
    // the slot holds the record: a frame decodes each program it draws with
    // once, however many it cycles through. Null when none is selected or
    // memory ran out.
    const ArmProgram* selectedProgram();
    // A record whose program ran out of time: select no longer picks it
    // until the set is cleared or the slot loaded again.
    void setAside(const uint8_t* record);
    bool isSetAside(uint32_t slot) const { return slot < kSpanSetMaxRecords && m_slots[slot].setAside; }
    const uint8_t* record(uint32_t slot) const
    {
        return slot < kSpanSetMaxRecords ? m_slots[slot].record.get() : nullptr;
    }
    // The slot's program as decoded so far; null before its first draw.
    const ArmProgram* program(uint32_t slot) const
    {
        return slot < kSpanSetMaxRecords ? m_slots[slot].program.get() : nullptr;
    }
    // Word 609 + i of a record; 0 past its end.
    static uint32_t getKeyWord(const uint8_t* record, uint32_t i);

    const uint8_t* header() const { return m_header.get(); }
    uint16_t headerLength() const { return m_headerLength; }
    const uint8_t* headerBytes() const { return m_headerBytes; }

private:
    // A record with what was made of it: a slot emptied or loaded again
    // starts afresh, its decoded program and set-aside mark with it.
    struct Slot {
        std::unique_ptr<uint8_t[]> record;
        OwnedArmProgram program;
        bool setAside = false;
    };

    int m_state = 0;
    std::unique_ptr<uint8_t[]> m_header;
    uint16_t m_headerLength = 0;
    uint8_t m_headerBytes[3] = {};
    const uint8_t* m_selected = nullptr;
    uint32_t m_selectedSlot = 0;
    Slot m_slots[kSpanSetMaxRecords];
};

class SpanProgramResource : public Resource {
public:
    SpanProgramResource() : Resource(ResourceClassId::SpanProgram) {}
    SpanProgramSet* set() const { return static_cast<SpanProgramSet*>(m_payload); }
    uint32_t memorySize() const override;

protected:
    HashedObject* makePayload() override;
    int loadPayload(InputStream& stream, uint32_t tag) override;
};

// Registers the span-program resource type with the resource factory.
int registerSpanProgramType();

// Loads the three sets and the records their lists name (sets or records
// that cannot be loaded are skipped) through the resource manager; the sets
// stay loaded until released. Returns the number of records loaded. The
// screen context's span-program start-up is this call.
uint32_t loadSpanProgramSets(ResourceManager& manager);
// The loaded set of that id, or null.
SpanProgramSet* findSpanProgramSet(ResourceManager& manager, uint32_t setId);
