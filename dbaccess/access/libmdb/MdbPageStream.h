#pragma once

#include <memory>

#include "dbaccess/access/libmdb/MdbApi.h"

class CPageDecryptor;

// libmdb reads each page through its stdio stream with four system calls: a seek to the end
// and a tell (to refuse a page beyond the end), a seek to the page and a read. Replaces the
// stream of an open file with one that answers the same calls with one positioned read, and
// a size query at most every 100 ms. libmdb sees the same bytes, the same end of file and
// the same errors. Leaves the stream as it was and returns false when the replacement cannot
// be made.
//
// Given a decryptor (an encrypted .accdb), the stream decrypts each page as it is read, in
// the buffer the read lands in: libmdb's own page buffers, or the stream's one-page buffer.
// Nothing decrypted is kept beyond the page libmdb holds, and nothing is written anywhere. The
// stream owns the decryptor from then on. Files of 4 KB pages only.
bool UsePositionedReads(MdbHandle* handle,
                        std::unique_ptr<CPageDecryptor> decryptor = nullptr) noexcept;
