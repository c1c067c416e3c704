// The factory table: which resource class a type word makes. The framework's
// own classes are in it from the start; the 2D library registers its images,
// palettes, surfaces and span-program sets at its start-up.
#pragma once

#include <cstdint>
#include <new>

class Resource;

using ResourceMaker = Resource* (*)();

// Adds the class for a type word, or replaces the one it had; 0 when the
// table is full or the maker is null.
int registerResourceType(uint32_t typeId, ResourceMaker maker);
// A new resource object of the type's class; null for an unknown type.
Resource* createResourceOfType(uint32_t typeId);
// Points the resource factory service at this table.
void installResourceTypes();

template <class T>
Resource* makeResource()
{
    return new (std::nothrow) T();
}
