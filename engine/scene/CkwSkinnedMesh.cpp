// Skinned mesh: bindings, the palette of blended bone matrices, its 16.16
// form and the integer skinning of positions, and the file data.
#include "engine/scene/CkwSkinnedMesh.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

#include "engine/core/loader/CkwSerializeBufferObjectsIn.h"
#include "engine/core/math/CkwTransform.h"
#include "engine/core/math/FloatBits.h"
#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/Trap.h"
#include "engine/core/scene/SceneIds.h"
#include "engine/scene/SceneFieldHelpers.h"

namespace {

// Bytes of one transform reference in the file: node, first, count, weight.
constexpr uint32_t kReferenceRecordBytes = 16;
constexpr uint32_t kLargestFileVertex = 0x80000000u;
// Skinned coordinates are kept within 16 bits with room to spare.
constexpr float kFixedRange = 32000.0f;
// What a mesh keeps per source vertex: a palette index and three 16-bit
// skinned coordinates.
constexpr uint64_t kSkinnedBytesPerVertex = 2 + 3 * 2;
// Nodes down to this depth below the mesh take their transform to it in the
// order a climb to the mesh multiplies, to the last bit; deeper ones take
// their parent's times their own, so a long chain costs a multiply a node.
constexpr int32_t kClimbedDepth = 32;

void forceAffine(CkwMatrix& m)
{
    m.m[3] = m.m[7] = m.m[11] = 0.0f;
    m.m[15] = 1.0f;
}

} // namespace

IkwSerializable* CkwSkinnedMesh::create() { return new CkwSkinnedMesh; }

CkwSkinnedMesh::~CkwSkinnedMesh()
{
    if (m_skinned != nullptr)
        m_skinned->release();
    clearBones();
}

void CkwSkinnedMesh::clearBones()
{
    for (SkwBoneNode& b : m_bones)
        b.node->release();
    m_bones.setCount(0);
    m_boneSlots.setCount(0);
    m_bindings.setCount(0);
    m_boundVertices = 0;
    m_largestBoundIndex = 0;
    m_influencesValid = false;
    m_skinDirty = true;
}

CkwGroup* CkwSkinnedMesh::getSkeleton() const { return static_cast<CkwGroup*>(getFirstChild()); }

void CkwSkinnedMesh::checkSkeleton(const CkwGroup* skeleton) const
{
    if (skeleton == nullptr)
        leave(KErrNullArgument);
    if (skeleton->getClassId() != kClassGroup || skeleton->getParent() != nullptr || skeleton->isAncestorOf(this))
        leave(KErrIllegalArgument);
}

void CkwSkinnedMesh::setSkeleton(CkwGroup* skeleton)
{
    checkSkeleton(skeleton);
    // A new skeleton leaves the old bones without a tree to follow.
    if (CkwGroup* old = getSkeleton()) {
        clearBones();
        old->detach();
    }
    skeleton->attachTo(this);
    m_influencesValid = false;
    m_skinDirty = true;
}

void CkwSkinnedMesh::init(CkwVertexBuffer* vertexBuffer, int32_t submeshCount, CkwIndexBuffer* const* indexBuffers,
                          int32_t appearanceCount, CkwAppearance* const* appearances, CkwGroup* skeleton)
{
    // Every check before the mesh part changes: a refused skeleton leaves
    // the mesh as it was.
    checkInit(vertexBuffer, submeshCount, indexBuffers, appearanceCount, appearances);
    checkSkeleton(skeleton);
    CkwMesh::init(vertexBuffer, submeshCount, indexBuffers, appearanceCount, appearances);
    setSkeleton(skeleton);
}

void CkwSkinnedMesh::initSingle(CkwVertexBuffer* vertexBuffer, CkwIndexBuffer* indexBuffer, CkwAppearance* appearance,
                                CkwGroup* skeleton)
{
    init(vertexBuffer, 1, &indexBuffer, 1, &appearance, skeleton);
}

void CkwSkinnedMesh::checkBone(const CkwNode* bone, const CkwArray<const CkwNode*>* skeletonNodes) const
{
    if (bone == nullptr)
        leave(KErrNullArgument);
    const CkwGroup* skeleton = getSkeleton();
    const bool below = skeletonNodes != nullptr
        ? std::binary_search(skeletonNodes->begin(), skeletonNodes->end(), bone, std::less<const CkwNode*>())
        : skeleton != nullptr && (bone == skeleton || skeleton->isAncestorOf(bone));
    if (!below)
        leave(KErrIllegalArgument);
}

