#pragma once

#include <string>

// Which database the built-in connection string reaches.
//
// When unixODBC knows a data source named Pomvale01 (the user's ~/.odbc.ini, ODBCINI, the
// system's odbc.ini), the program connects with DSN=Pomvale01: an administrator points it at
// a real server there. Otherwise, when a driver list that unixODBC reads (ODBCSYSINI's or /etc's
// odbcinst.ini, the user's
// ~/.odbcinst.ini, ODBCINSTINI) registers the driver name SQL Server, the built-in string is
// used as it stands: an administrator may have registered FreeTDS for a real SQL Server, and
// with a SQLite driver it means the file Pomvale01 in the working directory. Otherwise the
// program uses its own driver list, and Database=Pomvale01 becomes the per-user SQLite file
// $XDG_DATA_HOME/brimlow/Pomvale01 (~/.local/share/brimlow/Pomvale01 by default).

// What the resolution depends on, gathered from unixODBC and the environment.
struct CTargetFacts {
    bool bDataSourceDefined = false;  // a data source named kTargetDataSource exists
    // That data source as a user recognises it: "DSN Pomvale01 (driver …, server …, database
    // …)" from its own entries, never a password.
    std::string dataSourceDescription;
    bool bSystemRegistersSqlServer = false;
    std::string xdgDataHome;    // $XDG_DATA_HOME; ignored unless an absolute path
    std::string home;           // $HOME, or the user database's home folder
    std::string shippedDriver;  // the Driver= of our own list; read only when needed
};

// The data source that, when defined, stands for the built-in string (the database it names).
inline constexpr const char kTargetDataSource[] = "Pomvale01";

struct CResolvedTarget {
    std::string connection;    // what to connect with
    std::string embeddedFile;  // the per-user SQLite file; empty when the system's name is used
    // The target as a user recognises it, for the tooltip and the summary: the data source
    // with its driver, server and database, the per-user file's path, or the driver, server
    // and database of the connection string. Never a password.
    std::string description;
};

// How long our own SQLite driver waits for a lock held by another program, in total. The
// driver waits twice its Timeout= attribute before it gives up (measured: 5000 ms gave
// 10.1 s, 7000 ms 14.1 s), so the attribute carries half of it.
inline constexpr unsigned kEmbeddedLockWaitSeconds = 15;

// The per-user target file for these facts. Throws CDBException when neither
// XDG_DATA_HOME nor HOME gives an absolute folder.
std::string EmbeddedTargetPath(const CTargetFacts& facts);

// Resolves the built-in string for these facts; touches nothing. For our own driver the
// string names the driver's library, the per-user file and the lock timeout (the driver
// ignores Server= and Trusted_Connection=, so they are left out). Throws
// CDBException for a file path the connection string cannot carry (';', '{' or '}').
CResolvedTarget ResolveBuiltInTarget(const CTargetFacts& facts);

// Gathers the facts: asks unixODBC whether the data source exists, then whether the driver
// name SQL Server is registered, and reads our driver list only when neither is the case.
CTargetFacts GatherTargetFacts();

// What connect reaches now: the built-in string resolved as above from the facts gathered
// now, any other string as it stands (described by DescribeTarget). Creates nothing. Throws
// CDBException as ResolveBuiltInTarget does, and with ConnectionStringProblem's text for a
// string that gives a key twice.
CResolvedTarget ResolveTarget(const std::string& connect);

// The SQLite file that target is, when it is one: the per-user file, or the Database= of a
// connection through the SQLite ODBC driver (named by the string itself, by its data source
// or by the driver list entry its driver name points to). Empty otherwise. Creates nothing.
std::string TargetFile(const CResolvedTarget& target);

// The description of ResolveTarget(connect); a failure to resolve is described instead of
// thrown.
std::string DescribeTargetInUse(const std::string& connect);

// The target the built-in string stands for now, as the start button's tooltip shows it:
// "移行先: " and DescribeTargetInUse of the built-in string in Japanese words
// (JapaneseTargetName).
std::string DescribeBuiltInTarget();
