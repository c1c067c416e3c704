// The generated span programs' behaviour written as plain C++: tests hold
// the interpreted programs to these bit for bit, and benchmarks measure the
// interpreter against them. Each is a native span for the triangle driver.
#pragma once

#include "gfx2d/span/ScanConversion.h"
#include "tools/span/SpanPrograms.h"

// Null for a combination no program is written for.
NativeSpan referenceSpan(SpanMode mode, RSBFormat destination, RSBFormat source);
