#include "dbaccess/access/jet/FieldValue.h"

#include <array>

namespace {

// In the order of FieldType.
constexpr std::array<const char*, 14> kNames = {
    "Empty",  "Null",   "Text",     "Long Integer", "Integer", "Byte",         "Yes/No",
    "Single", "Double", "Currency", "Date/Time",    "Decimal", "Large Number", "Date/Time Extended",
};
static_assert(static_cast<size_t>(FieldType::ExtendedDate) + 1 == kNames.size());

}  // namespace

const char* FieldTypeName(FieldType type) noexcept {
    const auto index = static_cast<size_t>(type);
    return index < kNames.size() ? kNames[index] : "Unknown";
}
