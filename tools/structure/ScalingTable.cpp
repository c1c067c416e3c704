// The scaling table's cells and their verdicts: each relation alone and with
// every other, and the budgets met many times in one file. A count at 2N
// past 2.3 times its value at N is a fault unless a budget of the whole
// input holds that cell's operation, checked: the budget refuses the file at
// 2N, or the work stays within the budget's stated total.
#include <algorithm>

#include "engine/core/interface/EngineResult.h"
#include "engine/core/loader/CkwDecompress.h"
#include "engine/core/loader/CkwResourceLoader.h"
#include "engine/core/loader/CkwSerializeBufferObjectsIn.h"
#include "engine/core/loader/SerializeCodes.h"
#include "engine/core/runtime/EngineErrors.h"
#include "engine/core/scene/CkwNode.h"
#include "engine/render/CkwRendererStandard.h"
#include "tools/structure/StructureScaling.h"

namespace {

using namespace Relation;
using ScalingOp::Align, ScalingOp::Draw, ScalingOp::GetReferences, ScalingOp::Load, ScalingOp::NextFrame,
    ScalingOp::Pick, ScalingOp::PickRay, ScalingOp::Redraw, ScalingOp::RenderNode, ScalingOp::Reparent;

constexpr uint32_t bit(int op) { return 1u << op; }
constexpr uint32_t kFrames =
    bit(Draw) | bit(Redraw) | bit(Pick) | bit(PickRay) | bit(NextFrame) | bit(Reparent) | bit(RenderNode);

// The counters of EngineWork, by bit.
namespace Counter {
enum : uint32_t { Visits = 1, Bytes = 2, VertexTransforms = 4, LightEvaluations = 8, InflatedBytes = 16, Deform = 32 };
} // namespace Counter

constexpr std::array<const char*, 6> kCounterNames = {"visits", "bytes", "vertices", "lights", "inflated", "deform"};

std::array<uint64_t, 6> countersOf(const EngineWork& w)
{
    return {w.visits, w.bytes, w.vertexTransforms, w.lightEvaluations, w.inflatedBytes, w.deformSteps};
}

const EngineResult kOutOfMemory = mapLeaveCode(KErrNoMemory);

uint64_t loadLedger(const ScalingFile& file)
{
    return kLoadBytesPerFile + kLoadBytesPerInputByte * file.size() + kZlibWindowSize;
}

// A budget of the whole input: the operation that refuses past it and the
// result it gives, the counters it holds, and the work it bounds in the
// operations it bounds, with its stated total.
struct Budget {
    const char* name;
    int op;
    // What the load or call gives past it: a record past a budget is
    // data the parser rejects (-8), a section or file that would pass it
    // is memory that ran out. None for a cap, which refuses nothing.
    std::array<EngineResult, 2> refusals;
    uint32_t counters;
    uint32_t ops;
    uint64_t (*spent)(const ScalingRun& run, int op);
    uint64_t (*total)(const ScalingFile& file, const ScalingRun& run, int op);
};

const Budget kBudgets[ScalingBudget::Count] = {
    // kMaxNestedLoads: every file the load opens, however often and deep it
    // is named.
    {"nested loads", Load, {kOutOfMemory}, Counter::Visits | Counter::Bytes, bit(Load),
     [](const ScalingRun& run, int) -> uint64_t { return run.nestedLoads; },
     [](const ScalingFile&, const ScalingRun&, int) -> uint64_t { return kMaxNestedLoads; }},
    // kLoadBytesPerFile + kLoadBytesPerInputByte: what the load's sections
    // inflate, what its references read and what its records keep.
    {"load ledger", Load, {kOutOfMemory, kSerializeBadData},
     Counter::Visits | Counter::Bytes | Counter::InflatedBytes, bit(Load),
     [](const ScalingRun& run, int op) { return run.work[op].inflatedBytes; },
     [](const ScalingFile& file, const ScalingRun&, int) { return loadLedger(file); }},
    // kMadeBytesPerFile: images and skinned copies the load makes without
    // their bytes, beside what its ledger allows. A frame makes the skinned
    // copies the load charged for (a palette index and a position, 8 bytes
    // a source vertex) and at most three times as much in passing while it
    // indexes them, beside what the load itself made.
    {"made bytes", Load, {kSerializeBadData}, Counter::Bytes, bit(Load),
     [](const ScalingRun& run, int op) { return run.work[op].bytes; },
     [](const ScalingFile& file, const ScalingRun& run, int op) {
         return op == Load ? kMadeBytesPerFile + 2 * loadLedger(file)
                           : 4 * run.charges.madeBytes + run.work[Load].bytes;
     }},
    // kDeformStepsPerFile: what the load charged for morph targets times
    // their base and skinned meshes' whole sources; one operation walks
    // each source three times at most (to index it, to skin it and to bound
    // the skinned copy).
    {"deform steps", Load, {kSerializeBadData}, Counter::Deform,
     kFrames, [](const ScalingRun& run, int op) { return run.work[op].deformSteps; },
     [](const ScalingFile&, const ScalingRun& run, int) { return 3 * run.charges.deformSteps; }},
    // CkwNode::kAlignStepsPerCall: the climbs of one align call, each
    // counted where it is checked and where it turns the node, beside one
    // visit of each node.
    {"align steps", Align, {kResultIllegalState}, Counter::Visits, bit(Align),
     [](const ScalingRun& run, int op) { return run.work[op].visits; },
     [](const ScalingFile& file, const ScalingRun&, int) { return 2 * CkwNode::kAlignStepsPerCall + file.size(); }},
    // kMaxSubmeshLights: a lit vertex takes at most that many evaluations
    // in a frame, however many lights the world holds; a redraw shades the
    // vertices the first draw transformed.
    {"frame lights", Draw, {}, Counter::LightEvaluations, kFrames,
     [](const ScalingRun& run, int op) { return run.work[op].lightEvaluations; },
     [](const ScalingFile&, const ScalingRun& run, int op) {
         return uint64_t(CkwRendererStandard::kMaxSubmeshLights) * std::max(run.work[op].vertexTransforms,
                                                                            run.work[Draw].vertexTransforms);
     }},
};

// Cells whose work the data model multiplies: each holds where both of its
// relations grow (Count: with any other, or alone), only the counters and
// operations named, by the budget named; every other count of the cell
// still keeps to twice and a bit.
struct Hold {
    int first;
    int second;
    uint32_t ops;
    uint32_t counters;
    int budget;
};
constexpr Hold kHolds[] = {
    // Each reference loads its file anew and hands out its groups: n
    // references to a file of n groups make and walk n^2 groups.
    {ExternalReference, ReferencedGroup, bit(Load) | bit(GetReferences), Counter::Visits | Counter::Bytes,
     ScalingBudget::NestedLoads},
    // Each rung names the next twice: the files loaded double at every rung.
    {ArchiveMember, Count, bit(Load), Counter::Visits | Counter::Bytes, ScalingBudget::NestedLoads},
    // Each skinned mesh keeps a palette index and a skinned position for
    // every vertex of its whole source, however few rows it binds: it
    // indexes the source at its first draw and skins and bounds it at its
    // first pick, paid for by the deform budget, and makes their arrays,
    // paid for by the made bytes.
    {SkinnedMesh, Count, bit(Draw) | bit(Pick), Counter::Bytes, ScalingBudget::MadeBytes},
    {SkinnedMesh, Count, bit(Draw) | bit(Pick), Counter::Deform, ScalingBudget::DeformSteps},
    // Each morph target is blended over its base's every vertex when the
    // weights have changed.
    {MorphTarget, Count, bit(Draw) | bit(NextFrame), Counter::Deform, ScalingBudget::DeformSteps},
    // Sections under their cap, many of them, each inflated and kept.
    {Section, RecordSize, bit(Load), Counter::Bytes | Counter::InflatedBytes, ScalingBudget::LoadBytes},
    // Blank images as large as their records ask, many of them.
    {Image, ImageSize, bit(Load), Counter::Bytes, ScalingBudget::MadeBytes},
    // Spines whose climbs grow with references times depth.
    {AlignmentMeetingNodeMoves, Count, bit(Align), Counter::Visits, ScalingBudget::AlignSteps},
    {AlignmentSingularProducts, Count, bit(Align), Counter::Visits, ScalingBudget::AlignSteps},
};

bool grows(const ScalingCell& cell, int relation)
{
    return relation == Count || cell.perN[size_t(relation)] != 0 || cell.fixed[size_t(relation)] != 0;
}

// The budgets holding op in cell, each with the counters it holds there,
// and the one the cell shows.
std::vector<std::pair<int, uint32_t>> holdsOf(const ScalingCell& cell, int op)
{
    std::vector<std::pair<int, uint32_t>> budgets;
    for (const Hold& h : kHolds)
        if ((h.ops & bit(op)) != 0 && grows(cell, h.first) && grows(cell, h.second))
            budgets.emplace_back(h.budget, h.counters & kBudgets[h.budget].counters);
    if (cell.shows != ScalingBudget::Count)
        budgets.emplace_back(cell.shows, kBudgets[cell.shows].counters);
    return budgets;
}

bool refuses(const Budget& b, int op, EngineResult result)
{
    return op == b.op && result != 0 && std::find(b.refusals.begin(), b.refusals.end(), result) != b.refusals.end();
}

// Results a cell's op may give: 0, or the refusal of a budget holding the
// cell at that op.
bool resultAllowed(const ScalingCell& cell, int op, EngineResult result)
{
    if (result == 0)
        return true;
    for (const Hold& h : kHolds)
        if (grows(cell, h.first) && grows(cell, h.second) && refuses(kBudgets[h.budget], op, result))
            return true;
    return cell.shows != ScalingBudget::Count && refuses(kBudgets[cell.shows], op, result);
}

bool refused(const Budget& b, const ScalingRun& run) { return refuses(b, b.op, run.result[b.op]); }

bool withinTotal(const Budget& b, const ScalingFile& file, const ScalingRun& run, int op)
{
    return b.spent(run, op) <= b.total(file, run, op);
}

bool withinScale(uint64_t atN, uint64_t at2N) { return at2N * 10 <= atN * 23; }

ScalingCell pairCell(int a, int b, bool bench)
{
    const auto& relations = scalingRelations();
    ScalingCell cell;
    cell.name = relations[size_t(a)].name;
    cell.perN[size_t(a)] = bench ? relations[size_t(a)].benchN : relations[size_t(a)].testN;
    if (b != Count) {
        cell.name += std::string("+") + relations[size_t(b)].name;
        cell.perN[size_t(b)] = bench ? relations[size_t(b)].benchN : relations[size_t(b)].testN;
    }
    return cell;
}

} // namespace

