#pragma once
// The "Options" dialog: the game's graphics, detail and sound options, limited
// by what the video adapter can do, and the launcher's language, HTTP client
// and file-check settings. Modal, owned by the main window; result 1 for
// "Save" or "Check files crc", 2 for "Cancel".

#include <string>
#include <vector>

#include "services/settings_store.h"
#include "support/user_prompt.h"
#include "telemetry/hardware_facts.h"
#include "ui/game_options.h"
#include "ui/localized_dialog.h"
#include "ui/options_choices.h"
#include "ui/resources/resource.h"
#include "update/launcher_window.h"

class ILauncherProcess;

class COptionsDlg : public CLangDialogImpl<COptionsDlg> {
public:
    enum { IDD = IDD_OPTIONS };

    // The main window gives the dialog its job and is closed when the language
    // changes; null leaves both out. The adapter is this machine's, the store
    // the launcher's.
    explicit COptionsDlg(ILauncherWindow* mainWindow);
    COptionsDlg(ILauncherWindow* mainWindow, IHardwareFacts& facts, IUserPrompt& prompt, CSettingsStore& store);

    bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

protected:
    // Starts the launcher again, so that it comes up in the new language.
    virtual void RestartLauncher(const std::wstring& launcherPath);

private:
    void OnInitDialog();
    void ReadOptions();
    void ShowDisplayMode();
    void ShowResolutions();
    void ShowQualityLists();
    void ShowShadows();
    void ShowHttpClients();
    void ShowLanguage();
    void AttachCheckFilesHint();
    void UpdateQualityControls();

    bool OnCommand(WORD id, WORD code);
    void OnLightingChosen();
    void OnChangeLanguage();
    void OnSave();
    void OnCancel();
    void OnCheckFiles();
    void OnSliderDrawn(int slider);

    ILauncherProcess* CurrentJob() const;
    bool IsChecked(int id) const;
    void SetChecked(int id, bool checked);
    void Enable(int id, bool enabled);
    int Selection(int id) const;
    void FillList(int id, const std::vector<std::wstring>& texts, int selection);
    int SliderPosition(int slider) const;
    void SetSliderPosition(int slider, float value);

    CPlatformHardwareFacts platformFacts_;
    CDesktopPrompt desktopPrompt_;
    ILauncherWindow* mainWindow_;
    IHardwareFacts& facts_;
    IUserPrompt& prompt_;
    CSettingsStore& store_;

    AdapterFacts adapter_;
    int shaderLevel_ = 0;
    std::vector<int> anisotropyValues_;
    std::vector<ResolutionChoice> resolutions_;

    // Detail levels and the overall level, 0..100.
    float details_[option_keys::kDetailLevelCount] = {};
    float overall_ = 0;
    bool ignoreFirstOverall_ = true;
    bool couplingSliders_ = false;

    bool windowed_ = false;
    bool windowedFullscreen_ = false;
    int screenWidth_ = 0;
    int screenHeight_ = 0;
    int refresh_ = 0;
    int lightingMode_ = 0;
    int filterMode_ = 0;
    int shadowMapSize_ = 0;
    int textureDownsampling_ = 0;
    int anisotropy_ = 0;
    bool trilinear_ = false;
    bool sound_ = false;
    bool waterReflection_ = false;
    bool simplifiedTerrain_ = false;
    bool autoQuality_ = false;
    int httpPreference_ = 0;
    WORD pendingLanguage_ = 0;
};
