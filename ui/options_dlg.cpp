#include "ui/options_dlg.h"

#include <commctrl.h>
#include <algorithm>

#include "services/string_ids.h"
#include "services/string_table.h"
#include "support/module_path.h"
#include "support/process_start.h"
#include "support/text_utils.h"
#include "telemetry/compatibility_check.h"
#include "ui/language_select_dlg.h"
#include "ui/stored_language.h"
#include "update/download_throttle.h"
#include "update/launcher_process.h"

namespace {

using namespace option_keys;

struct SliderControls {
    int slider;
    int label;
};

// The overall level first, then the detail levels in their stored order.
const SliderControls kSliders[] = {
    {IDC_OVERALL_DETAIL, IDC_OVERALL_DETAIL_VALUE},
    {IDC_GRASS_DISTANCE, IDC_GRASS_DISTANCE_VALUE},
    {IDC_GRASS_DENSITY, IDC_GRASS_DENSITY_VALUE},
    {IDC_EFFECTS_DENSITY, IDC_EFFECTS_DENSITY_VALUE},
    {IDC_FAR_DISTANCE, IDC_FAR_DISTANCE_VALUE},
    {IDC_REFLECTION_DISTANCE, IDC_REFLECTION_DISTANCE_VALUE},
    {IDC_PLAYERS_DISTANCE, IDC_PLAYERS_DISTANCE_VALUE},
};
const int kSliderCount = sizeof(kSliders) / sizeof(kSliders[0]);
const int kOverallSlider = 0;
static_assert(kSliderCount == kDetailLevelCount + 1, "one slider per detail level and the overall one");

const int kSliderMax = 100;
const float kPercent = 100.0f;
const float kFromPercent = 0.01f;

const int kDefaultRefresh = 60;
const int kMaxFilterMode = 2;
const int kMaxLightingMode = 2;

const int kHttpAutomatic = 0;
const int kHttpSocketLibrary = 1;
const int kHttpWinInet = 2;

const int kHintMaxWidth = 400;
const int kHintShowMs = 30000;

// The list entry that stands for a stored HTTP preference: automatic and
// WinINet have their own, every other value means the socket library.
int HttpClientItem(int preference)
{
    return preference == kHttpAutomatic || preference == kHttpWinInet ? preference : kHttpSocketLibrary;
}

std::vector<std::wstring> EntryTexts(const std::vector<UINT>& entries)
{
    std::vector<std::wstring> texts;
    for (UINT entry : entries)
        texts.push_back(LangText(entry));
    return texts;
}

} // namespace

COptionsDlg::COptionsDlg(ILauncherWindow* mainWindow)
    : COptionsDlg(mainWindow, platformFacts_, desktopPrompt_, g_settings)
{
}

COptionsDlg::COptionsDlg(ILauncherWindow* mainWindow, IHardwareFacts& facts, IUserPrompt& prompt,
                         CSettingsStore& store)
    : mainWindow_(mainWindow), facts_(facts), prompt_(prompt), store_(store)
{
}

bool COptionsDlg::ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog();
        result = TRUE;
        return true;
    case WM_COMMAND:
        return OnCommand(LOWORD(wParam), HIWORD(wParam));
    case WM_NOTIFY: {
        const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->code != NM_CUSTOMDRAW)
            return false;
        for (int slider = 0; slider < kSliderCount; ++slider) {
            if (static_cast<int>(header->idFrom) == kSliders[slider].slider)
                OnSliderDrawn(slider);
        }
        result = CDRF_DODEFAULT;
        return true;
    }
    default:
        return false;
    }
}

void COptionsDlg::RestartLauncher(const std::wstring& launcherPath)
{
    StartProcess(launcherPath);
}

