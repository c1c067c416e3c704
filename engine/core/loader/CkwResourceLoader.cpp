// The load loop: chunks from memory, a file or an archive member go through
// the deepest loader of the chain; references start nested loaders, whose
// results replace the reference objects when they finish.
#include "engine/core/loader/CkwResourceLoader.h"

#include <algorithm>
#include <cstring>

#include "engine/core/interface/EngineResult.h"
#include "engine/core/io/CkwArchive.h"
#include "engine/core/io/CkwWinCEFile.h"
#include "engine/core/loader/CkwPngImage.h"
#include "engine/core/loader/SerializeCodes.h"
#include "engine/core/port/Port.h"
#include "engine/core/runtime/EngineAlloc.h"
#include "engine/core/runtime/EngineContext.h"
#include "engine/core/runtime/Trap.h"

namespace {

// A nested file without a root or image to stand in for its reference.
constexpr int32_t KErrReferenceWithoutRoot = kSerializeUnfinishedObject + kParserLeaveOffset;

bool isSeparator(char c) { return c == '\\' || c == '/'; }

char* copyTextL(const char* text, size_t length)
{
    auto* copy = static_cast<char*>(engineNewL(static_cast<uint64_t>(length) + 1, 1));
    kwMemcpy(copy, text, length);
    copy[length] = 0;
    return copy;
}

// Writes path to out (room for its length + 1) with both separators as '/',
// "." segments dropped and ".." taking away the segment before it, so that
// one file reached by two spellings compares equal.
void normalisePath(const char* path, char* out)
{
    const size_t root = isSeparator(path[0]) ? 1 : 0;
    size_t n = root;
    out[0] = '/';
    for (const char* p = path; *p != 0;) {
        while (isSeparator(*p))
            ++p;
        const char* end = p;
        while (*end != 0 && !isSeparator(*end))
            ++end;
        const size_t length = static_cast<size_t>(end - p);
        // Only ".." looks back, and what it walks over it takes away (or
        // is a ".." of two bytes), so the walks cost the path's length.
        size_t last = n;
        const bool dotDot = length == 2 && p[0] == '.' && p[1] == '.';
        while (dotDot && last > root && out[last - 1] != '/')
            --last;
        const bool previousDotDot = n - last == 2 && out[last] == '.' && out[last + 1] == '.';
        if (dotDot && last < n && !previousDotDot) {
            n = last > root ? last - 1 : root;
        } else if (length != 0 && !(length == 1 && p[0] == '.')) {
            if (n > root)
                out[n++] = '/';
            kwMemcpy(out + n, p, length);
            n += length;
        }
        p = end;
    }
    out[n] = 0;
}

} // namespace

// ---- CkwResourceLoader ----

CkwResourceLoader::~CkwResourceLoader()
{
    delete m_child;
    if (m_brewLoader != nullptr) {
        m_brewLoader->closeSource(*this);
        m_brewLoader->removeOpen(*this);
    }
    if (m_image != nullptr)
        m_image->release();
    engineFree(m_path);
    engineFree(m_pathKey);
}

void CkwResourceLoader::start(CkwBrewLoader* brewLoader, CkwResourceLoader* parent, const char* path)
{
    m_brewLoader = brewLoader;
    m_parent = parent;
    m_path = copyTextL(path, kwStrlen(path));
    m_depth = parent != nullptr ? parent->m_depth + 1 : 0;
    if (m_depth > kMaxReferenceDepth)
        leave(KErrCorruptData);
    // No file system opens a longer path, and a reference's path carries its
    // parent's folder: unbounded, the paths of a chain would grow with it.
    if (kwStrlen(m_path) >= kMaxEnginePath)
        leave(KErrFileOpen);
    if (parent != nullptr) {
        setCharges(parent->charges());
        setReadForReference();
    }
    // An archive finds a member by its name's hash alone, so names that
    // differ (even in more than letter case) can open one record. An empty
    // path reads the memory input, in either mode.
    if (brewLoader->hasArchive() && m_path[0] != 0) {
        m_entry = brewLoader->archive()->findEntry(m_path);
    } else {
        m_pathKey = copyTextL(path, kwStrlen(path));
        normalisePath(m_path, m_pathKey);
    }
    // A file that references itself, directly or through others, would nest
    // loaders without end, however the references spell its path.
    if (brewLoader->isOpen(*this))
        leave(KErrCorruptData);
    brewLoader->addOpen(*this);
    // An M3G file may not reference files of the engine's own format.
    const int32_t result = reset(parent == nullptr || parent->isOwnFormat());
    if (result != kSerializeOk)
        leave(result + kParserLeaveOffset);
}

