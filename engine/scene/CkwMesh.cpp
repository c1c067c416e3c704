// Mesh: its counted references, the file data, initialisation and the
// copies that share geometry.
#include "engine/scene/CkwMesh.h"

#include <algorithm>

#include "engine/core/loader/CkwSerializeBufferObjectsIn.h"
#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/Trap.h"
#include "engine/scene/SceneFieldHelpers.h"

namespace {

// Bytes of one submesh in the file: index buffer and appearance indices.
constexpr uint32_t kSubmeshRecordBytes = 8;

void share(CkwObject3D* object)
{
    if (object != nullptr)
        object->addRef();
}

} // namespace

IkwSerializable* CkwMesh::create() { return new CkwMesh; }

CkwMesh::~CkwMesh() { releaseAll(); }

void CkwMesh::releaseAll()
{
    for (CkwArray<CkwObject3D*>* list : {&m_indexBuffers, &m_appearances}) {
        for (CkwObject3D*& object : *list) {
            CkwObject3D* held = object;
            object = nullptr;
            if (held != nullptr)
                held->release();
        }
        list->setCount(0);
    }
    if (CkwVertexBuffer* held = m_vertexBuffer) {
        m_vertexBuffer = nullptr;
        held->release();
    }
}

void CkwMesh::sizeSubmeshes(int32_t n)
{
    // Each array holds only nulls from the moment it grows, so a failed
    // growth of the second leaves nothing for the destructor to misread.
    for (CkwArray<CkwObject3D*>* list : {&m_indexBuffers, &m_appearances}) {
        list->setCount(n);
        std::fill(list->begin(), list->end(), nullptr);
    }
}

void CkwMesh::checkInit(CkwVertexBuffer* vertexBuffer, int32_t submeshCount, CkwIndexBuffer* const* indexBuffers,
                        int32_t appearanceCount, CkwAppearance* const* appearances)
{
    if (submeshCount < 1 || (appearances != nullptr && appearanceCount < submeshCount))
        leave(KErrIllegalArgument);
    if (vertexBuffer == nullptr || std::count(indexBuffers, indexBuffers + submeshCount, nullptr) != 0)
        leave(KErrNullArgument);
}

void CkwMesh::init(CkwVertexBuffer* vertexBuffer, int32_t submeshCount, CkwIndexBuffer* const* indexBuffers,
                   int32_t appearanceCount, CkwAppearance* const* appearances)
{
    checkInit(vertexBuffer, submeshCount, indexBuffers, appearanceCount, appearances);
    // Room first, the one step that can fail, so a failed init keeps what
    // the mesh held. A second init replaces what the first one stored; the
    // new references are taken before the old ones go, as this mesh may be
    // the only holder of an object it is given again.
    for (CkwArray<CkwObject3D*>* list : {&m_indexBuffers, &m_appearances})
        if (list->capacity() < submeshCount)
            list->setCapacity(submeshCount);
    share(vertexBuffer);
    for (int32_t i = 0; i < submeshCount; ++i) {
        share(indexBuffers[i]);
        if (appearances != nullptr)
            share(appearances[i]);
    }
    releaseAll();
    sizeSubmeshes(submeshCount);
    m_vertexBuffer = vertexBuffer;
    for (int32_t i = 0; i < submeshCount; ++i) {
        m_indexBuffers[i] = indexBuffers[i];
        if (appearances != nullptr)
            m_appearances[i] = appearances[i];
    }
}

void CkwMesh::initSingle(CkwVertexBuffer* vertexBuffer, CkwIndexBuffer* indexBuffer, CkwAppearance* appearance)
{
    init(vertexBuffer, 1, &indexBuffer, 1, &appearance);
}

