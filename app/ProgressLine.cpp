#include "app/ProgressLine.h"

#include "migration/CountText.h"

namespace {

// Characters as a terminal counts them (every UTF-8 lead byte); table names are ASCII.
size_t Width(const std::string& text) {
    size_t width = 0;
    for (const char c : text) {
        width += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
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
    return "  " + GroupThousands(static_cast<size_t>(rate)) + " rows/s  " +
           FormatDuration(static_cast<long>(static_cast<double>(left) / rate + 0.5)) + " left";
}

void CProgressLine::Show(const CTableProgress& table, size_t rowsDone) {
    Draw(table.table + "  " + GroupThousands(table.inserted) + " / " + GroupThousands(table.total) +
         " rows" + RateAndTimeLeft(rowsDone, m_nRunTotal));
}

void CProgressLine::StartVerify(size_t total) {
    // The rate of the read-back is its own: the copy's would make the time left wrong.
    StartRun(total);
    ShowVerify(0, total);
}

void CProgressLine::ShowVerify(size_t done, size_t total) {
    // A second reading of a table that differs raises the total.
    m_nRunTotal = total;
    Draw("verifying  " + GroupThousands(done) + " / " + GroupThousands(total) + " rows" +
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
