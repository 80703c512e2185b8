#pragma once
// Unpacking of a single-file package (a file's name with ".zip" appended)
// over the file it carries. The update run composes these with its own
// handling of the launcher's executable, which cannot be deleted while it
// runs.

#include <atomic>
#include <string>

// Makes way for a new file: clears a read-only attribute (the attributes
// become normal) and deletes the target. True when the target is gone or
// never existed.
bool RemoveOldTarget(const std::wstring& target);

// Decompresses the package into the target with the gzip codec, then
// deletes the package, also when the codec fails: its CZipException
// propagates after the package is gone. Once *stop is set the codec fails
// at its next refill and the package is kept, to be unpacked again.
void UnpackSinglePackage(const std::wstring& package, const std::wstring& target,
                         const std::atomic<bool>* stop = nullptr);
