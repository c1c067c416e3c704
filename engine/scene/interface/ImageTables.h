// The tables of the image interfaces: Image2D (also the table of the plasma
// and compressed images), Stageset, which continues it, Texture2D and
// Sprite3D. Installed with the scene library's module (SceneModule.cpp).
#pragma once

#include "engine/core/interface/MethodTables.h"

struct IkwImage2DTable {
    IkwObject3DTable object3D;
    EngineResult (*initWithPixels)(EngineHandle*, uint32_t format, uint32_t width, uint32_t height, uint32_t length,
                                   const void* pixels);
    EngineResult (*initWithPalette)(EngineHandle*, uint32_t format, uint32_t width, uint32_t height,
                                    uint32_t indexLength, const void* indices, uint32_t paletteLength,
                                    const void* palette);
    EngineResult (*init)(EngineHandle*, uint32_t format, uint32_t width, uint32_t height);
    EngineResult (*initEx)(EngineHandle*, uint32_t format, uint32_t width, uint32_t height, uint32_t immutable);
    void (*getFormat)(EngineHandle*, uint32_t* out);
    void (*getWidth)(EngineHandle*, uint32_t* out);
    void (*getHeight)(EngineHandle*, uint32_t* out);
    void (*getPixels)(EngineHandle*, void** out);
    void (*getPalette)(EngineHandle*, void** out);
    void (*getAlpha)(EngineHandle*, void** out);
    void (*isMutable)(EngineHandle*, uint8_t* out);
    EngineResult (*set)(EngineHandle*, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t length,
                        const void* data);
};

struct IkwStagesetTable {
    IkwImage2DTable image;
    EngineResult (*initWithValues)(EngineHandle*, int32_t width, int32_t height, uint32_t length, const void* data);
    EngineResult (*init)(EngineHandle*, int32_t width, int32_t height);
    void (*getParam1)(EngineHandle*, float* out);
    EngineResult (*setParam1)(EngineHandle*, float scale);
    void (*getParam2)(EngineHandle*, float* out);
    EngineResult (*setParam2)(EngineHandle*, float offset);
};

struct IkwTexture2DTable {
    IkwTransformableTable transformable;
    EngineResult (*init)(EngineHandle*, EngineHandle* image);
    EngineResult (*getImage)(EngineHandle*, EngineHandle** out);
    EngineResult (*setImage)(EngineHandle*, EngineHandle* image);
    void (*getBlending)(EngineHandle*, uint32_t* out);
    EngineResult (*setBlending)(EngineHandle*, uint32_t function);
    void (*getBlendColor)(EngineHandle*, uint32_t* out);
    void (*setBlendColor)(EngineHandle*, uint32_t rgb);
    void (*getImageFilter)(EngineHandle*, uint32_t* out);
    void (*getLevelFilter)(EngineHandle*, uint32_t* out);
    void (*getWrappingS)(EngineHandle*, uint32_t* out);
    void (*getWrappingT)(EngineHandle*, uint32_t* out);
    EngineResult (*setWrapping)(EngineHandle*, uint32_t s, uint32_t t);
    EngineResult (*setFiltering)(EngineHandle*, uint32_t levelFilter, uint32_t imageFilter);
};

struct IkwSprite3DTable {
    IkwNodeTable node;
    EngineResult (*init)(EngineHandle*, uint32_t scaled, EngineHandle* image, EngineHandle* appearance);
    EngineResult (*getAppearance)(EngineHandle*, EngineHandle** out);
    void (*setAppearance)(EngineHandle*, EngineHandle* appearance);
    EngineResult (*getImage)(EngineHandle*, EngineHandle** out);
    EngineResult (*setImage)(EngineHandle*, EngineHandle* image);
    void (*getCropX)(EngineHandle*, int32_t* out);
    void (*getCropY)(EngineHandle*, int32_t* out);
    void (*getCropWidth)(EngineHandle*, int32_t* out);
    void (*getCropHeight)(EngineHandle*, int32_t* out);
    void (*isScaled)(EngineHandle*, uint8_t* out);
    EngineResult (*setCrop)(EngineHandle*, int32_t x, int32_t y, int32_t width, int32_t height);
};

PF_PIN_TABLE(IkwImage2DTable, 31, 19, initWithPixels);
PF_PIN_TABLE(IkwStagesetTable, 37, 31, initWithValues);
PF_PIN_TABLE(IkwTexture2DTable, 45, 32, init);
PF_PIN_TABLE(IkwSprite3DTable, 57, 46, init);

extern const IkwImage2DTable kImage2DTable;
extern const IkwStagesetTable kStagesetTable;
extern const IkwTexture2DTable kTexture2DTable;
extern const IkwSprite3DTable kSprite3DTable;
