#pragma once

#include <exception>
#include <string>

// The message boxes that report errors. Each has an OK button, an icon, and the program's
// title as its caption: the executable's file name without extension, so renaming the
// program renames every box. GTK's native message box shows no icon, so these are wx's
// generic one.

// What the guard around event handlers does with an exception that escaped a handler.
enum class HandlerErrorAction {
    Show,      // show text with icon; the dialog carries on
    Ignore,    // a user abort: report nothing
    Escalate,  // not of our family: the last resort's business
};

struct CHandlerErrorReport {
    HandlerErrorAction action = HandlerErrorAction::Escalate;
    std::string text;  // UTF-8
    long icon = 0;     // wxICON_STOP or wxICON_EXCLAMATION
};

// Decides the report for an exception that escaped a handler: our family shows its own
// text, or "Internal application error." when it has none, with the stop icon; running out
// of memory (CMemoryException or std::bad_alloc) the exclamation icon; CUserException
// nothing. Anything else, and a null error, escalate.
CHandlerErrorReport DescribeHandlerError(const std::exception_ptr& error);

// Shows text (UTF-8) in a modal message box with the given icon and waits for OK.
void ShowErrorBox(const std::string& text, long icon);

// The guard's work for an exception that escaped a handler: reports it as
// DescribeHandlerError says. Returns false, showing nothing, when the exception escalates.
bool ReportHandlerError(const std::exception_ptr& error);