uint64_t CkwResourceLoader::fileHash() const
{
    if (m_pathKey == nullptr)
        return m_entry.index * 0x9E3779B97F4A7C15u;
    uint64_t h = 0xCBF29CE484222325u;
    for (const char* p = m_pathKey; *p != 0; ++p)
        h = (h ^ static_cast<uint8_t>(*p)) * 0x100000001B3u;
    return h;
}

bool CkwResourceLoader::readsSameFileAs(const CkwResourceLoader& other) const
{
    if (m_pathKey == nullptr || other.m_pathKey == nullptr)
        return m_pathKey == other.m_pathKey && m_entry.index == other.m_entry.index;
    return std::strcmp(m_pathKey, other.m_pathKey) == 0;
}

char* CkwResourceLoader::resolveReferencePathL() const
{
    const int32_t length = getPendingReferenceUri(0, nullptr);
    if (length < 0)
        return nullptr;
    auto* uri = static_cast<char*>(engineAlloc(static_cast<uint32_t>(length) + 1, 0));
    if (uri == nullptr)
        leave(KErrReferencePathMemory);
    getPendingReferenceUri(length, uri);
    uri[length] = 0;
    if (length > 0 && isSeparator(uri[0]))
        return uri;
    size_t folder = kwStrlen(m_path);
    while (folder > 0 && !isSeparator(m_path[folder - 1]))
        --folder;
    // The bare reference would name a different file: no path, no load.
    auto* combined = static_cast<char*>(engineAlloc(static_cast<uint32_t>(folder + length + 1), 0));
    if (combined == nullptr) {
        engineFree(uri);
        leave(KErrReferencePathMemory);
    }
    kwMemcpy(combined, m_path, folder);
    kwMemcpy(combined + folder, uri, static_cast<size_t>(length) + 1);
    engineFree(uri);
    return combined;
}

void CkwResourceLoader::startChildL(char* path)
{
    if (!m_brewLoader->chargeNestedLoad()) {
        engineFree(path);
        leave(KErrNoMemory);
    }
    auto* child = new (std::nothrow) CkwResourceLoader;
    if (child == nullptr) {
        engineFree(path);
        leave(KErrReferencePathMemory);
    }
    m_child = child;
    m_brewLoader->setDeepest(child);
    const int32_t code = engineTrap([&] { child->start(m_brewLoader, this, path); });
    engineFree(path);
    if (code != KErrNone)
        leave(code);
}

void CkwResourceLoader::process()
{
    int32_t result = kSerializeOk;
    if (m_stopped) {
        if (char* path = resolveReferencePathL()) {
            startChildL(path);
            return;
        }
        m_stopped = false;
        result = write(m_chunk, m_stopOffset, m_chunkLength - m_stopOffset);
        m_stopOffset = 0;
        if (result >= 0) // references come only in the second section
            result = kSerializeBadData;
    }
    while (result == kSerializeOk && !m_brewLoader->budgetExhausted()) {
        m_chunkLength = m_brewLoader->readChunk(*this);
        m_brewLoader->spendChunk();
        if (m_chunkLength == 0) {
            // A file that ends inside an object record must not load as done.
            const int32_t closed = close();
            if (closed != kSerializeOk)
                leave(closed + kParserLeaveOffset);
            finishL();
            return;
        }
        result = write(m_chunk, 0, m_chunkLength);
        if (result >= 0) {
            m_stopOffset = static_cast<uint32_t>(result);
            m_stopped = true;
            return;
        }
    }
    if (result == kSerializeOk)
        return; // the budget ran out
    decodeAsPngL(result);
    finishL();
}

void CkwResourceLoader::decodeAsPngL(int32_t parseResult)
{
    m_brewLoader->closeSource(*this);
    // The input's size is unknown: the block grows geometrically as chunks
    // arrive, so copying it costs time in proportion to the file; held in an
    // array, it is freed when a read leaves.
    CkwArray<uint8_t> bytes;
    bool collected = true;
    for (uint32_t n; collected && (n = m_brewLoader->readChunk(*this)) > 0;) {
        m_brewLoader->spendChunk();
        const int32_t length = bytes.count();
        collected = uint64_t{n} + static_cast<uint32_t>(length) <= INT32_MAX
                    && engineTrap([&] { bytes.setCountGrowing(length + static_cast<int32_t>(n)); }) == KErrNone;
        if (collected)
            kwMemcpy(bytes.data() + length, m_chunk, n);
    }
    IkwSerializable* image = nullptr;
    // A picture draws on the load's allowance, the top file's as a
    // reference's: a few kilobytes of PNG unpack to megabytes, and
    // references multiply them.
    uint64_t allowance = kMadeBytesPerFile - std::min(madeBytes(), kMadeBytesPerFile);
    const int32_t decoded =
        collected ? decodePngToImage2D(static_cast<uint32_t>(bytes.count()), bytes.data(), &image, &allowance) : 1;
    setMadeBytes(kMadeBytesPerFile - allowance);
    if (decoded < 0)
        leave(decoded);
    if (decoded != 0)
        leave(parseResult + kParserLeaveOffset);
    m_image = image;
}