namespace {

// Pointer bits spread over the slots; a file cannot choose where its nodes lie.
uint32_t slotOf(const CkwNode* node, uint32_t mask)
{
    const uint64_t bits = reinterpret_cast<uintptr_t>(node);
    return static_cast<uint32_t>((bits * 0x9E3779B97F4A7C15ull) >> 32) & mask;
}

// Slots for that many bones, at most half full.
int32_t boneSlotsFor(int32_t bones)
{
    int32_t slots = 16;
    while (2 * bones > slots)
        slots *= 2;
    return slots;
}

} // namespace

int32_t CkwSkinnedMesh::findBone(const CkwNode* node) const
{
    if (m_boneSlots.isEmpty())
        return -1;
    const auto mask = static_cast<uint32_t>(m_boneSlots.count() - 1);
    uint32_t at = slotOf(node, mask);
    while (m_boneSlots[static_cast<int32_t>(at)] >= 0 && m_bones[m_boneSlots[static_cast<int32_t>(at)]].node != node)
        at = (at + 1) & mask;
    // One step a lookup: where nodes lie decides the probes, not the file, so
    // counting them would only make the count follow the heap's layout.
    countEngineVisits(1);
    return m_boneSlots[static_cast<int32_t>(at)];
}

void CkwSkinnedMesh::rehashBones(int32_t slots)
{
    m_boneSlots.setCount(slots);
    std::fill(m_boneSlots.begin(), m_boneSlots.end(), -1);
    for (int32_t i = 0; i < m_bones.count(); ++i)
        placeBone(i);
    if (EngineContext* context = engineContext())
        context->visits += static_cast<uint64_t>(slots);
}

void CkwSkinnedMesh::placeBone(int32_t index)
{
    const auto mask = static_cast<uint32_t>(m_boneSlots.count() - 1);
    uint32_t at = slotOf(m_bones[index].node, mask);
    while (m_boneSlots[static_cast<int32_t>(at)] >= 0)
        at = (at + 1) & mask;
    m_boneSlots[static_cast<int32_t>(at)] = index;
}

void CkwSkinnedMesh::markBonePath(CkwNode* node)
{
    uint64_t steps = 0;
    for (CkwNode* n = node; n != nullptr && n != this && !(n->nodeFlags() & kNodeBone); n = n->getParent()) {
        n->setBoneMark(true);
        ++steps;
    }
    if (EngineContext* context = engineContext())
        context->visits += steps;
}

int32_t CkwSkinnedMesh::findOrAddBone(CkwNode* node)
{
    const int32_t found = findBone(node);
    if (found >= 0)
        return found;
    // Slots stay at most half full; the room is made before anything changes.
    const int32_t slots = std::max(m_boneSlots.count(), boneSlotsFor(m_bones.count() + 1));
    m_bones.setCountGrowing(m_bones.count() + 1);
    m_bones.setCount(m_bones.count() - 1);
    if (slots != m_boneSlots.count())
        rehashBones(slots);
    SkwBoneNode record = {node, CkwMatrix(), CkwMatrix(), true, false, false, false, 0};
    m_bones.append(record);
    node->addRef();
    placeBone(m_bones.count() - 1);
    markBonePath(node);
    return m_bones.count() - 1;
}

void CkwSkinnedMesh::addTransform(CkwNode* bone, int32_t weight, int32_t firstVertex, int32_t vertexCount)
{
    bind(bone, weight, firstVertex, vertexCount, nullptr);
}

void CkwSkinnedMesh::bind(CkwNode* bone, int32_t weight, int32_t firstVertex, int32_t vertexCount,
                          const CkwArray<const CkwNode*>* skeletonNodes)
{
    if (bone == nullptr)
        leave(KErrNullArgument);
    if (weight < 1)
        leave(KErrIllegalArgument);
    checkBone(bone, skeletonNodes);
    if (vertexCount < 1)
        leave(KErrIllegalArgument);
    if (firstVertex < 0 || static_cast<int64_t>(firstVertex) + vertexCount > 65535)
        leave(KErrIndexOutOfRange);
    // Binding and bone indices are 16-bit, 65535 meaning none.
    if (m_bindings.count() >= kNoBinding)
        leave(KErrIllegalArgument);
    if (m_boundVertices + vertexCount > kBoundVerticesPerMesh)
        leave(KErrNoMemory);
    // A bone the mesh cannot be seen from is refused before anything binds.
    CkwMatrix atRest;
    if (skeletonNodes == nullptr) {
        getTransformTo(bone, atRest);
        forceAffine(atRest);
    }
    m_bindings.setCountGrowing(m_bindings.count() + 1);
    m_bindings.setCount(m_bindings.count() - 1);
    const int32_t index = findOrAddBone(bone);
    m_bindings.append({weight, static_cast<uint16_t>(firstVertex), static_cast<uint16_t>(vertexCount),
                       static_cast<uint16_t>(index)});
    m_boundVertices += vertexCount;
    m_bones[index].restPending = skeletonNodes != nullptr;
    if (skeletonNodes == nullptr)
        m_bones[index].atRest = atRest;
    m_bones[index].dirty = true;
    m_largestBoundIndex = std::max(m_largestBoundIndex, firstVertex + vertexCount - 1);
    m_influencesValid = false;
    m_skinDirty = true;
}

