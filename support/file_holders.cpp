#include "support/file_holders.h"

#include <windows.h>
#include <restartmanager.h>
#include <shlwapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <unordered_map>

#include "support/module_path.h"
#include "support/win_handles.h"

namespace {

// Bounds, so a crowded or misbehaving system costs time and memory in
// proportion, never without end.
const UINT kMaxRestartManagerEntries = 4096;
const int kRestartManagerAttempts = 4;
const size_t kFirstHandleTableBytes = size_t(1) << 20;
const size_t kMaxHandleTableBytes = size_t(64) << 20;
const int kHandleTableAttempts = 8;
const size_t kMaxHandleEntries = 400000;
const size_t kMaxHolders = 256;
const int kMaxSnapshotProcesses = 65536;
const DWORD kImagePathChars = 32768;

bool IsListed(const std::vector<FileHolder>& holders, DWORD processId)
{
    return std::any_of(holders.begin(), holders.end(),
                       [processId](const FileHolder& holder) { return holder.processId == processId; });
}

void AddHolder(std::vector<FileHolder>& holders, DWORD processId, const std::wstring& name)
{
    if (processId == 0 || processId == ::GetCurrentProcessId() || holders.size() >= kMaxHolders ||
        IsListed(holders, processId))
        return;
    FileHolder holder;
    holder.processId = processId;
    holder.name = name;
    holders.push_back(holder);
}

// ---------------------------------------------------------------------------
// Restart Manager

using RmStartSessionFn = DWORD(WINAPI*)(DWORD*, DWORD, WCHAR[]);
using RmEndSessionFn = DWORD(WINAPI*)(DWORD);
using RmRegisterResourcesFn = DWORD(WINAPI*)(DWORD, UINT, LPCWSTR[], UINT, RM_UNIQUE_PROCESS[], UINT, LPCWSTR[]);
using RmGetListFn = DWORD(WINAPI*)(DWORD, UINT*, UINT*, RM_PROCESS_INFO[], LPDWORD);

class RestartManagerSession {
public:
    RestartManagerSession(RmEndSessionFn end, DWORD session) : end_(end), session_(session) {}
    ~RestartManagerSession() { end_(session_); }
    RestartManagerSession(const RestartManagerSession&) = delete;
    RestartManagerSession& operator=(const RestartManagerSession&) = delete;

private:
    RmEndSessionFn end_;
    DWORD session_;
};

// Loaded from the system folder by full path: the launcher runs from a folder
// the player can write to, where a planted DLL of that name must not load.
UniqueLibrary LoadSystemLibrary(const wchar_t* fileName)
{
    wchar_t folder[MAX_PATH] = {};
    UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return UniqueLibrary();
    std::wstring path(folder, length);
    path += L'\\';
    path += fileName;
    return UniqueLibrary(::LoadLibraryW(path.c_str()));
}

void AskRestartManager(const std::wstring& path, std::vector<FileHolder>& holders)
{
    // Loaded at run time so the launcher still starts where the DLL is missing.
    UniqueLibrary library = LoadSystemLibrary(L"rstrtmgr.dll");
    if (!library)
        return;
    auto start = reinterpret_cast<RmStartSessionFn>(::GetProcAddress(library.Get(), "RmStartSession"));
    auto end = reinterpret_cast<RmEndSessionFn>(::GetProcAddress(library.Get(), "RmEndSession"));
    auto registerResources =
        reinterpret_cast<RmRegisterResourcesFn>(::GetProcAddress(library.Get(), "RmRegisterResources"));
    auto getList = reinterpret_cast<RmGetListFn>(::GetProcAddress(library.Get(), "RmGetList"));
    if (!start || !end || !registerResources || !getList)
        return;

    DWORD sessionHandle = 0;
    WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
    if (start(&sessionHandle, 0, key) != ERROR_SUCCESS)
        return;
    RestartManagerSession session(end, sessionHandle);

    LPCWSTR files[] = {path.c_str()};
    if (registerResources(sessionHandle, 1, files, 0, nullptr, 0, nullptr) != ERROR_SUCCESS)
        return;

    std::vector<RM_PROCESS_INFO> infos;
    for (int attempt = 0; attempt < kRestartManagerAttempts; ++attempt) {
        UINT needed = 0;
        UINT count = static_cast<UINT>(infos.size());
        DWORD reasons = RmRebootReasonNone;
        DWORD result = getList(sessionHandle, &needed, &count, infos.empty() ? nullptr : infos.data(), &reasons);
        if (result == ERROR_SUCCESS) {
            count = std::min(count, static_cast<UINT>(infos.size()));
            for (UINT i = 0; i < count; ++i) {
                const RM_PROCESS_INFO& info = infos[i];
                WCHAR appName[CCH_RM_MAX_APP_NAME + 1] = {};
                std::memcpy(appName, info.strAppName, sizeof(appName) - sizeof(WCHAR));
                AddHolder(holders, info.Process.dwProcessId, appName);
            }
            return;
        }
        if (result != ERROR_MORE_DATA || needed == 0 || needed > kMaxRestartManagerEntries)
            return;
        // A little room over the count, as processes may open the file meanwhile.
        infos.assign(std::min<size_t>(needed + 8, kMaxRestartManagerEntries), RM_PROCESS_INFO());
    }
}

// ---------------------------------------------------------------------------
// The system's handle table

// The layouts ntdll fills for the two information classes; in a namespace of
// their own so they cannot meet the SDK's partial declarations.
namespace nt {

const ULONG SystemHandleInformation = 16;
const ULONG SystemExtendedHandleInformation = 64;
const LONG StatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);
const LONG StatusBufferTooSmall = static_cast<LONG>(0xC0000023);
const LONG StatusBufferOverflow = static_cast<LONG>(0x80000005);

struct SYSTEM_HANDLE_TABLE_ENTRY_INFO_EX {
    PVOID Object;
    ULONG_PTR UniqueProcessId;
    ULONG_PTR HandleValue;
    ULONG GrantedAccess;
    USHORT CreatorBackTraceIndex;
    USHORT ObjectTypeIndex;
    ULONG HandleAttributes;
    ULONG Reserved;
};

struct SYSTEM_HANDLE_INFORMATION_EX {
    ULONG_PTR NumberOfHandles;
    ULONG_PTR Reserved;
    SYSTEM_HANDLE_TABLE_ENTRY_INFO_EX Handles[1];
};

struct SYSTEM_HANDLE_TABLE_ENTRY_INFO {
    USHORT UniqueProcessId;
    USHORT CreatorBackTraceIndex;
    UCHAR ObjectTypeIndex;
    UCHAR HandleAttributes;
    USHORT HandleValue;
    PVOID Object;
    ULONG GrantedAccess;
};

struct SYSTEM_HANDLE_INFORMATION {
    ULONG NumberOfHandles;
    SYSTEM_HANDLE_TABLE_ENTRY_INFO Handles[1];
};

using NtQuerySystemInformationFn = LONG(NTAPI*)(ULONG, PVOID, ULONG, PULONG);

} // namespace nt

