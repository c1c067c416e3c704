// The tables of the animation interfaces (keyframe sequence, track,
// controller) and of the free-standing Transform, installed with the scene
// library's module (SceneModule.cpp).
#pragma once

#include "engine/core/interface/MethodTables.h"

extern const IkwKeyframeSequenceTable kKeyframeSequenceTable;
extern const IkwAnimationTrackTable kAnimationTrackTable;
extern const IkwAnimationControllerTable kAnimationControllerTable;
extern const IkwTransformTable kTransformTable;
