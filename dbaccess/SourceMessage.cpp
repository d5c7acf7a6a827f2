#include "dbaccess/SourceMessage.h"

#include <string_view>

namespace {

constexpr std::string_view kEllipsis = "...";
constexpr std::string_view kLibraryDetail = " (libmdb: ";

// The largest length up to maxBytes that does not end inside a UTF-8 character.
size_t Utf8Cut(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes) {
        return text.size();
    }
    size_t cut = maxBytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    return cut;
}

// The start of a UTF-8 character at or after at.
size_t Utf8Start(std::string_view text, size_t at) {
    while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) {
        ++at;
    }
    return at;
}

// Shortens the library detail, or drops it, by up to excess bytes.
void ShortenDetail(std::string& message, size_t excess) {
    const size_t open = message.rfind(kLibraryDetail);
    if (open == std::string::npos) {
        return;
    }
    const size_t close = message.find(')', open);
    const size_t end = close == std::string::npos ? message.size() : close;
    const size_t textStart = open + kLibraryDetail.size();
    const size_t textLength = end - textStart;
    if (textLength > excess + kEllipsis.size() + 8) {
        const std::string_view text(message.data() + textStart, textLength);
        const size_t keep = Utf8Cut(text, textLength - excess - kEllipsis.size());
        message.replace(textStart, textLength, std::string(text.substr(0, keep)) + "...");
    } else {
        message.erase(open, (close == std::string::npos ? end : close + 1) - open);
    }
}

// Shortens the longest quoted path in the middle by up to excess bytes.
void ShortenPath(std::string& message, size_t excess) {
    size_t bestStart = 0, bestLength = 0;
    for (size_t open = message.find('\''); open != std::string::npos;) {
        const size_t close = message.find('\'', open + 1);
        if (close == std::string::npos) {
            break;
        }
        const size_t length = close - open - 1;
        if (length > bestLength && message.find('/', open) < close) {
            bestStart = open + 1;
            bestLength = length;
        }
        open = message.find('\'', close + 1);
    }
    if (bestLength < kEllipsis.size() + 16) {
        return;
    }
    const size_t keep = bestLength > excess + kEllipsis.size() ? bestLength - excess - 3 : 12;
    const std::string_view path(message.data() + bestStart, bestLength);
    const size_t head = Utf8Cut(path, keep / 2);
    const size_t tail = Utf8Start(path, bestLength - (keep - head));
    message.replace(bestStart, bestLength,
                    std::string(path.substr(0, head)) + "..." + std::string(path.substr(tail)));
}

}  // namespace

std::string FitSourceMessage(std::string message) {
    if (message.size() > kMaxSourceMessageBytes) {
        ShortenDetail(message, message.size() - kMaxSourceMessageBytes);
    }
    if (message.size() > kMaxSourceMessageBytes) {
        ShortenPath(message, message.size() - kMaxSourceMessageBytes);
    }
    if (message.size() > kMaxSourceMessageBytes) {
        message.resize(Utf8Cut(message, kMaxSourceMessageBytes - kEllipsis.size()));
        message += kEllipsis;
    }
    return message;
}
