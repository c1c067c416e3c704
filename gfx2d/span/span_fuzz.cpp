// libFuzzer target: span arguments and one span-program record, loaded,
// interpreted over a span and scan-converted as a textured quad. Seeds come
// from spanseeds.
#include "tools/span/SpanFuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    runSpanFuzzInput(data, size);
    return 0;
}
