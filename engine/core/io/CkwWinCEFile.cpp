// Engine files on the porting layer's file mappings.
#include "engine/core/io/CkwWinCEFile.h"

#include "engine/core/port/Port.h"
#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/Trap.h"

CkwWinCEFile::~CkwWinCEFile()
{
    kwCloseMappedFile(m_mapped);
}

void CkwWinCEFile::mapL(const char16_t* path)
{
    m_mapped = kwOpenMappedFile(path, &m_view, &m_size);
    if (m_mapped == nullptr)
        leave(KErrFileOpen);
}

bool CkwWinCEFile::seek(int32_t origin, int32_t offset)
{
    int64_t target;
    switch (origin) {
    case kSeekCurrent: target = int64_t{m_position} + offset; break;
    case kSeekBegin: target = offset; break;
    case kSeekFromEnd: target = int64_t{m_size} - offset; break;
    default: return false;
    }
    if (target < 0 || target >= int64_t{m_size})
        return false;
    m_position = static_cast<int32_t>(target);
    return true;
}

uint32_t CkwWinCEFile::read(void* buffer, uint32_t count)
{
    const uint32_t position = static_cast<uint32_t>(m_position);
    if (uint64_t{position} + count > UINT32_MAX || position >= m_size)
        return 0;
    const uint32_t left = m_size - position;
    const uint32_t n = count < left ? count : left;
    kwMemcpy(buffer, m_view + position, n);
    m_position += static_cast<int32_t>(n);
    return n;
}

CkwWinCEFileManager* CkwWinCEFileManager::create()
{
    return new CkwWinCEFileManager;
}

IkwFile* CkwWinCEFileManager::open(const char16_t* path)
{
    CkwCleanupPtr<CkwWinCEFile> file(new CkwWinCEFile);
    file->mapL(path);
    return file.release();
}

IkwFile* CkwWinCEFileManager::openNarrow(const char* path, int32_t)
{
    if (path == nullptr)
        leave(KErrFileOpen);
    // The phone converted into a fixed buffer of kMaxEnginePath characters;
    // a longer path cannot name an engine file.
    const size_t length = kwStrlen(path);
    char16_t wide[kMaxEnginePath];
    if (length >= kMaxEnginePath || !kwWidenPath(path, length, wide, kMaxEnginePath))
        leave(KErrFileOpen);
    return open(wide);
}
