#include "dbaccess/Utf8Cut.h"

namespace {

bool IsContinuation(char c) noexcept {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

std::size_t Utf8CutLength(std::string_view text, std::size_t maxBytes) noexcept {
    if (text.size() <= maxBytes) {
        return text.size();
    }
    std::size_t cut = maxBytes;
    while (cut > 0 && IsContinuation(text[cut])) {
        --cut;
    }
    return cut;
}

std::size_t Utf8CharacterStart(std::string_view text, std::size_t at) noexcept {
    while (at < text.size() && IsContinuation(text[at])) {
        ++at;
    }
    return at;
}

std::string CutUtf8(std::string text, std::size_t maxBytes) {
    text.resize(Utf8CutLength(text, maxBytes));
    return text;
}
