#pragma once

#include <string>

// Where --summary writes, made safe for whatever the path names: the summary never removes,
// truncates or replaces a file the run reads or writes, nor anything but a regular file.

// Why path cannot take the summary, as a usage error's text ("brimlow-migrate: …"): it is the
// source file or the target's file (the same file: device and inode, whatever the spelling;
// targetFile empty when the target is no file), or a folder. Empty when it can.
std::string SummaryPathProblem(const std::string& path, const std::string& source,
                               const std::string& targetFile);

// True when path exists and is not a regular file (a FIFO, a device such as /dev/stdout): the
// summary is then written into it, once, at the end, and never replaces it.
bool SummaryIsStream(const std::string& path);

// Writes text as the summary at path: into a stream in place, opened without waiting (a FIFO
// that nobody reads is reported, not waited on); anything else through a temporary file
// beside it and a rename. Throws CException naming the path when it cannot.
void WriteSummary(const std::string& path, const std::string& text);
