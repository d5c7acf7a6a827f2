#include "dbaccess/SourceMessage.h"

#include <utility>

#include "dbaccess/Translate.h"
#include "dbaccess/Utf8Cut.h"

namespace {

constexpr std::string_view kEllipsis = "...";
constexpr std::string_view kDetailOpen = " (libmdb: ";
constexpr std::string_view kDetailClose = ")";
// A detail is kept, shortened, only when this much of it would be left besides the "...".
constexpr size_t kShortestDetail = 8;
// A path shorter than this is never shortened; one that is keeps at least kShortestPath bytes.
constexpr size_t kShortPath = 16;
constexpr size_t kShortestPath = 12;

size_t RenderedSize(const CSourcePiece& piece) {
    if (piece.part != SourcePart::LibraryDetail) {
        return piece.text.size();
    }
    return piece.text.empty() ? 0 : kDetailOpen.size() + piece.text.size() + kDetailClose.size();
}

size_t RenderedSize(const std::vector<CSourcePiece>& pieces) {
    size_t size = 0;
    for (const CSourcePiece& piece : pieces) {
        size += RenderedSize(piece);
    }
    return size;
}

std::string Render(const std::vector<CSourcePiece>& pieces) {
    std::string text;
    text.reserve(RenderedSize(pieces));
    for (const CSourcePiece& piece : pieces) {
        if (piece.part != SourcePart::LibraryDetail) {
            text += piece.text;
        } else if (!piece.text.empty()) {
            text.append(kDetailOpen).append(piece.text).append(kDetailClose);
        }
    }
    return text;
}

// Shortens the last library detail by up to excess bytes, or drops it when too little of it
// would be left.
void ShortenDetail(std::vector<CSourcePiece>& pieces, size_t excess) {
    for (auto it = pieces.rbegin(); it != pieces.rend(); ++it) {
        if (it->part != SourcePart::LibraryDetail || it->text.empty()) {
            continue;
        }
        std::string& text = it->text;
        if (text.size() > excess + kEllipsis.size() + kShortestDetail) {
            text.resize(Utf8CutLength(text, text.size() - excess - kEllipsis.size()));
            text += kEllipsis;
        } else {
            text.clear();
        }
        return;
    }
}

// Shortens the longest file path in its middle by up to excess bytes.
void ShortenFile(std::vector<CSourcePiece>& pieces, size_t excess) {
    std::string* longest = nullptr;
    for (CSourcePiece& piece : pieces) {
        if (piece.part == SourcePart::File && (!longest || piece.text.size() > longest->size())) {
            longest = &piece.text;
        }
    }
    if (!longest || longest->size() < kEllipsis.size() + kShortPath) {
        return;
    }
    const std::string_view path = *longest;
    const size_t keep = path.size() > excess + kEllipsis.size()
                            ? path.size() - excess - kEllipsis.size()
                            : kShortestPath;
    const size_t head = Utf8CutLength(path, keep / 2);
    const size_t tail = Utf8CharacterStart(path, path.size() - (keep - head));
    *longest = std::string(path.substr(0, head)).append(kEllipsis).append(path.substr(tail));
}

}  // namespace

CSourcePiece SourceFile(std::string path) {
    return {SourcePart::File, std::move(path)};
}

CSourcePiece SourceTable(std::string name) {
    return {SourcePart::Table, std::move(name)};
}

CSourcePiece SourceColumn(std::string name) {
    return {SourcePart::Column, std::move(name)};
}

CSourcePiece SourceRow(size_t row) {
    return {SourcePart::Row, std::to_string(row)};
}

CSourcePiece LibraryDetail(std::string said) {
    return {SourcePart::LibraryDetail, std::move(said)};
}

CSourcePiece SourceReason(std::string text) {
    return {SourcePart::Reason, std::move(text)};
}

CDaoMessage CDaoMessage::Format(const char* english, std::initializer_list<CSourcePiece> parts) {
    CDaoMessage message;
    ReadFormat(
        english, parts.size(), [&message](std::string_view words) { message << words; },
        [&message, &parts](size_t index) { message << *(parts.begin() + index); });
    return message;
}