void CkwMesh::deserialize(CkwSerializeBufferObjectsIn& buffer)
{
    CkwNode::deserialize(buffer);
    auto* vertexBuffer = readComponent<CkwVertexBuffer>(buffer, kClassVertexBuffer);
    if (vertexBuffer == nullptr)
        leave(KErrCorruptData);
    share(vertexBuffer);
    m_vertexBuffer = vertexBuffer;
    const auto n = static_cast<int32_t>(buffer.readArrayCount(kSubmeshRecordBytes));
    sizeSubmeshes(n);
    for (int32_t i = 0; i < n; ++i) {
        CkwObject3D* indexBuffer = readComponent<CkwIndexBuffer>(buffer, kClassTriangleStripArray);
        if (indexBuffer == nullptr)
            leave(KErrCorruptData);
        share(indexBuffer);
        m_indexBuffers[i] = indexBuffer;
        CkwObject3D* appearance = readComponent<CkwAppearance>(buffer, kClassAppearance);
        share(appearance);
        m_appearances[i] = appearance;
    }
}

CkwReference CkwMesh::getReference(int32_t index) const
{
    switch (index) {
    case 0:
        return CkwReference::single(m_vertexBuffer);
    case 1:
        return CkwReference::list(m_indexBuffers);
    case 2:
        return CkwReference::list(m_appearances);
    default:
        return CkwNode::getReference(index - 3);
    }
}

bool CkwMesh::getPositionScaleBias(float* scaleBias) const
{
    if (m_vertexBuffer == nullptr || scaleBias == nullptr)
        return false;
    scaleBias[0] = m_vertexBuffer->getPositionScale();
    for (int32_t i = 0; i < 3; ++i)
        scaleBias[1 + i] = m_vertexBuffer->getPositionBias()[i];
    return true;
}

CkwVertexBuffer* CkwMesh::getRenderVertexBuffer(int32_t)
{
    if (m_vertexBuffer == nullptr || m_vertexBuffer->getPositions() == nullptr)
        leave(KErrIllegalState);
    return m_vertexBuffer;
}

void CkwMesh::checkSubmesh(int32_t index) const
{
    if (index < 0 || index >= m_indexBuffers.count())
        leave(KErrIndexOutOfRange);
}

CkwIndexBuffer* CkwMesh::getIndexBuffer(int32_t index) const
{
    checkSubmesh(index);
    return static_cast<CkwIndexBuffer*>(m_indexBuffers[index]);
}

CkwAppearance* CkwMesh::getAppearance(int32_t index) const
{
    checkSubmesh(index);
    return static_cast<CkwAppearance*>(m_appearances[index]);
}

void CkwMesh::setAppearance(int32_t index, CkwAppearance* appearance)
{
    checkSubmesh(index);
    replaceReference<CkwObject3D>(m_appearances[index], appearance);
}

int32_t CkwMesh::animateNodeReferences(int32_t worldTime, int32_t validity, uint32_t stamp)
{
    if (m_vertexBuffer != nullptr)
        validity = std::min(validity, m_vertexBuffer->animate(worldTime, stamp));
    for (CkwObject3D* appearance : m_appearances)
        if (appearance != nullptr)
            validity = std::min(validity, appearance->animate(worldTime, stamp));
    return CkwNode::animateNodeReferences(worldTime, validity, stamp);
}

void CkwMesh::copyMeshFields(const CkwMesh& source)
{
    copyNodeFields(source);
    sizeSubmeshes(source.m_indexBuffers.count());
    for (int32_t i = 0; i < m_indexBuffers.count(); ++i) {
        m_indexBuffers[i] = source.m_indexBuffers[i];
        share(m_indexBuffers[i]);
        m_appearances[i] = source.m_appearances[i];
        share(m_appearances[i]);
    }
    m_vertexBuffer = source.m_vertexBuffer;
    share(m_vertexBuffer);
}

CkwNode* CkwMesh::copyNode() const
{
    CkwCleanupPtr<CkwMesh> copy(new CkwMesh);
    copy->copyMeshFields(*this);
    return copy.release();
}
