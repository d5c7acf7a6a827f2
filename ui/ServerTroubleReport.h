#pragma once

#include <optional>
#include <string>

#include "dbaccess/Exceptions.h"
#include "migration/RunOutcome.h"

// The message box of a run that the target's server ended (a lost connection, a session the
// server ended, a server that stopped answering): our own words first, what happened, what the
// target holds and what to do, in Japanese in every locale as the log lines are; the error's
// own text (the driver's) is the box's detail.
struct CServerTroubleReport {
    std::string text;    // UTF-8
    std::string detail;  // UTF-8; the error's own text
};

// The report for outcome, or none when the run did not end in such trouble.
std::optional<CServerTroubleReport> DescribeServerTrouble(const CRunOutcome& outcome);

// The error a dialog's run ends with in place of its own when the report above applies: the
// message box shows its text with the detail below it.
class CServerTroubleError : public CException {
public:
    explicit CServerTroubleError(CServerTroubleReport report)
        : CException(report.text), m_detail(std::move(report.detail)) {}
    const std::string& Detail() const noexcept { return m_detail; }

private:
    std::string m_detail;
};
