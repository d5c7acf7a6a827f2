#include "dbaccess/odbc/OdbcMessage.h"

#include "dbaccess/Utf8Cut.h"

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
