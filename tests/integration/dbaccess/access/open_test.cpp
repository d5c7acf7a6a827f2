// Opening the source: password rules, the failures a user can cause and their messages, the
// query shapes a recordset accepts, and the open/close life cycle.
#include <sys/stat.h>
#include <unistd.h>

#include "tests/integration/dbaccess/access/source_support.h"

using namespace sourcetest;

namespace {

struct PasswordCase {
    const char* name;
    const char* file;  // under tests/data, or jet3/... under the shared fixtures
    const char* connect;
    bool opens;
};

void PrintTo(const PasswordCase& c, std::ostream* os) {
    *os << c.name;
}

class SourcePassword : public ::testing::TestWithParam<PasswordCase> {};

TEST_P(SourcePassword, OpensOnlyWithTheFilesPasswordOrWhenItHasNone) {
    const PasswordCase& c = GetParam();
    std::string path = Data(c.file);
    if (std::string(c.file).rfind("jet3/", 0) == 0) {
        const auto shared = Shared(c.file);
        if (!shared) {
            GTEST_SKIP() << testpaths::MissingSharedFixture("jet3");
        }
        path = *shared;
    }
    CDaoDatabase db;
    if (c.opens) {
        db.Open(path, false, true, c.connect);
        EXPECT_TRUE(db.IsOpen());
    } else {
        const std::string message = DaoError([&] { db.Open(path, false, true, c.connect); });
        EXPECT_EQ(message, "Not a valid password for the database '" + path + "'.");
        EXPECT_FALSE(db.IsOpen());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SourcePassword,
    ::testing::Values(
        PasswordCase{"RightPassword", "sample.mdb", ";PWD=wuzo", true},
        PasswordCase{"KeyInAnyCase", "sample.mdb", ";pwd=wuzo", true},
        PasswordCase{"OtherPartsIgnored", "sample.mdb", "MS Access;PWD=wuzo;", true},
        PasswordCase{"WrongPassword", "sample.mdb", ";PWD=abcd", false},
        PasswordCase{"PasswordIsCaseSensitive", "sample.mdb", ";PWD=WUZO", false},
        PasswordCase{"NoPasswordGiven", "sample.mdb", "", false},
        PasswordCase{"LongerPassword", "sample.mdb", ";PWD=wuzoo", false},
        PasswordCase{"NoPasswordFileAnyPassword", "nopassword.mdb", ";PWD=wuzo", true},
        PasswordCase{"NoPasswordFileNoPassword", "nopassword.mdb", "", true},
        PasswordCase{"OtherPasswordFile", "wrongpassword.mdb", ";PWD=wuzo", false},
        PasswordCase{"OtherPasswordFileItsPassword", "wrongpassword.mdb", ";PWD=abcd", true},
        PasswordCase{"Jet3RightPassword", "jet3/access97-cp932-wuzo.mdb", ";PWD=wuzo", true},
        PasswordCase{"Jet3WrongPassword", "jet3/access97-cp932-wuzo.mdb", ";PWD=abcd", false},
        PasswordCase{"Jet3OtherPassword", "jet3/access97-cp932-abcd.mdb", ";PWD=wuzo", false},
        PasswordCase{"Jet3OtherPasswordItsOwn", "jet3/access97-cp932-abcd.mdb", ";PWD=abcd", true},
        PasswordCase{"Jet3NoPasswordFile", "jet3/access97-cp932.mdb", ";PWD=wuzo", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SourceOpenFailure, NamesAMissingFile) {
    const std::string path = Data("no-such-file.mdb");
    CDaoDatabase db;
    EXPECT_EQ(DaoError([&] { db.Open(path, false, true, kPassword); }),
              "Could not find the database file '" + path + "'.");
}

TEST(SourceOpenFailure, RefusesAnEmptyPath) {
    CDaoDatabase db;
    EXPECT_EQ(DaoError([&] { db.Open("", false, true, kPassword); }),
              "No database file was given.");
}

TEST(SourceOpenFailure, RefusesAFolder) {
    ScratchDir dir;
    CDaoDatabase db;
    EXPECT_EQ(DaoError([&] { db.Open(dir.Path(), false, true, kPassword); }),
              "'" + dir.Path() + "' is a folder, not an Access database file.");
}

TEST(SourceOpenFailure, RefusesSomethingThatIsNotAFile) {
    ScratchDir dir;
    const std::string fifo = dir.Path("pipe.mdb");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    CDaoDatabase db;
    EXPECT_EQ(DaoError([&] { db.Open(fifo, false, true, kPassword); }),
              "'" + fifo + "' is not a regular file, so not an Access database file.");
}

TEST(SourceOpenFailure, NamesAFileThatCannotBeRead) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "running as root, which can read any file";
    }
    ScratchDir dir;
    const std::string path = dir.File("locked.mdb", "x");
    chmod(path.c_str(), 0);
    CDaoDatabase db;
    EXPECT_EQ(DaoError([&] { db.Open(path, false, true, kPassword); }),
              "Cannot open the database file '" + path + "': Permission denied.");
}

TEST(SourceOpenFailure, NamesAFileWhoseReadingFails) {
    // A regular file that opens but cannot be read from its start, whoever runs the test.
    const std::string path = "/proc/self/mem";
    CDaoDatabase db;
    EXPECT_EQ(DaoError([&] { db.Open(path, false, true, kPassword); }),
              "Cannot read the database file '" + path + "': Input/output error.");
}

struct NotAccessCase {
    const char* name;
    std::string content;
    const char* reason;
};

void PrintTo(const NotAccessCase& c, std::ostream* os) {
    *os << c.name;
}

class SourceNotAccess : public ::testing::TestWithParam<NotAccessCase> {};

TEST_P(SourceNotAccess, IsRefusedBeforeLibmdbSeesIt) {
    ScratchDir dir;
    const std::string path = dir.File("file.mdb", GetParam().content);
    CDaoDatabase db;
    EXPECT_EQ(DaoError([&] { db.Open(path, false, true, kPassword); }),
              "'" + path + "' is not an Access database file: " + GetParam().reason + ".");
}

std::string Header(char version, size_t size) {
    std::string bytes(size, '\0');
    bytes.replace(4, 15, "Standard Jet DB");
    bytes[0x14] = version;
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Contents, SourceNotAccess,
    ::testing::Values(
        NotAccessCase{"EmptyFile", "", "it has no \"Standard Jet DB\" signature"},
        NotAccessCase{"Text", "This is a line of text.\n",
                      "it has no \"Standard Jet DB\" signature"},
        NotAccessCase{"Zeros", std::string(4096, '\0'), "it has no \"Standard Jet DB\" signature"},
        NotAccessCase{"Access 2007", Header(2, 4096),
                      "its format version 2 is not Access 97 or Access 2000-2003"},
        NotAccessCase{"CutInsideTheHeader", Header(1, 100), "its header is cut short"}),
    [](const auto& info) {
        std::string name = info.param.name;
        std::erase(name, ' ');
        return name;
    });

// A file encrypted in a way this program does not decrypt is named as such, whatever the
// password, with the kind of encryption and what to do; never damaged. Here db2013-enc's first
// page describes RC4 CryptoAPI encryption instead of its own.
TEST(SourceOpenFailure, AnAccdbEncryptedInAnotherWayIsNamedAsSuchWithWhatToDo) {
    const auto folder = Shared("real-accdb/encrypted");
    if (!folder) {
        GTEST_SKIP() << testpaths::MissingSharedFixture("real-accdb/encrypted");
    }
    ScratchDir dir;
    std::ifstream in(*folder + "/jackcessencrypt__db2013-enc.accdb", std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), {});
    content[0x29B] = 4;  // version 4.2, flags: CryptoAPI without AES
    content[0x29D] = 2;
    content[0x29F] = 0x04;
    for (const std::string name : {"rc4.accdb", "rc4.mdb"}) {
        const std::string path = dir.File(name, content);
        for (const std::string& connect : {kPassword, std::string(";PWD=1234")}) {
            CDaoDatabase db;
            try {
                db.Open(path, false, true, connect);
                ADD_FAILURE() << "opened";
            } catch (const CDaoException& e) {
                EXPECT_EQ(e.Kind(), SourceFailureKind::Encrypted);
                EXPECT_EQ(e.GetErrorMessage(),
                          "The database '" + path +
                              "' cannot be opened: it is an Access 2007 or later database (.accdb) "
                              "protected by a database password with RC4 CryptoAPI encryption, "
                              "which this program cannot decrypt; remove the password in Access "
                              "(File > Info > Decrypt Database) or save it as an Access 2002-2003 "
                              "database (.mdb).");
            }
        }
    }
}

// An encrypted file whose description of its encryption does not add up is damaged, not
// encrypted in another way, and no password is tried on it.
TEST(SourceOpenFailure, AnAccdbWhoseEncryptionDescriptionIsBrokenIsDamaged) {
    const auto folder = Shared("real-accdb/encrypted");
    if (!folder) {
        GTEST_SKIP() << testpaths::MissingSharedFixture("real-accdb/encrypted");
    }
    ScratchDir dir;
    std::ifstream in(*folder + "/jackcessencrypt__db2013-enc.accdb", std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), {});
    const size_t at = content.find("spinCount=\"100000\"");
    ASSERT_NE(at, std::string::npos);
    content.replace(at, 18, "spinCount=\"1x0000\"");
    const std::string path = dir.File("broken.accdb", content);
    CDaoDatabase db;
    try {
        db.Open(path, false, true, ";PWD=1234");
        ADD_FAILURE() << "opened";
    } catch (const CDaoException& e) {
        EXPECT_EQ(e.Kind(), SourceFailureKind::Damaged);
        EXPECT_EQ(e.GetErrorMessage(),
                  "The database '" + path +
                      "' is damaged: it is encrypted, and its encryption descriptor has no valid "
                      "spinCount.");
    }
}

