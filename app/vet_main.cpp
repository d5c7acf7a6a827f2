// brimlow-vet: reads an .mdb file whole in a process of its own, so that a file which makes
// libmdb loop or crash costs this process, not the program that asked.
//
// Usage: brimlow-vet [--] <file.mdb>
// Standard output carries the report, one line each: "table<TAB>name<TAB>rows", then "ok";
// or "error<TAB>message" and exit status 1. Anything libmdb prints goes to standard error.
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "dbaccess/Exceptions.h"
#include "dbaccess/MdbQuiet.h"
#include "dbaccess/MdbVetting.h"

namespace {

// Table names come from the file: keep the report's tab-and-line format intact.
std::string Clean(const std::string& text) {
    return OneLine(text, 1000);
}

}  // namespace

int main(int argc, char** argv) {
    int first = 1;
    if (argc > 1 && std::strcmp(argv[1], "--") == 0) {
        first = 2;
    }
    if (argc != first + 1) {
        std::fprintf(stderr, "usage: brimlow-vet [--] <file.mdb>\n");
        return 2;
    }
    // No core files from a crash on a hostile file, and no orphan left looping when the
    // program that started us is gone.
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    prctl(PR_SET_PDEATHSIG, SIGKILL);

    // libmdb's hex dumps go to standard output: send them to standard error with its other
    // complaints, and keep the report on a descriptor of its own.
    std::FILE* report = fdopen(dup(STDOUT_FILENO), "w");
    dup2(STDERR_FILENO, STDOUT_FILENO);
    if (!report) {
        return 2;
    }
    try {
        for (const VetTableCount& count : ReadEveryTable(argv[first])) {
            std::fprintf(report, "table\t%s\t%zu\n", Clean(count.table).c_str(), count.rows);
        }
        std::fprintf(report, "ok\n");
        std::fclose(report);
        return 0;
    } catch (const CException& e) {
        std::fprintf(report, "error\t%s\n", Clean(e.GetErrorMessage()).c_str());
    } catch (const std::exception& e) {
        std::fprintf(report, "error\tThe database '%s' cannot be read: %s\n",
                     Clean(argv[first]).c_str(), Clean(e.what()).c_str());
    }
    std::fclose(report);
    return 1;
}
