// The few words the dialog's log gives for a source failure come from the failure's kind:
// each kind, caused for real through the source classes and the file check, and the words.
#include <cstdlib>
#include <functional>

#include "dbaccess/access/FileCheckProcess.h"
#include "tests/integration/dbaccess/access/source_support.h"
#include "ui/RunLogLines.h"

using namespace sourcetest;

namespace {

struct ReasonCase {
    const char* name;
    SourceFailureKind kind;
    const char* reason;
    // Causes the failure; given the shared fixture the case needs, if it needs one.
    std::function<void(const std::string& shared)> fail;
    const char* shared = nullptr;  // under the shared fixtures
};

void PrintTo(const ReasonCase& c, std::ostream* os) {
    *os << c.name;
}

void Open(const std::string& path, const std::string& connect = kPassword) {
    CDaoDatabase db;
    db.Open(path, false, true, connect);
}

// Reads the first row of every column named, then the table to its end.
void Read(const std::string& path, const std::string& table,
          const std::vector<std::string>& columns, const std::string& connect = kPassword) {
    CDaoDatabase db;
    db.Open(path, false, true, connect);
    ReadRows(db, table, columns);
}

class SourceShortReason : public ::testing::TestWithParam<ReasonCase> {};

TEST_P(SourceShortReason, ComesFromTheKindOfFailure) {
    const ReasonCase& c = GetParam();
    std::string shared;
    if (c.shared) {
        const auto found = Shared(c.shared);
        if (!found) {
            GTEST_SKIP() << testpaths::MissingSharedFixture(c.shared);
        }
        shared = *found;
    }
    try {
        c.fail(shared);
        FAIL() << "no CDaoException was thrown";
    } catch (const CDaoException& e) {
        EXPECT_EQ(e.Kind(), c.kind) << e.GetErrorMessage();
        EXPECT_EQ(runlines::ShortReason(std::current_exception(), true), c.reason)
            << e.GetErrorMessage();
    }
}

const char* const kMissing = "ファイルが見つかりません";
const char* const kCannotOpen = "ファイルを開けません";
const char* const kDamaged = "ファイルが壊れています";

INSTANTIATE_TEST_SUITE_P(
    Kinds, SourceShortReason,
    ::testing::Values(
        ReasonCase{"NoPath", SourceFailureKind::FileMissing, kMissing,
                   [](const std::string&) { Open(""); }},
        ReasonCase{"NothingAtThePath", SourceFailureKind::FileMissing, kMissing,
                   [](const std::string&) { Open(Data("no-such-file.mdb")); }},
        ReasonCase{"Folder", SourceFailureKind::NotAFile, kCannotOpen,
                   [](const std::string&) { Open(Data("regress")); }},
        ReasonCase{"SymbolicLinkLoop", SourceFailureKind::CannotOpen, kCannotOpen,
                   [](const std::string&) {
                       ScratchDir dir;
                       std::filesystem::create_symlink(dir.Path("loop.mdb"), dir.Path("loop.mdb"));
                       Open(dir.Path("loop.mdb"));
                   }},
        ReasonCase{"ReadFails", SourceFailureKind::CannotRead, kCannotOpen,
                   [](const std::string&) { Open("/proc/self/mem"); }},
        ReasonCase{"NotAnAccessFile", SourceFailureKind::NotADatabase, kCannotOpen,
                   [](const std::string&) { Open(Data("regress/zeros-8k.mdb")); }},
        // Encrypted with a password other than the program's.
        ReasonCase{"EncryptedAccdb", SourceFailureKind::WrongPassword, "パスワードが違います",
                   [](const std::string& file) { Open(file); },
                   "real-accdb/encrypted/jackcessencrypt__db2013-enc.accdb"},
        ReasonCase{"WrongPassword", SourceFailureKind::WrongPassword, "パスワードが違います",
                   [](const std::string&) { Open(Data("wrongpassword.mdb")); }},
        // Found by the check process, and told by its report.
        ReasonCase{"DamagedCatalogue", SourceFailureKind::Damaged, kDamaged,
                   [](const std::string&) { Open(Data("regress/header-only.mdb")); }},
        ReasonCase{"DamagedTable", SourceFailureKind::Damaged, kDamaged,
                   [](const std::string& file) { Open(file); }, "damaged/phantom-row.mdb"},
        ReasonCase{"UnknownColumnType", SourceFailureKind::Damaged, kDamaged,
                   [](const std::string& file) { Read(file, "KEN_ALL", {"City2Kanji"}); },
                   "damaged/type-unknown-message.mdb"},
        ReasonCase{"CheckStalls", SourceFailureKind::Stalled, kDamaged,
                   [](const std::string&) {
                       FakeVet vet("exec sleep 30");
                       VetSourceFile(Data("sample.mdb"), std::chrono::milliseconds(300));
                   }},
        ReasonCase{"CheckCrashes", SourceFailureKind::Crashed, kDamaged,
                   [](const std::string&) {
                       FakeVet vet("kill -SEGV $$");
                       VetSourceFile(Data("sample.mdb"), std::chrono::seconds(5));
                   }},
        ReasonCase{"CheckRunsOutOfMemory", SourceFailureKind::MemoryExhausted, kDamaged,
                   [](const std::string&) {
                       FakeVet vet(
                           "printf 'memory-limit\\t1073741824\\n'; "
                           "echo 'GLib-ERROR: failed to allocate 9999 bytes' >&2; kill -ABRT $$");
                       VetSourceFile(Data("sample.mdb"), std::chrono::seconds(5));
                   }},
        ReasonCase{"MissingTable", SourceFailureKind::MissingTable, "テーブルがありません",
                   [](const std::string&) { Read(Data("missing-table.mdb"), "Mst03", {}); }},
        ReasonCase{"MissingColumn", SourceFailureKind::MissingColumn, "列がありません",
                   [](const std::string&) {
                       Read(Data("missing-column.mdb"), "Mst02", {"Col03", "Col04"});
                   }},
        ReasonCase{"OleColumn", SourceFailureKind::UnreadableColumnType, kCannotOpen,
                   [](const std::string& file) {
                       Read(file, "MSP_PROJECTS", {"RESERVED_BINARY_DATA"}, "");
                   },
                   "real/jackcess__V2000_test2V2000.mdb"},
        ReasonCase{"WrittenWhileRead", SourceFailureKind::ChangedWhileRead,
                   "ファイルが変更されました",
                   [](const std::string&) {
                       ScratchDir dir;
                       const std::string path = dir.Path("source.mdb");
                       std::filesystem::copy_file(Data("sample.mdb"), path);
                       CDaoDatabase db;
                       db.Open(path, false, true, kPassword);
                       std::filesystem::resize_file(path, std::filesystem::file_size(path) + 1);
                       ReadRows(db, "Mst04Error", {});
                   }},
        ReasonCase{"NoCheckProgram", SourceFailureKind::CheckUnavailable, kCannotOpen,
                   [](const std::string&) {
                       FakeVet vet("exit 0");  // puts BRIMLOW_VET back as it was
                       ScratchDir dir;
                       setenv("BRIMLOW_VET", dir.Path("no-such-vet").c_str(), 1);
                       Open(Data("sample.mdb"));
                   }},
        ReasonCase{"OpenedForWriting", SourceFailureKind::Misuse, kCannotOpen,
                   [](const std::string&) {
                       CDaoDatabase db;
                       db.Open(Data("sample.mdb"), false, false, kPassword);
                   }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
