#include <cstdio>
#include <cstring>

#include <wx/app.h>

#include "app/BrimlowApp.h"

wxIMPLEMENT_APP_NO_MAIN(CBrimlowApp);

// --version is answered before GTK starts, so that it works without a display.
int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("brimlow %s\n", BRIMLOW_VERSION);
        return 0;
    }
    return wxEntry(argc, argv);
}
