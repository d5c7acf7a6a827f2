// LD_PRELOAD shim that makes page reads slow, as on a network share: every fread of 2 KB or
// more (libmdb reads one page per call) first sleeps $BRIMLOW_SLOW_PAGE_US microseconds
// (1500 when unset).
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

extern "C" size_t fread(void* buffer, size_t size, size_t count, FILE* stream) {
    using Fread = size_t (*)(void*, size_t, size_t, FILE*);
    static const Fread real = reinterpret_cast<Fread>(dlsym(RTLD_NEXT, "fread"));
    static const useconds_t delay = [] {
        const char* env = std::getenv("BRIMLOW_SLOW_PAGE_US");
        return static_cast<useconds_t>(env ? std::atoi(env) : 1500);
    }();
    if (size * count >= 2048) {
        usleep(delay);
    }
    return real(buffer, size, count, stream);
}