void CkwResourceLoader::finishL()
{
    if (m_parent == nullptr) {
        m_brewLoader->setDone();
        return;
    }
    IkwSerializable* target = m_image;
    if (target == nullptr && roots().count() > 0)
        target = objectAt(roots()[0]);
    if (target == nullptr)
        leave(KErrReferenceWithoutRoot);
    CkwResourceLoader* parent = m_parent;
    parent->setCharges(charges());
    parent->resolvePendingReference(target);
    parent->m_child = nullptr;
    m_brewLoader->setDeepest(parent);
    delete this;
}

// ---- CkwBrewLoader ----

CkwBrewLoader::~CkwBrewLoader()
{
    delete m_top;
    engineFree(m_open);
    if (m_fileManager != nullptr)
        m_fileManager->release();
    delete m_archive;
}

bool CkwBrewLoader::isOpen(const CkwResourceLoader& loader) const
{
    uint64_t steps = 1;
    const uint64_t hash = loader.fileHash();
    const auto same = [&](const CkwResourceLoader* open) {
        return open->m_fileHash == hash && loader.readsSameFileAs(*open);
    };
    bool found = m_top != nullptr && m_top != &loader && m_top->m_isOpen && same(m_top);
    if (!found && m_open != nullptr) {
        const CkwResourceLoader* open = m_open[openBucket(hash)];
        for (; open != nullptr && !same(open); open = open->m_nextOpen)
            ++steps;
        found = open != nullptr;
    }
    engineContextL().visits += steps;
    return found;
}

void CkwBrewLoader::addOpen(CkwResourceLoader& loader)
{
    loader.m_fileHash = loader.fileHash();
    if (&loader != m_top) {
        if (m_open == nullptr) {
            m_open = static_cast<CkwResourceLoader**>(engineNewL(uint64_t{1} << kOpenBucketBits, sizeof *m_open));
            std::fill_n(m_open, 1u << kOpenBucketBits, nullptr);
        }
        CkwResourceLoader*& head = m_open[openBucket(loader.m_fileHash)];
        loader.m_nextOpen = head;
        head = &loader;
    }
    loader.m_isOpen = true;
}

void CkwBrewLoader::removeOpen(CkwResourceLoader& loader)
{
    if (!loader.m_isOpen)
        return;
    loader.m_isOpen = false;
    if (&loader == m_top)
        return;
    // Loaders end deepest first, so the one leaving heads its bucket.
    CkwResourceLoader** link = &m_open[openBucket(loader.m_fileHash)];
    while (*link != &loader)
        link = &(*link)->m_nextOpen;
    *link = loader.m_nextOpen;
}

bool CkwBrewLoader::chargeNestedLoad()
{
    if (m_nestedLoads == kMaxNestedLoads)
        return false;
    ++m_nestedLoads;
    return true;
}

void CkwBrewLoader::createTop()
{
    m_top = new CkwResourceLoader;
    m_deepest = m_top;
}

void CkwBrewLoader::loadFromBuffer(uint32_t length, const void* data)
{
    createTop();
    m_fileManager = CkwWinCEFileManager::create();
    m_fileManager->addRef();
    m_top->start(this, nullptr, "");
    m_memoryLength = data != nullptr ? length : 0;
    m_memoryData = static_cast<const uint8_t*>(data);
}

