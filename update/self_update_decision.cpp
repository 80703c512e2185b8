#include "update/self_update_decision.h"

#include <algorithm>
#include <vector>

#include "services/string_ids.h"
#include "services/string_table.h"
#include "support/gzip/zip_codec.h"
#include "support/module_path.h"
#include "support/system_message.h"
#include "support/text_utils.h"
#include "support/win_handles.h"
#include "update/single_package.h"

namespace {

const wchar_t kSkipSelfUpdate[] = L"Skip it and continue";
const DWORD kSkipSelfUpdatePauseMs = 1000;
const DWORD kCompareBlockBytes = 65536;

// Equal sizes first, then block by block; both files stay readable to others.
bool SameContent(const std::wstring& a, const std::wstring& b)
{
    UniqueHandle first(::CreateFileW(a.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    UniqueHandle second(::CreateFileW(b.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER firstSize, secondSize;
    if (!first || !second || !::GetFileSizeEx(first.Get(), &firstSize) || !::GetFileSizeEx(second.Get(), &secondSize) ||
        firstSize.QuadPart != secondSize.QuadPart)
        return false;
    std::vector<char> firstBlock(kCompareBlockBytes), secondBlock(kCompareBlockBytes);
    for (;;) {
        DWORD firstGot = 0, secondGot = 0;
        if (!::ReadFile(first.Get(), firstBlock.data(), kCompareBlockBytes, &firstGot, nullptr) ||
            !::ReadFile(second.Get(), secondBlock.data(), kCompareBlockBytes, &secondGot, nullptr) ||
            firstGot != secondGot)
            return false;
        if (firstGot == 0)
            return true;
        if (!std::equal(firstBlock.begin(), firstBlock.begin() + firstGot, secondBlock.begin()))
            return false;
    }
}

} // namespace

SelfUpdateOutcome CSelfUpdateDecision::Decide(const std::wstring& target, const std::wstring& package,
                                              const IndexEntry& entry, HWND window, std::atomic<bool>& closing)
{
    const std::wstring copy = handover_.CopyPathOf(target);
    if (::GetFileAttributesW(copy.c_str()) != INVALID_FILE_ATTRIBUTES && !::DeleteFileW(copy.c_str())) {
        const std::wstring reason = SystemMessageText(::GetLastError());
        return Skip(L"Failed to delete " + copy + L"\r\n" + reason + L"\r\n" +
                    L"This file should be deleted to complete the launcher update process\r\n");
    }
    try {
        UnpackSinglePackage(package, copy);
    } catch (const CZipException& e) {
        return Skip(LoadLangString(IDS_UNPACK_ERROR) + AnsiToWide(e.Text()) + L"\r\n");
    }
    if (!run_.Matches(copy, entry)) {
        ::DeleteFileW(copy.c_str());
        return SelfUpdateOutcome::Mismatch;
    }

    const std::wstring running = ModuleFilePath();
    if (SameContent(copy, running)) {
        run_.LogLine(L"Self update is not required");
        ::DeleteFileW(copy.c_str());
        run_.Date(running, entry.fileTime);
        return SelfUpdateOutcome::NotRequired;
    }
    run_.Date(copy, entry.fileTime);
    keeper_.Unvouch(entry.name);
    keeper_.Save();
    closing = true;
    handover_.MarkClosing();
    if (!handover_.StartCopy(copy)) {
        closing = false;
        return Skip(L"Failed to start " + copy + L"\r\n" + SystemMessageText(::GetLastError()) + L"\r\n");
    }
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    return SelfUpdateOutcome::HandedOver;
}

SelfUpdateOutcome CSelfUpdateDecision::Skip(const std::wstring& lines)
{
    run_.LogLine(lines + kSkipSelfUpdate);
    ::Sleep(kSkipSelfUpdatePauseMs);
    return SelfUpdateOutcome::Skipped;
}