bool CkwSkinnedMesh::influencesCurrent() const
{
    const CkwVertexBuffer* source = getVertexBuffer();
    // A shared source buffer that changed its vertex count needs new indices.
    return m_influencesValid && source != nullptr && m_vertexPalette.count() == source->getVertexCount();
}

void CkwSkinnedMesh::buildVertexInfluences()
{
    CkwVertexBuffer* source = getVertexBuffer();
    if (influencesCurrent() || source == nullptr || source->getPositions() == nullptr || getSkeleton() == nullptr)
        return;
    const int32_t vertices = source->getVertexCount();
    for (const SkwBoneData& b : m_bindings)
        if (b.firstVertex >= vertices || b.vertexCount == 0 || b.firstVertex + b.vertexCount > vertices)
            leave(KErrIllegalState);
    // The passes over the whole source are what the deform budget pays for;
    // the rest follows the bindings.
    countDeformSteps(static_cast<uint64_t>(vertices));
    uint64_t visited = static_cast<uint64_t>(m_bindings.count());

    // Each vertex meets the bindings that cover it in binding order, so
    // taking the bindings in order and each over its own range gives every
    // vertex the same two as a scan of all bindings per vertex, at the cost
    // of the vertices bound.
    struct Kept {
        uint16_t binding[2];
        int32_t largest;
    };
    CkwArray<Kept> kept;
    kept.setCount(vertices);
    std::fill(kept.begin(), kept.end(), Kept{{kNoBinding, kNoBinding}, 0});
    for (int32_t i = 0; i < m_bindings.count(); ++i) {
        const SkwBoneData& b = m_bindings[i];
        for (int32_t v = b.firstVertex; v < b.firstVertex + b.vertexCount; ++v) {
            Kept& k = kept[v];
            if (k.binding[0] == kNoBinding || k.binding[1] == kNoBinding) {
                k.binding[k.binding[0] == kNoBinding ? 0 : 1] = static_cast<uint16_t>(i);
            } else if (b.weight > k.largest) {
                const int32_t slot = m_bindings[k.binding[1]].weight < m_bindings[k.binding[0]].weight ? 1 : 0;
                k.binding[slot] = static_cast<uint16_t>(i);
            }
            k.largest = std::max(k.largest, b.weight);
        }
        visited += b.vertexCount;
    }

    // Two slots match when they hold the same binding, or bindings of one
    // weight and bone: an equality on (weight, bone), so the bound vertices
    // sorted by that key form one run per palette entry, and the entries are
    // numbered in the order their first vertex comes.
    const auto key = [&](uint16_t binding) {
        if (binding == kNoBinding)
            return uint64_t{0};
        const SkwBoneData& b = m_bindings[binding];
        return (static_cast<uint64_t>(static_cast<uint32_t>(b.weight)) << 16 | b.bone) + 1;
    };
    CkwArray<int32_t> order;
    order.setCapacity(vertices);
    for (int32_t v = 0; v < vertices; ++v)
        if (kept[v].binding[0] != kNoBinding)
            order.append(v);
    const auto sameKey = [&](int32_t a, int32_t b) {
        return key(kept[a].binding[0]) == key(kept[b].binding[0]) && key(kept[a].binding[1]) == key(kept[b].binding[1]);
    };
    std::sort(order.begin(), order.end(), [&](int32_t a, int32_t b) {
        ++visited;
        const uint64_t a0 = key(kept[a].binding[0]);
        const uint64_t b0 = key(kept[b].binding[0]);
        if (a0 != b0)
            return a0 < b0;
        const uint64_t a1 = key(kept[a].binding[1]);
        const uint64_t b1 = key(kept[b].binding[1]);
        return a1 != b1 ? a1 < b1 : a < b;
    });
    // The first vertex of each run, at every vertex of the run.
    CkwArray<int32_t> runFirst;
    runFirst.setCount(vertices);
    for (int32_t i = 0; i < order.count(); ++i)
        runFirst[order[i]] = i > 0 && sameKey(order[i - 1], order[i]) ? runFirst[order[i - 1]] : order[i];

    m_vertexPalette.setCount(vertices);
    std::fill(m_vertexPalette.begin(), m_vertexPalette.end(), 0);
    m_palette.setCount(1);
    m_palette[0] = {{kNoBinding, kNoBinding}, CkwMatrix(), 1.0f, true, true, {}};
    for (int32_t v = 0; v < vertices; ++v) {
        const Kept& k = kept[v];
        if (k.binding[0] == kNoBinding)
            continue;
        if (runFirst[v] != v) {
            m_vertexPalette[v] = m_vertexPalette[runFirst[v]];
            continue;
        }
        // Two file weights near 2^31 would overflow an int32 sum.
        int64_t sum = m_bindings[k.binding[0]].weight;
        if (k.binding[1] != kNoBinding)
            sum += m_bindings[k.binding[1]].weight;
        m_vertexPalette[v] = static_cast<uint16_t>(m_palette.count());
        m_palette.append({{k.binding[0], k.binding[1]}, CkwMatrix(), 1.0f / static_cast<float>(sum), true, true, {}});
    }
    if (EngineContext* context = engineContext())
        context->visits += visited;
    m_influencesValid = true;
    m_paletteChanged = true;
    m_skinDirty = true;
    m_paletteSerial = nextPaletteSerial();
}

