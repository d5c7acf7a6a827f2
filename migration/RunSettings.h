#pragma once

// The fixed connection data of a migration run. Only the source path is chosen by the user.

// The source file's database password, as a connect string.
inline constexpr const char kSourceConnect[] = ";PWD=wuzo";

// The built-in target. The driver name resolves through the odbcinst.ini in use; the
// project's own maps SQL Server to the SQLite ODBC driver, so Database=Pomvale01 is the
// SQLite file Pomvale01 in the working directory.
inline constexpr const char kTargetConnection[] =
    "Driver={SQL Server};Server=.\\SQLEXPRESS;Database=Pomvale01;Trusted_Connection=Yes";

// Appended to the log after the last table.
inline constexpr const char kCompletionLine[] = "移行が完了しました。";
