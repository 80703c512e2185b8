#include "ui/refusal_poll_dlg.h"

#include <iterator>
#include <string>

#include "telemetry/report_client.h"

namespace {

// Report numbers follow this order, not the order on screen.
const int kAnswersByOption[] = {IDC_ANSWER_NONE,   IDC_ANSWER_NOT_WANTED, IDC_ANSWER_TOO_SLOW,
                                IDC_ANSWER_ERRORS, IDC_ANSWER_OTHER,      IDC_ANSWER_LATER};
const int kMaxAnswerChars = 256;

} // namespace

CRefusalPollDlg::CRefusalPollDlg(CReportClient& reports) : reports_(reports) {}

int CRefusalPollDlg::OptionOf(int answerId)
{
    for (size_t option = 0; option < std::size(kAnswersByOption); ++option) {
        if (kAnswersByOption[option] == answerId)
            return static_cast<int>(option);
    }
    return -1;
}

bool CRefusalPollDlg::ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM, LRESULT& result)
{
    switch (message) {
    case WM_INITDIALOG:
        CenterWindow();
        ::CheckDlgButton(m_hWnd, IDC_ANSWER_NONE, BST_CHECKED);
        textBox_ = GetDlgItem(IDC_ANSWER_TEXT);
        ::SendMessageW(textBox_, EM_LIMITTEXT, kMaxAnswerChars, 0);
        result = TRUE;
        return true;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (OptionOf(id) >= 0) {
            answerId_ = id;
            ::EnableWindow(textBox_, id == IDC_ANSWER_OTHER);
            return true;
        }
        if (id == IDOK || id == IDCANCEL) {
            StoreAnswer();
            EndDialog(id);
            return true;
        }
        return false;
    }
    default:
        return false;
    }
}

// Cancel keeps the launcher open, but the answer chosen so far still counts.
void CRefusalPollDlg::StoreAnswer()
{
    std::wstring text;
    if (answerId_ == IDC_ANSWER_OTHER) {
        text.resize(::GetWindowTextLengthW(textBox_) + 1);
        text.resize(::GetWindowTextW(textBox_, &text[0], static_cast<int>(text.size())));
    }
    reports_.SetPollAnswer(OptionOf(answerId_), text);
}
