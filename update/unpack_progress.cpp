#include "update/unpack_progress.h"

void CUnpackProgress::OnUnpackFileBegin(const IndexEntry& entry)
{
    if (keeper_)
        keeper_->Unvouch(entry.name);
}

void CUnpackProgress::OnUnpackFileDone(const IndexEntry& entry)
{
    if (!keeper_)
        return;
    keeper_->Vouch(entry);
    keeper_->SaveIfDue(::GetTickCount());
}

void CUnpackProgress::OnUnpackBytes(uint32_t count)
{
    progress_.currentFileBytes += count;
    progress_.progressChanged = true;
}

void CUnpackProgress::OnUnpackBegin(uint64_t totalSize)
{
    window_.SetCurrentFile(static_cast<DWORD>(totalSize), 0, L"");
    progress_.currentFileBytes = 0;
    progress_.progressChanged = true;
}