void COptionsDlg::OnInitDialog()
{
    pendingLanguage_ = CurrentLanguage();
    adapter_ = facts_.DefaultAdapter();
    if (!adapter_.direct3dCreated) {
        OfferDirectXDownload(prompt_);
        return;
    }
    shaderLevel_ = ShaderLevel(adapter_.pixelShaderVersion);
    anisotropyValues_ = AnisotropyValues(adapter_.maxAnisotropy);

    ReadOptions();
    ShowDisplayMode();
    for (int slider = 0; slider < kSliderCount; ++slider)
        ::SendDlgItemMessageW(m_hWnd, kSliders[slider].slider, TBM_SETRANGE, FALSE, MAKELPARAM(0, kSliderMax));
    for (int level = 0; level < kDetailLevelCount; ++level)
        SetSliderPosition(level + 1, details_[level]);
    overall_ = static_cast<float>(OverallDetail(details_));
    SetSliderPosition(kOverallSlider, overall_);

    SetChecked(IDC_SOUND_ENABLED, sound_);
    SetChecked(IDC_WATER_REFLECTIONS, waterReflection_);
    SetChecked(IDC_SIMPLIFIED_TERRAIN, simplifiedTerrain_);
    SetChecked(IDC_TRILINEAR, trilinear_);
    SetChecked(IDC_AUTO_QUALITY, autoQuality_);
    SetChecked(IDC_CHECK_AFTER_CRASH, store_.GetBool(kHashCheckAfterCrash, true));

    ShowResolutions();
    ShowQualityLists();
    ShowHttpClients();
    ShowLanguage();
    UpdateQualityControls();
    AttachCheckFilesHint();
    ILauncherProcess* job = CurrentJob();
    Enable(IDC_CHECK_FILES, job && job->IsFinished());
}

// Reading a missing option stores its default, so the first opening leaves
// every option the game reads in the store.
void COptionsDlg::ReadOptions()
{
    for (int level = 0; level < kDetailLevelCount; ++level)
        details_[level] = DetailFraction(store_.GetFloat(kDetailLevels[level], 1.0f)) * kPercent;
    autoQuality_ = !store_.GetBool(kOptionsVisited, false);
    windowed_ = store_.GetBool(kWindowed, false);
    windowedFullscreen_ = store_.GetBool(kWindowedFullscreen, true);
    screenWidth_ = store_.GetInt(kScreenWidth, ::GetSystemMetrics(SM_CXSCREEN));
    screenHeight_ = store_.GetInt(kScreenHeight, ::GetSystemMetrics(SM_CYSCREEN));
    refresh_ = store_.GetInt(kRefresh, kDefaultRefresh);
    // Out of range, a stored mode would be written back as it is.
    lightingMode_ = std::clamp(store_.GetInt(kLightingMode, 0), 0, kMaxLightingMode);
    filterMode_ = std::clamp(store_.GetInt(kFilterMode, 0), 0, kMaxFilterMode);
    shadowMapSize_ = store_.GetInt(kShadowMapSize, kDefaultShadowMapSize);
    textureDownsampling_ = store_.GetInt(kTextureDownsampling, kDefaultTextureDownsampling);
    anisotropy_ = store_.GetInt(kTextureAnisotropy, 0);
    trilinear_ = store_.GetBool(kTrilinearFiltering, false);
    sound_ = store_.GetBool(kSoundEnabled, true);
    waterReflection_ = store_.GetBool(kWaterReflection, true);
    simplifiedTerrain_ = store_.GetBool(kSimplifiedTerrain, false);
    httpPreference_ = store_.GetInt(kHttpPreference, kHttpAutomatic);

    if (adapter_.renderTargets < kFullRenderTargets) {
        waterReflection_ = false;
        simplifiedTerrain_ = true;
        lightingMode_ = 0;
    }
}

void COptionsDlg::ShowDisplayMode()
{
    int mode = windowedFullscreen_ ? IDC_WINDOWED_FULLSCREEN : windowed_ ? IDC_WINDOWED : IDC_FULLSCREEN;
    ::CheckRadioButton(m_hWnd, IDC_WINDOWED_FULLSCREEN, IDC_FULLSCREEN, mode);
    Enable(IDC_RESOLUTION, !windowedFullscreen_);
}

// A stored size the adapter does not list shows the nearest listed one, which
// "Save" then stores.
void COptionsDlg::ShowResolutions()
{
    resolutions_ = ResolutionChoices(adapter_.displayModes);
    std::vector<std::wstring> texts;
    for (const ResolutionChoice& choice : resolutions_)
        texts.push_back(choice.text);
    FillList(IDC_RESOLUTION, texts, NearestResolution(resolutions_, screenWidth_, screenHeight_));
}