void CkwBrewLoader::loadFromName(const char* name)
{
    if (name == nullptr)
        leave(KErrNullArgument);
    createTop();
    constexpr size_t kPrefixLength = sizeof kArchiveUriPrefix - 1;
    if (kwStrncmp(name, kArchiveUriPrefix, kPrefixLength) != 0) {
        m_fileManager = CkwWinCEFileManager::create();
        m_fileManager->addRef();
        m_top->start(this, nullptr, name);
        return;
    }
    const char* bang = kwStrchr(name + kPrefixLength, '!');
    if (bang == nullptr)
        leave(KErrArchiveUriWithoutBang);
    const size_t length = static_cast<size_t>(bang - (name + kPrefixLength));
    if (length >= kMaxEnginePath)
        leave(KErrFileOpen);
    char archivePath[kMaxEnginePath];
    kwMemcpy(archivePath, name + kPrefixLength, length);
    archivePath[length] = 0;
    m_archive = new CkwArchive;
    m_archive->open(archivePath);
    m_top->start(this, nullptr, bang + 1);
}

template <class Begin>
int32_t CkwBrewLoader::step(const uint32_t* chunkBudget, Begin&& begin)
{
    // A finished loader refuses another load like any failed call: state 3,
    // with the objects and roots of the finished load left as they are.
    if (m_state == kDone || m_state == kFailed) {
        m_state = kFailed;
        return mapLeaveCode(KErrIllegalState);
    }
    const int32_t code = engineTrap([&] {
        if (m_state == kIdle) {
            begin();
            m_state = kLoading;
        }
        m_budgetEnabled = chunkBudget != nullptr && *chunkBudget != 0;
        m_budgetCount = chunkBudget != nullptr ? *chunkBudget : 0;
        while (m_state == kLoading && !budgetExhausted()) {
            m_deepest->process();
        }
    });
    if (code == KErrNone)
        return 0;
    m_state = kFailed;
    return mapLeaveCode(code);
}

int32_t CkwBrewLoader::loadBufferStep(uint32_t length, const void* data, const uint32_t* chunkBudget)
{
    return step(chunkBudget, [&] { loadFromBuffer(length, data); });
}

int32_t CkwBrewLoader::loadNameStep(const char* name, const uint32_t* chunkBudget)
{
    return step(chunkBudget, [&] { loadFromName(name); });
}

uint32_t CkwBrewLoader::rootCount() const
{
    if (m_top == nullptr)
        return 0;
    if (m_top->image() != nullptr)
        return 1;
    return static_cast<uint32_t>(m_top->roots().count());
}

IkwSerializable* CkwBrewLoader::rootL(uint32_t index) const
{
    if (m_top == nullptr)
        return nullptr;
    if (m_top->image() != nullptr)
        return m_top->image();
    if (index >= static_cast<uint32_t>(m_top->roots().count()))
        leave(KErrIndexOutOfRange);
    return m_top->objectAt(m_top->roots()[static_cast<int32_t>(index)]);
}

uint32_t CkwBrewLoader::readChunk(CkwResourceLoader& loader)
{
    const uint32_t n = readChunkFromSource(loader);
    // A referenced file's bytes are read again for each reference.
    if (loader.m_parent != nullptr)
        loader.chargeLoadBytes(n);
    return n;
}

uint32_t CkwBrewLoader::readChunkFromSource(CkwResourceLoader& loader)
{
    uint8_t* chunk = loader.m_chunk;
    if (loader.m_path[0] == 0) {
        const uint32_t left = m_memoryLength - loader.m_memoryPosition;
        const uint32_t n = left < kLoaderChunkSize ? left : kLoaderChunkSize;
        if (n != 0)
            kwMemcpy(chunk, m_memoryData + loader.m_memoryPosition, n);
        loader.m_memoryPosition += n;
        return n;
    }
    if (m_archive != nullptr) {
        if (loader.m_member == nullptr)
            loader.m_member = m_archive->openEntry(loader.m_entry, nullptr);
        return loader.m_member->read(chunk, kLoaderChunkSize);
    }
    if (m_fileManager == nullptr)
        leave(KErrIllegalState);
    if (loader.m_file == nullptr) {
        // References use the phone's separators.
        const size_t length = kwStrlen(loader.m_path);
        if (length >= kMaxEnginePath)
            leave(KErrFileOpen);
        char path[kMaxEnginePath];
        for (size_t i = 0; i <= length; ++i)
            path[i] = loader.m_path[i] == '\\' ? '/' : loader.m_path[i];
        IkwFile* file = m_fileManager->openNarrow(path, 0);
        file->addRef();
        loader.m_file = file;
    }
    return loader.m_file->read(chunk, kLoaderChunkSize);
}

void CkwBrewLoader::closeSource(CkwResourceLoader& loader)
{
    if (loader.m_file != nullptr)
        loader.m_file->release();
    loader.m_file = nullptr;
    delete loader.m_member;
    loader.m_member = nullptr;
    loader.m_memoryPosition = 0;
}
