// Configuration text from the program folder or the pack.
#include "framework/resources/PropertiesSource.h"

#include <utility>

#include "framework/files/FileSystem.h"
#include "framework/files/SavedFiles.h"
#include "framework/properties/PropertySet.h"
#include "framework/resources/DataBlock.h"
#include "framework/resources/Resource.h"
#include "framework/resources/ResourceManager.h"
#include "framework/streams/FileInputStream.h"
#include "framework/streams/MemoryInputStream.h"

int loadProgramProperties(PropertySet& properties, ResourceManager& manager, PropertiesText* fileText)
{
    WideString path;
    makeProgramFilePath(path, kPropertiesFileName);
    FileSystem* files = getFileSystem();
    FileInputStream file;
    if (files != nullptr && files->exists(path.chars()) && file.open(path.chars())
        && file.available() <= kMaxPropertiesText) {
        const uint32_t size = file.available();
        std::unique_ptr<char[]> text = readAnnounced<char>(file, size);
        MemoryInputStream stream;
        if (text && stream.open(text.get(), size) && properties.parse(stream)) {
            if (fileText != nullptr)
                *fileText = PropertiesText{std::move(text), size};
            return 1;
        }
    }

    Resource* resource = nullptr;
    manager.loadById(ResourceIds::Properties, &resource);
    if (resource == nullptr)
        return 0;
    int ok = 0;
    // Only a byte block can be parsed as text; any other class is refused.
    if (resource->m_typeId == ResourceClassId::Data) {
        const auto* block = static_cast<const DataBlock*>(resource->payload());
        MemoryInputStream text;
        ok = text.open(block->data(), block->size()) && properties.parse(text);
    }
    manager.releaseRef(&resource);
    return ok;
}
