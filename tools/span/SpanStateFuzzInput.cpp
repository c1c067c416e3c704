#include "tools/span/SpanStateFuzzInput.h"

#include <cstdio>
#include <cstring>

#include "gfx2d/raster/SpanAddress.h"
#include "tools/span/ArmEncoder.h"
#include "tools/span/SpanPrograms.h"

namespace {

constexpr size_t kHeaderBytes = 2, kStoreBytes = 6;
constexpr uint32_t kRecordWords = kRasterStateSize / 4;
constexpr uint8_t kTailOpaque = 1;
// The opaque tail on the triangle driver with its three interpolants, as the image records have it.
constexpr uint8_t kImageFlags = kTailOpaque | 2 << 2 | 3 << 4;
// Values that mean something to a host that trusts them: flags, counts,
// addresses of region 1 and 0, a slot, the sign bit.
constexpr uint32_t kSweepValues[] = {0xFFFFFFFF, 0x7FFFFFFF, 1, 0x01000000, 0x80000000, 0x4000};

uint32_t offsetOf(uint16_t where)
{
    if (where & kSpanStoreThrough)
        return 4u * (where & 0x7FFu);
    return (where & kSpanStoreByte) ? (where & 0x3FFFu) : 4u * (where % kRecordWords);
}

}  // namespace

SpanStateCase readSpanStateInput(const uint8_t* data, size_t size)
{
    SpanStateCase out;
    if (size < kHeaderBytes)
        return out;
    const uint8_t flags = data[0];
    const uint32_t stores = (data[1] & kSpanSceneStores) % (kSpanStateMaxStores + 1);
    out.sharer = data[1] & kSpanSceneSharer;
    out.indexed = data[1] & kSpanSceneIndexed;
    const RSBFormat source = out.indexed ? PixelFormat::P8X8R8G8B8 : PixelFormat::X8R8G8B8;
    if (size < kHeaderBytes + stores * kStoreBytes)
        return out;
    ArmAssembler a;
    const uint8_t* p = data + kHeaderBytes;
    for (uint32_t i = 0; i < stores; ++i, p += kStoreBytes) {
        uint16_t where;
        uint32_t value;
        std::memcpy(&where, p, 2);
        std::memcpy(&value, p + 2, 4);
        const bool byte = where & kSpanStoreByte;
        a.loadConstant(3, value);
        a.loadConstant(4, offsetOf(where));
        if (where & kSpanStoreThrough) {
            a.emit(armTransferRegister(kAl, true, false, 4, 0, true, armReg(4)));
            a.loadConstant(5, ((where >> 11) & 7u) * 64);
            a.emit(armTransferRegister(kAl, false, byte, 3, 4, true, armReg(5)));
        } else {
            a.emit(armTransferRegister(kAl, false, byte, 3, 0, true, armReg(4)));
        }
    }
    std::vector<uint32_t> code = a.finish();
    const uint8_t tail = flags & 3;
    const std::vector<uint32_t> rest =
        tail ? spanProgramCode(static_cast<SpanMode>(tail - kTailOpaque), PixelFormat::X8R8G8B8, source)
             : std::vector<uint32_t>{armBx(kAl, 14)};
    code.insert(code.end(), rest.begin(), rest.end());
    SpanRecordKeys keys;
    keys.destination = PixelFormat::X8R8G8B8;
    keys.source = source;
    keys.driverKind = ((flags >> 2) & 3) + 1;
    keys.interpolants = (flags >> 4) & 7;
    out.record = spanRecord(code, keys);
    out.yUp = flags & 0x80;
    const size_t pairs = (size - (p - data)) / 4;
    out.vertices.resize(pairs * 2);
    if (pairs)
        std::memcpy(out.vertices.data(), p, pairs * 4);
    return out;
}

std::vector<uint8_t> spanStateInput(uint8_t flags, const std::vector<SpanStateStore>& stores,
                                    const std::vector<int16_t>& vertices, uint8_t scene)
{
    std::vector<uint8_t> out = {flags, static_cast<uint8_t>(stores.size() | scene)};
    for (const SpanStateStore& s : stores) {
        uint8_t bytes[kStoreBytes];
        std::memcpy(bytes, &s.where, 2);
        std::memcpy(bytes + 2, &s.value, 4);
        out.insert(out.end(), bytes, bytes + kStoreBytes);
    }
    const auto* v = reinterpret_cast<const uint8_t*>(vertices.data());
    out.insert(out.end(), v, v + vertices.size() * 2);
    return out;
}

std::vector<std::pair<std::string, std::vector<uint8_t>>> makeSpanStateSeeds()
{
    std::vector<std::pair<std::string, std::vector<uint8_t>>> seeds;
    // A polygon, two rectangles and two segments, some far outside the target.
    const std::vector<int16_t> shapes = {-300, 5, 30, -20, 90, 40, 10, 32000, 3, 3, 12, 9, -32000, -32000, 32000, 20};
    for (uint32_t first = 0; first < kRecordWords; first += kSpanStateMaxStores) {
        std::vector<SpanStateStore> stores;
        for (uint32_t w = first; w < first + kSpanStateMaxStores && w < kRecordWords; ++w)
            stores.push_back({static_cast<uint16_t>(w), kSweepValues[w % std::size(kSweepValues)]});
        char name[32];
        std::snprintf(name, sizeof name, "sweep-%05u", first * 4);
        // The opaque span after the stores: the image draw reads what they left.
        seeds.emplace_back(name, spanStateInput(kImageFlags, stores, shapes));
    }
    const struct {
        const char* name;
        uint32_t offset, value;
    } findings[] = {
        {"finding-native-call", kRsSpanBinding + 4, 1},
        {"finding-pool-capacity", kRsPoolCapacity, 0x7FFFFFFF},
        {"finding-pool-used", kRsPoolUsed, 0x4000},
        {"finding-bound-slot", kRsTextureUnits + kTuBoundSlot, 0xFFFFFFFF},
    };
    for (const auto& f : findings)
        seeds.emplace_back(f.name, spanStateInput(kImageFlags, {{static_cast<uint16_t>(f.offset / 4), f.value}}, shapes));
    // A store through every address word: the tables, the planes, each unit's
    // levels and palette.
    std::vector<uint32_t> pointers = {kRsRecipTable, kRsRecipTable4, kRsRecipShiftTable, kRsCosTable, kRsSqrtTable,
                                      kRsDestBase,   kRsZBase,       kRsStencilBase};
    for (uint32_t u = 0; u < kTextureUnitCount; ++u)
        for (uint32_t field : {kTuLevels, kTuLevels + 4, kTuPalette})
            pointers.push_back(kRsTextureUnits + u * kTextureUnitSize + field);
    // Each also into a sharer whose source is made again at another size,
    // and with 8-bit pictures, the first without its colours.
    const struct {
        const char* name;
        uint8_t scene;
    } scenes[] = {{"through", 0}, {"sharer", kSpanSceneSharer}, {"indexed", kSpanSceneIndexed}};
    for (const auto& scene : scenes) {
        for (uint32_t pointer : pointers) {
            char name[32];
            std::snprintf(name, sizeof name, "%s-%05u", scene.name, pointer);
            const uint16_t where = static_cast<uint16_t>(kSpanStoreThrough | 1u << 11 | pointer / 4);
            seeds.emplace_back(name, spanStateInput(kImageFlags, {{where, 0x80000000u}}, shapes, scene.scene));
        }
    }
    return seeds;
}
