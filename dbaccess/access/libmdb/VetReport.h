#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dbaccess/SourceFailureKind.h"
#include "dbaccess/SourceMessage.h"
#include "dbaccess/access/libmdb/MdbVetting.h"

// The report brimlow-vet writes on its standard output for the program that started it: one
// line each, its fields separated by tabs.
//
//   memory-limit<TAB>bytes      first: the address space the check may use (0: no cap)
//   progress<TAB>n              while it reads; n grows with every new page and row
//   table<TAB>name<TAB>rows     for each user table, once the whole file was read
//   ok                          last, once the whole file was read
//   error<TAB>failure:name<TAB>piece<TAB>...
//                               instead of the tables and ok: the kind of failure (its
//                               enumerator's name in lower case, words joined by "-":
//                               "failure:missing-table"), then the error message, piece by
//                               piece, each "kind:text" (kind: text, file, table, column, row,
//                               detail, reason)
//
// Within a field a backslash, tab, line feed and carriage return are written \\, \t, \n and
// \r, so that a path or name holding them comes back exactly.

std::string VetMemoryLimitLine(uint64_t bytes);
std::string VetProgressLine(uint64_t figure);
std::string VetTableLine(const VetTableCount& count);
std::string VetOkLine();
std::string VetErrorLine(SourceFailureKind kind, const CDaoMessage& message);

// The message for a check that needed more memory than the limit (in bytes) allowed.
CDaoMessage VetMemoryLimitMessage(const std::string& path, uint64_t limit);

// The parent's side: reads the report as it arrives, each whole line at once.
class VetReportReader {
public:
    // Takes the next bytes of the report. Returns true when a progress line among them went
    // beyond every figure before it.
    bool Add(std::string_view bytes);
    // Reads the last line when the report ended without a line break.
    void Finish();

    uint64_t MemoryLimit() const noexcept { return m_memoryLimit; }
    const std::vector<VetTableCount>& Tables() const noexcept { return m_tables; }
    // Whether the report ended in "ok".
    bool Complete() const noexcept { return m_complete; }
    // The message of the last error line, if there was one.
    const std::optional<CDaoMessage>& Error() const noexcept { return m_error; }
    // The kind of failure that line named; CannotRead when it named none that is known.
    SourceFailureKind ErrorKind() const noexcept { return m_errorKind; }

private:
    bool Read(std::string_view line);

    std::string m_pending;
    // The bytes of the lines other than progress read so far: beyond a limit the rest is
    // ignored.
    size_t m_kept = 0;
    uint64_t m_bestProgress = 0;
    uint64_t m_memoryLimit = 0;
    std::vector<VetTableCount> m_tables;
    bool m_complete = false;
    std::optional<CDaoMessage> m_error;
    SourceFailureKind m_errorKind = SourceFailureKind::CannotRead;
};
