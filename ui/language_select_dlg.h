#pragma once
#include "ui/localized_dialog.h"
#include "ui/resources/resource.h"

// Language choice at first start. With one language in the table it ends at
// once with that language selected.
class CLanguageDlg : public CLangDialogImpl<CLanguageDlg> {
public:
    enum { IDD = IDD_LANGUAGE };

    int SelectedIndex() const { return selectedIndex_; }

    bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

private:
    int selectedIndex_ = 0;
};
