#include "app/ProgressLine.h"

#include "dbaccess/Translate.h"
#include "migration/CountText.h"

namespace {

// Columns as a terminal counts them: one for each character, two for the wide ones of a
// translation (kana, kanji and full-width forms, U+3000 to U+9FFF and U+FF00 to U+FF60);
// table names are ASCII.
size_t Width(const std::string& text) {
    size_t width = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte & 0xC0) == 0x80) {
            continue;
        }
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        const bool wide =
            (byte >= 0xE3 && byte <= 0xE9) ||
            (byte == 0xEF && (next == 0xBC || (next == 0xBD && i + 2 < text.size() &&
                                               static_cast<unsigned char>(text[i + 2]) <= 0xA0)));
        width += wide ? 2 : 1;
    }
    return width;
}

}  // namespace

std::string FormatDuration(long seconds) {
    const long hours = seconds / 3600;
    const long minutes = seconds / 60 % 60;
    char text[32];
    if (hours > 0) {
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", hours, minutes, seconds % 60);
    } else {
        std::snprintf(text, sizeof text, "%ld:%02ld", minutes, seconds % 60);
    }
    return text;
}

CProgressLine::CProgressLine(std::FILE* out)
    : m_out(out),
      m_tableFormat(Tr("%1  %2 / %3 rows")),
      m_verifyFormat(Tr("verifying  %1 / %2 rows")),
      m_rateFormat(Tr("  %1 rows/s  %2 left")) {}

void CProgressLine::StartRun(size_t runTotal) {
    m_nRunTotal = runTotal;
    m_started = std::chrono::steady_clock::now();
}

std::string CProgressLine::RateAndTimeLeft(size_t done, size_t total) const {
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
    if (elapsed < 0.5 || done == 0) {
        return {};
    }
    const double rate = static_cast<double>(done) / elapsed;
    const size_t left = total > done ? total - done : 0;
    return FormatMessage(
        m_rateFormat, {GroupThousands(static_cast<size_t>(rate)),
                       FormatDuration(static_cast<long>(static_cast<double>(left) / rate + 0.5))});
}

void CProgressLine::Show(const CTableProgress& table, size_t rowsDone) {
    Draw(FormatMessage(m_tableFormat,
                       {table.table, GroupThousands(table.inserted), GroupThousands(table.total)}) +
         RateAndTimeLeft(rowsDone, m_nRunTotal));
}

void CProgressLine::StartVerify(size_t total) {
    // The rate of the read-back is its own: the copy's would make the time left wrong.
    StartRun(total);
    ShowVerify(0, total);
}

void CProgressLine::ShowVerify(size_t done, size_t total) {
    // A second reading of a table that differs raises the total.
    m_nRunTotal = total;
    Draw(FormatMessage(m_verifyFormat, {GroupThousands(done), GroupThousands(total)}) +
         RateAndTimeLeft(done, total));
}

void CProgressLine::Clear() {
    if (m_nWidth > 0) {
        Draw("");
        std::fputc('\r', m_out);
        std::fflush(m_out);
    }
}

void CProgressLine::Draw(const std::string& text) {
    const size_t width = Width(text);
    // Blanks over what the longer line before showed.
    const std::string padding(m_nWidth > width ? m_nWidth - width : 0, ' ');
    std::fprintf(m_out, "\r%s%s", text.c_str(), padding.c_str());
    std::fflush(m_out);
    m_nWidth = width;
}
