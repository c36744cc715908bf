// quovo-dvdinfo PATH: describes the disc at PATH on standard output as the DVD plug-in's record
// stream (DVDDiscInfo.h). Run by the plug-in as a short-lived child, so that libdvdread failing
// on a damaged disc takes down only this process.
#include "DVDDiscInfo.h"

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quovo-dvdinfo PATH\n");
        return 2;
    }
    const int rc = quovo::WriteDiscDescription(argv[1], STDOUT_FILENO);
    // Everything is written; skip exit-time work (leak checks of the library's allocations).
    _exit(rc);
}
