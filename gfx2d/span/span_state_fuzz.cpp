// libFuzzer target: span programs that store into the raster state and
// through the addresses it holds, drawn through the drawing context with
// every primitive kind. Seeds come from spanseeds; one scene serves every
// input, so state left by one input meets the next.
#include "gfx2d/drawcontext/testing/SpanStateFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static SpanStateScene* scene = new SpanStateScene();
    static uint32_t inputs = 0;
    scene->run(data, size);
    // A store into memory spans only read, or a clean picture that comes out
    // otherwise, is a finding as a crash is. What a program leaves stays, so
    // the picture (as slow as the input itself) is drawn every 64th input.
    if (!scene->readOnlyIntact() || (++inputs % 64 == 0 && !scene->drawsAsAtFirst()))
        __builtin_trap();
    return 0;
}