const CkwArray<uint16_t>& CkwSkinnedMesh::getVertexPaletteIndices()
{
    buildVertexInfluences();
    return m_vertexPalette;
}

bool CkwSkinnedMesh::refreshBone(SkwBoneNode& bone)
{
    CkwMatrix current;
    // A bone taken out of the mesh's tree keeps its last matrix.
    if (bone.node->getTransformTo(this, current) == nullptr)
        return false;
    return setBoneFrom(bone, current);
}

bool CkwSkinnedMesh::setBoneFrom(SkwBoneNode& bone, CkwMatrix toMesh)
{
    toMesh.multiply(bone.atRest);
    bone.dirty = false;
    bone.stale = false;
    if (toMesh.equals(bone.bone))
        return false;
    bone.bone = toMesh;
    return true;
}

void CkwSkinnedMesh::refreshBoneFrom(SkwBoneNode& bone, const SkwPoseNode* pose, Refresh what)
{
    if (bone.restPending) {
        CkwMatrix atRest;
        if (pose != nullptr) {
            atRest = pose->toMesh;
            if (!atRest.invert())
                leave(KErrArithmetic);
        } else {
            getTransformTo(bone.node, atRest);
        }
        forceAffine(atRest);
        bone.atRest = atRest;
        bone.restPending = false;
        bone.dirty = true;
    }
    if (what == Refresh::kRest)
        return;
    const bool due = bone.dirty || (what == Refresh::kAll && (bone.stale || pose == nullptr));
    bool moved = false;
    if (due)
        moved = pose == nullptr ? refreshBone(bone) : setBoneFrom(bone, pose->toMesh);
    if (what == Refresh::kAll)
        bone.moved = moved;
}

