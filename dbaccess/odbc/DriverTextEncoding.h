#pragma once

// The statements' text is UTF-8 whatever the user's locale. psqlODBC, used through the narrow
// API, tells the server the session's client encoding from PGCLIENTENCODING, else from the
// locale in the environment: with LANG unset (a scheduled job: SQL_ASCII) or ja_JP.eucJP, the
// server would take the bytes for another character set, and refuse Japanese text or store
// something else. This sets PGCLIENTENCODING to UTF8, over any other value, since the bytes
// are UTF-8 whatever it says. First thing in main, before any thread starts.
void SayTheDriversTextIsUtf8();
