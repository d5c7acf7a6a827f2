#pragma once

#include <string>

// Why a replacing run keeps the multi-row inserts over ODBC instead of its target's bulk path:
// PostgreSQL's COPY through libpq, or a SQLite file's bound inserts through the SQLite library.
struct CBulkUnusable {
    enum class Reason {
        Attribute,     // the connection string holds an attribute libpq has no equivalent for
        PqOpt,         // its pqopt is not a libpq option list
        Connect,       // libpq could not connect
        ConnSettings,  // the driver's ConnSettings failed in libpq's session
        Compare,       // libpq's session could not be asked who and where it is
        Differs,       // the two sessions answered differently
        FileSetting,   // the SQLite driver is asked for a setting the library cannot mirror
        File,          // the SQLite target is not a regular file the library can open
    };
    Reason reason = Reason::Connect;
    std::string why;        // a clause in the user's language, with the server's or library's text
    std::string attribute;  // Attribute, PqOpt, FileSetting: the attribute as the string spells it
    std::string path = "copy";  // the path not taken: "copy" or "bound", as the summary says it
};
