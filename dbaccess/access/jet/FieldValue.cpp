#include "dbaccess/access/jet/FieldValue.h"

const char* FieldTypeName(FieldType type) noexcept {
    switch (type) {
        case FieldType::Empty:
            return "Empty";
        case FieldType::Null:
            return "Null";
        case FieldType::Text:
            return "Text";
        case FieldType::Long:
            return "Long Integer";
        case FieldType::Integer:
            return "Integer";
        case FieldType::Byte:
            return "Byte";
        case FieldType::Boolean:
            return "Yes/No";
        case FieldType::Single:
            return "Single";
        case FieldType::Double:
            return "Double";
        case FieldType::Currency:
            return "Currency";
        case FieldType::Date:
            return "Date/Time";
        case FieldType::Decimal:
            return "Decimal";
    }
    return "Unknown";
}
