#include "net/transfer_limits.h"

#include "services/string_ids.h"
#include "services/string_table.h"
#include "support/text_utils.h"

namespace {

const ULONGLONG kIndexSizeLimit = 1ULL << 32;

} // namespace

bool FitsIndexSize(ULONGLONG start, ULONGLONG length)
{
    return start < kIndexSizeLimit && length < kIndexSizeLimit - start;
}

std::wstring StoppedSendingText(const std::wstring& remotePath)
{
    return FormatString(LoadLangString(IDS_SERVER_STOPPED_SENDING), remotePath.c_str());
}

std::wstring TooLargeText(const std::wstring& remotePath, ULONGLONG length)
{
    return FormatString(LoadLangString(IDS_SIZE_TOO_LARGE), std::to_wstring(length).c_str(), remotePath.c_str());
}
