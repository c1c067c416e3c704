// libFuzzer target: span programs that store into the raster state, drawn
// through the drawing context with every primitive kind. Seeds come from
// spanseeds; one scene serves every input, so state left by one input meets
// the next.
#include "gfx2d/drawcontext/testing/SpanStateFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static SpanStateScene* scene = new SpanStateScene();
    scene->run(data, size);
    return 0;
}
