// The game's small helpers, owned by the world: the name hash that names
// scene nodes, clips and user-parameter keys; the reading of the text user
// parameters that carry level data; float vector helpers; node look-up by
// name; the clock texts of the HUD and menus.
#pragma once

#include <cstdint>

#include "framework/strings/String.h"
#include "game/shell/EngineRef.h"

class GameWorld;
class WideString;

struct PropertyPair {
    String key;
    String value;
};

class GameUtils {
public:
    explicit GameUtils(GameWorld* world);

    // Over the bytes from last to first, signed: h = h * 1664525 + c +
    // 1013904223; the magnitude masked to 30 bits.
    static int32_t nameHash(const char* name);
    // The user id of a named scene node: the hash of name + "Transform".
    static int32_t transformId(const char* name);
    // atoi: blanks, a sign, digits; stops at anything else; saturates.
    static int32_t parseInt(const char* text);
    static float parseNumber(const char* text) { return float(parseInt(text)); }

    // The parameter's text under nameHash(key); out untouched when the
    // node or a non-empty parameter is missing.
    static bool getUserProperty(EngineHandle* node, const char* key, String& out);
    static void readUserParameter(EngineHandle* node, const char* key, float& out);
    // -1 when absent; read as an integer, so no digit is lost to a float.
    static int32_t readIntUserParameter(EngineHandle* node, const char* key, int32_t& out);
    // The keys the node has, in key order, into pairs (when given); returns
    // how many it has.
    static uint32_t readProperties(EngineHandle* node, const char* const* keys, uint32_t keyCount,
                                   PropertyPair* pairs);

    // The node's origin in the world scene; (0, 0, 0) without a node.
    void getWorldPosition(EngineHandle* node, float out[3]);
    void getNodePosition(EngineHandle* node, float out[3]);
    // transform * (p, 1), or its inverse's without touching the transform.
    void transformPoint(float out[3], EngineHandle* transform, const float point[3], bool inverse);
    void lerpTransform(EngineHandle* a, EngineHandle* b, float t, EngineHandle* out);

    static float invSqrt(float x);
    static float length(float x, float y, float z);
    static float vectorLength(const float v[3]) { return length(v[0], v[1], v[2]); }
    // Degrees of the heading from (x2, y2) to (x1, y1); 0 for equal points.
    static float headingAngle(float x1, float y1, float x2, float y2);
    static float wrapAngle(float degrees);
    static void lerp(float out[3], const float a[3], const float b[3], float t);
    // out = base moved toward `to` by distance along from -> to; equal
    // points move nothing (fraction 0).
    static int moveTowards(const float from[3], const float to[3], const float base[3], float distance,
                           float out[3], float* fraction);

    // The node named so in the world scene, as a Group; empty when none.
    EngineRef findNode(const char* name) const;
    // The same below any root.
    static EngineRef findNamedNode(const EngineRef& root, const char* name);
    // A group's children and a node's parent; 0 or empty for none.
    static uint32_t childCount(const EngineRef& group);
    static EngineRef childAt(const EngineRef& group, uint32_t index);
    static EngineRef parentOf(const EngineRef& node);
    // Takes the node out of the group; a missing one is skipped.
    static void removeFromGroup(const EngineRef& node, const EngineRef& group);
    // Takes the node out of the group and lets go of it; with refresh the
    // clip table in use forgets its controllers first and its clips gone
    // with the node after.
    void detachNode(EngineRef& node, const EngineRef& group, bool refresh);
    // "01".."99" (or "A01".."A99") for index 0.. below the group.
    static EngineRef findNumberedNode(EngineHandle* group, int32_t index, bool prefixA);

    // Lets the old target go and keeps a fresh copy of the source (none
    // for a null source).
    static void assignString(String*& target, const char* source);
    static void assignWideString(WideString*& target, const char16_t* source);

    // m:ss or m:ss.t, optionally after a minus; a format text id of 0 or
    // more takes the localised format instead (the built-in one when the
    // pack has no such text).
    static void formatTime(WideString& out, int32_t ms, bool tenths, bool minus, int32_t formatTextId);
    // The localised form: the format gets minutes, the padding character,
    // seconds and tenths.
    static void formatTimeWith(WideString& out, int32_t ms, bool tenths, const char16_t* format);

private:
    GameWorld* m_world;
    EngineRef m_scratch; // Transform working space, overwritten by every call
};

// Formats the message and drops it: release builds keep no log.
void debugLog(const char* format, ...);
