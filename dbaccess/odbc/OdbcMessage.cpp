#include "dbaccess/odbc/OdbcMessage.h"

std::string StripOriginTags(std::string_view message) {
    while (!message.empty() && message.front() == '[') {
        const std::size_t close = message.find(']');
        if (close == std::string_view::npos) {
            break;
        }
        message.remove_prefix(close + 1);
        if (!message.empty() && message.front() == ' ') {
            message.remove_prefix(1);
        }
    }
    return std::string(message);
}

std::string CutUtf8(std::string text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) {
        return text;
    }
    std::size_t cut = maxBytes;
    // A byte 10xxxxxx continues the character before it: cutting there would split it.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    text.resize(cut);
    return text;
}

std::string ComposeDiagnosticText(const std::vector<std::string>& messages) {
    std::string text;
    for (const std::string& message : messages) {
        text += StripOriginTags(message);
        text += '\n';
        if (text.size() > kMaxDiagnosticTextBytes) {
            break;
        }
    }
    return CutUtf8(std::move(text), kMaxDiagnosticTextBytes);
}
