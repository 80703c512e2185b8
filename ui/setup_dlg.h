#pragma once
// The installation dialog of the first start: the target folder and the
// shortcuts to make. Modeless, in the start-up's own message loop: OK
// installs and ends the loop with 1, Cancel ends it with 2; a failed
// installation shows why and leaves the dialog open.

#include "ui/localized_dialog.h"
#include "ui/resources/resource.h"
#include "ui/toolkit/message_loop.h"

class CSetupDlg : public CLangDialogImpl<CSetupDlg>, public CMessageFilter {
public:
    enum { IDD = IDD_SETUP };

    BOOL PreTranslateMessage(MSG* msg) override;
    bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

private:
    void OnInitDialog();
    void OnBrowse();
    void OnInstall();
    // Shows the free space on the typed folder's drive (the texts stay hidden).
    void ShowDiskSpace();
    bool IsChecked(int id) const;
    void Finish(int exitCode);

    int exitCode_ = 0;
};
