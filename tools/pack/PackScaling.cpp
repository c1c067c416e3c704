// The shared pack of the pack scaling table, its run and its verdicts.
#include "tools/pack/PackScaling.h"

#include <algorithm>

#include "framework/properties/EntryTable.h"
#include "framework/resources/DataBlock.h"
#include "framework/resources/ResourceManager.h"
#include "framework/resources/ResourcePack.h"
#include "framework/resources/TypedResources.h"
#include "framework/strings/WideString.h"
#include "game/shell/ResourcePreloader.h"
#include "gfx2d/display/Surface.h"
#include "gfx2d/display/testing/TestScreen.h"
#include "gfx2d/font/BitmapFont.h"
#include "gfx2d/font/TextLayout.h"
#include "gfx2d/image/PixelFormat.h"
#include "tests/support/TestApp.h"
#include "tools/font/FontWriter.h"
#include "tools/pack/HostFiles.h"
#include "tools/pack/ResourceWriters.h"

namespace {

using namespace PackRelation;

constexpr uint32_t kPreloadList = 0x05000001;
constexpr uint32_t kTexts = 0x03000005;      // the table string ids of selector 5 name
constexpr uint32_t kLayoutText = 0x21050000; // its entry 0; the deflated texts follow
constexpr uint32_t kShared = 0x03000010;     // the data entry many ids and aliases reach
constexpr uint32_t kFont = 0x03000011;
constexpr uint32_t kTower = 0x03001000;      // the first tower's top; each level the next id
constexpr uint32_t kTowers = 256;
constexpr uint32_t kSharers = 0x03001800;
constexpr uint32_t kOwnData = 0x03006000; // 503 apart: one bucket of an identity hash into 503
constexpr uint32_t kFillers = 0x03004000;
constexpr uint32_t kFirstAlias = 0x06010000;
constexpr int kLayoutWidth = 20;

// An id reaching the pack entry of id, differing from it above the low 15
// bits; variant 0 is id itself. Kinds from 7 up: 6 names tables of ids.
uint32_t variantOf(uint32_t id, uint32_t variant)
{
    return variant == 0 ? id : (7 + (variant - 1) / 512) << 24 | (variant - 1) % 512 << 15 | resourceEntry(id);
}

Bytes surfaceDescription(const std::vector<uint32_t>& words)
{
    Bytes bytes;
    for (uint32_t word : words)
        putU32(bytes, word);
    return bytes;
}

void addSurfaces(const PackCounts& counts, PackWriter& pack, std::vector<uint32_t>& preloads)
{
    if (counts[SourceNamedAgain] + counts[NestingLevel] + counts[SharerWithPlane] == 0)
        return;
    // Each tower's top names the next level as often as asked, each level
    // below it names the next twice: a load that loaded a source again for
    // each naming would load the last level 2^levels times. Towers enough
    // that the counts they make are not a few probes either way.
    const uint32_t levels = 1 + std::max(counts[NestingLevel], 1u);
    for (uint32_t top = kTower; top < kTower + kTowers * kMaxShareDepth; top += kMaxShareDepth) {
        for (uint32_t l = 0; l + 1 < levels; ++l) {
            std::vector<uint32_t> pairs;
            for (uint32_t i = 0; i < (l == 0 ? std::max(counts[SourceNamedAgain], 1u) : 2); ++i)
                pairs.insert(pairs.end(), {SurfaceKey::Source, top + l + 1});
            pack.add(top + l, ResourceType::MemorySurface, surfaceDescription(pairs));
        }
        pack.add(top + levels - 1, ResourceType::MemorySurface,
                 surfaceDescription({SurfaceKey::Width, 4, SurfaceKey::Height, 4, SurfaceKey::Format0,
                                     PixelFormat::X8R8G8B8}));
        preloads.push_back(top);
    }
    for (uint32_t i = 0; i < counts[SharerWithPlane]; ++i) {
        pack.add(kSharers + i, ResourceType::MemorySurface,
                 surfaceDescription({SurfaceKey::Source, kTower, SurfaceKey::Format1, PixelFormat::Z32}));
        preloads.push_back(kSharers + i);
    }
    for (uint32_t i = 1; i <= counts[IdsOneEntry]; ++i)
        preloads.push_back(variantOf(kTower, i));
}

// A font with A and B (advance 3) and a space (2), spacing 0: every other
// character is zero-wide.
Bytes layoutFont()
{
    FontSpec spec;
    spec.height = 5;
    for (char16_t c : {u'A', u'B'})
        spec.glyphs.push_back({c, 0, 0, 3, 5, 0, 0, 3, 0});
    spec.overrides = {{u' ', 0, 2}};
    return writeFont(spec);
}

void addTexts(const PackCounts& counts, PackWriter& pack, ResourceTableImage& table, std::vector<uint32_t>& preloads)
{
    for (uint32_t i = 0; i < counts[NoSelectorTable]; ++i)
        table.stringTables.push_back(0x03000100 + i % 0x7F00);
    table.stringTables.push_back(kTexts);
    EntryTableWriter texts;
    preloads.push_back(kTexts);
    if (counts[Word] + counts[MissingGlyph] != 0) {
        std::u16string text;
        for (uint32_t i = 0; i < counts[Word]; ++i)
            text += u"AB ";
        for (uint32_t i = 0; i < counts[MissingGlyph]; ++i)
            text += u"#\n";
        texts.add(kLayoutText, encodePackEntry(encodeUtf16Text(text), true), ResourceType::Utf16Text);
        pack.add(kFont, ResourceType::Data, layoutFont());
        preloads.insert(preloads.end(), {kLayoutText, kFont});
    }
    for (uint32_t i = 1; i <= counts[DeflatedText]; ++i) {
        texts.add(kLayoutText + i, encodePackEntry(Bytes(64, 'a'), true), ResourceType::Utf8Text);
        preloads.push_back(kLayoutText + i);
    }
    pack.add(kTexts, ResourceType::Table, texts.build(), true);
}

// Cells whose work is a product the format bounds: where both relations
// grow, the counter named may grow twice as fast as elsewhere, no faster.
struct Hold {
    int first;
    int second;
    int counter;
};
constexpr Hold kHolds[] = {
    // Each id reaching the tower's top loads its description again, and with
    // it looks up each source it names: the format holds a description to
    // kMaxSurfacePairs pairs, so the work stays within that many times the ids.
    {SourceNamedAgain, IdsOneEntry, PackCounter::ManagerProbes},
};

bool heldAsProduct(const PackCell& cell, size_t counter)
{
    return std::any_of(std::begin(kHolds), std::end(kHolds), [&](const Hold& h) {
        return size_t(h.counter) == counter && ((h.first == cell.first && h.second == cell.second)
                                                || (h.first == cell.second && h.second == cell.first));
    });
}

} // namespace