void COptionsDlg::ShowQualityLists()
{
    FillList(IDC_LIGHTING_QUALITY, EntryTexts(LightingEntries(shaderLevel_, adapter_.renderTargets)),
             LightingItem(lightingMode_, shaderLevel_));
    ShowShadows();
    FillList(IDC_TEXTURE_QUALITY, EntryTexts(TextureEntries()), TextureItem(textureDownsampling_));

    std::vector<std::wstring> texts;
    int selection = -1;
    for (int value : anisotropyValues_) {
        if (value == anisotropy_)
            selection = static_cast<int>(texts.size());
        texts.push_back(value == 0 ? LangText(IDS_QUALITY_NONE) : std::to_wstring(value));
    }
    FillList(IDC_ANISOTROPY, texts, selection);
}

// Shadows need lighting: without it the list stays empty.
void COptionsDlg::ShowShadows()
{
    if (lightingMode_ == 0) {
        FillList(IDC_SHADOWS_QUALITY, {}, -1);
        return;
    }
    FillList(IDC_SHADOWS_QUALITY, EntryTexts(ShadowEntries(shaderLevel_)),
             ShadowItem(shadowMapSize_, filterMode_, shaderLevel_));
}

void COptionsDlg::ShowHttpClients()
{
    FillList(IDC_HTTP_CLIENT, {LangText(IDS_HTTP_AUTO_SELECT), L"POCO", L"WinINet"}, HttpClientItem(httpPreference_));
    ::SendDlgItemMessageW(m_hWnd, IDC_SPEED_LIMIT, EM_LIMITTEXT, 7, 0);
    ::SetDlgItemInt(m_hWnd, IDC_SPEED_LIMIT, StoredDownloadSpeedLimit(store_), FALSE);
}

void COptionsDlg::ShowLanguage()
{
    const LanguageInfo& language = LanguageAt(FindLanguageIndex(pendingLanguage_));
    ::SetDlgItemTextW(m_hWnd, IDC_CURRENT_LANGUAGE, LangText(language.nameEntry).c_str());
}

// The tooltip window is owned by the dialog and goes with it.
void COptionsDlg::AttachCheckFilesHint()
{
    HWND tooltip = ::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                     CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hWnd, nullptr,
                                     ::GetModuleHandleW(nullptr), nullptr);
    if (!tooltip)
        return;
    std::wstring hint = LangText(IDS_CHECK_FILES_HINT);
    TOOLINFOW tool = {};
    // The size comctl32 5 accepts: the launcher's manifest asks for no later
    // version.
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = m_hWnd;
    tool.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(IDC_CHECK_FILES));
    tool.lpszText = &hint[0];
    ::SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    ::SendMessageW(tooltip, TTM_SETMAXTIPWIDTH, 0, kHintMaxWidth);
    ::SendMessageW(tooltip, TTM_SETDELAYTIME, TTDT_AUTOPOP, MAKELPARAM(kHintShowMs, 0));
}

// Automatic quality control leaves the quality choices to the game.
void COptionsDlg::UpdateQualityControls()
{
    bool manual = !IsChecked(IDC_AUTO_QUALITY);
    for (int id : {IDC_LIGHTING_QUALITY, IDC_TEXTURE_QUALITY, IDC_TRILINEAR, IDC_WATER_REFLECTIONS,
                   IDC_SIMPLIFIED_TERRAIN})
        Enable(id, manual);
    Enable(IDC_SHADOWS_QUALITY, manual && lightingMode_ != 0);
    Enable(IDC_ANISOTROPY, manual && !anisotropyValues_.empty());
    for (const SliderControls& controls : kSliders) {
        bool enabled = manual;
        if (controls.slider == IDC_REFLECTION_DISTANCE)
            enabled = manual && IsChecked(IDC_WATER_REFLECTIONS);
        Enable(controls.slider, enabled);
        Enable(controls.label, enabled);
    }
}

