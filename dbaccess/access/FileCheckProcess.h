#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dbaccess/access/libmdb/MdbVetting.h"

// Before the program lets libmdb near a file, brimlow-vet reads the file whole in a process
// of its own: libmdb can loop forever or crash on corrupt data, and a call inside this process
// could not be interrupted. Only a file the helper read cleanly is opened here.

// How long the helper may go without progress (a page it had not read before, or a row read)
// before it is taken to hang. There is no limit on the total time: a healthy file on a slow
// share keeps making progress.
constexpr std::chrono::milliseconds kVetStallLimit = std::chrono::seconds(10);

// The helper's path: $BRIMLOW_VET when set, else brimlow-vet beside the running program,
// else the installed one (libexec/brimlow beside bin/), else the one in the build tree. Throws
// CDaoException when none is there.
std::string FindVetProgram();

// Called about every 30 ms while the check runs, so that a window can repaint. It may throw
// (a stop the user asked for): the helper is then killed and the exception passes on.
using VetWaitCallback = std::function<void()>;

// Runs the helper on the scope's file and tables and returns the rows it found per table.
// Given the scope's descriptor, the helper inherits it and reads that file, whatever its name
// points to by then. The helper reports its progress as it reads; when stallLimit passes
// without progress it is killed. Throws CDaoException naming the file, saying it is damaged,
// when the helper reports an error, crashes, runs out of the memory it is allowed, stops
// making progress, or libmdb complained while it read; CDaoException when the helper cannot
// be found or started.
std::vector<VetTableCount> VetSourceFile(const VetScope& scope,
                                         std::chrono::milliseconds stallLimit = kVetStallLimit,
                                         const VetWaitCallback& whileWaiting = {});
// The same for every table of the file that path names.
std::vector<VetTableCount> VetSourceFile(const std::string& path,
                                         std::chrono::milliseconds stallLimit = kVetStallLimit,
                                         const VetWaitCallback& whileWaiting = {});
