#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dbaccess/MdbVetting.h"

// Before the program lets libmdb near a file, brimlow-vet reads the file whole in a process
// of its own: libmdb can loop forever or crash on corrupt data, and a call inside this process
// could not be interrupted. Only a file the helper read cleanly is opened here.

// The time a file of the given size may take to be read whole: 10 seconds, plus one second
// for every 20 MB (a healthy 20 MB file takes about a quarter of a second).
std::chrono::milliseconds DefaultVetTimeLimit(uintmax_t fileSize);

// The helper's path: $BRIMLOW_VET when set, else brimlow-vet beside the running program,
// else the installed one (libexec/brimlow beside bin/), else the one in the build tree. Throws
// CDaoException when none is there.
std::string FindVetProgram();

// Called about every 30 ms while the check runs, so that a window can repaint. It may throw
// (a stop the user asked for): the helper is then killed and the exception passes on.
using VetWaitCallback = std::function<void()>;

// Runs the helper on path and returns the rows it found per table. Throws CDaoException
// naming the file, saying it is damaged, when the helper reports an error, crashes, runs
// past timeLimit (it is then killed), or libmdb complained while it read; CDaoException when
// the helper cannot be found or started.
std::vector<VetTableCount> VetSourceFile(const std::string& path,
                                         std::chrono::milliseconds timeLimit,
                                         const VetWaitCallback& whileWaiting = {});