const std::array<ScalingRelation, Relation::Count>& scalingRelations()
{
    static const std::array<ScalingRelation, Relation::Count> relations = {{
        {"child-fan", 128, 8000},
        {"child-chain", 256, 16000},
        {"external-reference", 16, 512},
        {"referenced-group", 64, 8000},
        {"archive-member", 3, 6},
        {"animation-track", 128, 16000},
        {"keyframe", 64, 8000},
        {"controller", 64, 16000},
        {"track-removal-with-reads", 128, 16000},
        {"bone", 64, 4000},
        {"binding", 256, 8000},
        {"skeleton-depth", 128, 4000},
        {"skinned-mesh", 32, 256},
        {"morph-target", 64, 1024},
        {"submesh", 128, 8000},
        {"vertex", 128, 8000},
        {"appearance", 64, 4000},
        {"layer", 64, 4000},
        {"texture", 64, 4000},
        {"image", 32, 2000},
        {"image-size", 64, 1024},
        {"light", 32, 4000},
        {"camera", 64, 4000},
        {"alignment-target", 128, 8000},
        {"shared-alignment-target", 256, 8000},
        {"alignment-meeting-node-moves", 192, 8000},
        {"alignment-singular-products", 192, 8000},
        {"user-parameter", 128, 16000},
        {"section", 4, 64},
        {"record-size", 8, 64},
    }};
    return relations;
}

