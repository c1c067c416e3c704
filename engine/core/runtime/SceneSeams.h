// What the engine core calls of the scene and render libraries. Those
// libraries define these functions; the core does not link them, so the
// program links them after the core and the core's own tests link stand-ins.
#pragma once

class CkwObjectFactory;

// Fill the factory with the creators of the scene classes: the M3G types
// 1-22, 28, 29 and 255, then the engine's own types 23-25, then nothing.
void registerLoaderTypes(CkwObjectFactory& factory);
void registerOwnLoaderTypes(CkwObjectFactory& factory);
void registerExtraLoaderTypes(CkwObjectFactory& factory);

// Shutdown hooks: each destroys the engine-wide object it names, held in the
// engine context, and clears the field; nothing when there is none.
void releaseAlignTargetManager();
void releasePickData();
void releaseSharedRayIntersection();
