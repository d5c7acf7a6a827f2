#include <clocale>
#include <cstdio>
#include <cstring>

#include <wx/app.h>

#include "app/BrimlowApp.h"
#include "dbaccess/Translate.h"
#include "dbaccess/odbc/DriverTextEncoding.h"

wxIMPLEMENT_APP_NO_MAIN(CBrimlowApp);

namespace {

constexpr const char* kHelp = TrNoop(
    "usage: brimlow [--help | --version]\n"
    "\n"
    "Opens the dialog that copies the eight tables of an Access .mdb file into the\n"
    "target database, one committed insert statement per row. The command line has\n"
    "brimlow-migrate for the same run without a window. See brimlow(1).\n");

}  // namespace

// --help and --version are answered before GTK starts, so that they work without a display.
int main(int argc, char** argv) {
    SayTheDriversTextIsUtf8();
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("brimlow %s\n", BRIMLOW_VERSION);
        return 0;
    }
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::setlocale(LC_CTYPE, "");
        std::setlocale(LC_MESSAGES, "");
        BindMessageCatalogue();
        std::fputs(Tr(kHelp), stdout);
        return 0;
    }
    return wxEntry(argc, argv);
}
