// libFuzzer harness over the source reader's decoding of untrusted bytes; the input format is
// described in SourceDecodeInput.h.
#include "fuzz/SourceDecodeInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sourcefuzz::DecodeInput(data, size);
    return 0;
}
