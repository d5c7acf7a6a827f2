#include "dbaccess/SourceMessage.h"

#include <string_view>

#include "dbaccess/Utf8Cut.h"

namespace {

constexpr std::string_view kEllipsis = "...";
constexpr std::string_view kLibraryDetail = " (libmdb: ";

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
        const size_t keep = Utf8CutLength(text, textLength - excess - kEllipsis.size());
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
    const size_t head = Utf8CutLength(path, keep / 2);
    const size_t tail = Utf8CharacterStart(path, bestLength - (keep - head));
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
        message.resize(Utf8CutLength(message, kMaxSourceMessageBytes - kEllipsis.size()));
        message += kEllipsis;
    }
    return message;
}