struct HandleEntry {
    ULONG_PTR processId = 0;
    ULONG_PTR handle = 0;
    USHORT objectType = 0;
};

// One snapshot of the table as ntdll wrote it; entries are copied out one at
// a time since the buffer's bytes have no C++ objects in them.
class HandleTable {
public:
    bool Query(nt::NtQuerySystemInformationFn query, ULONG infoClass)
    {
        extended_ = infoClass == nt::SystemExtendedHandleInformation;
        count_ = 0;
        size_t size = kFirstHandleTableBytes;
        for (int attempt = 0; attempt < kHandleTableAttempts; ++attempt) {
            // Emptied first, so growing copies nothing of the failed attempt.
            buffer_.clear();
            buffer_.resize(size);
            ULONG returned = 0;
            LONG status = query(infoClass, buffer_.data(), static_cast<ULONG>(buffer_.size()), &returned);
            if (status >= 0)
                return Count();
            bool tooSmall = status == nt::StatusInfoLengthMismatch || status == nt::StatusBufferTooSmall ||
                            status == nt::StatusBufferOverflow;
            if (!tooSmall || size >= kMaxHandleTableBytes)
                return false;
            // Room over what was asked for, as handles come and go between calls.
            size_t asked = returned;
            size_t wanted = std::max(size * 2, asked + asked / 4);
            size = std::min(wanted, kMaxHandleTableBytes);
        }
        return false;
    }