// An encrypted file opens with its password and with no other: another password is the
// wrong password it is for an .mdb, never damage, in the check process and here alike.
TEST(SourceOpen, AnEncryptedAccdbOpensWithItsPasswordOnly) {
    const auto folder = Shared("real-accdb/encrypted");
    if (!folder) {
        GTEST_SKIP() << testpaths::MissingSharedFixture("real-accdb/encrypted");
    }
    const std::string path = *folder + "/jackcessencrypt__db2013-enc.accdb";
    for (const std::string& connect : {kPassword, std::string(), std::string(";PWD=12345")}) {
        CDaoDatabase db;
        try {
            db.Open(path, false, true, connect);
            ADD_FAILURE() << "opened with '" << connect << "'";
        } catch (const CDaoException& e) {
            EXPECT_EQ(e.Kind(), SourceFailureKind::WrongPassword) << connect;
            EXPECT_EQ(e.GetErrorMessage(), "Not a valid password for the database '" + path + "'.");
        }
    }
    CDaoDatabase db;
    db.Open(path, false, true, ";PWD=1234");
    EXPECT_TRUE(db.IsOpen());
}

// A plain .accdb opens with the program's password, which it does not have, as with none;
// named .mdb too.
TEST(SourceOpen, APlainAccdbFileOpensWhateverItsName) {
    const auto folder = Shared("real-accdb");
    if (!folder) {
        GTEST_SKIP() << testpaths::MissingSharedFixture("real-accdb");
    }
    ScratchDir dir;
    std::ifstream in(*folder + "/jackcess__V2010_testV2010.accdb", std::ios::binary);
    const std::string content((std::istreambuf_iterator<char>(in)), {});
    for (const std::string name : {"plain.accdb", "plain.mdb"}) {
        CDaoDatabase db;
        EXPECT_NO_THROW(db.Open(dir.File(name, content), false, true, kPassword)) << name;
        EXPECT_TRUE(db.IsOpen()) << name;
    }
}

