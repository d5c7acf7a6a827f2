#pragma once

// This folder holds everything that calls libmdb or reads its structures, and the report
// format of the check built on them (VetReport), which brimlow-vet, linked to this folder
// alone, shares with the program. Its classes wrap libmdb and are named after it
// (MdbDatabase, MdbTableReader, ...) or after the check that uses them (VetProgress,
// VetReportReader), without the C prefix of the rest of the program, so that a reader sees at
// once which code reaches into the library.

// libmdb's header, included the one way that compiles as C++: mdbtools.h includes glib.h
// inside extern "C", which fails ("template with C linkage") unless glib.h came first.
#include <glib.h>

#include <mdbtools.h>