void CkwSkinnedMesh::refreshBones(Refresh what)
{
    // A node's transform to the mesh is made again only where the node, its
    // parent or its own transform changed, from the ancestors' transforms the
    // walk holds, so a frame costs one step per node on the bones' paths and
    // at most kClimbedDepth multiplies per changed one. Bones and every node
    // above them carry the bone mark; other subtrees are stepped over.
    ++m_walk;
    uint64_t visited = 0;
    uint64_t multiplies = 0;
    int32_t used = 0;
    m_posePath.setCount(0);
    for (CkwNode* n = getFirstChild(); n != nullptr;) {
        ++visited;
        const bool onPath = (n->nodeFlags() & kNodeBone) != 0;
        if (onPath) {
            CkwNode* parent = n->getParent();
            while (!m_posePath.isEmpty() && m_pose[m_posePath.last()].node != parent)
                m_posePath.setCount(m_posePath.count() - 1);
            const int32_t above = m_posePath.isEmpty() ? -1 : m_posePath.last();
            if (used == m_pose.count())
                m_pose.append({nullptr, nullptr, CkwMatrix(), CkwMatrix(), true});
            const CkwMatrix& own = n->updateCompositeTransform();
            SkwPoseNode& pose = m_pose[used];
            pose.changed = pose.node != n || pose.parent != parent || (above >= 0 && m_pose[above].changed)
                || !pose.own.equals(own);
            if (pose.changed) {
                pose.node = n;
                pose.parent = parent;
                pose.own = own;
                // The path holds the node's ancestors below the mesh.
                if (m_posePath.count() >= kClimbedDepth) {
                    pose.toMesh = m_pose[above].toMesh;
                    pose.toMesh.multiply(own);
                } else {
                    pose.toMesh = own;
                    for (int32_t i = m_posePath.count() - 1; i >= 0; --i) {
                        CkwMatrix step = m_pose[m_posePath[i]].own;
                        step.multiply(pose.toMesh);
                        pose.toMesh = step;
                    }
                    multiplies += static_cast<uint64_t>(m_posePath.count());
                }
            }
            m_posePath.append(used);
            const int32_t index = findBone(n);
            if (index >= 0) {
                SkwBoneNode& bone = m_bones[index];
                bone.seen = m_walk;
                bone.stale = bone.stale || pose.changed;
                refreshBoneFrom(bone, &m_pose[used], what);
            }
            ++used;
        }
        n = nextInSubtree(n, this, onPath);
    }
    // A bone moved out of the mesh's subtree finds its own way to the mesh.
    for (SkwBoneNode& bone : m_bones)
        if (bone.seen != m_walk)
            refreshBoneFrom(bone, nullptr, what);
    if (EngineContext* context = engineContext())
        context->visits += visited + multiplies + static_cast<uint64_t>(m_bones.count());
}

const CkwMatrix& CkwSkinnedMesh::getPaletteMatrix(int32_t index)
{
    buildVertexInfluences();
    SkwPaletteEntry& entry = m_palette[index];
    if (!entry.matrixChanged)
        return entry.matrix;
    CkwMatrix m;
    if (entry.binding[0] != kNoBinding) {
        const auto boneOf = [&](uint16_t binding) -> const CkwMatrix& {
            // One walk brings every dirty bone up to date at once.
            if (m_bones[m_bindings[binding].bone].dirty)
                refreshBones(Refresh::kDirty);
            return m_bones[m_bindings[binding].bone].bone;
        };
        m = boneOf(entry.binding[0]);
        if (entry.binding[1] != kNoBinding) {
            const float w0 = static_cast<float>(m_bindings[entry.binding[0]].weight) * entry.weightFactor;
            const float w1 = static_cast<float>(m_bindings[entry.binding[1]].weight) * entry.weightFactor;
            const CkwMatrix& b1 = boneOf(entry.binding[1]);
            for (int32_t i = 0; i < 16; ++i)
                m.m[i] = w0 * m.m[i] + w1 * b1.m[i];
            forceAffine(m);
            m.classify();
        }
    }
    m.multiply(m_scaleBias);
    entry.matrix = m;
    m_paletteChanged = false;
    return entry.matrix;
}

void CkwSkinnedMesh::markChangedBones()
{
    buildVertexInfluences();
    // Bones are compared with their last matrix: the node tree keeps no
    // record of which transforms moved.
    refreshBones(Refresh::kAll);
    bool moved = false;
    for (SkwPaletteEntry& entry : m_palette) {
        for (uint16_t binding : entry.binding) {
            if (binding != kNoBinding && m_bones[m_bindings[binding].bone].moved) {
                entry.matrixChanged = entry.changedForDrawing = true;
                m_paletteChanged = true;
                moved = true;
            }
        }
    }
    if (moved)
        m_paletteSerial = nextPaletteSerial();
    if (EngineContext* context = engineContext())
        context->visits += static_cast<uint64_t>(m_palette.count());
    m_skinDirty = m_skinDirty || m_paletteChanged;
}

void CkwSkinnedMesh::setPositionScaleBias(float scale, const float* bias)
{
    bool same = scale == m_cachedScale;
    for (int32_t i = 0; i < 3; ++i)
        same = same && std::fabs(bias[i] - m_cachedBias[i]) <= kSceneEpsilon;
    if (same)
        return;
    m_cachedScale = scale;
    std::memcpy(m_cachedBias, bias, sizeof(m_cachedBias));
    m_paletteChanged = true;
    m_scaleBias = CkwMatrix::scaling(scale, scale, scale);
    m_scaleBias.translate(bias[0], bias[1], bias[2]);
    for (SkwPaletteEntry& entry : m_palette)
        entry.matrixChanged = entry.changedForDrawing = true;
    m_paletteSerial = nextPaletteSerial();
}

