// Resource ids, resource-type words, the type ids of the resource classes and
// the results of loads. A resource id's bits say where its bytes come from.
#pragma once

#include <cstdint>

#include "framework/strings/StringIds.h"

namespace ResourceIdBits {
constexpr uint32_t Name = 0x80000000;        // hashName(name) | Name: made at run time
constexpr uint32_t CallerData = 0x40000000;  // with Name clear: never in the pack either
constexpr uint32_t String = 0x20000000;      // an entry of a string table
constexpr uint32_t KindShift = 24;
constexpr uint32_t KindMask = 0x1F;
constexpr uint32_t SubKindShift = 16;
constexpr uint32_t SubKindMask = 0xFF;
constexpr uint32_t EntryMask = 0x7FFF;

constexpr uint32_t KindTableDriven = 6;
constexpr uint32_t KindShownAsId = 1;   // texts the showIds mode replaces by their id
constexpr uint32_t SubKindComposite = 0;
constexpr uint32_t SubKindAlias = 1;
constexpr uint32_t SubKindCurrentLanguage = 255;
} // namespace ResourceIdBits

inline uint32_t resourceKind(uint32_t id) { return (id >> ResourceIdBits::KindShift) & ResourceIdBits::KindMask; }
inline uint32_t resourceSubKind(uint32_t id)
{
    return (id >> ResourceIdBits::SubKindShift) & ResourceIdBits::SubKindMask;
}
inline uint32_t resourceEntry(uint32_t id) { return id & ResourceIdBits::EntryMask; }
// Ids neither made from a name nor supplied by the caller live in the pack.
inline bool isPackBackedId(uint32_t id) { return (id & (ResourceIdBits::Name | ResourceIdBits::CallerData)) == 0; }

// Results of Resource::create and ResourceManager::load.
namespace ResourceResult {
constexpr int Failed = 0;
constexpr int Empty = 1;         // created without a stream
constexpr int Loaded = 3;
constexpr int AlreadyLoaded = 4;
} // namespace ResourceResult

// Type words of pack entries and string-table tags: they pick the class.
namespace ResourceType {
constexpr uint32_t Table = 0x69E4C505;
constexpr uint32_t EntryTable = 0x521B2402;  // the entry table's own type id
constexpr uint32_t Data = 0x374F8659;        // the data block's own type id
// A data block holding one span-program record, which the span-program
// set reads by this tag.
constexpr uint32_t SpanProgramRecord = 0xF4E02223;
constexpr uint32_t BmpImage = 0x107DD145;
constexpr uint32_t BmpFile = 0xB717945F;  // also the decoders' BMP tag
constexpr uint32_t PngFile = 0xB7178678;  // also the decoders' PNG tag
constexpr uint32_t IdList = 0x69E5D35C;
constexpr uint32_t Sound = 0x027B32F1;  // the sound sample's own type id
constexpr uint32_t OggVorbis = 0x32FD99E1;  // decoded to PCM at load
constexpr uint32_t RawPcm = 0xFD94B3C1;     // what a decoded Ogg entry is tagged
// Further sound forms, kept as they are stored with their type word as the
// tag; nothing in the program tells one from another.
constexpr uint32_t StoredSoundForms[] = {0x2FD9B34A, 0x2FD9AA54, 0x32FD8642, 0xFD878582, 0xFD8A7754};
constexpr uint32_t Palette = 0xA6EFB9A2;   // the palette's own type id
constexpr uint32_t PngPalette = 0x40546F85;  // a PLTE chunk
constexpr uint32_t RawPalette = 0x40547DA2;  // a plain table of colours
// Surfaces, named by what the surface factory makes of them: memory or
// display-device surfaces, for a library alone, a device alone or both
// (the factory's mode 1, 2, 3; 0 names none).
constexpr uint32_t MemorySurface = 0xE179EFBE;
constexpr uint32_t MemorySurfaceForLibrary = 0x59EFBC42;
constexpr uint32_t DeviceSurface = 0xE179F4BE;
constexpr uint32_t DeviceSurfaceForLibrary = 0x59F4BC42;
constexpr uint32_t DeviceSurfaceForDevice = 0x59F4BC59;
constexpr uint32_t DeviceSurfaceForBoth = 0x9F4BC472;
constexpr uint32_t SpanPrograms = 0xD65E722E;
// Texts: the tags WideString::read decodes by.
constexpr uint32_t Utf16Text = kWideStringTypeId;
constexpr uint32_t Utf8Text = kUtf8TextTag;

// Block-table words of a composite's image entry, and what they become.
constexpr uint32_t CompositePaletted = 0xA575942F;
constexpr uint32_t CompositePalettedResult = 0x7CD69754;  // no class makes it
constexpr uint32_t CompositeBmp = 0xE017CF77;
} // namespace ResourceType

// Type ids of the resource classes and their payloads.
namespace ResourceClassId {
constexpr uint32_t Resource = 0x42582483;
constexpr uint32_t Table = 0x35C14556;
constexpr uint32_t Data = 0xE70DDE7D;
constexpr uint32_t BmpImage = 0x824D74F7;
constexpr uint32_t IdList = 0xE790BD00;
constexpr uint32_t Sound = 0x4F7F1773;
constexpr uint32_t Palette = 0x625FA174;
constexpr uint32_t Surface = 0x23441AF5;
constexpr uint32_t SpanProgram = 0xE61C2A06;
constexpr uint32_t Text = 0x012B7B64;
constexpr uint32_t PixelImage2 = 0x4F664193;
constexpr uint32_t PixelImage = 0x660AB014;
constexpr uint32_t RasterTexture = 0x16F2C9F4;

constexpr uint32_t ResourceCache = 0x7F5DF373;
constexpr uint32_t ResourceManager = 0xDF375FA4;
constexpr uint32_t DataBlock = 0x374F8659;
constexpr uint32_t SoundSample = 0x027B32F1;
constexpr uint32_t IdListPayload = 0x69E5D35C;
} // namespace ResourceClassId

namespace ResourceIds {
constexpr uint32_t ResourceTableEntry = 0x101;
constexpr uint32_t Properties = 0x030001E4;
constexpr uint32_t SafeScene = 0x03000102;  // replaced by the loose file below when it exists
} // namespace ResourceIds

constexpr char16_t kSafeSceneFileName[] = u"safe.m3g";
constexpr char16_t kPropertiesFileName[] = u"properties.dat";
constexpr uint32_t kResourcePriority = 0x3FFFFFFF;
