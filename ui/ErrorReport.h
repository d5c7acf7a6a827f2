#pragma once

#include <exception>
#include <functional>
#include <string>

#include <wx/string.h>

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
    // The technical detail below the text (the box's extended message), UTF-8; empty: none.
    std::string detail;
};

// Decides the report for an exception that escaped a handler: our family shows its own
// text, or "Internal application error." when it has none, with the stop icon (a Japanese
// text whose first line ends with "。" shows that line, and the lines after it as the detail);
// running out of memory (CMemoryException or std::bad_alloc) the exclamation icon; CUserException
// nothing. A copy that differs from its source (CCopyDiffers) says in Japanese what happened
// and what to do, with the error's own text (the tables, rows and values, and the file that
// lists them) as the detail; so does a run the target's server ended (CServerTroubleError),
// with the driver's text as the detail. Anything else, and a null error, escalate.
CHandlerErrorReport DescribeHandlerError(const std::exception_ptr& error);

// Shows text (UTF-8) in a modal message box with the given icon, and detail (UTF-8) below it
// as the box's extended message when it is not empty, and waits for OK. Long lines wrap at
// about 600 pixels, so the box stays narrower than the screen; Ctrl+C in the box copies the
// whole text, the detail included.
void ShowErrorBox(const std::string& text, long icon, const std::string& detail = {});

// text with line breaks put in, so that no line is wider than maxWidth as width measures it:
// after a blank (which goes), after "/", between Japanese characters (not before closing
// punctuation), and inside a run that has no such place only where it must. Breaks already
// in text stay; trailing blanks of a line go.
wxString WrapMessageText(const wxString& text, int maxWidth,
                         const std::function<int(const wxString&)>& width);

// The guard's work for an exception that escaped a handler: reports it as
// DescribeHandlerError says. Returns false, showing nothing, when the exception escalates.
bool ReportHandlerError(const std::exception_ptr& error);
