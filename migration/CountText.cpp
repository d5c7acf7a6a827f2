#include "migration/CountText.h"

std::string GroupThousands(size_t count) {
    const std::string digits = std::to_string(count);
    std::string text;
    text.reserve(digits.size() + digits.size() / 3);
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            text += ',';
        }
        text += digits[i];
    }
    return text;
}
