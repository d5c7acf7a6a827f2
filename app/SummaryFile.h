#pragma once

#include <string>

// Where --summary writes, made safe for whatever the path names: the summary never removes,
// truncates or replaces a file the run reads or writes, nor anything but a regular file.

// Why path cannot take the summary, as a usage error's text ("brimlow-migrate: …"): it is a
// folder, or a file the run reads or writes: the source file, the target's SQLite file
// (targetFile; empty when the target is no file) or the file the connection string was read
// from (connectionFile; empty, or "-" for standard input, when none). The same file is found
// whatever the spelling ("./x", "a/../x"), through links at either end, and before a file
// exists: by device and inode when both exist, else by the place the path leads to. Empty
// when it can.
std::string SummaryPathProblem(const std::string& path, const std::string& source,
                               const std::string& targetFile,
                               const std::string& connectionFile = {});

// True when path exists and is not a regular file (a FIFO, a device such as /dev/stdout): the
// summary is then written into it, once, at the end, and never replaces it.
bool SummaryIsStream(const std::string& path);

// Writes text as the summary at path: into a stream in place, opened without waiting (a FIFO
// that nobody reads is reported, not waited on); anything else through a temporary file
// beside it and a rename. Throws CException naming the path when it cannot.
void WriteSummary(const std::string& path, const std::string& text);
