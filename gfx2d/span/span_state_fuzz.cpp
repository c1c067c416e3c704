// libFuzzer target: span programs that store into the raster state and
// through the addresses it holds, drawn through the drawing context with
// every primitive kind. Seeds come from spanseeds; one scene serves every
// input, so state left by one input meets the next.
#include "gfx2d/drawcontext/testing/SpanStateFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static SpanStateScene* scene = new SpanStateScene();
    scene->run(data, size);
    // A store into memory spans only read, or a clean picture that comes out
    // otherwise, is a finding as a crash is.
    if (!scene->readOnlyIntact() || !scene->drawsAsAtFirst())
        __builtin_trap();
    return 0;
}
