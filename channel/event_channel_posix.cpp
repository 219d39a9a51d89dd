// The channel on POSIX systems: a small file in the shared-memory directory
// per user and name, holding one 32-bit atomic word that every handle maps.
//
// Lifetime rides on flock: every open handle holds a shared lock on its own
// open file. Whoever takes the exclusive lock without waiting knows that
// nobody else holds the object. The last closer removes the name that way, and
// an opener that finds a file nobody holds (a killed holder's remnant) removes
// it and starts again. Only the holder of the exclusive lock on the file that
// a name refers to ever removes that name, and publishing never replaces a
// name, so a name cannot change under the one who checked it.
//
// Objects are built complete as unnamed files and then linked under their
// name, so nobody ever maps a half-built one.
#include "channel/event_channel.h"
#include "channel/event_channel_posix.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace wl::channel {

namespace {

// The shared layout, the same for 32-bit and 64-bit processes: four 32-bit
// words, the state word naturally aligned.
struct SharedBlock {
    uint32_t magic;
    uint32_t version;
    std::atomic<uint32_t> state; // 0 not set, 1 set
    uint32_t reserved;
};
static_assert(sizeof(SharedBlock) == 16, "one layout for every word size");
static_assert(offsetof(SharedBlock, state) == 8, "one layout for every word size");
static_assert(std::atomic<uint32_t>::is_always_lock_free, "the state word is shared between processes");

constexpr uint32_t kMagic = 0x574C4556; // "WLEV"
constexpr uint32_t kVersion = 1;
constexpr mode_t kMode = 0600;
// Each round is lost only to another process's progress; the bound keeps a
// broken file system from spinning for ever.
constexpr int kMaxRounds = 10000;

// What a test reads through a handle that may not test: never set.
std::atomic<uint32_t> neverSet{0};

} // namespace

struct Channel {
    std::atomic<uint32_t> *testWord; // the shared state, or neverSet
    std::atomic<uint32_t> *state;
    SharedBlock *block;
    int fd;
    int directory;
    char name[posix::kFileNameCapacity];
};

namespace posix {

bool fileName(const char *objectName, unsigned uid, char (&out)[kFileNameCapacity]) {
    if (objectName == nullptr)
        return false;
    // Names made by makeChannelName all start with the prefix; leaving it out
    // keeps every one of them within a file name, escapes and all.
    constexpr size_t prefixLength = sizeof kNamePrefix - 1;
    const bool prefixed = std::strncmp(objectName, kNamePrefix, prefixLength) == 0;
    int n = std::snprintf(out, kFileNameCapacity, "farcue.%u%c", uid, prefixed ? '.' : '-');
    if (n < 0)
        return false;
    size_t at = static_cast<size_t>(n);
    for (const char *p = objectName + (prefixed ? prefixLength : 0); *p != '\0'; ++p) {
        const char c = *p;
        const bool escaped = c == '/' || c == '%';
        if (at + (escaped ? 2 : 1) >= kFileNameCapacity)
            return false;
        if (escaped) {
            out[at++] = '%';
            out[at++] = c == '/' ? 's' : '%';
        } else {
            out[at++] = c;
        }
    }
    out[at] = '\0';
    return true;
}

} // namespace posix

