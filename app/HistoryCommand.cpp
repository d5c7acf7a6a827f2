#include "app/HistoryCommand.h"

#include <cstdio>
#include <string>
#include <vector>

#include "dbaccess/Exceptions.h"
#include "dbaccess/Translate.h"
#include "migration/HistoryRecord.h"
#include "migration/RunHistory.h"

int PrintRunHistory(std::size_t count) {
    std::vector<std::string> lines;
    try {
        lines = ReadRunHistory(count);
    } catch (const CException& e) {
        std::fprintf(stderr, "brimlow-migrate: %s\n", e.GetErrorMessage().c_str());
        return 1;
    }
    if (lines.empty()) {
        std::fputs(Tr("No run is recorded yet.\n"), stdout);
    }
    for (const std::string& line : lines) {
        if (const std::optional<CHistoryRecord> record = ParseHistoryLine(line)) {
            std::printf("%s\n", DescribeHistoryRecord(*record).c_str());
        } else {
            std::fputs(Tr("(a line that cannot be read)\n"), stdout);
        }
    }
    return 0;
}
