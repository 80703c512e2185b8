#include "update/package_unpacker.h"

#include <fcntl.h>
#include <io.h>
#include <shlwapi.h>

#include <algorithm>
#include <exception>
#include <vector>

#include "support/folder_path.h"
#include "support/module_path.h"
#include "support/win_handles.h"
#include "support/gzip/zip_codec.h"
#include "update/game_paths.h"
#include "update/md5_digest.h"

namespace {

const DWORD kPipeBufferSize = 262144;
const DWORD kWriteChunkSize = 65536;
// How long the decompressor may take to end after the writer, in ms.
const DWORD kFinishWait = 20000;
// After a stop, the job's owner waits 20 s for the worker that is blocked
// here and then destroys the job, which is the receiver: both threads must be
// gone well before, in ms, counted from the stop.
const DWORD kStopBudget = 5000;

const DWORD kThreadSucceeded = 0;
const DWORD kThreadFailed = 1;
// Also the exit code of a writer that ended on the stop event.
const DWORD kThreadTerminated = 2;

// The codec keeps its state in static storage; after a thread was stopped
// inside it, or after its stream was cut, the next operation needs a clean
// engine. The reset reports itself by throwing.
void ResetCodec()
{
    try {
        AbortZipOperation();
    } catch (const CZipException&) {
    }
}

// Waits for a thread that has been told to end, then makes sure it has.
void EndThread(HANDLE thread, DWORD waitMs)
{
    if (::WaitForSingleObject(thread, waitMs) == WAIT_TIMEOUT)
        ::TerminateThread(thread, kThreadTerminated);
    // Termination is asynchronous: nothing the thread uses may go before it
    // is really gone.
    ::WaitForSingleObject(thread, INFINITE);
}

// What is left of the stop budget, from the moment the stop was seen.
class StopClock {
public:
    StopClock() : start_(::GetTickCount()) {}
    DWORD Left() const
    {
        DWORD spent = ::GetTickCount() - start_;
        return spent < kStopBudget ? kStopBudget - spent : 0;
    }

private:
    DWORD start_;
};

DWORD ExitCodeOf(HANDLE thread)
{
    DWORD code = kThreadFailed;
    ::GetExitCodeThread(thread, &code);
    return code;
}

bool WriteAll(HANDLE file, const char* data, DWORD size)
{
    while (size != 0) {
        DWORD wrote = 0;
        if (!::WriteFile(file, data, size, &wrote, nullptr) || wrote == 0)
            return false;
        data += wrote;
        size -= wrote;
    }
    return true;
}

// Opens the target for writing and empties it. An existing file is
// truncated rather than recreated, so it keeps its attributes (a hidden
// file cannot be recreated without naming the attribute).
UniqueHandle OpenTarget(const std::wstring& path)
{
    UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, TRUNCATE_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file && ::GetLastError() == ERROR_FILE_NOT_FOUND)
        file.Reset(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    return file;
}

// One unpacking: the state the two threads share with the calling thread.
class GamePackageUnpack {
public:
    GamePackageUnpack(const std::wstring& packagePath, IUnpackEventReceiver* receiver, FileIndex& index)
        : packagePath_(packagePath), receiver_(receiver), index_(index), chunk_(kWriteChunkSize)
    {
    }

    bool Run(HANDLE stopEvent);

private:
    bool StopRequested() const { return ::WaitForSingleObject(stopEvent_, 0) == WAIT_OBJECT_0; }
    static DWORD WINAPI DecompressMain(void* self);
    static DWORD WINAPI WriteMain(void* self);
    DWORD Decompress();
    DWORD WriteFiles();
    bool WriteOneFile(const IndexEntry& entry);
    bool PassEntryBytes(const IndexEntry& entry, bool store);
    bool StreamHasEnded();

