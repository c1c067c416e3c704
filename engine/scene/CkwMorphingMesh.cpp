// Morphing mesh: targets and weights, the 8.8 fixed-point blend of each
// attribute into the mesh's own vertex buffer, and the file data.
#include "engine/scene/CkwMorphingMesh.h"

#include <algorithm>

#include "engine/core/loader/CkwSerializeBufferObjectsIn.h"
#include "engine/core/math/FloatBits.h"
#include "engine/core/runtime/EngineContext.h"
#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/Trap.h"
#include "engine/core/scene/SceneIds.h"
#include "engine/scene/SceneFieldHelpers.h"

namespace {

// Bytes of one target in the file: the buffer's index and its weight.
constexpr uint32_t kTargetRecordBytes = 8;

// Positions, colours, normals and the two texture units, in that order.
constexpr int32_t kAttributes = 5;

CkwVertexArray* attributeOf(const CkwVertexBuffer& buffer, int32_t attribute)
{
    switch (attribute) {
    case 0:
        return buffer.getPositions();
    case 1:
        return buffer.getColors();
    case 2:
        return buffer.getNormals();
    default:
        return buffer.getTexCoords(attribute - 3);
    }
}

// The vertex steps of one blend of base's attributes over targets: each
// attribute from every target and the base.
int64_t blendSteps(const CkwVertexBuffer& base, int64_t targets)
{
    int64_t steps = 0;
    for (int32_t a = 0; a < kAttributes; ++a)
        if (const CkwVertexArray* array = attributeOf(base, a))
            steps += (targets + 1) * array->getVertexCount();
    return steps;
}

// What a loaded blend asks of every animated frame and makes once: an array
// of the base's shape for each attribute, and the sums of the widest.
void chargeBlend(CkwSerializeBufferObjectsIn& buffer, const CkwVertexBuffer& base, int64_t targets)
{
    uint64_t bytes = 0, widest = 0;
    for (int32_t a = 0; a < kAttributes; ++a) {
        if (const CkwVertexArray* array = attributeOf(base, a)) {
            const auto values = static_cast<uint64_t>(array->getVertexCount()) * array->getComponentCount();
            bytes += values * static_cast<uint64_t>(array->getComponentSize());
            widest = std::max(widest, values);
        }
    }
    buffer.chargeDeformSteps(static_cast<uint64_t>(blendSteps(base, targets)));
    buffer.chargeMadeBytes(bytes + widest * sizeof(int32_t));
}

bool sameShape(const CkwVertexArray& a, const CkwVertexArray& b)
{
    return a.getVertexCount() == b.getVertexCount() && a.getComponentCount() == b.getComponentCount()
        && a.getComponentSize() == b.getComponentSize();
}

} // namespace

IkwSerializable* CkwMorphingMesh::create() { return new CkwMorphingMesh; }

CkwMorphingMesh::~CkwMorphingMesh()
{
    releaseTargets();
    if (m_morphed != nullptr)
        m_morphed->release();
}

void CkwMorphingMesh::releaseTargets()
{
    for (CkwObject3D*& target : m_targets) {
        CkwObject3D* held = target;
        target = nullptr;
        if (held != nullptr)
            held->release();
    }
    m_targets.setCount(0);
}

void CkwMorphingMesh::checkTargets(int32_t targetCount, CkwVertexBuffer* const* targets)
{
    if (targetCount < 1)
        leave(KErrIllegalArgument);
    for (int32_t i = 0; i < targetCount; ++i)
        if (targets[i] == nullptr)
            leave(KErrNullArgument);
}

void CkwMorphingMesh::checkBudget(const CkwVertexBuffer* base, int64_t targets)
{
    if (base != nullptr && blendSteps(*base, targets) > kBlendStepsPerMesh)
        leave(KErrNoMemory);
}

void CkwMorphingMesh::reserveTargets(int32_t count)
{
    m_weights.setCount(std::max(count, m_weights.count()));
    const int32_t held = m_targets.count();
    m_targets.setCount(std::max(count, held));
    m_targets.setCount(held);
}

void CkwMorphingMesh::setTargets(int32_t count, CkwVertexBuffer* const* targets)
{
    checkTargets(count, targets);
    checkBudget(getVertexBuffer(), count);
    // Room in both arrays before the old targets go, so nothing can leave
    // between releasing them and holding the new ones.
    reserveTargets(count);
    releaseTargets();
    m_targets.setCount(count);
    for (int32_t i = 0; i < count; ++i) {
        targets[i]->addRef();
        m_targets[i] = targets[i];
        m_weights[i] = 0.0f;
    }
    m_morphDirty = true;
}

