// Animation record encoders, each field in file order.
#include "tools/m3g/M3gAnimationEncoders.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "framework/util/Saturate.h"
#include "tools/m3g/M3gFileWriter.h"

M3gRecord m3gAnimationControllerRecord(const M3gAnimationControllerFields& f)
{
    return m3gRecord(kM3gTypeAnimationController, f.object, [&](M3gRecordWriter& out) {
        out.float32(f.speed).float32(f.weight).int32(f.activeIntervalStart).int32(f.activeIntervalEnd);
        out.float32(f.referenceSequenceTime).int32(f.referenceWorldTime);
    });
}

M3gRecord m3gAnimationTrackRecord(const M3gAnimationTrackFields& f)
{
    return m3gRecord(kM3gTypeAnimationTrack, f.object, [&](M3gRecordWriter& out) {
        out.objectIndex(f.keyframeSequence).objectIndex(f.animationController).uint32(f.propertyId);
    });
}

uint32_t m3gAddHeldTrack(M3gFileWriter& writer, uint32_t property, const std::vector<float>& value, float weight)
{
    M3gKeyframeSequenceFields held;
    held.componentCount = static_cast<uint32_t>(value.size());
    held.keyframes = {{0, value}};
    M3gAnimationControllerFields controller;
    controller.weight = weight;
    const uint32_t sequence = writer.addObject(m3gKeyframeSequenceRecord(held));
    const uint32_t timing = writer.addObject(m3gAnimationControllerRecord(controller));
    return writer.addObject(m3gAnimationTrackRecord({{}, sequence, timing, property}));
}

M3gRecord m3gKeyframeSequenceRecord(const M3gKeyframeSequenceFields& f)
{
    return m3gRecord(kM3gTypeKeyframeSequence, f.object, [&](M3gRecordWriter& out) {
        out.byte(f.interpolation).byte(f.repeatMode).byte(f.encoding).uint32(f.duration);
        out.uint32(f.validRangeFirst).uint32(f.validRangeLast).uint32(f.componentCount);
        out.uint32(static_cast<uint32_t>(f.keyframes.size()));
        if (f.encoding != 0) {
            for (uint32_t c = 0; c < f.componentCount; ++c)
                out.float32(c < f.bias.size() ? f.bias[c] : 0.0f);
            for (uint32_t c = 0; c < f.componentCount; ++c)
                out.float32(c < f.scale.size() ? f.scale[c] : 1.0f);
        }
        const float steps = f.encoding == 1 ? 255.0f : 65535.0f;
        for (const M3gKeyframe& k : f.keyframes) {
            out.int32(k.time);
            for (uint32_t c = 0; c < f.componentCount; ++c) {
                const float v = c < k.value.size() ? k.value[c] : 0.0f;
                if (f.encoding == 0) {
                    out.float32(v);
                    continue;
                }
                const float bias = c < f.bias.size() ? f.bias[c] : 0.0f;
                const float scale = c < f.scale.size() ? f.scale[c] : 1.0f;
                const float q = clampFloat(std::round(scale != 0.0f ? (v - bias) / scale * steps : 0.0f), 0.0f, steps);
                if (f.encoding == 1)
                    out.byte(static_cast<uint8_t>(q));
                else
                    out.uint16(static_cast<uint16_t>(q));
            }
        }
    });
}

M3gRecord m3gMorphingMeshRecord(const M3gMorphingMeshFields& f)
{
    return m3gRecord(kM3gTypeMorphingMesh, f.mesh, [&](M3gRecordWriter& out) {
        out.uint32(static_cast<uint32_t>(f.targets.size()));
        for (const M3gMorphTargetFields& t : f.targets)
            out.objectIndex(t.vertexBuffer).float32(t.initialWeight);
    });
}

M3gRecord m3gSkinnedMeshRecord(const M3gSkinnedMeshFields& f)
{
    return m3gRecord(kM3gTypeSkinnedMesh, f.mesh, [&](M3gRecordWriter& out) {
        out.objectIndex(f.skeleton).uint32(static_cast<uint32_t>(f.bones.size()));
        for (const M3gBoneReferenceFields& b : f.bones)
            out.objectIndex(b.node).uint32(b.firstVertex).uint32(b.vertexCount).int32(b.weight);
    });
}

