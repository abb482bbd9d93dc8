// SPDX-License-Identifier: MIT
// Loaded with LD_PRELOAD in place of the C library's fsync, fdatasync and syncfs, as a disk may
// behave: with FSYNC_INTERPOSER=fail every flush fails with EIO; with FSYNC_INTERPOSER=pause it
// takes a minute (a signal cuts it short), which holds a run between its last write and its rename
// for a test to signal it, however loaded the machine.

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

int Interposed(int fd, const char* name) {
    const char* mode = std::getenv("FSYNC_INTERPOSER");
    if (mode != nullptr && std::strcmp(mode, "fail") == 0) {
        errno = EIO;
        return -1;
    }
    if (mode != nullptr && std::strcmp(mode, "pause") == 0) {
        ::sleep(60);
    }
    using Flush = int (*)(int);
    const auto real = reinterpret_cast<Flush>(::dlsym(RTLD_NEXT, name));
    return real != nullptr ? real(fd) : 0;
}

}  // namespace

extern "C" int fsync(int fd) {
    return Interposed(fd, "fsync");
}

extern "C" int fdatasync(int fd) {
    return Interposed(fd, "fdatasync");
}

// An archive folder is made durable with one syncfs.
extern "C" int syncfs(int fd) {
    return Interposed(fd, "syncfs");
}