const std::array<PackRelationInfo, PackRelation::Count>& packRelations()
{
    static const std::array<PackRelationInfo, PackRelation::Count> relations = {{
        {"source-named-again", 5, true},
        {"nesting-level", 3, true},
        {"sharer-with-plane", 1024, false},
        {"ids-one-entry", 2048, false},
        {"no-selector-table", 2048, false},
        {"deflated-text", 1024, false},
        {"alias", 2048, false},
        {"preload-id", 2048, false},
        {"word", 2048, false},
        {"missing-glyph", 2048, false},
    }};
    return relations;
}

Bytes writeScalingPack(const PackCounts& counts)
{
    PackWriter pack;
    ResourceTableImage table;
    std::vector<uint32_t> preloads;
    addTexts(counts, pack, table, preloads);
    addSurfaces(counts, pack, preloads);
    pack.add(kShared, ResourceType::Data, Bytes(4096, 1), true);
    for (uint32_t i = 1; i <= counts[IdsOneEntry]; ++i)
        preloads.push_back(variantOf(kShared, i));
    for (uint32_t i = 0; i < counts[Alias]; ++i) {
        table.aliases.push_back(variantOf(kShared, counts[IdsOneEntry] + 1 + i));
        preloads.push_back(kFirstAlias | i);
    }
    for (uint32_t i = 0; i < counts[PreloadId]; ++i) {
        const uint32_t id = kOwnData + i * 503 % 0x2000;
        pack.add(id, ResourceType::Data, Bytes(16, uint8_t(i)));
        preloads.push_back(id);
    }
    // As many halvings to find an entry in every pack the table writes.
    for (uint32_t i = 0; i < 4096; ++i)
        pack.add(kFillers + i, ResourceType::Data, Bytes{1});
    pack.add(ResourceIds::ResourceTableEntry, ResourceType::Data, encodeResourceTable(table), true);
    pack.add(kPreloadList, ResourceType::IdList, encodeIdList(preloads));
    Bytes bytes;
    pack.build(PackIndexForm::Sorted, bytes);
    return bytes;
}