std::vector<uint8_t> m3gSampleAnimatedScene(uint8_t scheme)
{
    M3gFileWriter writer;
    writer.beginSection(scheme);
    const auto positions = [&](std::vector<int32_t> values) {
        M3gVertexArrayFields a;
        a.values = std::move(values);
        M3gVertexBufferFields b;
        b.positions = writer.addObject(m3gVertexArrayRecord(a));
        return writer.addObject(m3gVertexBufferRecord(b));
    };
    M3gTriangleStripFields strip;
    strip.stripLengths = {4};
    const uint32_t strips = writer.addObject(m3gTriangleStripRecord(strip));
    const std::vector<int32_t> square = {0, 0, 0, 100, 0, 0, 0, 100, 0, 100, 100, 0};

    M3gAnimationControllerFields loop;
    loop.speed = 1.5f;
    const uint32_t controller = writer.addObject(m3gAnimationControllerRecord(loop));
    const auto track = [&](const M3gKeyframeSequenceFields& s, uint32_t property) {
        const uint32_t sequence = writer.addObject(m3gKeyframeSequenceRecord(s));
        return writer.addObject(m3gAnimationTrackRecord({{}, sequence, controller, property}));
    };
    M3gKeyframeSequenceFields turn;
    turn.interpolation = 177;
    turn.repeatMode = 193;
    turn.validRangeLast = 2;
    turn.componentCount = 4;
    turn.keyframes = {{0, {0, 0, 0, 1}}, {300, {0, 0, 0.7071068f, 0.7071068f}}, {600, {0, 0, 1, 0}}};
    M3gKeyframeSequenceFields squad = turn;
    squad.interpolation = 179;

    M3gGroupFields bone;
    bone.node.transformable.object.animationTracks = {track(turn, 268)};
    const uint32_t bone0 = writer.addObject(m3gGroupRecord(bone));
    bone.node.transformable.object.animationTracks = {track(squad, 268)};
    const uint32_t bone1 = writer.addObject(m3gGroupRecord(bone));
    M3gGroupFields skeleton;
    skeleton.children = {bone0, bone1};
    M3gSkinnedMeshFields skinned;
    skinned.mesh.vertexBuffer = positions(square);
    skinned.mesh.submeshes = {{strips, 0}};
    skinned.skeleton = writer.addObject(m3gGroupRecord(skeleton));
    skinned.bones = {{bone0, 0, 3, 1}, {bone1, 2, 2, 3}};

    M3gKeyframeSequenceFields blend;
    blend.repeatMode = 193;
    blend.validRangeLast = 1;
    blend.componentCount = 2;
    blend.keyframes = {{0, {0, 1}}, {500, {1, 0}}};
    M3gMorphingMeshFields morphing;
    morphing.mesh.vertexBuffer = positions(square);
    morphing.mesh.submeshes = {{strips, 0}};
    morphing.mesh.node.transformable.object.animationTracks = {track(blend, 266)};
    morphing.targets = {{positions({0, 0, 50, 100, 0, 50, 0, 100, 50, 100, 100, 50}), 0.5f},
                        {positions({-50, 0, 0, 150, 0, 0, -50, 100, 0, 150, 100, 0}), 0.5f}};

    M3gKeyframeSequenceFields slide;
    slide.interpolation = 178;
    slide.repeatMode = 193;
    slide.encoding = 1;
    slide.validRangeLast = 2;
    slide.componentCount = 3;
    slide.keyframes = {{0, {0, 0, 0}}, {400, {10, 0, 5}}, {800, {0, 10, 5}}};
    slide.bias = {0, 0, 0};
    slide.scale = {10, 10, 10};
    M3gKeyframeSequenceFields steps;
    steps.interpolation = 180;
    steps.encoding = 2;
    steps.validRangeLast = 1;
    steps.keyframes = {{0, {1}}, {700, {2}}};
    steps.bias = {1};
    steps.scale = {1};
    M3gKeyframeSequenceFields fade;
    fade.validRangeLast = 1;
    fade.keyframes = {{0, {1}}, {900, {0}}};
    M3gGroupFields moving;
    moving.node.transformable.object.animationTracks = {track(slide, 275), track(steps, 270), track(fade, 256)};

    M3gWorldFields world;
    world.group.children = {writer.addObject(m3gSkinnedMeshRecord(skinned)), writer.addObject(m3gMorphingMeshRecord(morphing)),
                            writer.addObject(m3gGroupRecord(moving))};
    writer.addObject(m3gWorldRecord(world));
    return writer.finish();
}
