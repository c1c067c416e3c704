// The few templates every method-table entry is made from. An entry is one
// line naming its template and a body; the template supplies the trap, turns
// the handle into its object and maps a leave into a result.
//
//   trapped<body>   runs body(object, args...) in a trap: 0 or the mapped code
//   handing<body>   as trapped, and wraps the object body returns into the
//                   trailing handle out pointer
//   plain<body>     untrapped: getters and setters that cannot fail
#pragma once

#include <cstdint>

#include "engine/core/interface/EngineHandle.h"
#include "engine/core/runtime/CkwRefCount.h"
#include "engine/core/runtime/EngineErrors.h"
#include "engine/core/runtime/Trap.h"

// The object behind a handle argument; null for a null or empty handle.
template <class T>
T* objectOf(const EngineHandle* handle)
{
    return handle != nullptr && handle->object != nullptr ? static_cast<T*>(handle->object) : nullptr;
}

// As objectOf, leaving -1302 for a null or empty handle.
template <class T>
T& requireObject(const EngineHandle* handle)
{
    T* object = objectOf<T>(handle);
    if (object == nullptr)
        leave(KErrNullArgument);
    return *object;
}

template <auto Body>
struct TrappedEntry;
template <class C, class... Args, void (*Body)(C&, Args...)>
struct TrappedEntry<Body> {
    static EngineResult call(EngineHandle* handle, Args... args)
    {
        return mapLeaveCode(engineTrap([&] { Body(requireObject<C>(handle), args...); }));
    }
};

template <auto Body>
struct HandingEntry;
template <class C, class R, class... Args, R* (*Body)(C&, Args...)>
struct HandingEntry<Body> {
    static EngineResult call(EngineHandle* handle, Args... args, EngineHandle** out)
    {
        EngineResult result = 0;
        const int32_t code = engineTrap([&] {
            R* object = Body(requireObject<C>(handle), args...);
            result = wrapObject(object, out);
        });
        return code != KErrNone ? mapLeaveCode(code) : result;
    }
};

template <auto Body>
struct PlainEntry;
template <class C, class R, class... Args, R (*Body)(C&, Args...)>
struct PlainEntry<Body> {
    static R call(EngineHandle* handle, Args... args) { return Body(*objectOf<C>(handle), args...); }
};

template <auto Body>
constexpr auto trapped = &TrappedEntry<Body>::call;
template <auto Body>
constexpr auto handing = &HandingEntry<Body>::call;
template <auto Body>
constexpr auto plain = &PlainEntry<Body>::call;

// The three entries that open every table.
constexpr IkwUnknownTable kUnknownEntries = {&unknownAddRef, &unknownRelease, &unknownQueryInterface};
