#pragma once

#include <string>

// Which database the built-in connection string reaches.
//
// When a driver list that unixODBC reads (ODBCSYSINI's or /etc's odbcinst.ini, the user's
// ~/.odbcinst.ini, ODBCINSTINI) registers the driver name "SQL Server", the built-in string is
// used as it stands: an administrator may have registered FreeTDS for a real SQL Server, and
// with a SQLite driver it means the file Pomvale01 in the working directory. Otherwise the
// program uses its own driver list, and Database=Pomvale01 becomes the per-user SQLite file
// $XDG_DATA_HOME/brimlow/Pomvale01 (~/.local/share/brimlow/Pomvale01 by default).

// What the resolution depends on, gathered from unixODBC and the environment.
struct CTargetFacts {
    bool bSystemRegistersSqlServer = false;
    std::string xdgDataHome;    // $XDG_DATA_HOME; ignored unless an absolute path
    std::string home;           // $HOME, or the user database's home folder
    std::string shippedDriver;  // the Driver= of our own list; read only when needed
};

struct CResolvedTarget {
    std::string connection;    // what to connect with
    std::string embeddedFile;  // the per-user SQLite file; empty when the system's name is used
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

// Gathers the facts: asks unixODBC whether "SQL Server" is registered, and reads our driver
// list only when it is not.
CTargetFacts GatherTargetFacts();

// The connection string to use for connect: the built-in string resolved as above, with the
// per-user file created when absent (EnsureEmbeddedTargetFile); any other string unchanged.
// Throws CDBException when the file cannot be created.
std::string ResolveTargetConnection(const std::string& connect);