    size_t Size() const { return count_; }
    // The older class gives process IDs in 16 bits only.
    ULONG_PTR ProcessIdAsListed(DWORD processId) const { return extended_ ? processId : (processId & 0xFFFF); }

    HandleEntry At(size_t index) const
    {
        return extended_ ? EntryAt<nt::SYSTEM_HANDLE_TABLE_ENTRY_INFO_EX>(ExtendedOffset(), index)
                         : EntryAt<nt::SYSTEM_HANDLE_TABLE_ENTRY_INFO>(ShortOffset(), index);
    }

private:
    static size_t ExtendedOffset() { return offsetof(nt::SYSTEM_HANDLE_INFORMATION_EX, Handles); }
    static size_t ShortOffset() { return offsetof(nt::SYSTEM_HANDLE_INFORMATION, Handles); }

    template <typename Raw>
    HandleEntry EntryAt(size_t offset, size_t index) const
    {
        Raw raw;
        std::memcpy(&raw, buffer_.data() + offset + index * sizeof(raw), sizeof(raw));
        HandleEntry entry;
        entry.processId = raw.UniqueProcessId;
        entry.handle = raw.HandleValue;
        entry.objectType = raw.ObjectTypeIndex;
        return entry;
    }

    bool Count()
    {
        return extended_ ? CountEntries<ULONG_PTR, nt::SYSTEM_HANDLE_TABLE_ENTRY_INFO_EX>(ExtendedOffset())
                         : CountEntries<ULONG, nt::SYSTEM_HANDLE_TABLE_ENTRY_INFO>(ShortOffset());
    }

    // Never trusts the stated count beyond the bytes the buffer holds.
    template <typename Number, typename Raw>
    bool CountEntries(size_t offset)
    {
        if (buffer_.size() < offset)
            return false;
        Number stated = 0;
        std::memcpy(&stated, buffer_.data(), sizeof(stated));
        const size_t fits = (buffer_.size() - offset) / sizeof(Raw);
        count_ = std::min({static_cast<size_t>(stated), fits, kMaxHandleEntries});
        return true;
    }

    std::vector<unsigned char> buffer_;
    bool extended_ = true;
    size_t count_ = 0;
};

struct FileIdentity {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
};

bool IdentifyFile(HANDLE file, FileIdentity& identity)
{
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!::GetFileInformationByHandle(file, &info))
        return false;
    identity.volume = info.dwVolumeSerialNumber;
    identity.indexHigh = info.nFileIndexHigh;
    identity.indexLow = info.nFileIndexLow;
    return true;
}

bool SameFile(const FileIdentity& a, const FileIdentity& b)
{
    return a.volume == b.volume && a.indexHigh == b.indexHigh && a.indexLow == b.indexLow;
}