bool COptionsDlg::OnCommand(WORD id, WORD code)
{
    switch (id) {
    case IDOK:
        OnSave();
        return true;
    case IDCANCEL:
        OnCancel();
        return true;
    case IDC_CHECK_FILES:
        OnCheckFiles();
        return true;
    case IDC_CHANGE_LANGUAGE:
        OnChangeLanguage();
        return true;
    case IDC_AUTO_QUALITY:
        store_.SetInt(kSuggestCount, 0);
        UpdateQualityControls();
        return true;
    case IDC_WATER_REFLECTIONS:
        UpdateQualityControls();
        return true;
    case IDC_FULLSCREEN:
    case IDC_WINDOWED:
    case IDC_WINDOWED_FULLSCREEN:
        Enable(IDC_RESOLUTION, !IsChecked(IDC_WINDOWED_FULLSCREEN));
        return true;
    case IDC_LIGHTING_QUALITY:
        if (code != CBN_SELCHANGE)
            return false;
        OnLightingChosen();
        return true;
    default:
        return false;
    }
}

void COptionsDlg::OnLightingChosen()
{
    int item = Selection(IDC_LIGHTING_QUALITY);
    if (item < 0)
        return;
    lightingMode_ = std::min(item, kMaxLightingMode);
    ShowShadows();
    UpdateQualityControls();
}

void COptionsDlg::OnChangeLanguage()
{
    CLanguageDlg dialog;
    if (dialog.DoModal(m_hWnd) != IDOK)
        return;
    pendingLanguage_ = LanguageIdAt(dialog.SelectedIndex());
    ShowLanguage();
}

void COptionsDlg::OnSave()
{
    int resolution = Selection(IDC_RESOLUTION);
    if (resolution < 0 || resolution >= static_cast<int>(resolutions_.size()))
        return;

    store_.SetBool(kWindowed, IsChecked(IDC_WINDOWED));
    store_.SetBool(kWindowedFullscreen, IsChecked(IDC_WINDOWED_FULLSCREEN));
    store_.SetInt(kScreenWidth, resolutions_[resolution].width);
    store_.SetInt(kScreenHeight, resolutions_[resolution].height);
    store_.SetInt(kRefresh, refresh_);
    store_.SetInt(kLightingMode, lightingMode_);
    int shadows = Selection(IDC_SHADOWS_QUALITY);
    if (::IsWindowEnabled(GetDlgItem(IDC_SHADOWS_QUALITY)) && shadows >= 0) {
        ShadowSetting setting = ShadowSettingAt(shadows);
        store_.SetInt(kFilterMode, setting.filterMode);
        store_.SetInt(kShadowMapSize, setting.mapSize);
    }

    store_.SetInt(kTextureDownsampling, TextureDownsamplingAt(Selection(IDC_TEXTURE_QUALITY)));
    int anisotropy = Selection(IDC_ANISOTROPY);
    bool anisotropyChosen = anisotropy >= 0 && anisotropy < static_cast<int>(anisotropyValues_.size());
    store_.SetInt(kTextureAnisotropy, anisotropyChosen ? anisotropyValues_[anisotropy] : 0);
    store_.SetBool(kTrilinearFiltering, IsChecked(IDC_TRILINEAR));
    store_.SetBool(kSoundEnabled, IsChecked(IDC_SOUND_ENABLED));
    for (int level = 0; level < kDetailLevelCount; ++level)
        store_.SetFloat(kDetailLevels[level], static_cast<float>(SliderPosition(level + 1)) * kFromPercent);

    store_.SetBool(kWaterReflection, IsChecked(IDC_WATER_REFLECTIONS));
    store_.SetBool(kSimplifiedTerrain, IsChecked(IDC_SIMPLIFIED_TERRAIN));
    store_.SetBool(kOptionsVisited, !IsChecked(IDC_AUTO_QUALITY));
    store_.SetBool(kHashCheckAfterCrash, IsChecked(IDC_CHECK_AFTER_CRASH));

    bool languageChanged = pendingLanguage_ != CurrentLanguage();
    SetCurrentLanguage(pendingLanguage_);
    StoreLanguage();

    int httpPreference = Selection(IDC_HTTP_CLIENT);
    if (httpPreference < 0)
        httpPreference = httpPreference_;
    store_.SetInt(kHttpPreference, httpPreference);
    // Blank is no limit; the running update reads it within a second.
    BOOL number = FALSE;
    const UINT limit = ::GetDlgItemInt(m_hWnd, IDC_SPEED_LIMIT, &number, FALSE);
    store_.SetUnsigned(kDownloadSpeedLimitSetting, number ? std::min<unsigned>(limit, kMostDownloadSpeedLimit) : 0);
    ILauncherProcess* job = CurrentJob();
    if (httpPreference != httpPreference_ && job)
        job->SetHttpPreference(httpPreference);

    EndDialog(IDOK);
    if (!languageChanged)
        return;
    // The main window goes first: a launcher that finds it would step aside.
    std::wstring launcherPath = ModuleFilePath();
    if (mainWindow_)
        mainWindow_->Close();
    RestartLauncher(launcherPath);
}