    std::wstring packagePath_;
    IUnpackEventReceiver* receiver_;
    FileIndex& index_;
    // What the writer works with lives here rather than on its stack, so
    // that a writer that had to be terminated leaves no open target and no
    // provider behind: they are released with this object.
    std::vector<char> chunk_;
    CMd5Digest digest_;
    UniqueHandle target_;
    HANDLE stopEvent_ = nullptr;
    HANDLE readEnd_ = nullptr;
    int writeEnd_ = -1;
};

DWORD WINAPI GamePackageUnpack::DecompressMain(void* self)
{
    return static_cast<GamePackageUnpack*>(self)->Decompress();
}

DWORD WINAPI GamePackageUnpack::WriteMain(void* self)
{
    try {
        return static_cast<GamePackageUnpack*>(self)->WriteFiles();
    } catch (...) {
        return kThreadFailed;
    }
}

DWORD GamePackageUnpack::Decompress()
{
    try {
        CUnzip(packagePath_.c_str()).ToDescriptor(writeEnd_);
        return kThreadSucceeded;
    } catch (...) {
        return kThreadFailed;
    }
}

DWORD GamePackageUnpack::WriteFiles()
{
    if (!index_.ReadFromHandle(readEnd_, false))
        return kThreadFailed;
    for (const IndexEntry& entry : index_.Entries()) {
        if (!IsSafeEntryName(entry.name))
            return kThreadFailed;
    }
    if (receiver_)
        receiver_->OnUnpackBegin(index_.TotalSize());
    std::vector<std::wstring> leftAlone;
    for (const IndexEntry& entry : index_.Entries()) {
        if (StopRequested())
            return kThreadTerminated;
        // The running launcher cannot be overwritten; it updates itself on
        // its own road, so it is no part of what this package installed.
        if (IsModuleFile(entry.name)) {
            if (!PassEntryBytes(entry, false))
                return StopRequested() ? kThreadTerminated : kThreadFailed;
            leftAlone.push_back(entry.name);
            continue;
        }
        if (!WriteOneFile(entry))
            return StopRequested() ? kThreadTerminated : kThreadFailed;
        if (receiver_)
            receiver_->OnUnpackFileDone(entry);
    }
    if (!StreamHasEnded())
        return kThreadFailed;
    for (const std::wstring& name : leftAlone)
        index_.Remove(name);
    return kThreadSucceeded;
}

// The entry's bytes from the stream, with progress; stored ones are digested
// and written to the open target.
bool GamePackageUnpack::PassEntryBytes(const IndexEntry& entry, bool store)
{
    const bool check = store && index_.HasHashes();
    DWORD remaining = static_cast<DWORD>(entry.size);
    while (remaining != 0 && !StopRequested()) {
        DWORD got = 0;
        if (!::ReadFile(readEnd_, chunk_.data(), std::min(remaining, kWriteChunkSize), &got, nullptr) || got == 0)
            return false;
        if (check)
            digest_.Update(chunk_.data(), got);
        if (receiver_)
            receiver_->OnUnpackBytes(got);
        // The digest covers the stream, not the disk: a short or failed
        // write (a full disk) must fail the file on its own.
        if (store && !WriteAll(target_.Get(), chunk_.data(), got))
            return false;
        remaining -= got;
    }
    return remaining == 0;
}

bool GamePackageUnpack::WriteOneFile(const IndexEntry& entry)
{
    // Index names may separate folders with "/"; the shell's path functions
    // that create the folders only know "\".
    std::wstring target = entry.name;
    std::replace(target.begin(), target.end(), L'/', L'\\');
    if (target.size() >= MAX_PATH)
        return false;

    wchar_t folder[MAX_PATH];
    ::lstrcpynW(folder, target.c_str(), MAX_PATH);
    ::PathRemoveFileSpecW(folder);
    // A folder that cannot be made shows when the file cannot be created.
    CreateFolderPath(folder);

    DWORD attributes = ::GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        attributes &= ~FILE_ATTRIBUTE_READONLY;
        ::SetFileAttributesW(target.c_str(), attributes ? attributes : FILE_ATTRIBUTE_NORMAL);
    }

    target_ = OpenTarget(target);
    if (!target_)
        return false;

    // Each file starts a new digest: the previous one was taken, or none
    // was started.
    if (!PassEntryBytes(entry, true))
        return false;

    FILETIME lastWrite;
    lastWrite.dwLowDateTime = static_cast<DWORD>(entry.fileTime & 0xFFFFFFFF);
    lastWrite.dwHighDateTime = static_cast<DWORD>(entry.fileTime >> 32);
    if (!::SetFileTime(target_.Get(), nullptr, nullptr, &lastWrite))
        return false;
    // Closing can still report a write that failed late.
    if (!::CloseHandle(target_.Release()))
        return false;

    if (index_.HasHashes() && entry.size != 0)
        return digest_.Digest() == entry.md5;
    return true;
}