namespace {

enum class Mode { createOrJoin, openExisting };

// Anything but a regular file of ours with no group or other rights is
// another user's or another kind of object: never join it, never remove it.
bool isOurs(const struct stat &st) {
    return S_ISREG(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0;
}

bool sameFile(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Called with the exclusive lock on `fd` held: removes the name if it still
// refers to this file.
void unlinkIfStillNamed(int directory, const char *name, int fd) {
    struct stat mine {}, named {};
    if (fstat(fd, &mine) == 0 && fstatat(directory, name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        sameFile(mine, named))
        unlinkat(directory, name, 0);
}

SharedBlock *mapBlock(int fd) {
    void *p = mmap(nullptr, sizeof(SharedBlock), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    return p == MAP_FAILED ? nullptr : static_cast<SharedBlock *>(p);
}

// What one attempt at the name found, when it did not give a file.
constexpr int kFailed = -1;  // refused, or not a channel: give up
constexpr int kAbsent = -2;  // no file of that name
constexpr int kAgain = -3;   // the picture changed under us: look again

// Builds a new object, not set, and publishes it under `name` with this
// process's shared lock already on it. Returns the open file, kFailed, or
// kAgain when someone else published first.
int publishNew(int directory, const char *name) {
    int fd = openat(directory, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, kMode);
    if (fd < 0)
        return kFailed;
    // The umask must not decide who may use the object.
    if (fchmod(fd, kMode) != 0 || ftruncate(fd, sizeof(SharedBlock)) != 0 ||
        flock(fd, LOCK_SH) != 0) {
        ::close(fd);
        return kFailed;
    }
    SharedBlock *block = mapBlock(fd);
    if (block == nullptr) {
        ::close(fd);
        return kFailed;
    }
    new (block) SharedBlock{kMagic, kVersion, {0}, 0};
    munmap(block, sizeof(SharedBlock));

    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    int linked = linkat(AT_FDCWD, path, directory, name, AT_SYMLINK_FOLLOW);
    if (linked != 0 && errno == ENOENT) // no /proc: needs a capability, but try
        linked = linkat(fd, "", directory, name, AT_EMPTY_PATH);
    if (linked != 0) {
        const bool taken = errno == EEXIST;
        ::close(fd);
        return taken ? kAgain : kFailed;
    }
    return fd;
}

// Opens the live object under `name`, holding a shared lock on it. Returns the
// open file, kFailed, kAbsent, or kAgain after removing a remnant or finding
// that the last holder removed the name while we looked.
int joinExisting(int directory, const char *name) {
    int fd = openat(directory, name, O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return errno == ENOENT ? kAbsent : kFailed;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !isOurs(st)) {
        ::close(fd);
        return kFailed;
    }
    // Exclusive first, never as an upgrade: a failed upgrade would drop the
    // shared lock that is the only sign of a holder.
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
        unlinkIfStillNamed(directory, name, fd); // nobody holds it: a remnant
        ::close(fd);
        return kAgain;
    }
    if (errno != EWOULDBLOCK || flock(fd, LOCK_SH) != 0) {
        ::close(fd);
        return kFailed;
    }
    // The last holder may have closed, and removed the name, between the two
    // locks.
    if (fstat(fd, &st) != 0 || st.st_nlink == 0) {
        ::close(fd);
        return kAgain;
    }
    if (st.st_size != static_cast<off_t>(sizeof(SharedBlock))) {
        ::close(fd);
        return kFailed;
    }
    return fd;
}

ChannelHandle open(const char *objectName, Mode mode) {
    Channel *channel = new (std::nothrow) Channel{};
    if (channel == nullptr)
        return nullptr;
    channel->fd = -1;
    channel->directory = -1;
    if (!posix::fileName(objectName, static_cast<unsigned>(geteuid()), channel->name)) {
        delete channel;
        return nullptr;
    }
    channel->directory = ::open(posix::kDirectory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int fd = kFailed;
    for (int round = 0; channel->directory >= 0 && round < kMaxRounds; ++round) {
        fd = joinExisting(channel->directory, channel->name);
        if (fd == kAbsent)
            fd = mode == Mode::createOrJoin ? publishNew(channel->directory, channel->name)
                                            : kFailed;
        if (fd != kAgain)
            break;
    }
    SharedBlock *block = fd >= 0 ? mapBlock(fd) : nullptr;
    if (block == nullptr || block->magic != kMagic || block->version != kVersion) {
        if (block != nullptr)
            munmap(block, sizeof(SharedBlock));
        if (fd >= 0)
            ::close(fd);
        if (channel->directory >= 0)
            ::close(channel->directory);
        delete channel;
        return nullptr;
    }
    channel->fd = fd;
    channel->block = block;
    channel->state = &block->state;
    // Like the Windows side, the tool's handle may set and reset but not wait.
    channel->testWord = mode == Mode::createOrJoin ? &block->state : &neverSet;
    return channel;
}

} // namespace

ChannelHandle createOrJoin(const char *objectName) { return open(objectName, Mode::createOrJoin); }

ChannelHandle openExisting(const char *objectName) { return open(objectName, Mode::openExisting); }

bool set(ChannelHandle handle) {
    if (handle == nullptr)
        return false;
    handle->state->store(1, std::memory_order_release);
    return true;
}

bool reset(ChannelHandle handle) {
    if (handle == nullptr)
        return false;
    handle->state->store(0, std::memory_order_release);
    return true;
}

bool test(ChannelHandle handle) {
    return handle != nullptr && handle->testWord->load(std::memory_order_acquire) != 0;
}

void close(ChannelHandle handle) {
    if (handle == nullptr)
        return;
    munmap(handle->block, sizeof(SharedBlock));
    // An upgrade that fails drops the shared lock, which is what closing does
    // anyway; one that succeeds means this was the last handle.
    if (flock(handle->fd, LOCK_EX | LOCK_NB) == 0)
        unlinkIfStillNamed(handle->directory, handle->name, handle->fd);
    ::close(handle->fd);
    ::close(handle->directory);
    delete handle;
}

} // namespace wl::channel
