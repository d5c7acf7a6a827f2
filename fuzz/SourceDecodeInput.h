#pragma once

// One input of the source-decoding fuzzer, fed to the source reader's own decoders of
// untrusted bytes: the file header and password, Jet 4 text, CP932 text, and field values
// including memo chains. Shared by the harness and by the unit test that replays the
// reproducers kept in tests/data/regress.
//
// Input: byte 0 picks the decoder, the rest is its input. For code page text (selector 2),
// the first byte of the input picks the code page (932, 1252, 936 or 950). For field values
// (selector 3):
//   byte 1: column type, byte 2: bit 0 null, bit 1 Jet 3; bytes 3-4: field length L (LE);
//   then L bytes of field, then the LVAL rows, each as a 2-byte length (LE) and its bytes.
// LVAL page/row p resolves to row (p % rows) when page p >> 8 is below 64, else to nothing.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "dbaccess/Exceptions.h"
#include "dbaccess/access/jet/CodePageText.h"
#include "dbaccess/access/jet/JetFormatError.h"
#include "dbaccess/access/jet/JetHeader.h"
#include "dbaccess/access/jet/JetText.h"
#include "dbaccess/access/jet/JetValue.h"

namespace sourcefuzz {

using Bytes = std::span<const uint8_t>;

inline void DecodeField(Bytes in) {
    if (in.size() < 4) {
        return;
    }
    const int type = in[0];
    const bool isNull = in[1] & 1;
    const JetVersion version = (in[1] & 2) ? JetVersion::Jet3 : JetVersion::Jet4;
    const size_t length = std::min<size_t>(in[2] | (in[3] << 8), in.size() - 4);
    const Bytes field = in.subspan(4, length);
    std::vector<Bytes> rows;
    for (Bytes pool = in.subspan(4 + length); !pool.empty();) {
        if (pool.size() < 2) {
            break;
        }
        const size_t n = std::min<size_t>(pool[0] | (pool[1] << 8), pool.size() - 2);
        rows.push_back(pool.subspan(2, n));
        pool = pool.subspan(2 + n);
    }
    const LvalRowReader reader = [&rows](uint32_t pageRow) -> std::optional<Bytes> {
        if (rows.empty() || (pageRow >> 8) >= 64) {
            return std::nullopt;
        }
        return rows[pageRow % rows.size()];
    };
    (void)DecodeJetField(version, type, isNull, field, reader);
}

// Decodes one input; bad bytes end in CJetFormatError, which is caught here: anything else
// escaping (or a crash) is a finding.
inline void DecodeInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return;
    }
    const Bytes in(data + 1, size - 1);
    try {
        switch (data[0] % 4) {
            case 0:
                (void)ParseJetHeader(in);
                break;
            case 1:
                (void)DecodeJet4Text(in);
                break;
            case 2: {
                (void)CCodePageText::Cp932().ToUtf8Replacing(in);
                static const CCodePageText pages[] = {CCodePageText(932), CCodePageText(1252),
                                                      CCodePageText(936), CCodePageText(950)};
                if (!in.empty()) {
                    (void)pages[in[0] % 4].ToUtf8(in.subspan(1));
                }
                break;
            }
            case 3:
                DecodeField(in);
                break;
        }
    } catch (const CJetFormatError&) {
        // The expected outcome for bad bytes.
    }
}

}  // namespace sourcefuzz
