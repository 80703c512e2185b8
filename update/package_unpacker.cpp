#include "update/package_unpacker.h"

#include <shlwapi.h>

#include <algorithm>
#include <exception>

#include "support/byte_channel.h"
#include "support/folder_path.h"
#include "support/module_path.h"
#include "support/win_handles.h"
#include "support/gzip/zip_codec.h"

namespace {

// Decompressed bytes on their way to the writer.
const size_t kChannelBytes = 1024 * 1024;
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

// The writer's end of the channel, as the walk reads it.
class ChannelIndexInput final : public IndexInput {
public:
    explicit ChannelIndexInput(CByteChannel& channel) : channel_(channel) {}
    int ReadSome(void* buffer, unsigned size) override { return channel_.Read(buffer, size); }

private:
    CByteChannel& channel_;
};

// One unpacking: the state the two threads share with the calling thread.
// The decompressor writes the stream into the channel; the writer walks it
// (PackageWalk), reading the channel and writing the files through this
// object.
class GamePackageUnpack : private IPackageFiles {
public:
    GamePackageUnpack(const std::wstring& packagePath, IUnpackEventReceiver* receiver, FileIndex& index)
        : packagePath_(packagePath), channel_(kChannelBytes), input_(channel_), walk_(input_, *this, receiver, index)
    {
    }

    bool Run(HANDLE stopEvent);

private:
    static DWORD WINAPI DecompressMain(void* self);
    static DWORD WINAPI WriteMain(void* self);
    DWORD Decompress();

    bool StopRequested() override { return ::WaitForSingleObject(stopEvent_, 0) == WAIT_OBJECT_0; }
    bool IsLauncher(const std::wstring& name) override { return IsModuleFile(name); }
    bool Open(const std::wstring& name) override;
    bool Write(const char* data, size_t size) override;
    bool Close(uint64_t fileTime) override;

    std::wstring packagePath_;
    CByteChannel channel_;
    ChannelIndexInput input_;
    // What the writer works with lives here rather than on its stack, so
    // that a writer that had to be terminated leaves no open target and no
    // provider behind: they are released with this object.
    PackageWalk walk_;
    UniqueHandle target_;
    HANDLE stopEvent_ = nullptr;
};

DWORD WINAPI GamePackageUnpack::DecompressMain(void* self)
{
    return static_cast<GamePackageUnpack*>(self)->Decompress();
}

DWORD WINAPI GamePackageUnpack::WriteMain(void* self)
{
    try {
        switch (static_cast<GamePackageUnpack*>(self)->walk_.Run()) {
        case WalkResult::Succeeded:
            return kThreadSucceeded;
        case WalkResult::Stopped:
            return kThreadTerminated;
        default:
            return kThreadFailed;
        }
    } catch (...) {
        return kThreadFailed;
    }
}

DWORD GamePackageUnpack::Decompress()
{
    try {
        CUnzip(packagePath_.c_str()).ToOutput(channel_);
        return kThreadSucceeded;
    } catch (...) {
        return kThreadFailed;
    }
}

bool GamePackageUnpack::Open(const std::wstring& name)
{
    // Index names may separate folders with "/"; the shell's path functions
    // that create the folders only know "\".
    std::wstring target = name;
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
    return static_cast<bool>(target_);
}

bool GamePackageUnpack::Write(const char* data, size_t size)
{
    return WriteAll(target_.Get(), data, static_cast<DWORD>(size));
}

bool GamePackageUnpack::Close(uint64_t fileTime)
{
    FILETIME lastWrite;
    lastWrite.dwLowDateTime = static_cast<DWORD>(fileTime & 0xFFFFFFFF);
    lastWrite.dwHighDateTime = static_cast<DWORD>(fileTime >> 32);
    if (!::SetFileTime(target_.Get(), nullptr, nullptr, &lastWrite))
        return false;
    // Closing can still report a write that failed late.
    return ::CloseHandle(target_.Release()) != 0;
}

bool GamePackageUnpack::Run(HANDLE stopEvent)
{
    stopEvent_ = stopEvent;

    UniqueHandle decompressor(::CreateThread(nullptr, 0, DecompressMain, this, 0, nullptr));
    if (!decompressor)
        return false;
    UniqueHandle writer(::CreateThread(nullptr, 0, WriteMain, this, 0, nullptr));
    if (!writer) {
        // Nobody will read: the closed channel ends the decompressor.
        channel_.CloseReader();
        EndThread(decompressor.Get(), kStopBudget);
        ResetCodec();
        return false;
    }

    // Threads are asked to end rather than terminated: a thread terminated
    // while it holds a lock of the C runtime, the heap or the digest
    // provider leaves that lock held for ever, and the next user hangs. The
    // writer watches the stop event between chunks. The decompressor is made
    // to fail: once the reader has closed the channel, its next write fails
    // and the codec ends the operation itself. Only a thread that does not
    // end in time is terminated.
    HANDLE started[] = {stopEvent, decompressor.Get(), writer.Get()};
    switch (::WaitForMultipleObjects(3, started, FALSE, INFINITE)) {
    case WAIT_OBJECT_0 + 1: {
        // The decompressor ended: the writer meets the end of the stream
        // instead of waiting for bytes that will never come.
        channel_.CloseWriter();
        HANDLE remaining[] = {stopEvent, writer.Get()};
        if (::WaitForMultipleObjects(2, remaining, FALSE, INFINITE) == WAIT_OBJECT_0)
            EndThread(writer.Get(), kStopBudget);
        break;
    }
    case WAIT_OBJECT_0 + 2: {
        // Nobody reads any more: a decompressor waiting on the full channel
        // fails instead of waiting for ever.
        channel_.CloseReader();
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
            channel_.CloseWriter();
        EndThread(writer.Get(), clock.Left());
        channel_.CloseReader();
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
