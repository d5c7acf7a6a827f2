#pragma once

// libmdb's header, included the one way that compiles as C++: mdbtools.h includes glib.h
// inside extern "C", which fails ("template with C linkage") unless glib.h came first.
#include <glib.h>

#include <mdbtools.h>
