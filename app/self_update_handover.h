#pragma once
// The start-up side of the update run's self-update: the new executable goes
// to "<launcher>.copy.exe", the closing launcher asks nobody why it closes,
// and the copy is started to put itself in place of the launcher file.

#include "update/launcher_handover.h"

class CSelfUpdateHandover : public ILauncherHandover {
public:
    std::wstring CopyPathOf(const std::wstring& launcherPath) override;
    void MarkClosing() override;
    bool IsClosing() override;
    bool StartCopy(const std::wstring& copyPath) override;
};
