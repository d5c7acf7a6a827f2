#include "dbaccess/odbc/DriverTextEncoding.h"

#include <cstdlib>

void SayTheDriversTextIsUtf8() {
    setenv("PGCLIENTENCODING", "UTF8", 1);
}
