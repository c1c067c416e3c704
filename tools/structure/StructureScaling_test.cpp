// The scaling table: every relation a file can hold, at N and 2N, through
// every operation a game does; the engine's counted steps and allocated
// bytes at 2N stay within 2.3 times those at N, and a file past the load's
// allowance inflates no more than it.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/core/interface/EngineResult.h"
#include "engine/core/io/IoTestKit.h"
#include "engine/core/loader/CkwDecompress.h"
#include "engine/core/loader/CkwSerializeBufferObjectsIn.h"
#include "tools/structure/StructureScaling.h"

namespace {

using namespace ScalingOp;

// Cells whose work references multiply by design: each reference loads its
// file anew, so N references to a file of N objects hold N^2 objects. They
// are bounded by the load's budgets of nested loads, referenced bytes and
// deform steps instead, which the loader's and meshes' own rows hold at
// their limits.
struct Budgeted {
    const char* relation;
    uint32_t ops; // bits of ScalingOp
};
constexpr uint32_t bit(int op) { return 1u << op; }
constexpr Budgeted kBudgeted[] = {
    {"external-reference", bit(Load) | bit(GetReferences)}, // nested loads and referenced bytes per load
    {"archive-member", bit(Load)},                          // nested loads per load
    // Each skinned mesh indexes (first draw) and skins (first pick) its whole
    // source, which the load's deform steps and made bytes are charged for.
    {"skins-sharing-a-source", bit(Draw) | bit(Pick)},
};

bool budgeted(const char* relation, int op)
{
    for (const Budgeted& b : kBudgeted)
        if (std::strcmp(b.relation, relation) == 0 && (b.ops & bit(op)) != 0)
            return true;
    return false;
}

bool withinScale(uint64_t atN, uint64_t at2N)
{
    return at2N * 10 <= atN * 23;
}

TEST(StructureScaling, WorkAtTwiceTheFileStaysWithinTwiceAndABit)
{
    ScratchFolder folder;
    for (const ScalingRelation& r : scalingRelations()) {
        const ScalingFile small = r.make(r.testN), large = r.make(2 * r.testN);
        const auto run = [&](const ScalingFile& file) {
            CountingEngine engine;
            EXPECT_TRUE(engine.ready());
            return runScaling(engine.api(), folder.path(), file);
        };
        const ScalingRun atN = run(small), at2N = run(large);
        if (r.refused == 0) {
            // The loader met the larger file.
            EXPECT_GT(at2N.work[Load].bytes, atN.work[Load].bytes * 3 / 2) << r.name;
        } else {
            EXPECT_LE(at2N.work[Load].inflatedBytes,
                      kLoadBytesPerFile + kLoadBytesPerInputByte * large.size() + kZlibWindowSize)
                << r.name;
        }
        for (int op = 0; op < Count; ++op) {
            SCOPED_TRACE(std::string(r.name) + " " + scalingOpName(op));
            if ((r.refusedByTwiceN & bit(op)) != 0) {
                EXPECT_TRUE(atN.result[op] == 0 || atN.result[op] == kResultIllegalState) << atN.result[op];
                EXPECT_EQ(at2N.result[op], kResultIllegalState);
            } else {
                EXPECT_EQ(atN.result[op], op == Load ? r.refused : 0);
                EXPECT_EQ(at2N.result[op], op == Load ? r.refused : 0);
            }
            const EngineWork& a = atN.work[op];
            const EngineWork& b = at2N.work[op];
            EXPECT_TRUE(budgeted(r.name, op)
                        || (withinScale(a.visits, b.visits) && withinScale(a.bytes, b.bytes)
                            && withinScale(a.vertexTransforms, b.vertexTransforms)
                            && withinScale(a.lightEvaluations, b.lightEvaluations)
                            && withinScale(a.inflatedBytes, b.inflatedBytes)))
                << "visits " << a.visits << " -> " << b.visits << ", bytes " << a.bytes << " -> " << b.bytes
                << ", vertices " << a.vertexTransforms << " -> " << b.vertexTransforms << ", lights "
                << a.lightEvaluations << " -> " << b.lightEvaluations << ", inflated " << a.inflatedBytes << " -> "
                << b.inflatedBytes;
        }
    }
}

} // namespace