TEST(SourceOpenFailure, RefusesToOpenForWritingOrExclusively) {
    CDaoDatabase db;
    const std::string path = Data("sample.mdb");
    const std::string expected = "The database '" + path +
                                 "' can only be opened read-only and shared: the source is never "
                                 "written.";
    EXPECT_EQ(DaoError([&] { db.Open(path, true, true, kPassword); }), expected);
    EXPECT_EQ(DaoError([&] { db.Open(path, false, false, kPassword); }), expected);
}

TEST(SourceMissingTable, FailsAtRecordsetOpenNamingTableAndFile) {
    CDaoDatabase db;
    db.Open(Data("missing-table.mdb"), false, true, kPassword);
    CDaoRecordset rs(db);
    EXPECT_EQ(
        DaoError([&] { rs.Open(dbOpenDynaset, "select * from Mst03", dbReadOnly); }),
        "The table 'Mst03' does not exist in the database '" + Data("missing-table.mdb") + "'.");
    EXPECT_FALSE(rs.IsOpen());
    EXPECT_EQ(ReadRows(db, "Mst04", {"Col02"}).size(), 50u);
}

TEST(SourceMissingColumn, FailsAtTheFirstGetFieldValueNotAtOpen) {
    CDaoDatabase db;
    db.Open(Data("missing-column.mdb"), false, true, kPassword);
    CDaoRecordset rs(db);
    rs.Open(dbOpenDynaset, "select * from Mst02", dbReadOnly);
    ASSERT_FALSE(rs.IsEOF());
    EXPECT_EQ(rs.GetFieldValue("Col03").GetText(), "it's");
    EXPECT_EQ(DaoError([&] { rs.GetFieldValue("Col04"); }), "The table 'Mst02' in the database '" +
                                                                Data("missing-column.mdb") +
                                                                "' has no column 'Col04'.");
    EXPECT_EQ(rs.GetFieldValue("JogaiFlag").GetType(), FieldType::Integer);
}