// The package holds the indexed files and nothing more. The write end is
// closed as soon as the decompressor ends, so this read never waits for
// data that cannot come.
bool GamePackageUnpack::StreamHasEnded()
{
    DWORD got = 0;
    return !::ReadFile(readEnd_, chunk_.data(), 1, &got, nullptr) || got == 0;
}

bool GamePackageUnpack::Run(HANDLE stopEvent)
{
    UniqueHandle readEnd, writeHandle;
    if (!::CreatePipe(readEnd.Receive(), writeHandle.Receive(), nullptr, kPipeBufferSize))
        return false;
    UniqueCrtFile writeEnd(::_open_osfhandle(reinterpret_cast<intptr_t>(writeHandle.Get()), _O_BINARY));
    if (!writeEnd)
        return false;
    writeHandle.Release();
    stopEvent_ = stopEvent;
    readEnd_ = readEnd.Get();
    writeEnd_ = writeEnd.Get();

    UniqueHandle decompressor(::CreateThread(nullptr, 0, DecompressMain, this, 0, nullptr));
    if (!decompressor)
        return false;
    UniqueHandle writer(::CreateThread(nullptr, 0, WriteMain, this, 0, nullptr));
    if (!writer) {
        // Nobody will read: a broken pipe ends the decompressor.
        readEnd.Reset();
        EndThread(decompressor.Get(), kStopBudget);
        ResetCodec();
        return false;
    }

    // Threads are asked to end rather than terminated: a thread terminated
    // while it holds a lock of the C runtime, the heap or the digest
    // provider leaves that lock held for ever, and the next user hangs. The
    // writer watches the stop event between chunks. The decompressor is made
    // to fail: once the read end is closed, its next write breaks the pipe
    // and the codec ends the operation itself. Only a thread that does not
    // end in time is terminated.
    HANDLE started[] = {stopEvent, decompressor.Get(), writer.Get()};
    switch (::WaitForMultipleObjects(3, started, FALSE, INFINITE)) {
    case WAIT_OBJECT_0 + 1: {
        // The decompressor ended: the writer meets the end of the stream
        // instead of waiting for bytes that will never come.
        writeEnd.Reset();
        HANDLE remaining[] = {stopEvent, writer.Get()};
        if (::WaitForMultipleObjects(2, remaining, FALSE, INFINITE) == WAIT_OBJECT_0)
            EndThread(writer.Get(), kStopBudget);
        break;
    }
    case WAIT_OBJECT_0 + 2: {
        // Nobody reads any more: a decompressor waiting on the full pipe
        // fails instead of waiting for ever.
        readEnd.Reset();
        HANDLE remaining[] = {stopEvent, decompressor.Get()};
        DWORD waited = ::WaitForMultipleObjects(2, remaining, FALSE, kFinishWait);
        EndThread(decompressor.Get(), waited == WAIT_OBJECT_0 ? kStopBudget : 0);
        // A decompressor stopped inside the codec leaves it unclean too.
        if (ExitCodeOf(writer.Get()) != kThreadSucceeded || ExitCodeOf(decompressor.Get()) != kThreadSucceeded)
            ResetCodec();
        break;
    }
    default: {
        // The stop event, or a failed wait, which is handled as a stop. A
        // writer waiting for data notices the stop once data comes; if the
        // decompressor ends instead, it needs the end of the stream.
        StopClock clock;
        HANDLE running[] = {writer.Get(), decompressor.Get()};
        if (::WaitForMultipleObjects(2, running, FALSE, clock.Left()) == WAIT_OBJECT_0 + 1)
            writeEnd.Reset();
        EndThread(writer.Get(), clock.Left());
        readEnd.Reset();
        EndThread(decompressor.Get(), clock.Left());
        ResetCodec();
        break;
    }
    }

    return ExitCodeOf(decompressor.Get()) == kThreadSucceeded && ExitCodeOf(writer.Get()) == kThreadSucceeded;
}

} // namespace

bool UnpackGamePackage(const std::wstring& packagePath, IUnpackEventReceiver* receiver, HANDLE stopEvent,
                       FileIndex& index)
{
    try {
        GamePackageUnpack unpack(packagePath, receiver, index);
        return unpack.Run(stopEvent);
    } catch (const std::exception&) {
        // The digest provider or memory for the buffers is not available.
        return false;
    }
}