void CkwMorphingMesh::init(CkwVertexBuffer* vertexBuffer, int32_t targetCount, CkwVertexBuffer* const* targets,
                           int32_t submeshCount, CkwIndexBuffer* const* indexBuffers, int32_t appearanceCount,
                           CkwAppearance* const* appearances)
{
    checkTargets(targetCount, targets);
    checkBudget(vertexBuffer, targetCount);
    // The targets' room too before the mesh part changes: a failed init
    // keeps the mesh as it was.
    reserveTargets(targetCount);
    CkwMesh::init(vertexBuffer, submeshCount, indexBuffers, appearanceCount, appearances);
    setTargets(targetCount, targets);
}

void CkwMorphingMesh::initSingle(CkwVertexBuffer* vertexBuffer, int32_t targetCount, CkwVertexBuffer* const* targets,
                                 CkwIndexBuffer* indexBuffer, CkwAppearance* appearance)
{
    init(vertexBuffer, targetCount, targets, 1, &indexBuffer, 1, &appearance);
}

CkwVertexBuffer* CkwMorphingMesh::getMorphTarget(int32_t index) const
{
    if (index < 0 || index >= m_targets.count())
        leave(KErrIndexOutOfRange);
    return static_cast<CkwVertexBuffer*>(m_targets[index]);
}

void CkwMorphingMesh::getWeights(int32_t length, float* out) const
{
    if (length < m_targets.count())
        leave(KErrIllegalArgument);
    std::copy(m_weights.begin(), m_weights.begin() + m_targets.count(), out);
}

void CkwMorphingMesh::setWeights(int32_t length, const float* weights)
{
    if (length < m_targets.count())
        leave(KErrIllegalArgument);
    for (int32_t i = 0; i < m_targets.count(); ++i)
        checkFloat(weights[i]);
    for (int32_t i = 0; i < m_targets.count(); ++i)
        m_weights[i] = checkFloat(weights[i]);
    m_morphDirty = true;
}

float* CkwMorphingMesh::getMorphWeights(int32_t& count)
{
    count = m_targets.count();
    return m_weights.data();
}

bool CkwMorphingMesh::isAnimatable(int32_t property) const
{
    return property == kPropertyMorphWeights || CkwMesh::isAnimatable(property);
}

void CkwMorphingMesh::applyAnimatedProperty(int32_t property, int32_t components, const float* values)
{
    // MORPH_WEIGHTS were summed in place; every property may change the blend.
    if (property != kPropertyMorphWeights)
        CkwMesh::applyAnimatedProperty(property, components, values);
    m_morphDirty = true;
}

CkwReference CkwMorphingMesh::getReference(int32_t index) const
{
    if (index == 0)
        return CkwReference::list(m_targets);
    return CkwMesh::getReference(index - 1);
}

int32_t CkwMorphingMesh::animateNodeReferences(int32_t worldTime, int32_t validity, uint32_t stamp)
{
    for (CkwObject3D* target : m_targets)
        validity = std::min(validity, target->animate(worldTime, stamp));
    return CkwMesh::animateNodeReferences(worldTime, validity, stamp);
}

bool CkwMorphingMesh::sourcesChanged()
{
    const CkwVertexBuffer* base = getVertexBuffer();
    if (base == nullptr)
        return true;
    // Per buffer each attribute's array and the default colour; then a
    // scale and three biases for the positions and each texture unit.
    constexpr int32_t kBufferWords = kTexCoords1 + 1 + 1;
    constexpr int32_t kScaleBiasWords = 4 * (1 + CkwVertexBuffer::kTextureUnits);
    const int32_t words = kBufferWords * (1 + m_targets.count()) + kScaleBiasWords;
    bool changed = m_sources.count() != words;
    m_sources.setCount(words);
    uint32_t* seen = m_sources.data();
    const auto note = [&](uint32_t word) {
        changed |= *seen != word;
        *seen++ = word;
    };
    const auto noteBuffer = [&](const CkwVertexBuffer& buffer) {
        // Arrays set on a buffer were written at least once, so never count 0.
        for (int32_t a = kPositions; a <= kTexCoords1; ++a) {
            const CkwVertexArray* array = attributeOf(buffer, a);
            note(array != nullptr ? array->getRevision() : 0);
        }
        note(buffer.getDefaultColor());
    };
    const auto noteScaleBias = [&](float scale, const float* bias) {
        note(floatBits(scale));
        for (int32_t i = 0; i < 3; ++i)
            note(floatBits(bias[i]));
    };
    noteBuffer(*base);
    for (const CkwObject3D* target : m_targets)
        noteBuffer(*static_cast<const CkwVertexBuffer*>(target));
    noteScaleBias(base->getPositionScale(), base->getPositionBias());
    for (int32_t unit = 0; unit < CkwVertexBuffer::kTextureUnits; ++unit)
        noteScaleBias(base->getTexCoordScale(unit), base->getTexCoordBias(unit));
    countEngineVisits(static_cast<uint64_t>(words));
    return changed;
}