// The run looks every column up before its first row: the same failure, on the table's
// definition, whether or not the table has a row.
TEST(SourceMissingColumn, CheckColumnThrowsWhatGetFieldValueThrows) {
    CDaoDatabase db;
    db.Open(Data("missing-column.mdb"), false, true, kPassword);
    CDaoRecordset rs(db);
    rs.Open(dbOpenDynaset, "select * from Mst02", dbReadOnly);
    EXPECT_NO_THROW(rs.CheckColumn("Col03"));
    EXPECT_NO_THROW(rs.CheckColumn("jogaiflag"));
    EXPECT_EQ(DaoError([&] { rs.CheckColumn("Col04"); }), "The table 'Mst02' in the database '" +
                                                              Data("missing-column.mdb") +
                                                              "' has no column 'Col04'.");
    while (!rs.IsEOF()) {
        rs.MoveNext();
    }
    EXPECT_EQ(DaoError([&] { rs.CheckColumn("Col04"); }), DaoError([&] {
                  CDaoRecordset again(db);
                  again.Open(dbOpenDynaset, "select * from Mst02", dbReadOnly);
                  again.GetFieldValue("Col04");
              }));
}

TEST(SourceMissingColumn, GoesUnnoticedInAnEmptyTable) {
    CDaoDatabase db;
    db.Open(Data("empty.mdb"), false, true, kPassword);
    CDaoRecordset rs(db);
    rs.Open(dbOpenDynaset, "select * from Mst01", dbReadOnly);
    EXPECT_TRUE(rs.IsEOF());
}

TEST(SourceRecordset, EveryTableOfAnEmptyFileIsAtItsEndAtOnce) {
    CDaoDatabase db;
    db.Open(Data("empty.mdb"), false, true, kPassword);
    for (const char* table : {"KEN_ALL", "KEN_ALL_Version", "Mst01", "Mst02", "Mst02Error", "Mst03",
                              "Mst04", "Mst04Error"}) {
        CDaoRecordset rs(db);
        rs.Open(dbOpenDynaset, std::string("select * from ") + table, dbReadOnly);
        EXPECT_TRUE(rs.IsEOF()) << table;
    }
}

TEST(SourceRecordset, FindsColumnsInAnyLetterCase) {
    CDaoDatabase db;
    db.Open(Data("sample.mdb"), false, true, kPassword);
    CDaoRecordset rs(db);
    rs.Open(dbOpenDynaset, "select * from Mst02", dbReadOnly);
    EXPECT_EQ(rs.GetFieldValue("col02"), rs.GetFieldValue("Col02"));
    EXPECT_EQ(rs.GetFieldValue("JOGAIFLAG"), rs.GetFieldValue("JogaiFlag"));
}

TEST(SourceRecordset, ColumnsAskedInAChangingOrderStillMatch) {
    CDaoDatabase db;
    db.Open(Data("sample.mdb"), false, true, kPassword);
    CDaoRecordset rs(db);
    rs.Open(dbOpenDynaset, "select * from Mst02", dbReadOnly);
    EXPECT_EQ(rs.GetFieldValue("Col02").GetText(), "B01");
    EXPECT_EQ(rs.GetFieldValue("Col03").GetText(), "it's");
    rs.MoveNext();
    EXPECT_EQ(rs.GetFieldValue("Col03").GetText(), rs.GetFieldValue("Col03").GetText());
    EXPECT_EQ(rs.GetFieldValue("Col02").GetText(), "B02");
}

