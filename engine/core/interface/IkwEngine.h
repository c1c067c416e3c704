// The engine's one entry point and its root object. initEngineApi builds the
// root; everything else is reached through the root's nine entries and the
// handles they give out.
#pragma once

#include <cstdint>

#include "engine/core/interface/MethodTables.h"
#include "engine/core/runtime/EngineAlloc.h"

struct IkwEngine;

struct EngineVersion {
    uint32_t words[5];
};

// The 16-bit RGB 5-6-5 pixels of render targets.
struct EnginePixelFormat {
    uint32_t bitsPerPixel;
    uint32_t redMask, greenMask, blueMask;
    uint32_t redShift, greenShift, blueShift;
    uint32_t redBits, greenBits, blueBits;
};

struct IkwEngineTable {
    uint32_t (*addRef)(IkwEngine* root);
    uint32_t (*release)(IkwEngine* root);
    void (*getVersion)(EngineVersion* out);
    void (*getPixelFormat)(EnginePixelFormat* out);
    EngineResult (*createEngineObject)(uint32_t iid, EngineHandle** out);
    uint32_t (*getObjectType)(EngineHandle* handle);
    EngineResult (*initialize)(IkwEngine* root, EngineAllocHook alloc, EngineFreeHook free);
    uint32_t (*getRefCount)(IkwEngine* root);
    EngineResult (*setOption)(uint32_t option);
};
PF_PIN_TABLE(IkwEngineTable, 9, 0, addRef);

// The table lives inside the root, after the count.
struct IkwEngine {
    const IkwEngineTable* table;
    uint32_t refCount;
    IkwEngineTable entries;
};

// 1 for a null out pointer, 2 when the root cannot be allocated, else 0.
extern "C" EngineResult initEngineApi(IkwEngine** out);