CkwVertexBuffer* CkwMorphingMesh::getRenderVertexBuffer(int32_t)
{
    // A write to the base or a target counts as a new weight does; dirty
    // stays set until a blend succeeds.
    if (sourcesChanged())
        m_morphDirty = true;
    if (m_morphDirty)
        recompute();
    return m_morphed;
}

void CkwMorphingMesh::accumulate(const CkwVertexArray& array, float weight, int32_t offset)
{
    // Values x 256 in a window that keeps signed attributes signed and
    // colours unsigned; the offset's own share is taken out again.
    const int32_t mask = array.getComponentSize() == 1 ? 0xFF00 : 0xFFFF00;
    const float offsetShare = static_cast<float>(saturateToInt(static_cast<float>(offset * 256) * weight));
    const int32_t components = array.getComponentCount();
    int32_t* entry = m_accumulator.data();
    for (int32_t v = 0; v < array.getVertexCount(); ++v) {
        for (int32_t c = 0; c < components; ++c, ++entry) {
            const int32_t u = ((array.getElement(v, c) + offset) * 256) & mask;
            const float share = static_cast<float>(saturateToInt(static_cast<float>(u) * weight));
            *entry = saturateToInt(static_cast<float>(*entry) + (share - offsetShare));
        }
    }
    countDeformSteps(static_cast<uint64_t>(array.getVertexCount()));
}

CkwVertexArray* CkwMorphingMesh::morphAttribute(int32_t a)
{
    CkwVertexArray* base = attributeOf(*getVertexBuffer(), a);
    if (base == nullptr) {
        for (CkwObject3D* target : m_targets)
            if (attributeOf(*static_cast<CkwVertexBuffer*>(target), a) != nullptr)
                leave(KErrIllegalState);
        return nullptr;
    }
    if (m_targets.isEmpty() || attributeOf(*static_cast<CkwVertexBuffer*>(m_targets[0]), a) == nullptr)
        return base;

    m_accumulator.setCount(base->getVertexCount() * base->getComponentCount());
    std::fill(m_accumulator.begin(), m_accumulator.end(), 0);
    const int32_t offset = a == kColors ? 0 : 1 << (8 * base->getComponentSize() - 1);
    float sum = 0.0f;
    for (int32_t i = 0; i < m_targets.count(); ++i) {
        const float w = m_weights[i];
        if (w == 0.0f)
            continue;
        const CkwVertexArray* target = attributeOf(*static_cast<CkwVertexBuffer*>(m_targets[i]), a);
        if (target == nullptr || !sameShape(*target, *base))
            leave(KErrIllegalState);
        // The base's own array as a target gives its weight to the base.
        if (target == base)
            continue;
        sum += w;
        accumulate(*target, w, offset);
    }
    if (sum != 1.0f)
        accumulate(*base, 1.0f - sum, offset);

    // The blend of an earlier pass is refilled when it still has the base's
    // counts; a base array replaced by one of other counts gets a new one.
    CkwVertexArray* out = attributeOf(*m_morphed, a);
    if (out != nullptr && out != base && sameShape(*out, *base)) {
        out->setFromAccumulator(0, base->getVertexCount(), m_accumulator.data(), a == kColors);
        return out;
    }
    CkwCleanupPtr<CkwVertexArray> made(new CkwVertexArray);
    made->init(base->getVertexCount(), base->getComponentCount(), base->getComponentSize());
    made->setFromAccumulator(0, base->getVertexCount(), m_accumulator.data(), a == kColors);
    return made.release();
}

