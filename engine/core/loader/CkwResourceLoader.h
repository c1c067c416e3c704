// The loader front end and its chain of resource loaders. A resource loader
// is the object parser plus external references: when its file names other
// files, it opens each in a nested loader relative to its own folder and puts
// the nested file's first root (or image) in the reference's place. Input is
// read in chunks of 1024 bytes, so a load can be spread over many calls.
#pragma once

#include <cstdint>

#include "engine/core/factory/ClassIds.h"
#include "engine/core/io/CkwArchive.h"
#include "engine/core/loader/CkwSerializeObjectsIn.h"
#include "engine/core/runtime/CkwRefCount.h"
#include "engine/core/runtime/MixBits.h"

class CkwBrewLoader;
class IkwFile;
class IkwFileManager;

constexpr uint32_t kLoaderChunkSize = 1024;
// How deep external references may nest: a scene, its models and their
// images take three levels. The bound ends a chain of distinct files, which
// no loop check can, and holds the chain's memory (a chunk and a parser per
// level) to a few kilobytes, and a bucket of the open-file table, however a
// file aims its names' hashes, to a few steps.
constexpr int32_t kMaxReferenceDepth = 32;
// What the files one load names may cost in all: references multiply (a
// file naming the next one twice, twenty deep, is a million loads), so the
// nested loads are counted over the whole load, not per file, and the bytes
// they read draw on the load's kLoadBytesPerFile with the bytes every file
// unpacks. A scene, its models and their textures take a few dozen loads.
constexpr uint32_t kMaxNestedLoads = 1024;
constexpr char kArchiveUriPrefix[] = "mvlarc:";
// Leave codes of the loader that pass the result map unchanged.
constexpr int32_t KErrArchiveUriWithoutBang = 259;
constexpr int32_t KErrReferencePathMemory = 2;

class CkwResourceLoader : public CkwSerializeObjectsIn {
public:
    ~CkwResourceLoader() override;
    int32_t getClassId() const override { return kClassResourceLoader; }

    // Takes a copy of path. Leaves (reset's result - 2000) when the parser
    // refuses to start.
    void start(CkwBrewLoader* brewLoader, CkwResourceLoader* parent, const char* path);
    // One step of the load on the deepest loader of the chain.
    void process();

    IkwSerializable* image() const { return m_image; }
    const char* path() const { return m_path; }

private:
    friend class CkwBrewLoader;

    // The pending reference's path, combined with this loader's folder;
    // null when none is pending. Leaves 2 when memory runs out.
    char* resolveReferencePathL() const;
    // Whether both loaders read the same file: the same archive record, or
    // the same path in the file system.
    bool readsSameFileAs(const CkwResourceLoader& other) const;
    // A hash of what readsSameFileAs compares.
    uint64_t fileHash() const;
    void startChildL(char* path);
    void decodeAsPngL(int32_t parseResult);
    void finishL();

    CkwBrewLoader* m_brewLoader = nullptr;
    CkwResourceLoader* m_parent = nullptr;
    CkwResourceLoader* m_child = nullptr;
    uint8_t m_chunk[kLoaderChunkSize];
    IkwFile* m_file = nullptr;
    CkwArchiveMember* m_member = nullptr;
    uint32_t m_memoryPosition = 0;
    IkwSerializable* m_image = nullptr;
    uint32_t m_stopOffset = 0;
    bool m_stopped = false; // the last write stopped for external references
    uint32_t m_chunkLength = 0;
    char* m_path = nullptr;
    // What the path names, to find reference loops however it is spelled:
    // in an archive the record found by the name's hash, else the path
    // spelled one way.
    CkwArchiveEntry m_entry = {};
    char* m_pathKey = nullptr;
    int32_t m_depth = 0; // references between this loader and the top one
    // The brew loader's table of the files its chain has open.
    uint64_t m_fileHash = 0;
    CkwResourceLoader* m_nextOpen = nullptr;
    bool m_isOpen = false;
};

class CkwBrewLoader : public CkwHeapObject, public CkwRefCount {
public:
    enum State : uint32_t { kIdle = 0, kLoading = 1, kDone = 2, kFailed = 3 };

    ~CkwBrewLoader() override;
    int32_t getClassId() const override { return kClassBrewLoader; }

    // One load call each: 0, or the mapped code of the leave that failed the
    // load (state 3). A null or zero budget reads until done.
    int32_t loadBufferStep(uint32_t length, const void* data, const uint32_t* chunkBudget);
    int32_t loadNameStep(const char* name, const uint32_t* chunkBudget);
    uint32_t getState() const { return m_state; }

    // A decoded image is the only root; otherwise top's roots in order.
    uint32_t rootCount() const;
    // Leaves -1101 for an index past the roots.
    IkwSerializable* rootL(uint32_t index) const;
    bool hasStarted() const { return m_top != nullptr; }
    // Nested loaders started by this load, the refused ones included.
    uint32_t nestedLoads() const { return m_nestedLoads; }
    // What the load has drawn on its allowances, with the nested loads that
    // finished.
    CkwLoadCharges charges() const { return m_top != nullptr ? m_top->charges() : CkwLoadCharges{}; }
    bool hasArchive() const { return m_archive != nullptr; }
    const CkwArchive* archive() const { return m_archive; }

    // Up to 1024 bytes of the loader's input into its chunk; 0 at the end.
    uint32_t readChunk(CkwResourceLoader& loader);
    // The next read starts again from the input's beginning.
    void closeSource(CkwResourceLoader& loader);

    bool budgetExhausted() const { return m_budgetEnabled && m_budgetCount == 0; }
    void spendChunk()
    {
        if (m_budgetCount != 0)
            --m_budgetCount;
    }
    void setDone() { m_state = kDone; }
    // The loader that runs next: the end of the chain from top, kept as the
    // chain changes rather than walked to at every step.
    void setDeepest(CkwResourceLoader* loader) { m_deepest = loader; }
    // Whether a loader of the chain reads the file this one names, found
    // by the file's hash rather than by walking the chain.
    bool isOpen(const CkwResourceLoader& loader) const;
    void addOpen(CkwResourceLoader& loader);
    void removeOpen(CkwResourceLoader& loader);
    // Counts one more nested load; false past kMaxNestedLoads.
    bool chargeNestedLoad();

private:
    template <class Begin>
    int32_t step(const uint32_t* chunkBudget, Begin&& begin);
    void loadFromBuffer(uint32_t length, const void* data);
    void loadFromName(const char* name);
    void createTop();
    uint32_t readChunkFromSource(CkwResourceLoader& loader);

    CkwResourceLoader* m_top = nullptr;
    CkwResourceLoader* m_deepest = nullptr;
    // Far more than the deepest chain, so that distinct names seldom share
    // a bucket and a lookup costs one step, whatever folder the files are in.
    static constexpr uint32_t kOpenBucketBits = 10;
    // Names in one folder differ in their last letters, which a string
    // hash leaves in its low bits: every bit is mixed into the top ones.
    static uint32_t openBucket(uint64_t hash)
    {
        return static_cast<uint32_t>(mixBits(hash) >> (64 - kOpenBucketBits));
    }
    // Made by the first nested load: a file that references nothing needs
    // no table, and the top file is checked by itself.
    CkwResourceLoader** m_open = nullptr;
    uint32_t m_memoryLength = 0;
    const uint8_t* m_memoryData = nullptr;
    uint32_t m_state = kIdle;
    IkwFileManager* m_fileManager = nullptr;
    CkwArchive* m_archive = nullptr;
    uint32_t m_budgetCount = 0;
    bool m_budgetEnabled = false;
    uint32_t m_nestedLoads = 0;
};