uint64_t CkwSkinnedMesh::nextPaletteSerial()
{
    // One count for all meshes: the engine runs on one thread.
    static uint64_t changes = 0;
    return ++changes;
}

void CkwSkinnedMesh::updateFixedPalette(int32_t largestMagnitude)
{
    const float m = static_cast<float>(largestMagnitude);
    float extent = 0.0f;
    for (int32_t i = 0; i < m_palette.count(); ++i) {
        if (!m_palette[i].matrixChanged)
            continue;
        const CkwMatrix& p = getPaletteMatrix(i);
        for (int32_t r = 0; r < 3; ++r) {
            const float x = (std::fabs(p.element(r, 0)) + std::fabs(p.element(r, 1)) + std::fabs(p.element(r, 2))) * m
                + std::fabs(p.element(r, 3));
            if (x > extent)
                extent = 1.25f * x;
        }
    }
    m_extent = extent;
    // The factor only ever shrinks, so earlier positions stay in range. A
    // pose past the float range cannot be held at any factor: taking it would
    // leave 0 for every pose after it.
    const bool rescaled = extent != 0.0f && std::isfinite(extent) && kFixedRange / extent < m_fixedFactor;
    if (rescaled)
        m_fixedFactor = kFixedRange / extent;
    for (int32_t i = 0; i < m_palette.count(); ++i) {
        SkwPaletteEntry& entry = m_palette[i];
        if (!entry.matrixChanged && !rescaled)
            continue;
        const CkwMatrix& p = getPaletteMatrix(i);
        for (int32_t column = 0; column < 4; ++column)
            for (int32_t r = 0; r < 3; ++r)
                entry.fixed[3 * column + r] = saturateToInt(p.element(r, column) * m_fixedFactor * 65536.0f + 0.5f);
        entry.matrixChanged = entry.changedForDrawing = true;
    }
}

bool CkwSkinnedMesh::sourceChanged(const CkwVertexBuffer& source)
{
    const uint32_t key[kSourceKeyWords] = {source.getPositions()->getRevision(), floatBits(source.getPositionScale()),
                                           floatBits(source.getPositionBias()[0]),
                                           floatBits(source.getPositionBias()[1]),
                                           floatBits(source.getPositionBias()[2])};
    if (std::equal(key, key + kSourceKeyWords, m_sourceKey))
        return false;
    std::copy(key, key + kSourceKeyWords, m_sourceKey);
    return true;
}

CkwVertexBuffer* CkwSkinnedMesh::getSkinnedVertexBuffer(bool force)
{
    // The skinned positions follow the bones and the source's positions,
    // scale and bias: the bones may have moved since a frame last queued the
    // mesh, and a write to the source redoes every vertex.
    markChangedBones();
    CkwVertexBuffer* source = getVertexBuffer();
    CkwVertexArray* positions = source != nullptr ? source->getPositions() : nullptr;
    // Without a skeleton (a mesh initialised as a plain one) no vertex has
    // a palette entry to be skinned by.
    if (positions == nullptr || m_vertexPalette.count() != positions->getVertexCount())
        leave(KErrIllegalState);
    if (sourceChanged(*source)) {
        m_skinDirty = true;
        for (SkwPaletteEntry& entry : m_palette)
            entry.matrixChanged = entry.changedForDrawing = true;
    }
    if (!m_skinDirty && !force && m_skinned != nullptr) {
        m_skinned->shareAttributesOf(*source);
        return m_skinned;
    }

    // A source that changed its vertex count gets a new skinned buffer.
    if (m_skinned == nullptr || (m_skinned->getPositions() != nullptr
                                 && m_skinned->getPositions()->getVertexCount() != positions->getVertexCount()))
        replaceReference(m_skinned, new CkwVertexBuffer);
    CkwVertexArray* out = m_skinned->getPositions();
    if (out == nullptr) {
        CkwCleanupPtr<CkwVertexArray> made(new CkwVertexArray);
        made->init(positions->getVertexCount(), 3, 2);
        m_skinned->setPositions(made.get(), source->getPositionScale(), 3, source->getPositionBias());
        out = made.release();
    }
    m_skinned->shareAttributesOf(*source);
    setPositionScaleBias(source->getPositionScale(), source->getPositionBias());
    updateFixedPalette(positions->updateBounds());

    // Positions of two components lie at z = 0; a fourth is not a coordinate.
    const bool flat = positions->getComponentCount() < 3;
    uint64_t skinned = 0, walked = 0;
    const auto skinRange = [&](int32_t first, int32_t end) {
        walked += static_cast<uint64_t>(end - first);
        for (int32_t v = first; v < end; ++v) {
            const SkwPaletteEntry& entry = m_palette[m_vertexPalette[v]];
            if (!entry.matrixChanged)
                continue;
            const uint32_t x = static_cast<uint32_t>(positions->getElement(v, 0));
            const uint32_t y = static_cast<uint32_t>(positions->getElement(v, 1));
            const uint32_t z = flat ? 0u : static_cast<uint32_t>(positions->getElement(v, 2));
            const uint32_t* f = reinterpret_cast<const uint32_t*>(entry.fixed);
            // Wrapping 32-bit products, as the device computed them.
            for (int32_t c = 0; c < 3; ++c) {
                const auto sum = static_cast<int32_t>(x * f[c] + y * f[3 + c] + z * f[6 + c] + f[9 + c]);
                out->setElement(v, c, sum >> 16);
            }
            ++skinned;
        }
    };
    // While the unbound vertices' entry stands, only bound vertices can
    // have changed: the bindings' ranges are walked instead of the source,
    // whose walk the deform budget pays for.
    if (m_palette[0].matrixChanged) {
        skinRange(0, positions->getVertexCount());
        countDeformSteps(walked);
    } else {
        for (const SkwBoneData& b : m_bindings)
            skinRange(b.firstVertex, b.firstVertex + b.vertexCount);
        countVertexTransforms(skinned);
        countEngineVisits(walked);
    }
    out->updateDeformedBounds();
    const float scale = 1.0f / m_fixedFactor;
    const bool rescaled = scale != m_skinned->getPositionScale();
    const float zero[3] = {0.0f, 0.0f, 0.0f};
    m_skinned->setPositions(out, scale, 3, zero);
    if (rescaled)
        invalidate();
    m_skinDirty = false;
    for (SkwPaletteEntry& entry : m_palette)
        entry.matrixChanged = false;
    return m_skinned;
}