uint32_t CkwMorphingMesh::blendDefaultColor() const
{
    // Bytes alpha, red, green, blue from the top of the word down.
    const auto channel = [](uint32_t argb, int32_t i) { return static_cast<int32_t>((argb >> (24 - 8 * i)) & 0xFF); };
    const uint32_t base = getVertexBuffer()->getDefaultColor();
    int32_t channels[4];
    for (int32_t i = 0; i < 4; ++i)
        channels[i] = channel(base, i);
    for (int32_t t = 0; t < m_targets.count(); ++t) {
        const float w = m_weights[t];
        if (w == 0.0f)
            continue;
        const uint32_t color = static_cast<const CkwVertexBuffer*>(m_targets[t])->getDefaultColor();
        for (int32_t i = 0; i < 4; ++i) {
            const float change = static_cast<float>(channel(color, i) - channel(base, i)) * w;
            channels[i] = saturateToInt(static_cast<float>(channels[i]) + static_cast<float>(saturateToInt(change)));
        }
    }
    uint32_t out = 0;
    for (int32_t i = 0; i < 4; ++i)
        out = (out << 8) | static_cast<uint32_t>(std::clamp(channels[i], 0, 255));
    return out;
}

void CkwMorphingMesh::recompute()
{
    CkwVertexBuffer* base = getVertexBuffer();
    // A base re-shaped behind the mesh is refused as the renderer refuses it,
    // before the blend's own setters would.
    if (base == nullptr || base->getPositions() == nullptr || !base->keepsSetterShapes())
        leave(KErrIllegalState);
    // The base may have grown since the targets were set.
    checkBudget(base, m_targets.count());
    // A base that changed its vertex count gets a new blend buffer: the old
    // one's arrays would refuse arrays of the new count one by one.
    if (m_morphed == nullptr || m_morphed->getVertexCount() != base->getVertexCount()) {
        replaceReference(m_morphed, new CkwVertexBuffer);
    }
    m_morphed->setDefaultColor(blendDefaultColor());
    // Each new array has no holder until its setter takes one.
    const auto set = [&](int32_t a, auto&& store) {
        CkwVertexArray* array = morphAttribute(a);
        const bool fresh = array != nullptr && array != attributeOf(*m_morphed, a) && array != attributeOf(*base, a);
        CkwCleanupPtr<CkwVertexArray> guard(fresh ? array : nullptr);
        store(array);
        guard.release();
    };
    // The blend keeps the base's shape, whatever the file gave it.
    set(kPositions, [&](CkwVertexArray* p) {
        m_morphed->takePositions(p, base->getPositionScale(), base->getPositionBias(), KErrIllegalArgument);
    });
    set(kNormals, [&](CkwVertexArray* n) { m_morphed->setNormals(n); });
    set(kColors, [&](CkwVertexArray* c) { m_morphed->setColors(c); });
    for (int32_t unit = 0; unit < CkwVertexBuffer::kTextureUnits; ++unit)
        set(kTexCoords0 + unit, [&](CkwVertexArray* t) {
            m_morphed->takeTexCoords(unit, t, base->getTexCoordScale(unit), base->getTexCoordBias(unit),
                                     KErrIllegalArgument);
        });
    m_morphDirty = false;
}

void CkwMorphingMesh::deserialize(CkwSerializeBufferObjectsIn& buffer)
{
    CkwMesh::deserialize(buffer);
    const auto n = static_cast<int32_t>(buffer.readArrayCount(kTargetRecordBytes));
    checkBudget(getVertexBuffer(), n);
    if (const CkwVertexBuffer* base = getVertexBuffer())
        chargeBlend(buffer, *base, n);
    m_weights.setCount(n);
    m_targets.setCount(n);
    std::fill(m_targets.begin(), m_targets.end(), nullptr);
    for (int32_t i = 0; i < n; ++i) {
        auto* target = readComponent<CkwVertexBuffer>(buffer, kClassVertexBuffer);
        if (target == nullptr)
            leave(KErrCorruptData);
        target->addRef();
        m_targets[i] = target;
        m_weights[i] = buffer.readFloat();
    }
    m_morphDirty = true;
}

CkwNode* CkwMorphingMesh::copyNode() const
{
    CkwCleanupPtr<CkwMorphingMesh> copy(new CkwMorphingMesh);
    copy->copyMeshFields(*this);
    copy->m_weights.setCount(m_targets.count());
    copy->m_targets.setCount(m_targets.count());
    for (int32_t i = 0; i < m_targets.count(); ++i) {
        m_targets[i]->addRef();
        copy->m_targets[i] = m_targets[i];
        copy->m_weights[i] = m_weights[i];
    }
    return copy.release();
}