PackRun runScalingPack(const Bytes& bytes)
{
    using namespace PackCounter;
    PackRun run;
    TestApp app;
    TestScreen screen;
    ResourcePack pack;
    ResourceManager manager;
    // The hint the sample pack's tests give: the game's 500 starts the held
    // index at 1024 slots, which a pack would have to pass well before N for
    // the index's growth to show at 2N as the doubling it is.
    run.opened = screen.init() == 1 && pack.openFile(new MemoryFile(bytes)) == 1
                 && manager.openTable(&pack, 50, 8, true) == 1;
    if (!run.opened)
        return run;
    app.m_resourceManager = &manager;
    const uint64_t preloadProbes = ResourcePreloader::probes();
    ResourcePreloader preloader;
    preloader.start(kPreloadList);
    while (preloader.getState() == PreloadState::Loading)
        preloader.step();
    run.preloaded = preloader.getState() == PreloadState::Done;

    BitmapFont font;
    TextLayout layout;
    const Resource* text = manager.held(kLayoutText);
    const Resource* fontData = manager.held(kFont);
    if (text && fontData && text->m_typeId == ResourceClassId::Text && fontData->m_typeId == ResourceClassId::Data) {
        const DataBlock* block = static_cast<const DataResource*>(fontData)->block();
        layout.font = &font;
        layout.text = static_cast<const TextResource*>(text)->text()->chars();
        layout.width = kLayoutWidth;
        run.laidOut = block && font.load(block->data(), block->size()) == 1 ? layout.layout() : 1;
    }

    const Resource* texts = manager.held(kTexts);
    run.work[PackProbes] = pack.probes();
    run.work[ManagerProbes] = manager.probes() + ResourcePreloader::probes() - preloadProbes
                              + (texts ? static_cast<const TableResource*>(texts)->table()->probes() : 0);
    run.work[Loads] = manager.loads();
    run.work[MadeBytes] = manager.ledger().made();
    run.work[HeldBytes] = manager.ledger().held();
    run.work[GlyphsMeasured] = font.probes();
    run.work[CharactersScanned] = layout.scanned();
    ResourcePreloader::unloadList(kPreloadList);
    app.m_resourceManager = nullptr;
    return run;
}

std::string PackCell::name() const
{
    const auto& relations = packRelations();
    const std::string name = relations[size_t(first)].name;
    return second == Count ? name : name + "+" + relations[size_t(second)].name;
}

PackCounts PackCell::at(uint32_t times) const
{
    PackCounts counts{};
    for (int r : {first, second})
        if (r != Count)
            counts[size_t(r)] = packRelations()[size_t(r)].testN * times;
    return counts;
}

std::vector<PackCell> packCells(int relation)
{
    std::vector<PackCell> cells{{relation, Count}};
    for (int k = 1; 2 * k <= Count; ++k)
        if (2 * k < Count || relation < Count / 2)
            cells.push_back({relation, (relation + k) % Count});
    return cells;
}

std::vector<std::string> packFaults(const PackCell& cell, const PackRun& atN, const PackRun& at2N)
{
    static constexpr const char* kCounterNames[] = {"pack probes", "manager probes", "loads", "bytes made",
                                                    "bytes held", "glyphs measured", "characters scanned"};
    std::vector<std::string> faults;
    const auto fault = [&](const std::string& what) { faults.push_back(cell.name() + ": " + what); };
    bool grew = false;
    for (const PackRun* run : {&atN, &at2N}) {
        const char* where = run == &atN ? " at N" : " at 2N";
        if (!run->opened || !run->preloaded || run->laidOut > 0)
            fault(std::string("not opened, preloaded and laid out") + where);
        if (run->work[PackCounter::HeldBytes] > kMaxBytesPerPack)
            fault(std::string("past the pack's budget") + where);
        if (run->work[PackCounter::MadeBytes] > 2 * kMaxBytesPerPack + kMaxBytesPerLoad)
            fault(std::string("past the list's budget") + where);
    }
    for (size_t c = 0; c < atN.work.size(); ++c) {
        const uint64_t a = atN.work[c], b = at2N.work[c];
        grew = grew || (a != 0 && 2 * b >= 3 * a);
        if (b * 10 > a * (heldAsProduct(cell, c) ? 46 : 23))
            fault(std::string(kCounterNames[c]) + " " + std::to_string(a) + " -> " + std::to_string(b));
    }
    // The relations, not the pack around them, make the work, unless the
    // format keeps them too few to tell.
    const auto capped = [](int r) { return r != Count && packRelations()[size_t(r)].capped; };
    if (!grew && !capped(cell.first) && !capped(cell.second))
        fault("no count grew with the relations");
    return faults;
}
