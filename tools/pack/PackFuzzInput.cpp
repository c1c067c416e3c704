// Pack fuzz run: exercises the header, index and block-table checks, entry
// headers, the inflate filter and the entry-table offsets on one input.
#include "tools/pack/PackFuzzInput.h"

#include <vector>

#include "framework/properties/EntryTable.h"
#include "framework/resources/PackEntryStream.h"
#include "framework/resources/ResourcePack.h"
#include "tools/pack/HostFiles.h"

namespace {

// Entries of hostile packs may announce large sizes; the run reads at most
// this much of each so that one input stays quick.
constexpr uint32_t kMaxBytesPerEntry = 1 << 20;
constexpr uint32_t kSlice = 300;
constexpr uint32_t kTableIdsTried = 64;
constexpr size_t kMaxIds = 256;

// Reads the stream to its end in slices; 1 when nothing failed.
int drain(InputStream& stream)
{
    uint8_t slice[kSlice];
    uint32_t left = stream.available();
    if (left > kMaxBytesPerEntry)
        left = kMaxBytesPerEntry;
    while (left != 0 && !stream.hasError()) {
        uint32_t n = left < kSlice ? left : kSlice;
        stream.read(slice, n);
        left -= n;
    }
    return !stream.hasError();
}

uint32_t readTable(ResourcePack& pack, uint32_t id)
{
    PackEntryStream entry;
    // A table takes its bytes as they arrive, so a size the entry only
    // announces costs little and is tried too.
    if (!entry.open(&pack, id, 1))
        return 0;
    EntryTable table;
    if (!table.load(entry))
        return 0;
    uint32_t rowsRead = 0;
    // Rows are found by id, as the resource manager finds them; the seeds
    // use small ids.
    for (uint32_t rowId = 0; rowId < kTableIdsTried; ++rowId) {
        PackEntryStream row;
        if (row.openInTable(&table, rowId, 1) && drain(row))
            ++rowsRead;
    }
    return rowsRead;
}

} // namespace

PackFuzzOutcome readPackFuzzInput(const uint8_t* data, size_t size)
{
    PackFuzzOutcome outcome;
    ResourcePack pack;
    if (!pack.openFile(new MemoryFile(Bytes(data, data + size))))
        return outcome;
    outcome.opened = 1;

    std::vector<uint32_t> ids;
    for (uint32_t i = 0; i < pack.indexCount() && ids.size() < kMaxIds; ++i) {
        uint32_t id, count, firstEntry;
        if (pack.sortedIdAt(i, id)) {
            ids.push_back(id);
        } else if (pack.rangeAt(i, id, count, firstEntry)) {
            for (uint32_t k = 0; k < count && ids.size() < kMaxIds; ++k)
                ids.push_back(id + k);
        }
    }
    for (uint32_t id : ids) {
        uint8_t raw[64];
        pack.readEntryRaw(id, raw, sizeof raw);
        for (int allowInflate = 0; allowInflate < 2; ++allowInflate) {
            PackEntryStream entry;
            if (entry.open(&pack, id, allowInflate) && drain(entry) && allowInflate)
                ++outcome.entriesRead;
        }
        outcome.rowsRead += readTable(pack, id);
    }
    // Two streams read alternately over the one shared file.
    if (ids.size() >= 2) {
        PackEntryStream a, b;
        if (a.open(&pack, ids[0], 1) && b.open(&pack, ids[1], 1)) {
            uint8_t byte[1];
            for (int i = 0; i < 64 && (a.available() || b.available()); ++i) {
                if (a.available())
                    a.read(byte, 1);
                if (b.available())
                    b.read(byte, 1);
            }
        }
    }
    return outcome;
}