// A copy, in this process, of another process's handle. Read-attribute access
// is asked for first, since the holder's own handle may lack what
// GetFileInformationByHandle needs; the same access serves where that is refused.
UniqueHandle DuplicateForQuery(HANDLE process, HANDLE handle)
{
    HANDLE copy = nullptr;
    if (::DuplicateHandle(process, handle, ::GetCurrentProcess(), &copy, FILE_READ_ATTRIBUTES, FALSE, 0))
        return UniqueHandle(copy);
    copy = nullptr;
    if (::DuplicateHandle(process, handle, ::GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
        return UniqueHandle(copy);
    return UniqueHandle();
}

void SearchHandleTable(const std::wstring& path, std::vector<FileHolder>& holders)
{
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    if (!ntdll)
        return;
    auto query = reinterpret_cast<nt::NtQuerySystemInformationFn>(
        ::GetProcAddress(ntdll, "NtQuerySystemInformation"));
    if (!query)
        return;

    // Read-attribute access with full sharing opens the file whoever holds it
    // and whatever way they share it. Kept open while the table is read, so
    // this handle's own entry tells which object type stands for files.
    UniqueHandle target(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!target)
        return;
    FileIdentity wanted;
    if (!IdentifyFile(target.Get(), wanted))
        return;

    HandleTable table;
    if (!table.Query(query, nt::SystemExtendedHandleInformation) &&
        !table.Query(query, nt::SystemHandleInformation))
        return;

    const ULONG_PTR self = table.ProcessIdAsListed(::GetCurrentProcessId());
    bool typeKnown = false;
    USHORT fileType = 0;
    for (size_t i = 0; i < table.Size(); ++i) {
        HandleEntry entry = table.At(i);
        if (entry.processId == self && entry.handle == reinterpret_cast<ULONG_PTR>(target.Get())) {
            typeKnown = true;
            fileType = entry.objectType;
            break;
        }
    }

    // One process handle per process, a failed open remembered as such.
    std::unordered_map<ULONG_PTR, UniqueHandle> processes;
    for (size_t i = 0; i < table.Size() && holders.size() < kMaxHolders; ++i) {
        HandleEntry entry = table.At(i);
        // Handles of other object types are passed over unopened: querying
        // some of them (pipes in particular) can block.
        if (entry.processId == 0 || entry.processId == self || (typeKnown && entry.objectType != fileType))
            continue;
        DWORD processId = static_cast<DWORD>(entry.processId);
        if (IsListed(holders, processId))
            continue;

        auto found = processes.find(entry.processId);
        if (found == processes.end()) {
            UniqueHandle opened(
                ::OpenProcess(PROCESS_DUP_HANDLE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
            found = processes.emplace(entry.processId, std::move(opened)).first;
        }
        if (!found->second)
            continue;

        UniqueHandle copy = DuplicateForQuery(found->second.Get(), reinterpret_cast<HANDLE>(entry.handle));
        // Only disk files are asked for their identity: GetFileType comes
        // before any query that could wait on a pipe's pending read.
        if (!copy || ::GetFileType(copy.Get()) != FILE_TYPE_DISK)
            continue;
        FileIdentity identity;
        if (IdentifyFile(copy.Get(), identity) && SameFile(identity, wanted))
            AddHolder(holders, processId, std::wstring());
    }
}

// ---------------------------------------------------------------------------
// Names

std::wstring ImagePathOf(DWORD processId)
{
    UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process)
        return std::wstring();
    std::vector<wchar_t> buffer(kImagePathChars);
    DWORD length = kImagePathChars;
    if (!::QueryFullProcessImageNameW(process.Get(), 0, buffer.data(), &length) || length >= kImagePathChars)
        return std::wstring();
    return std::wstring(buffer.data(), length);
}

// Executable names from a process snapshot, for processes whose image path
// cannot be read (those of other users or protected ones).
void NameFromSnapshot(std::vector<FileHolder>& holders)
{
    UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    BOOL more = ::Process32FirstW(snapshot.Get(), &entry);
    for (int seen = 0; more && seen < kMaxSnapshotProcesses; ++seen) {
        for (FileHolder& holder : holders) {
            if (holder.processId == entry.th32ProcessID && holder.name.empty()) {
                entry.szExeFile[MAX_PATH - 1] = L'\0';
                holder.name = entry.szExeFile;
            }
        }
        entry.dwSize = sizeof(entry);
        more = ::Process32NextW(snapshot.Get(), &entry);
    }
}

void NameHolders(std::vector<FileHolder>& holders)
{
    bool unnamed = false;
    for (FileHolder& holder : holders) {
        holder.imagePath = ImagePathOf(holder.processId);
        if (holder.name.empty())
            holder.name = ::PathFindFileNameW(holder.imagePath.c_str());
        unnamed = unnamed || holder.name.empty();
    }
    if (unnamed)
        NameFromSnapshot(holders);
}

} // namespace

std::vector<FileHolder> FindFileHolders(const std::wstring& path)
{
    std::vector<FileHolder> holders;
    if (path.empty())
        return holders;
    try {
        // The Restart Manager takes full paths only.
        std::wstring full = FullPath(path);
        if (full.empty())
            full = path;
        AskRestartManager(full, holders);
        // Under Wine the Restart Manager answers without ever naming anyone.
        if (holders.empty())
            SearchHandleTable(full, holders);
        NameHolders(holders);
    } catch (const std::bad_alloc&) {
        holders.clear();
    }
    return holders;
}
