#include "dbaccess/access/libmdb/MdbPageStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>

#include "dbaccess/access/jet/PageEncryption.h"

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
    // An encrypted file's decryption, and its page size; null for a plain file.
    std::unique_ptr<CPageDecryptor> decryptor;
    size_t pageSize = MDB_PGSIZE;
    // One page, for a read that does not cover whole pages.
    char scratch[MDB_PGSIZE];
};

ssize_t PreadFully(int fd, char* buffer, size_t size, off64_t at) {
    size_t have = 0;
    while (have < size) {
        const ssize_t got = pread(fd, buffer + have, size - have, at + static_cast<off64_t>(have));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return have > 0 ? static_cast<ssize_t>(have) : -1;
        }
        if (got == 0) {
            break;
        }
        have += static_cast<size_t>(got);
    }
    return static_cast<ssize_t>(have);
}

// An encrypted file: each whole page read is decrypted in place, in the buffer libmdb's read
// lands in. A page the file holds only in part stays as read (libmdb refuses a short read).
// A read that starts or ends inside a page goes through the scratch page.
ssize_t ReadDecrypted(PageFile& file, char* buffer, size_t size) {
    const size_t page = file.pageSize;
    if (file.position % static_cast<off64_t>(page) == 0 && size % page == 0) {
        const ssize_t got = PreadFully(file.fd, buffer, size, file.position);
        for (ssize_t done = 0; got > 0 && done + static_cast<ssize_t>(page) <= got;
             done += static_cast<ssize_t>(page)) {
            file.decryptor->Decrypt(
                static_cast<uint32_t>((file.position + done) / static_cast<off64_t>(page)),
                reinterpret_cast<uint8_t*>(buffer + done), page);
        }
        return got;
    }
    size_t copied = 0;
    while (copied < size) {
        const off64_t at = file.position + static_cast<off64_t>(copied);
        const off64_t pageStart = at - at % static_cast<off64_t>(page);
        const ssize_t got = PreadFully(file.fd, file.scratch, page, pageStart);
        if (got < 0) {
            return copied > 0 ? static_cast<ssize_t>(copied) : -1;
        }
        if (static_cast<size_t>(got) == page) {
            file.decryptor->Decrypt(static_cast<uint32_t>(pageStart / static_cast<off64_t>(page)),
                                    reinterpret_cast<uint8_t*>(file.scratch), page);
        }
        const size_t offset = static_cast<size_t>(at - pageStart);
        if (static_cast<size_t>(got) <= offset) {
            break;
        }
        const size_t n = std::min(size - copied, static_cast<size_t>(got) - offset);
        std::memcpy(buffer + copied, file.scratch + offset, n);
        copied += n;
    }
    return static_cast<ssize_t>(copied);
}

ssize_t ReadAt(void* cookie, char* buffer, size_t size) {
    auto* file = static_cast<PageFile*>(cookie);
    ssize_t got;
    if (file->decryptor) {
        // Nothing may unwind through the C library: a failure of the cryptography library
        // is a read error, which libmdb reports as such.
        try {
            got = ReadDecrypted(*file, buffer, size);
        } catch (...) {
            errno = EIO;
            return -1;
        }
    } else {
        do {
            got = pread(file->fd, buffer, size, file->position);
        } while (got < 0 && errno == EINTR);
    }
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

bool UsePositionedReads(MdbHandle* handle, std::unique_ptr<CPageDecryptor> decryptor) noexcept {
    if (handle == nullptr || handle->f == nullptr || handle->f->stream == nullptr ||
        handle->f->writable || handle->fmt == nullptr ||
        (decryptor && handle->fmt->pg_size != MDB_PGSIZE)) {
        return false;
    }
    const int fd = fcntl(fileno(handle->f->stream), F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    auto* file = new (std::nothrow) PageFile{fd, 0, -1, {}, {}, nullptr, MDB_PGSIZE, {}};
    std::FILE* stream = nullptr;
    if (file != nullptr) {
        stream = fopencookie(file, "r", {ReadAt, nullptr, SeekTo, CloseFile});
    }
    if (stream == nullptr) {
        delete file;
        close(fd);
        return false;
    }
    file->decryptor = std::move(decryptor);
    setvbuf(stream, file->buffer, _IOFBF, sizeof file->buffer);
    std::fclose(handle->f->stream);
    handle->f->stream = stream;
    return true;
}