void CkwSkinnedMesh::skinDirections(int32_t* dest, const int32_t* source, int32_t matrixShift,
                                    int32_t sourceShift) const
{
    // Shifts past the word give what the device's did: nothing of the
    // source, the sign of the matrix element.
    const auto shiftedSource = [&](int32_t v) {
        return sourceShift >= 32 ? 0u : static_cast<uint32_t>(v) << std::max(sourceShift, 0);
    };
    const auto shiftedMatrix = [&](int32_t v) {
        return static_cast<uint32_t>(v >> std::clamp(matrixShift, 0, 31));
    };
    for (int32_t v = 0; v < m_vertexPalette.count(); ++v) {
        const SkwPaletteEntry& entry = m_palette[m_vertexPalette[v]];
        if (!entry.matrixChanged && !entry.changedForDrawing)
            continue;
        const int32_t* in = source + 3 * v;
        for (int32_t c = 0; c < 3; ++c) {
            uint32_t sum = 0;
            for (int32_t k = 0; k < 3; ++k)
                sum += shiftedSource(in[k]) * shiftedMatrix(entry.fixed[3 * k + c]);
            dest[3 * v + c] = static_cast<int32_t>(sum) >> 16;
        }
    }
}

bool CkwSkinnedMesh::getPositionScaleBias(float* scaleBias) const
{
    const CkwVertexBuffer* source = getVertexBuffer();
    if (source == nullptr || source->getPositions() == nullptr)
        leave(KErrIllegalState);
    if (m_skinned == nullptr || scaleBias == nullptr)
        return false;
    scaleBias[0] = m_skinned->getPositionScale();
    for (int32_t i = 0; i < 3; ++i)
        scaleBias[1 + i] = m_skinned->getPositionBias()[i];
    return true;
}

int32_t CkwSkinnedMesh::getBoneVertices(CkwNode* bone, int32_t indicesLength, int32_t* indices,
                                        int32_t weightsLength, float* weights)
{
    checkBone(bone);
    buildVertexInfluences();
    const bool write = indices != nullptr && weights != nullptr;
    int32_t count = 0;
    for (int32_t v = 0; v < m_vertexPalette.count(); ++v) {
        const SkwPaletteEntry& entry = m_palette[m_vertexPalette[v]];
        for (uint16_t binding : entry.binding) {
            if (binding == kNoBinding || m_bones[m_bindings[binding].bone].node != bone)
                continue;
            if (write) {
                if (count >= indicesLength || count >= weightsLength)
                    leave(KErrIllegalArgument);
                indices[count] = v;
                weights[count] = static_cast<float>(m_bindings[binding].weight) * entry.weightFactor;
            }
            ++count;
        }
    }
    return count;
}

