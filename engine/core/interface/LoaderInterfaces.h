// The Loader, Archive and ArchiveMember interfaces: their tables and creators.
#pragma once

#include "engine/core/interface/MethodTables.h"

extern const IkwLoaderTable kLoaderTable;
extern const IkwArchiveTable kArchiveTable;
extern const IkwArchiveMemberTable kArchiveMemberTable;

EngineResult createLoaderObject(EngineHandle** out);
EngineResult createArchiveObject(EngineHandle** out);
// Runs without a trap: nothing in it can leave.
EngineResult createArchiveMemberObject(EngineHandle** out);
