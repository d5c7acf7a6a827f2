#include "dbaccess/access/libmdb/MdbPageStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <new>

namespace {

using Clock = std::chrono::steady_clock;

// How long a file size asked for stays the answer. A page beyond the end is refused as it
// would be with the size asked for each page; a file that grows or shrinks meanwhile is seen
// as it is within this time.
constexpr auto kSizeKeptFor = std::chrono::milliseconds(100);

struct PageFile {
    int fd;
    off64_t position = 0;
    off64_t size = -1;
    Clock::time_point sizeAskedAt{};
    // The stream's buffer, one page: each page libmdb asks for is one pread of that page,
    // with nothing read ahead for the next seek to throw away.
    char buffer[MDB_PGSIZE];
};

ssize_t ReadAt(void* cookie, char* buffer, size_t size) {
    auto* file = static_cast<PageFile*>(cookie);
    ssize_t got;
    do {
        got = pread(file->fd, buffer, size, file->position);
    } while (got < 0 && errno == EINTR);
    if (got > 0) {
        file->position += got;
    }
    return got;
}

int SeekTo(void* cookie, off64_t* offset, int whence) {
    auto* file = static_cast<PageFile*>(cookie);
    off64_t base = 0;
    if (whence == SEEK_CUR) {
        base = file->position;
    } else if (whence == SEEK_END) {
        const Clock::time_point now = Clock::now();
        if (file->size < 0 || now - file->sizeAskedAt >= kSizeKeptFor) {
            struct stat status {};
            if (fstat(file->fd, &status) != 0) {
                return -1;
            }
            file->size = status.st_size;
            file->sizeAskedAt = now;
        }
        base = file->size;
    } else if (whence != SEEK_SET) {
        errno = EINVAL;
        return -1;
    }
    if (base + *offset < 0) {
        errno = EINVAL;
        return -1;
    }
    file->position = base + *offset;
    *offset = file->position;
    return 0;
}

int CloseFile(void* cookie) {
    auto* file = static_cast<PageFile*>(cookie);
    const int result = close(file->fd);
    delete file;
    return result;
}

}  // namespace

bool UsePositionedReads(MdbHandle* handle) noexcept {
    if (handle == nullptr || handle->f == nullptr || handle->f->stream == nullptr ||
        handle->f->writable) {
        return false;
    }
    const int fd = fcntl(fileno(handle->f->stream), F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    auto* file = new (std::nothrow) PageFile{fd, 0, -1, {}, {}};
    std::FILE* stream = nullptr;
    if (file != nullptr) {
        stream = fopencookie(file, "r", {ReadAt, nullptr, SeekTo, CloseFile});
    }
    if (stream == nullptr) {
        delete file;
        close(fd);
        return false;
    }
    setvbuf(stream, file->buffer, _IOFBF, sizeof file->buffer);
    std::fclose(handle->f->stream);
    handle->f->stream = stream;
    return true;
}