void COptionsDlg::OnCancel()
{
    WriteShadowSplits(store_);
    EndDialog(IDCANCEL);
}

void COptionsDlg::OnCheckFiles()
{
    EndDialog(IDOK);
    if (ILauncherProcess* job = CurrentJob())
        job->CheckFiles();
}

// Sliders report every change by drawing. A detail level moves the overall
// slider to the mean; the overall slider moves all six. Its first report
// comes before the detail sliders have reported and is ignored.
void COptionsDlg::OnSliderDrawn(int slider)
{
    int position = SliderPosition(slider);
    ::SetDlgItemTextW(m_hWnd, kSliders[slider].label, FormatString(L"%.0f%%", static_cast<double>(position)).c_str());
    if (couplingSliders_)
        return;
    couplingSliders_ = true;
    if (slider != kOverallSlider) {
        details_[slider - 1] = static_cast<float>(position);
        overall_ = static_cast<float>(OverallDetail(details_));
        SetSliderPosition(kOverallSlider, overall_);
    } else if (ignoreFirstOverall_) {
        ignoreFirstOverall_ = false;
    } else if (static_cast<float>(position) != overall_) {
        overall_ = static_cast<float>(position);
        for (int level = 0; level < kDetailLevelCount; ++level) {
            details_[level] = overall_;
            SetSliderPosition(level + 1, overall_);
        }
    }
    couplingSliders_ = false;
}

ILauncherProcess* COptionsDlg::CurrentJob() const
{
    return mainWindow_ ? mainWindow_->GetProcess() : nullptr;
}

bool COptionsDlg::IsChecked(int id) const
{
    return ::IsDlgButtonChecked(m_hWnd, id) == BST_CHECKED;
}

void COptionsDlg::SetChecked(int id, bool checked)
{
    ::CheckDlgButton(m_hWnd, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

void COptionsDlg::Enable(int id, bool enabled)
{
    ::EnableWindow(GetDlgItem(id), enabled);
}

int COptionsDlg::Selection(int id) const
{
    return static_cast<int>(::SendDlgItemMessageW(m_hWnd, id, CB_GETCURSEL, 0, 0));
}

void COptionsDlg::FillList(int id, const std::vector<std::wstring>& texts, int selection)
{
    ::SendDlgItemMessageW(m_hWnd, id, CB_RESETCONTENT, 0, 0);
    for (const std::wstring& text : texts)
        ::SendDlgItemMessageW(m_hWnd, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    ::SendDlgItemMessageW(m_hWnd, id, CB_SETCURSEL, selection, 0);
}

int COptionsDlg::SliderPosition(int slider) const
{
    return static_cast<int>(::SendDlgItemMessageW(m_hWnd, kSliders[slider].slider, TBM_GETPOS, 0, 0));
}

// Positions are whole percents; the fraction is cut off.
void COptionsDlg::SetSliderPosition(int slider, float value)
{
    ::SendDlgItemMessageW(m_hWnd, kSliders[slider].slider, TBM_SETPOS, TRUE, static_cast<LPARAM>(value));
}