void CkwSkinnedMesh::getBoneTransform(CkwNode* bone, CkwTransform* out) const
{
    checkBone(bone);
    if (out == nullptr)
        leave(KErrNullArgument);
    const int32_t index = findBone(bone);
    if (index >= 0)
        out->matrix() = m_bones[index].atRest;
}

CkwReference CkwSkinnedMesh::getReference(int32_t index) const
{
    if (index == 0)
        return CkwReference::single(getSkeleton());
    return CkwMesh::getReference(index - 1);
}

void CkwSkinnedMesh::deserialize(CkwSerializeBufferObjectsIn& buffer)
{
    CkwMesh::deserialize(buffer);
    IkwSerializable* skeleton = buffer.readObjectIndex();
    if (skeleton == nullptr)
        leave(KErrNullArgument);
    auto* group = dynamic_cast<CkwGroup*>(skeleton);
    if (skeleton->getClassId() != kClassGroup || group == nullptr)
        leave(KErrCorruptData);
    setSkeleton(group);
    const uint32_t references = buffer.readArrayCount(kReferenceRecordBytes);
    m_bindings.setCapacity(static_cast<int32_t>(references));
    // Each bone is looked up among the skeleton's nodes, listed once, rather
    // than climbing from it to the skeleton.
    CkwArray<const CkwNode*> skeletonNodes;
    for (const CkwNode* n = group; references > 0 && n != nullptr; n = nextInSubtree(n, group, true))
        skeletonNodes.append(n);
    std::sort(skeletonNodes.begin(), skeletonNodes.end(), std::less<const CkwNode*>());
    if (EngineContext* context = engineContext())
        context->visits += static_cast<uint64_t>(skeletonNodes.count());
    for (uint32_t i = 0; i < references; ++i) {
        auto* bone = dynamic_cast<CkwNode*>(buffer.readNodeReference(false));
        const uint32_t first = std::min(buffer.readUInt32(), kLargestFileVertex);
        const uint32_t count = std::min(buffer.readUInt32(), kLargestFileVertex);
        const int32_t weight = buffer.readInt32();
        const int64_t last = static_cast<int64_t>(first) + count - 1;
        if (last > m_largestBoundIndex)
            m_largestBoundIndex = static_cast<int32_t>(std::min<int64_t>(last, INT32_MAX));
        bind(bone, weight, static_cast<int32_t>(first), static_cast<int32_t>(count), &skeletonNodes);
    }
    // Each mesh keeps a palette index and a skinned position for every
    // vertex of its source, however few it binds: many meshes over one
    // source pay for it each.
    const CkwVertexBuffer* source = getVertexBuffer();
    const uint64_t sourceVertices = source != nullptr ? static_cast<uint64_t>(source->getVertexCount()) : 0;
    buffer.chargeDeformSteps(static_cast<uint64_t>(m_boundVertices) + sourceVertices);
    buffer.chargeMadeBytes(sourceVertices * kSkinnedBytesPerVertex);
    // The tree stands still while a record loads, so every bone's rest
    // matrix is made in one walk rather than one climb to the mesh each.
    refreshBones(Refresh::kRest);
}

CkwNode* CkwSkinnedMesh::copyNode() const
{
    CkwCleanupPtr<CkwSkinnedMesh> copy(new CkwSkinnedMesh);
    copy->copyMeshFields(*this);
    return copy.release();
}

void CkwSkinnedMesh::completeCopy(const CkwNode& source, const CopyMap& copies)
{
    // The node copy has copied the skeleton with the mesh; the bones are
    // mapped into that copy and keep their rest poses.
    const auto& from = static_cast<const CkwSkinnedMesh&>(source);
    m_bindings.setCount(from.m_bindings.count());
    std::copy(from.m_bindings.begin(), from.m_bindings.end(), m_bindings.begin());
    m_boundVertices = from.m_boundVertices;
    m_bones.setCapacity(from.m_bones.count());
    for (const SkwBoneNode& b : from.m_bones) {
        CkwNode* node = copies.copyOf(b.node);
        // A bone no longer in the source's tree stays shared.
        if (node == nullptr)
            node = b.node;
        node->addRef();
        m_bones.append({node, b.atRest, b.bone, true, false, false, b.restPending, 0});
        markBonePath(node);
    }
    rehashBones(boneSlotsFor(m_bones.count()));
    m_largestBoundIndex = from.m_largestBoundIndex;
    m_influencesValid = false;
    m_paletteChanged = true;
    m_skinDirty = true;
}
