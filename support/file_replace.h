#pragma once
// Replacing a file in one step. The new content goes to a temporary file
// beside the target ("<target>.new"), is flushed to the disk, and is then
// renamed over the target, so a process killed at any moment, or a power
// loss, leaves either the old file or the new one, never a mix of both.

#include <cstddef>
#include <string>

// True when the target holds exactly the given bytes; on failure the target
// is as it was and the last error tells why.
bool WriteFileReplacing(const std::wstring& target, const void* data, size_t size);
// The same with the content of another file.
bool CopyFileReplacing(const std::wstring& source, const std::wstring& target);
