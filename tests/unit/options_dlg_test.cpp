#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "services/registry_keys.h"
#include "services/string_ids.h"
#include "support/module_path.h"
#include "tests/fakes/captured_prompt.h"
#include "tests/fakes/fixed_hardware_facts.h"
#include "tests/fakes/scratch_store.h"
#include "ui/options_dlg.h"

namespace {

using Texts = std::vector<std::wstring>;

// Records restarts instead of starting this test program again.
struct CRecordingOptionsDlg : COptionsDlg {
    using COptionsDlg::COptionsDlg;
    void RestartLauncher(const std::wstring& path) override { restarts.push_back(path); }
    Texts restarts;
};

// The dialog without a main window, opened modeless so that the test can act
// on it between messages.
class OptionsDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES};
        ::InitCommonControlsEx(&controls);
        facts.SetAdapter("Adapter", 3, 0, 3, 0);
        facts.adapter.displayModes = {{1280, 1024, 60}, {800, 600, 60}, {1024, 768, 60}, {1280, 1024, 75},
                                      {1280, 720, 60}};
        // Quality choices are open only without automatic quality control.
        scratch.store.SetBool(L"PerfomanceOptions/OptionsVisited", true);
    }
    void TearDown() override
    {
        SetCurrentLanguage(kLanguageRussian);
        ::SHDeleteKeyW(HKEY_CURRENT_USER, GameKeyPath().c_str());
    }

    void Open() { ASSERT_NE(dialog.Create(nullptr), nullptr); }
    void Choose(int id, int item)
    {
        ::SendDlgItemMessageW(dialog.m_hWnd, id, CB_SETCURSEL, item, 0);
        Command(id, CBN_SELCHANGE);
    }
    void Command(int id, WORD code = BN_CLICKED) { ::SendMessageW(dialog.m_hWnd, WM_COMMAND, MAKEWPARAM(id, code), 0); }
    std::pair<int, Texts> Items(int id)
    {
        Texts texts(::SendDlgItemMessageW(dialog.m_hWnd, id, CB_GETCOUNT, 0, 0));
        for (size_t i = 0; i < texts.size(); ++i) {
            texts[i].resize(::SendDlgItemMessageW(dialog.m_hWnd, id, CB_GETLBTEXTLEN, i, 0));
            ::SendDlgItemMessageW(dialog.m_hWnd, id, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&texts[i][0]));
        }
        return {static_cast<int>(::SendDlgItemMessageW(dialog.m_hWnd, id, CB_GETCURSEL, 0, 0)), texts};
    }

    CFixedHardwareFacts facts;
    CCapturedPrompt prompt;
    CScratchStore scratch{L"Software\\TarnholdTests\\Options"};
    CRecordingOptionsDlg dialog{nullptr, facts, prompt, scratch.store};
};

