#pragma once
// The question a player meets when closing the launcher before the game files
// are ready: why? The answer goes to the report server with the abort event.

#include "ui/localized_dialog.h"
#include "ui/resources/resource.h"

class CReportClient;

class CRefusalPollDlg : public CLangDialogImpl<CRefusalPollDlg> {
public:
    enum { IDD = IDD_REFUSAL_POLL };

    explicit CRefusalPollDlg(CReportClient& reports);

    bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    // The number the report server knows an answer button by; -1 for others.
    static int OptionOf(int answerId);

private:
    void StoreAnswer();

    CReportClient& reports_;
    HWND textBox_ = nullptr;
    int answerId_ = IDC_ANSWER_NONE;
};
