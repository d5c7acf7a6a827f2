#include "migration/statement/RenderValue.h"

#include <algorithm>
#include <charconv>

#include "dbaccess/access/jet/ValueConversion.h"
#include "migration/statement/ColumnKind.h"

namespace {

bool IsQuotedKind(int kind) {
    return kind == COLKIND_TEXT || kind == COLKIND_DATETIME;
}

}  // namespace

std::string RenderValue(const CFieldValue& value, int kind) {
    switch (kind) {
        case COLKIND_INTEGER: {
            char buffer[12];
            const auto result =
                std::to_chars(buffer, buffer + sizeof buffer, ConvertToInteger(value));
            return std::string(buffer, result.ptr);
        }
        case COLKIND_TEXT:
            return ConvertToText(value);
        case COLKIND_DATETIME:
            return FormatDateTime(ConvertToDateTime(value));
        default:
            return {};
    }
}

std::string RenderValue(CFieldValue&& value, int kind, bool* cutAtZeroByte) {
    if (kind == COLKIND_TEXT && value.GetType() == FieldType::Text) {
        std::string text = value.TakeText();
        const std::size_t zero = text.find('\0');
        if (zero != std::string::npos) {
            text.resize(zero);
            if (cutAtZeroByte != nullptr) {
                *cutAtZeroByte = true;
            }
        }
        return text;
    }
    return RenderValue(static_cast<const CFieldValue&>(value), kind);
}

std::string QuoteValue(const std::string& text, int kind) {
    std::string literal;
    literal.reserve(QuotedLength(text, kind));
    AppendQuotedValue(literal, text, kind);
    return literal;
}

std::size_t QuotedLength(std::string_view text, int kind) noexcept {
    if (IsQuotedKind(kind)) {
        return text.size() + 2 +
               static_cast<std::size_t>(std::count(text.begin(), text.end(), '\''));
    }
    return kind == COLKIND_NULL ? 4 : text.size();
}

void AppendQuotedValue(std::string& out, std::string_view text, int kind) {
    if (kind == COLKIND_NULL) {
        out += "NULL";
        return;
    }
    if (!IsQuotedKind(kind)) {
        out += text;
        return;
    }
    out += '\'';
    // Each apostrophe is copied and then written once more; the search goes on after it.
    for (std::size_t quote = text.find('\''); quote != std::string_view::npos;
         quote = text.find('\'')) {
        out.append(text.data(), quote + 1);
        out += '\'';
        text.remove_prefix(quote + 1);
    }
    out += text;
    out += '\'';
}
