#include "tools/publisher/segment_cache.h"

#include <windows.h>

#include <cwchar>

#include "support/win_handles.h"
#include "tools/publisher/publish_error.h"
#include "tools/publisher/tree_files.h"

namespace {

const wchar_t kSegmentSuffix[] = L".seg";

} // namespace

CSegmentCache::CSegmentCache(std::wstring folder) : folder_(std::move(folder))
{
    CreateParentFolders(folder_ + L"\\" + kSegmentSuffix);
}

std::wstring CSegmentCache::PathOf(const Md5Hash& md5, uint64_t size) const
{
    wchar_t name[64];
    std::wstring hex;
    for (uint8_t byte : md5) {
        std::swprintf(name, 64, L"%02x", byte);
        hex += name;
    }
    std::swprintf(name, 64, L"-%llu", static_cast<unsigned long long>(size));
    return folder_ + L"\\" + hex + name + kSegmentSuffix;
}

bool CSegmentCache::Has(const Md5Hash& md5, uint64_t size) const
{
    return Exists(PathOf(md5, size));
}

void CSegmentCache::KeepOnly(const std::set<std::wstring>& keep) const
{
    WIN32_FIND_DATAW found;
    UniqueFindHandle find(::FindFirstFileW((folder_ + L"\\*").c_str(), &found));
    if (!find)
        return;
    do {
        std::wstring path = folder_ + L"\\" + found.cFileName;
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && keep.count(path) == 0)
            ::DeleteFileW(path.c_str());
    } while (::FindNextFileW(find.Get(), &found));
}
