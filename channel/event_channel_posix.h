// How the POSIX channel names its objects in the shared-memory directory.
// Only the POSIX implementation and its tests include this.
#pragma once

#include <cstddef>

namespace wl::channel::posix {

// Where every object lives: the POSIX shared-memory directory, the same for
// every process of the machine whatever its environment.
inline constexpr char kDirectory[] = "/dev/shm";
// A file name of the directory: at most 255 bytes and the NUL.
inline constexpr size_t kFileNameCapacity = 256;

// The file name of `objectName` for user `uid`. The mapping is one-to-one:
// '/' and the escape character '%' are escaped, every other byte stands for
// itself. False when the result would not fit a file name (only possible for
// names that makeChannelName does not produce).
bool fileName(const char *objectName, unsigned uid, char (&out)[kFileNameCapacity]);

} // namespace wl::channel::posix
