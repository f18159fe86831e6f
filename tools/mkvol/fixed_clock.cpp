// A stopped clock for the whole program. libntfs-3g stamps every record it creates or changes with
// the current time, and seeds its generator from it; with the clock stopped at the epoch (the
// moment mkntfs -T writes) two builds from one recipe give the same image byte for byte.
// The executable's definitions take precedence over the C library's for every caller, the library
// included, because the dynamic linker looks in the executable first.
#include <ctime>

extern "C" int clock_gettime(clockid_t, struct timespec* now) {
    now->tv_sec = 0;
    now->tv_nsec = 0;
    return 0;
}

extern "C" time_t time(time_t* now) {
    if (now)
        *now = 0;
    return 0;
}
