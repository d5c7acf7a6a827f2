#pragma once

#include <exception>
#include <string>

// The last resort: what no guard handled ends the process here, after one message box.

// The text of the last-resort box for error: the text of an exception of our family, as
// it is (possibly empty); for anything else, and for a null error (a crash, or
// std::terminate without an exception in flight), "予期せぬ例外が発生しました。".
std::string LastResortText(const std::exception_ptr& error);

// Makes std::terminate end in the last resort, and asks wx to catch fatal signals (SIGSEGV
// and the like), which it passes to wxApp::OnFatalException. Needs the wx application object.
void InstallLastResort();

// Shows the last-resort box for error with the stop icon, then ends the process at once with
// EXIT_FAILURE: no destructors, atexit handlers or system crash report follow. Only the first
// call reports; a later one (say, a crash while the box is up) just ends the process. Without
// a wx application object the text goes to stderr instead of a box.
[[noreturn]] void RunLastResort(const std::exception_ptr& error);