ScalingCounts ScalingCell::at(uint32_t times) const
{
    ScalingCounts counts = fixed;
    for (size_t r = 0; r < counts.size(); ++r)
        counts[r] += perN[r] * times;
    return counts;
}

// Every two relations meet in one file: a ladder's archive keeps the file
// the references name as a member beside its rungs.
std::vector<ScalingCell> scalingCells(int relation, bool bench)
{
    std::vector<ScalingCell> cells{pairCell(relation, Count, bench)};
    for (int k = 1; 2 * k <= Count; ++k)
        if (2 * k < Count || relation < Count / 2)
            cells.push_back(pairCell(relation, (relation + k) % Count, bench));
    return cells;
}

std::vector<ScalingCell> scalingBudgetCells(bool bench)
{
    const auto cell = [&](const char* name, int shows, std::vector<std::pair<int, uint32_t>> fixed, int grown,
                          uint32_t testN, uint32_t benchN, bool pastCap = false) {
        ScalingCell c;
        c.name = name;
        c.shows = shows;
        c.pastCap = pastCap;
        for (const auto& [r, count] : fixed)
            c.fixed[size_t(r)] = count;
        c.perN[size_t(grown)] = bench ? benchN : testN;
        return c;
    };
    return {
        // Sections of 8 MiB, each far under its cap and the load's ledger
        // alone, past the ledger together: a ledger per section would pass
        // any number of them.
        cell("sections-past-the-ledger-together", ScalingBudget::LoadBytes, {{RecordSize, 128}}, Section, 2, 2),
        // Meshes over a large buffer under more lights than a frame keeps.
        cell("meshes-over-a-large-buffer-under-many-lights", ScalingBudget::FrameLights,
             {{Vertex, 16000}, {Light, 64}}, ChildFan, 256, 2000),
        // More lights than a frame keeps over many lit submeshes: twice as
        // many light nothing more.
        cell("lights-past-the-caps", ScalingBudget::FrameLights, {{Vertex, 256}, {Submesh, 64}}, Light, 48, 1000,
             true),
        // Skinned meshes each charged for a full source.
        cell("skins-over-a-full-source", ScalingBudget::DeformSteps, {{Vertex, 8000}}, SkinnedMesh, 144, 144),
        // Morph targets over a full buffer.
        cell("morph-targets-over-a-full-buffer", ScalingBudget::DeformSteps, {{Vertex, 8000}}, MorphTarget, 144,
             144),
        // Blank images of half a megabyte each.
        cell("images-made-without-their-pixels", ScalingBudget::MadeBytes, {{ImageSize, 256}}, Image, 64, 64),
        // References to one small file, past the nested loads a load may make.
        cell("references-past-the-nested-loads", ScalingBudget::NestedLoads, {}, ExternalReference, 600, 600),
        // Aligned nodes whose climbs pass one call's steps.
        cell("aligned-nodes-past-one-call", ScalingBudget::AlignSteps, {}, AlignmentMeetingNodeMoves, 512, 512),
    };
}

