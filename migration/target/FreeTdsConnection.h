#pragma once

#include <string>

// What FreeTDS's ODBC driver (tdsodbc) needs in the connection string that other drivers take
// from elsewhere:
// - called with DSN=name, it ignores the UID and PWD written in that data source's entry (it
//   then tries Kerberos and fails), so they are copied from the entry into the string;
// - it converts the program's narrow strings from the process locale's character set, so that
//   under LC_ALL=C (cron, systemd units) every Japanese text would arrive garbled, without an
//   error; the program's text is UTF-8 whatever the locale, so ClientCharset=UTF-8 is added.

// The connection string to connect with for connect. For FreeTDS (named by the string's
// Driver=, or by the Driver entry of its data source, as a library path or a registered driver
// name): UID and PWD from the data source's entry, unless the string has either of them; and
// ClientCharset=UTF-8, unless the string or the data source sets a client character set. Any
// other string is returned as it is. The result may hold a password: it goes to the driver
// only, never into a message, the tooltip or the summary.
std::string WithFreeTdsLogin(const std::string& connect);
