#pragma once

#include <string>

#include "migration/verify/Verification.h"

// The folder the program keeps its own records in: $XDG_STATE_HOME/brimlow, by default
// ~/.local/state/brimlow. Created mode 0700 when absent; refused (CException naming it) when
// it, or the brimlow folder in it, is a link or not a folder.
std::string RecordsFolder();

// Writes every difference of result, one line each as DescribeDifference gives it, to a new
// file "differences-<yyyymmdd-hhmmss>-<pid>.txt" of RecordsFolder (mode 0600, never through a
// link, never over another file) and returns its path. Throws CException naming what failed.
std::string WriteDifferencesFile(const CVerification& result);