std::string CDaoMessage::Template() const {
    std::string key;
    int named = 0;
    for (const CSourcePiece& piece : m_pieces) {
        if (piece.part == SourcePart::Text) {
            for (const char c : piece.text) {
                key += c;
                if (c == '%') {
                    key += '%';
                }
            }
        } else if (piece.part != SourcePart::LibraryDetail) {
            key += '%';
            key += static_cast<char>('0' + ++named);
        }
    }
    return key;
}

CDaoMessage CDaoMessage::Localised() const {
    const std::string key = Template();
    // An empty id would give the catalogue's header.
    if (key.empty()) {
        return *this;
    }
    const char* translated = Tr(key.c_str());
    if (key == translated) {
        return *this;
    }
    // Format takes at most nine parts; a message naming more is not in the catalogue.
    std::vector<CSourcePiece> named;
    for (const CSourcePiece& piece : m_pieces) {
        if (piece.part != SourcePart::Text && piece.part != SourcePart::LibraryDetail) {
            named.push_back(piece);
        }
    }
    named.resize(9);
    CDaoMessage message = Format(translated, {named[0], named[1], named[2], named[3], named[4],
                                              named[5], named[6], named[7], named[8]});
    for (const CSourcePiece& piece : m_pieces) {
        if (piece.part == SourcePart::LibraryDetail) {
            message.AddLibraryDetail(piece.text);
        }
    }
    return message;
}

CDaoMessage::CDaoMessage(std::string text) {
    *this << CSourcePiece{SourcePart::Text, std::move(text)};
}

CDaoMessage::CDaoMessage(const char* text) : CDaoMessage(std::string(text)) {}

CDaoMessage& CDaoMessage::operator<<(std::string_view text) {
    return *this << CSourcePiece{SourcePart::Text, std::string(text)};
}

CDaoMessage& CDaoMessage::operator<<(CSourcePiece piece) {
    // Empty words and empty detail show nothing; an empty name is still the part named.
    const bool shown = piece.part != SourcePart::Text && piece.part != SourcePart::LibraryDetail;
    if (piece.text.empty() && !shown) {
        return *this;
    }
    if (piece.part == SourcePart::Text && !m_pieces.empty() &&
        m_pieces.back().part == SourcePart::Text) {
        m_pieces.back().text += piece.text;
    } else {
        m_pieces.push_back(std::move(piece));
    }
    return *this;
}

CDaoMessage& CDaoMessage::operator<<(const CDaoMessage& more) {
    for (const CSourcePiece& piece : more.m_pieces) {
        *this << piece;
    }
    return *this;
}

void CDaoMessage::AddLibraryDetail(std::string said) {
    if (said.empty()) {
        return;
    }
    const bool stop = !m_pieces.empty() && m_pieces.back().part == SourcePart::Text &&
                      m_pieces.back().text.ends_with('.');
    if (stop) {
        m_pieces.back().text.pop_back();
        if (m_pieces.back().text.empty()) {
            m_pieces.pop_back();
        }
    }
    m_pieces.push_back(LibraryDetail(std::move(said)));
    if (stop) {
        m_pieces.push_back({SourcePart::Text, "."});
    }
}

std::string CDaoMessage::Part(SourcePart part) const {
    for (const CSourcePiece& piece : m_pieces) {
        if (piece.part == part && !piece.text.empty()) {
            return piece.text;
        }
    }
    return {};
}

std::string CDaoMessage::Text() const {
    return Render(m_pieces);
}

std::string CDaoMessage::Fitted() const {
    if (RenderedSize(m_pieces) <= kMaxSourceMessageBytes) {
        return Text();
    }
    std::vector<CSourcePiece> pieces = m_pieces;
    ShortenDetail(pieces, RenderedSize(pieces) - kMaxSourceMessageBytes);
    if (RenderedSize(pieces) > kMaxSourceMessageBytes) {
        ShortenFile(pieces, RenderedSize(pieces) - kMaxSourceMessageBytes);
    }
    std::string text = Render(pieces);
    if (text.size() > kMaxSourceMessageBytes) {
        text = CutUtf8(std::move(text), kMaxSourceMessageBytes - kEllipsis.size());
        text += kEllipsis;
    }
    return text;
}
