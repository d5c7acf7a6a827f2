#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "dbaccess/access/jet/JetFormatError.h"
#include "dbaccess/access/jet/JetMemo.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Le32(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& p : parts) {
        all.insert(all.end(), p.begin(), p.end());
    }
    return all;
}

Bytes Text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// The 12-byte header that starts a memo field in its row.
Bytes Header(uint32_t lengthAndFlags, uint32_t pageRow) {
    return Cat({Le32(lengthAndFlags), Le32(pageRow), Le32(0)});
}

// LVAL rows kept in a map, addressed page << 8 | row, as the file addresses them.
class Pages {
public:
    Pages& Row(uint32_t pageRow, Bytes bytes) {
        m_rows[pageRow] = std::move(bytes);
        return *this;
    }
    LvalRowReader Reader() {
        return [this](uint32_t pageRow) -> std::optional<std::span<const uint8_t>> {
            const auto it = m_rows.find(pageRow);
            if (it == m_rows.end()) {
                return std::nullopt;
            }
            ++m_reads;
            return std::span<const uint8_t>(it->second);
        };
    }
    int Reads() const { return m_reads; }

private:
    std::map<uint32_t, Bytes> m_rows;
    int m_reads = 0;
};

std::string AsString(const Bytes& b) {
    return std::string(b.begin(), b.end());
}

std::string ErrorOf(const Bytes& field, Pages& pages) {
    try {
        ReadMemoBytes(field, pages.Reader());
    } catch (const CJetFormatError& e) {
        return e.what();
    }
    return "no error";
}

TEST(SourceMemo, EmptyFieldIsAnEmptyValue) {
    Pages pages;
    EXPECT_TRUE(ReadMemoBytes({}, pages.Reader()).empty());
}

TEST(SourceMemo, InlineDataFollowsTheHeader) {
    Pages pages;
    EXPECT_EQ(
        AsString(ReadMemoBytes(Cat({Header(0x80000000 | 5, 0), Text("hello")}), pages.Reader())),
        "hello");
    EXPECT_EQ(pages.Reads(), 0);
}

TEST(SourceMemo, InlineDataIsCutToItsLength) {
    Pages pages;
    EXPECT_EQ(
        AsString(ReadMemoBytes(Cat({Header(0x80000000 | 2, 0), Text("hello")}), pages.Reader())),
        "he");
}

TEST(SourceMemo, SinglePageDataIsOneLvalRow) {
    Pages pages;
    pages.Row(0x0501, Text("on page five"));
    EXPECT_EQ(AsString(ReadMemoBytes(Header(0x40000000 | 12, 0x0501), pages.Reader())),
              "on page five");
}

TEST(SourceMemo, ChainIsFollowedToItsLength) {
    Pages pages;
    pages.Row(0x0700, Cat({Le32(0x0802), Text("first ")}))
        .Row(0x0802, Cat({Le32(0x0903), Text("second ")}))
        .Row(0x0903, Cat({Le32(0), Text("third")}));
    EXPECT_EQ(AsString(ReadMemoBytes(Header(18, 0x0700), pages.Reader())), "first second third");
}

TEST(SourceMemo, ChainStopsOnceTheLengthIsRead) {
    Pages pages;
    pages.Row(0x0700, Cat({Le32(0x0802), Text("abcdef")}));
    EXPECT_EQ(AsString(ReadMemoBytes(Header(4, 0x0700), pages.Reader())), "abcd");
    EXPECT_EQ(pages.Reads(), 1);
}

struct BrokenCase {
    const char* name;
    Bytes field;
    std::map<uint32_t, Bytes> rows;
    std::string error;
};

void PrintTo(const BrokenCase& c, std::ostream* os) {
    *os << c.name;
}

class SourceBrokenMemo : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(SourceBrokenMemo, IsAFormatError) {
    Pages pages;
    for (const auto& [pageRow, bytes] : GetParam().rows) {
        pages.Row(pageRow, bytes);
    }
    EXPECT_EQ(ErrorOf(GetParam().field, pages), GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SourceBrokenMemo,
    ::testing::Values(
        BrokenCase{"HeaderCutShort",
                   Bytes(5, 0),
                   {},
                   "a memo field is 5 bytes, shorter than its 12-byte header"},
        BrokenCase{"InlineShorterThanItsLength",
                   Cat({Header(0x80000000 | 9, 0), Text("abc")}),
                   {},
                   "a memo holds 3 of its 9 bytes"},
        BrokenCase{"SinglePageRowMissing",
                   Header(0x40000000 | 3, 0x0A07),
                   {},
                   "a memo points to page 10 row 7, which does not exist"},
        BrokenCase{"SinglePageRowTooShort",
                   Header(0x40000000 | 9, 0x0100),
                   {{0x0100, Text("abc")}},
                   "a memo holds 3 of its 9 bytes"},
        BrokenCase{"ChainEndsEarly",
                   Header(10, 0x0100),
                   {{0x0100, Cat({Le32(0), Text("abc")})}},
                   "a memo holds 3 of its 10 bytes"},
        BrokenCase{
            "ChainLoops",
            Header(100, 0x0100),
            {{0x0100, Cat({Le32(0x0200), Text("ab")})}, {0x0200, Cat({Le32(0x0100), Text("cd")})}},
            "a memo's chain of pages loops back on itself"},
        BrokenCase{"ChainRowWithoutSuccessor",
                   Header(10, 0x0100),
                   {{0x0100, Text("ab")}},
                   "a memo page row is too short to name its successor"},
        BrokenCase{"ChainRowMissing",
                   Header(10, 0x0100),
                   {},
                   "a memo points to page 1 row 0, which does not exist"},
        BrokenCase{
            "UnknownFlags", Header(0xC0000003, 0), {}, "a memo field has unknown storage flags"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
