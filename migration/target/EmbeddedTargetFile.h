#pragma once

#include <filesystem>

// The per-user SQLite file that the built-in target stands for when no driver list of the
// system registers the built-in string's driver name (SQL Server).

// Creates the file at path when it is absent: its folder (mode 0700 for folders it makes),
// then a temporary file beside it holding the eight target tables of schemaFile in WAL mode,
// renamed into place only when complete, so that no reader ever sees half a file and a file
// created meanwhile by another run is kept. An existing file is never opened or altered. A
// symbolic link (even a dangling one) or a folder at path is refused, and temporaries that a
// killed creation left beside it are removed first. Throws CDBException naming the file when
// it is refused or cannot be created.
void EnsureEmbeddedTargetFile(const std::filesystem::path& path,
                              const std::filesystem::path& schemaFile);
