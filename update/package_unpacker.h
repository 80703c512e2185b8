#pragma once
// The whole-game package unpacker. The package is one gzip member whose
// content is a file index (with checksum) followed by the content of every
// indexed file, back to back, in index order. One thread decompresses into
// an in-process channel while a second reads the channel and writes the
// files, so a package of any size is unpacked without being expanded on disk
// first.

#include <windows.h>

#include <cstdint>
#include <string>

#include "update/file_index.h"
#include "update/package_walk.h"

// Unpacks the package into the current folder and fills index with the
// package's own index. Blocks until done, failed, or stopEvent is signalled.
// True exactly when every file was written and matched its digest, and the
// codec found the package intact (length and CRC) and holding nothing beyond
// the indexed files. Files written before a failure stay on disk. An index
// name that would leave the folder fails the package before anything is
// written. The running executable is never written: its bytes are passed
// over and its entry is left out of index. receiver may be null; stopEvent
// must be a manual-reset event.
bool UnpackGamePackage(const std::wstring& packagePath, IUnpackEventReceiver* receiver, HANDLE stopEvent,
                       FileIndex& index);
