// The few templates every method-table entry is made from. An entry is one
// line naming its template and a body; the template supplies the trap, turns
// the handle into its object and maps a leave into a result.
//
//   trapped<body>   runs body(object, args...) in a trap: 0 (or the result the
//                   body returns) or the mapped code
//   handing<body>   as trapped, and wraps the object body returns into the
//                   trailing handle out pointer
//   plain<body>     untrapped: getters and setters that cannot fail
#pragma once

#include <cstdint>
#include <type_traits>

#include "engine/core/interface/EngineHandle.h"
#include "engine/core/interface/InterfaceMetadata.h"
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

// An argument handle's object as T, which the interface iid stands for; null
// for a null or empty handle. A handle of another kind cannot be cast: the
// trapped forms leave -1301 for it, the plain form gives null.
template <class T>
T* argumentOf(const EngineHandle* handle, uint32_t iid)
{
    if (handle == nullptr || handle->object == nullptr)
        return nullptr;
    if (!objectAccepts(*handle->object, iid))
        leave(KErrIllegalArgument);
    return static_cast<T*>(handle->object);
}

template <class T>
T& requireArgument(const EngineHandle* handle, uint32_t iid)
{
    T* object = argumentOf<T>(handle, iid);
    if (object == nullptr)
        leave(KErrNullArgument);
    return *object;
}

template <class T>
T* argumentOrNull(const EngineHandle* handle, uint32_t iid)
{
    const bool fits = handle != nullptr && handle->object != nullptr && objectAccepts(*handle->object, iid);
    return fits ? static_cast<T*>(handle->object) : nullptr;
}

// The argument of an untrapped setter that may clear its reference: true with
// null for a null or empty handle, true with the object for a handle of
// interface iid, false for a handle of another kind, which the setter ignores.
template <class T>
bool optionalArgument(const EngineHandle* handle, uint32_t iid, T*& object)
{
    object = argumentOrNull<T>(handle, iid);
    return object != nullptr || handle == nullptr || handle->object == nullptr;
}

// Out pointers and arrays of trapped entries: null leaves -1302.
template <class T>
T& requireOut(T* out)
{
    if (out == nullptr)
        leave(KErrNullArgument);
    return *out;
}

template <auto Body>
struct TrappedEntry;
template <class C, class R, class... Args, R (*Body)(C&, Args...)>
struct TrappedEntry<Body> {
    static EngineResult call(EngineHandle* handle, Args... args)
    {
        if constexpr (std::is_void_v<R>) {
            return mapLeaveCode(engineTrap([&] { Body(requireObject<C>(handle), args...); }));
        } else {
            EngineResult result = 0;
            const int32_t code = engineTrap([&] { result = Body(requireObject<C>(handle), args...); });
            return code != KErrNone ? mapLeaveCode(code) : result;
        }
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
            // Checked before the body runs: a new object made for a missing
            // out pointer would have no holder.
            requireOut(out) = nullptr;
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
inline constexpr IkwUnknownTable kUnknownEntries = {&unknownAddRef, &unknownRelease, &unknownQueryInterface};
