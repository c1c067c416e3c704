// Ray intersection record: the counted node, the hit's values and the
// engine's scratch record.
#include "engine/scene/CkwRayIntersection.h"

#include <algorithm>
#include <limits>

#include "engine/core/runtime/EngineContext.h"
#include "engine/core/runtime/Trap.h"
#include "engine/scene/SceneFieldHelpers.h"
#include "engine/core/scene/CkwNode.h"

IkwSerializable* CkwRayIntersection::create() { return new CkwRayIntersection; }

CkwRayIntersection& CkwRayIntersection::shared()
{
    EngineContext& context = engineContextL();
    if (context.rayIntersection == nullptr)
        context.rayIntersection = new CkwRayIntersection;
    return *context.rayIntersection;
}

void CkwRayIntersection::releaseShared(EngineContext& context)
{
    CkwRayIntersection* record = context.rayIntersection;
    context.rayIntersection = nullptr;
    delete record;
}

CkwRayIntersection::~CkwRayIntersection() { setIntersected(nullptr); }

void CkwRayIntersection::setIntersected(CkwNode* node) { replaceReference(m_intersected, node); }

void CkwRayIntersection::checkUnit(int32_t unit)
{
    if (unit < 0 || unit > 1)
        leave(KErrIndexOutOfRange);
}

float CkwRayIntersection::getTextureS(int32_t unit) const
{
    checkUnit(unit);
    return m_textureS[unit];
}

float CkwRayIntersection::getTextureT(int32_t unit) const
{
    checkUnit(unit);
    return m_textureT[unit];
}

void CkwRayIntersection::getRay(int32_t outLength, float* out) const
{
    if (outLength < 6)
        leave(KErrIllegalArgument);
    std::copy(m_ray, m_ray + 6, out);
}

void CkwRayIntersection::setHit(int32_t submeshIndex, float distance, const float* textureS, const float* textureT,
                                const float* normal)
{
    m_submeshIndex = submeshIndex;
    m_distance = distance;
    std::copy(textureS, textureS + 2, m_textureS);
    std::copy(textureT, textureT + 2, m_textureT);
    std::copy(normal, normal + 3, m_normal);
}

void CkwRayIntersection::setRay(const float* origin, const float* direction)
{
    std::copy(origin, origin + 3, m_ray);
    std::copy(direction, direction + 3, m_ray + 3);
}

void CkwRayIntersection::begin(const float* origin, const float* direction)
{
    setIntersected(nullptr);
    m_distance = std::numeric_limits<float>::max();
    setRay(origin, direction);
}

void CkwRayIntersection::copyFrom(const CkwRayIntersection& other)
{
    setIntersected(other.m_intersected);
    setHit(other.m_submeshIndex, other.m_distance, other.m_textureS, other.m_textureT, other.m_normal);
    std::copy(other.m_ray, other.m_ray + 6, m_ray);
}