// Reads two tables through two recordsets open at once, a row of one, then a row of the
// other; each must give what it gives when read alone.
void ExpectInterleavedReadsMatch(const std::string& file, const std::string& tableA,
                                 const std::vector<std::string>& columnsA,
                                 const std::string& tableB,
                                 const std::vector<std::string>& columnsB) {
    CDaoDatabase db;
    db.Open(Data(file), false, true, kPassword);
    const auto aloneA = ReadRows(db, tableA, columnsA);
    const auto aloneB = ReadRows(db, tableB, columnsB);
    std::vector<std::vector<CFieldValue>> gotA;
    std::vector<std::vector<CFieldValue>> gotB;
    CDaoRecordset a(db);
    CDaoRecordset b(db);
    a.Open(dbOpenDynaset, "select * from " + tableA, dbReadOnly);
    b.Open(dbOpenDynaset, "select * from " + tableB, dbReadOnly);
    const auto readRow = [](CDaoRecordset& rs, const std::vector<std::string>& columns) {
        std::vector<CFieldValue> row;
        for (const auto& column : columns) {
            row.push_back(rs.GetFieldValue(column));
        }
        rs.MoveNext();
        return row;
    };
    while (!a.IsEOF() || !b.IsEOF()) {
        if (!a.IsEOF()) {
            gotA.push_back(readRow(a, columnsA));
        }
        if (!b.IsEOF()) {
            gotB.push_back(readRow(b, columnsB));
        }
    }
    EXPECT_EQ(gotA, aloneA) << tableA;
    EXPECT_EQ(gotB, aloneB) << tableB;
}

TEST(SourceRecordset, TwoOpenRecordsetsEachReadTheirOwnRows) {
    ExpectInterleavedReadsMatch("sample.mdb", "Mst01", {"Col02", "Col03", "Col10", "JogaiFlag"},
                                "KEN_ALL", {"ZipCode7", "City2Kanji", "Flag13"});
}

TEST(SourceRecordset, TwoOpenRecordsetsEachReadTheirOwnMemos) {
    ExpectInterleavedReadsMatch("types.mdb", "Mst01", {"Col02", "Col10"}, "Mst03",
                                {"Col03", "Col10"});
}

struct QueryCase {
    const char* name;
    const char* sql;
    bool accepted;
};

void PrintTo(const QueryCase& c, std::ostream* os) {
    *os << c.name;
}

class SourceQueryShape : public ::testing::TestWithParam<QueryCase> {};

