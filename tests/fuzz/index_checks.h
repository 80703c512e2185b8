#pragma once
// What every index read must leave behind, whatever its bytes were.

#include "update/file_index.h"

// Aborts unless the index is consistent: every entry is found by its name,
// and a complete index serializes into an image that reads back the same.
void CheckIndex(const FileIndex& index, bool complete, bool verified);
