#include "app/self_update_handover.h"

#include "app/command_line.h"
#include "support/process_start.h"
#include "app/self_update_stages.h"

std::wstring CSelfUpdateHandover::CopyPathOf(const std::wstring& launcherPath)
{
    return launcherPath + kCopySuffix;
}

void CSelfUpdateHandover::MarkClosing()
{
    SetSelfUpdateClosing();
}

bool CSelfUpdateHandover::IsClosing()
{
    return IsSelfUpdateClosing();
}

bool CSelfUpdateHandover::StartCopy(const std::wstring& copyPath)
{
    return StartProcess(copyPath, kSwitchCopyToOriginalAndRestart);
}