TEST_P(SourceQueryShape, OnlySelectStarFromOneTableIsRun) {
    CDaoDatabase db;
    db.Open(Data("sample.mdb"), false, true, kPassword);
    CDaoRecordset rs(db);
    if (GetParam().accepted) {
        rs.Open(dbOpenDynaset, GetParam().sql, dbReadOnly);
        EXPECT_EQ(rs.GetFieldValue("Col02").GetText(), "B01");
    } else {
        EXPECT_EQ(DaoError([&] { rs.Open(dbOpenDynaset, GetParam().sql, dbReadOnly); }),
                  std::string("Only queries of the form \"select * from <table>\" can be run; "
                              "asked for \"") +
                      GetParam().sql + "\".");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Queries, SourceQueryShape,
    ::testing::Values(QueryCase{"Plain", "select * from Mst02", true},
                      QueryCase{"UpperCase", "SELECT * FROM Mst02", true},
                      QueryCase{"ExtraBlanksAndSemicolon", "  select  *\tfrom  Mst02 ;", true},
                      QueryCase{"Bracketed", "select * from [Mst02]", true},
                      QueryCase{"TableInAnyCase", "select * from mst02", true},
                      QueryCase{"ColumnList", "select Col02 from Mst02", false},
                      QueryCase{"WhereClause", "select * from Mst02 where JogaiFlag = 1", false},
                      QueryCase{"TwoTables", "select * from Mst02, Mst04", false},
                      QueryCase{"Delete", "delete from Mst02", false},
                      QueryCase{"NoTable", "select * from", false}, QueryCase{"Empty", "", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SourceRecordset, OnlyAReadOnlyDynasetOpens) {
    CDaoDatabase db;
    db.Open(Data("sample.mdb"), false, true, kPassword);
    CDaoRecordset rs(db);
    EXPECT_EQ(DaoError([&] { rs.Open(1, "select * from Mst02", dbReadOnly); }),
              "Only read-only dynasets can be opened (open type 2, option 4); asked for open "
              "type 1, options 4.");
    EXPECT_EQ(DaoError([&] { rs.Open(dbOpenDynaset, "select * from Mst02", 0); }),
              "Only read-only dynasets can be opened (open type 2, option 4); asked for open "
              "type 2, options 0.");
}

TEST(SourceRecordset, PastTheLastRowThereIsNoCurrentRecord) {
    CDaoDatabase db;
    db.Open(Data("sample.mdb"), false, true, kPassword);
    CDaoRecordset rs(db);
    rs.Open(dbOpenDynaset, "select * from KEN_ALL_Version", dbReadOnly);
    ASSERT_FALSE(rs.IsEOF());
    rs.MoveNext();
    EXPECT_TRUE(rs.IsEOF());
    EXPECT_EQ(rs.GetRecordCount(), 1);
    const std::string expected =
        "No current record in the table 'KEN_ALL_Version' of the "
        "database '" +
        Data("sample.mdb") + "'.";
    EXPECT_EQ(DaoError([&] { rs.GetFieldValue("Version"); }), expected);
    EXPECT_EQ(DaoError([&] { rs.MoveNext(); }), expected);
}

TEST(SourceLifeCycle, OpeningAnOpenDatabaseKeepsWhatIsOpen) {
    CDaoDatabase db;
    db.Open(Data("sample.mdb"), false, true, kPassword);
    db.Open(Data("no-such-file.mdb"), false, true, kPassword);
    EXPECT_EQ(db.GetName(), Data("sample.mdb"));
    EXPECT_EQ(ReadRows(db, "Mst02", {}).size(), 50u);
}

TEST(SourceLifeCycle, ClosingTheDatabaseClosesItsRecordsets) {
    CDaoDatabase db;
    db.Open(Data("sample.mdb"), false, true, kPassword);
    CDaoRecordset first(db);
    CDaoRecordset second(db);
    first.Open(dbOpenDynaset, "select * from Mst01", dbReadOnly);
    second.Open(dbOpenDynaset, "select * from Mst02", dbReadOnly);
    db.Close();
    EXPECT_FALSE(first.IsOpen());
    EXPECT_FALSE(second.IsOpen());
    EXPECT_FALSE(db.IsOpen());
    EXPECT_EQ(DaoError([&] { first.IsEOF(); }), "The recordset is not open.");
}

TEST(SourceLifeCycle, AClosedDatabaseAndRecordsetOpenAgain) {
    CDaoDatabase db;
    db.Open(Data("sample.mdb"), false, true, kPassword);
    CDaoRecordset rs(db);
    rs.Open(dbOpenDynaset, "select * from Mst02", dbReadOnly);
    rs.Open(dbOpenDynaset, "select * from Mst04", dbReadOnly);  // already open: no effect
    EXPECT_EQ(rs.GetFieldValue("Col02").GetText(), "B01");
    rs.Close();
    rs.Open(dbOpenDynaset, "select * from Mst04", dbReadOnly);
    EXPECT_EQ(rs.GetFieldValue("Col02").GetText(), "S01");
    db.Close();
    db.Open(Data("nopassword.mdb"), false, true, "");
    EXPECT_EQ(db.GetName(), Data("nopassword.mdb"));
    EXPECT_EQ(ReadRows(db, "Mst02", {}).size(), 50u);
}

TEST(SourceLifeCycle, ARecordsetNeedsAnOpenDatabase) {
    CDaoDatabase db;
    CDaoRecordset rs(db);
    EXPECT_EQ(DaoError([&] { rs.Open(dbOpenDynaset, "select * from Mst02", dbReadOnly); }),
              "The database is not open, so the table 'Mst02' cannot be read.");
}

TEST(SourceLifeCycle, ARecordsetMayOutliveItsDatabase) {
    auto db = std::make_unique<CDaoDatabase>();
    db->Open(Data("sample.mdb"), false, true, kPassword);
    CDaoRecordset rs(*db);
    rs.Open(dbOpenDynaset, "select * from Mst02", dbReadOnly);
    db.reset();
    EXPECT_FALSE(rs.IsOpen());
}

}  // namespace