std::vector<std::string> scalingFaults(const ScalingCell& cell, const ScalingFile& atNFile, const ScalingRun& atN,
                                       const ScalingFile& at2NFile, const ScalingRun& at2N)
{
    std::vector<std::string> faults;
    const auto fault = [&](int op, const std::string& what) {
        faults.push_back(cell.name + " " + scalingOpName(op) + ": " + what);
    };
    bool grew = false;
    for (int op = 0; op < ScalingOp::Count; ++op) {
        for (const ScalingRun* run : {&atN, &at2N})
            if (!resultAllowed(cell, op, run->result[op]))
                fault(op, "result " + std::to_string(run->result[op]) + (run == &atN ? " at N" : " at 2N"));
        const auto a = countersOf(atN.work[op]);
        const auto b = countersOf(at2N.work[op]);
        const auto holds = holdsOf(cell, op);
        // A budget holding the cell refused this operation at 2N: what it
        // did counts how far it got before the refusal, not what the file
        // costs.
        const bool stopped = at2N.result[op] != 0 && resultAllowed(cell, op, at2N.result[op]);
        for (size_t c = 0; c < a.size(); ++c) {
            grew = grew || (a[c] != 0 && 2 * b[c] >= 3 * a[c]);
            if (withinScale(a[c], b[c]))
                continue;
            const bool held = std::any_of(holds.begin(), holds.end(), [&](const std::pair<int, uint32_t>& h) {
                const Budget& budget = kBudgets[h.first];
                return (h.second & (1u << c)) != 0
                    && (refused(budget, at2N) || withinTotal(budget, at2NFile, at2N, op));
            });
            if (!held && !stopped)
                fault(op, std::string(kCounterNames[c]) + " " + std::to_string(a[c]) + " -> " + std::to_string(b[c]));
        }
    }
    // The relations, not the scene around them, make the work: some count
    // grows by half at least.
    if (!grew && at2N.result[Load] == 0)
        fault(Load, "no count grew with the relations");
    // A budget met many times holds the whole input's work within its
    // total, and refuses the file that asks for more.
    if (cell.shows != ScalingBudget::Count) {
        const Budget& budget = kBudgets[cell.shows];
        for (const auto& [run, file] : {std::pair(&atN, &atNFile), std::pair(&at2N, &at2NFile)})
            for (int op = 0; op < ScalingOp::Count; ++op)
                if ((budget.ops & bit(op)) != 0 && !refused(budget, *run) && !withinTotal(budget, *file, *run, op))
                    fault(op, std::string(budget.name) + " " + std::to_string(budget.spent(*run, op)) + " past "
                                  + std::to_string(budget.total(*file, *run, op)));
        for (int op = 0; op < ScalingOp::Count; ++op)
            for (size_t c = 0; c < kCounterNames.size(); ++c)
                if (cell.pastCap && (budget.ops & bit(op)) != 0 && (budget.counters & (1u << c)) != 0
                    && countersOf(at2N.work[op])[c] > countersOf(atN.work[op])[c])
                    fault(op, std::string(kCounterNames[c]) + " grew past the " + budget.name);
        if (budget.refusals[0] != 0 && !refused(budget, at2N))
            fault(budget.op, std::string("not refused at 2N by the ") + budget.name);
    }
    return faults;
}