TEST_F(OptionsDlgTest, ResolutionsAreOnePerSizeFrom1024WideAndAnUnlistedOneShowsTheNearest)
{
    // Stored size, the item shown: 1536x864 is a 1920x1080 screen at 125 %
    // read without DPI awareness.
    const std::pair<const wchar_t*, int> cases[] = {{L"1280x1024", 2}, {L"1536x864", 1}, {L"640x480", 0},
                                                    {L"9999x9999", 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        const std::wstring size = c.first;
        scratch.store.SetText(L"Engine/Graphics/ScreenWidth", size.substr(0, size.find(L'x')));
        scratch.store.SetText(L"Engine/Graphics/ScreenHeight", size.substr(size.find(L'x') + 1));
        Open();
        EXPECT_EQ(Items(IDC_RESOLUTION), std::make_pair(c.second, Texts{L"1024x768", L"1280x720", L"1280x1024"}));
        // The rest of the dialog is filled all the same.
        EXPECT_EQ(Items(IDC_HTTP_CLIENT).first, 0);
        dialog.DestroyWindow();
    }
}

TEST_F(OptionsDlgTest, StoredValuesOutOfRangeAreSavedWithinIt)
{
    // Stored lighting mode and detail level, then what "Save" writes back.
    const wchar_t* cases[][4] = {{L"-1", L"-0.5", L"0", L"0.000000"},
                                 {L"7", L"340000000000000000000000000000000000000", L"2", L"1.000000"},
                                 {L"2", L"0.25", L"2", L"0.250000"}};
    facts.adapter.renderTargets = 4;
    for (const auto& c : cases) {
        SCOPED_TRACE(c[0]);
        scratch.store.SetText(L"Engine/Graphics/GlobalLighting/GlobalLightingMode", c[0]);
        scratch.store.SetText(L"PerfomanceOptions/GrassDensity", c[1]);
        Open();
        Command(IDOK);
        EXPECT_EQ(scratch.Text(L"Engine/Graphics/GlobalLighting/GlobalLightingMode"), c[2]);
        EXPECT_EQ(scratch.Text(L"PerfomanceOptions/GrassDensity"), c[3]);
        dialog.DestroyWindow();
    }
}

TEST_F(OptionsDlgTest, ListsFollowTheAdapterAndAStoredModeTheyLackIsSavedUnchanged)
{
    const std::wstring no = LangText(IDS_QUALITY_NONE), low = LangText(IDS_QUALITY_LOW),
                       medium = LangText(IDS_QUALITY_MEDIUM), high = LangText(IDS_QUALITY_HIGH);
    struct Case {
        int psMajor, renderTargets, maxAnisotropy, lightingItem;
        Texts lighting, anisotropy;
        int anisotropyChoice;
        const wchar_t* saved;  // lighting mode, anisotropy
    };
    const Case cases[] = {{2, 4, 16, 0, {low, medium}, {no, L"2", L"4", L"8", L"16"}, 3, L"2 8"},
                          {3, 4, 4, 2, {low, medium, high}, {no, L"2", L"4"}, 1, L"2 2"},
                          {3, 2, 1, 0, {low}, {}, -1, L"0 0"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.maxAnisotropy);
        scratch.store.SetInt(L"Engine/Graphics/GlobalLighting/GlobalLightingMode", 2);
        scratch.store.SetInt(L"Engine/Graphics/Options/TextureAnizotropy", 4);
        facts.adapter.pixelShaderVersion = D3DPS_VERSION(c.psMajor, 0);
        facts.adapter.renderTargets = static_cast<DWORD>(c.renderTargets);
        facts.adapter.maxAnisotropy = static_cast<DWORD>(c.maxAnisotropy);
        Open();
        EXPECT_EQ(Items(IDC_LIGHTING_QUALITY), std::make_pair(c.lightingItem, c.lighting));
        EXPECT_EQ(Items(IDC_ANISOTROPY).second, c.anisotropy);
        EXPECT_EQ(::IsWindowEnabled(::GetDlgItem(dialog.m_hWnd, IDC_ANISOTROPY)) != FALSE, c.maxAnisotropy > 1);
        Choose(IDC_ANISOTROPY, c.anisotropyChoice);
        Command(IDOK);
        EXPECT_EQ(scratch.Text(L"Engine/Graphics/GlobalLighting/GlobalLightingMode") + L" " +
                      scratch.Text(L"Engine/Graphics/Options/TextureAnizotropy"),
                  c.saved);
        dialog.DestroyWindow();
    }
}

TEST_F(OptionsDlgTest, OnlyAChangedLanguageRestartsTheLauncher)
{
    SetCurrentLanguage(kLanguageEnglish);
    Open();
    Command(IDOK);
    EXPECT_TRUE(dialog.restarts.empty());

    // The language dialog offers the one row there is.
    Command(IDC_CHANGE_LANGUAGE);
    Command(IDOK);
    EXPECT_EQ(CurrentLanguage(), kLanguageRussian);
    EXPECT_EQ(dialog.restarts, Texts{ModuleFilePath()});
}

} // namespace
