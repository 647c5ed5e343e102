#pragma once

#include <memory>

#include "ui/email_settings_dialog.h"
#include "ui/options_page.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tw {

class CPlayback;
class CRecordPlayer;

class CPPOptGeneral : public COptionsPage
{
    Q_OBJECT
public:
    explicit CPPOptGeneral(const OptionsContext& context, QWidget* parent = nullptr);
    void load(const CSettings& s) override;
    void save(CSettings& s) override;

    QCheckBox* startUp;
    QCheckBox* alwaysOnTop;
    QCheckBox* desktopNotify;
};

class CPPOptCallRecording : public COptionsPage
{
    Q_OBJECT
public:
    explicit CPPOptCallRecording(const OptionsContext& context, QWidget* parent = nullptr);
    void load(const CSettings& s) override;
    void save(CSettings& s) override;

    QCheckBox* record;
    QCheckBox* warn;
};

class CPPOptCallTransfer : public COptionsPage
{
    Q_OBJECT
public:
    explicit CPPOptCallTransfer(const OptionsContext& context, QWidget* parent = nullptr);
    void load(const CSettings& s) override;
    bool check() override;
    void save(CSettings& s) override;

    QCheckBox* enable;
    QLineEdit* skypeName;
};

class CPPOptRecordStorage : public COptionsPage
{
    Q_OBJECT
public:
    explicit CPPOptRecordStorage(const OptionsContext& context, QWidget* parent = nullptr);
    void load(const CSettings& s) override;
    bool check() override;
    void save(CSettings& s) override;
    /// Button "...": the folder chooser on the folder shown.
    void ChooseFolder();

    QLineEdit* folder;
    QPushButton* browse;
    QCheckBox* recycle;
    QLineEdit* minFreeSpace;
};

class CPPOptAudio : public COptionsPage
{
    Q_OBJECT
public:
    explicit CPPOptAudio(const OptionsContext& context, QWidget* parent = nullptr);
    void load(const CSettings& s) override;
    void save(CSettings& s) override;

    QComboBox* recording;
    QComboBox* email;
    QComboBox* channels;
};

class CPPOptVoiceMail : public COptionsPage
{
    Q_OBJECT
public:
    explicit CPPOptVoiceMail(const OptionsContext& context, QWidget* parent = nullptr);
    ~CPPOptVoiceMail() override;
    void load(const CSettings& s) override;
    bool check() override;
    void save(CSettings& s) override;
    void leave() override;

    /// Button "Email settin&gs...": the E-mail Settings dialog on the page's e-mail values.
    void EditEmailSettings();
    /// The dialog is made by this (tests drive it); null: a plain modal run.
    std::function<int(CEmailSettingsDlg&)> runEmailDialog;

    void Play();
    void Stop();
    bool isPlaying() const;
    GreetingChoice& greeting() { return *m_greeting; }
    const EmailValues& emailValues() const { return m_email; }
    bool emailEdited() const { return m_emailEdited; }

    QCheckBox* enable;
    QLineEdit* waitingPeriod;
    QLineEdit* maxLength;
    QRadioButton* kindList;
    QRadioButton* kindRecorded;
    QRadioButton* kindFile;
    QComboBox* greetingList;
    QPushButton* play;
    QPushButton* stop;
    QPushButton* recordButton;
    QPushButton* load_;
    QCheckBox* muteCaller;
    QCheckBox* emailVoiceMail;
    QPushButton* emailSettings;

private:
    void chooseKind(int kind);
    void showKind();
    bool runRecorder(const std::string& target, bool& recorded);

    std::unique_ptr<GreetingChoice> m_greeting;
    std::unique_ptr<CRecordPlayer> m_player;
    std::unique_ptr<CPlayback> m_playback;
    EmailValues m_email;
    bool m_emailEdited = false;
};

} // namespace tw
