#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "mainframe/greetings.h"
#include "mainframe/settings.h"
#include "platform/prompt.h"
#include "ui/greeting_recorder.h"
#include "ui/options_layout.h"
#include "ui/options_pages.h"
#include "ui/record_player.h"

namespace tw {
namespace {

QPushButton* button(const QString& text, QWidget* parent)
{
    auto* b = new QPushButton(text, parent);
    b->setAutoDefault(false);
    return b;
}

} // namespace

CPPOptVoiceMail::CPPOptVoiceMail(const OptionsContext& context, QWidget* parent)
    : COptionsPage("Voice Mail", context, parent), m_player(std::make_unique<CRecordPlayer>())
{
    if (context.previewOutput)
        m_player->SetOutputFactory(context.previewOutput);
    QBoxLayout* column = pageColumn(this);
    enable = addCheck(column, "&Enable voice mail function");
    auto* grid = new QGridLayout;
    column->addLayout(grid);
    waitingPeriod = addNumberRow(
        grid, 0,
        "&Incoming call ringing period before greeting message starts: ", " (0..30 seconds)");
    maxLength =
        addNumberRow(grid, 1, "Ma&ximum length for a voice mail record:", "(30..300 seconds)");
    grid->setColumnStretch(3, 1);

    auto* group = new QGroupBox("Greeting message", this);
    auto* greetingGrid = new QGridLayout(group);
    kindList = new QRadioButton("&Default", group);
    kindRecorded = new QRadioButton("&Personalized", group);
    kindFile = new QRadioButton("&Audio file", group);
    auto* kinds = new QButtonGroup(this);
    kinds->addButton(kindList, GreetingChoice::List);
    kinds->addButton(kindRecorded, GreetingChoice::Recorded);
    kinds->addButton(kindFile, GreetingChoice::OwnFile);
    greetingList = new QComboBox(group);
    greetingList->setMinimumContentsLength(18);
    play = button("&Play", group);
    stop = button("&Stop", group);
    recordButton = button("&Record...", group);
    load_ = button("&Load...", group);
    greetingGrid->addWidget(kindList, 0, 0);
    greetingGrid->addWidget(greetingList, 0, 1);
    greetingGrid->addWidget(kindRecorded, 1, 0);
    greetingGrid->addWidget(recordButton, 1, 1, Qt::AlignLeft);
    greetingGrid->addWidget(kindFile, 2, 0);
    greetingGrid->addWidget(load_, 2, 1, Qt::AlignLeft);
    auto* preview = new QHBoxLayout;
    preview->addWidget(play);
    preview->addWidget(stop);
    greetingGrid->addLayout(preview, 0, 2);
    greetingGrid->setColumnStretch(3, 1);
    column->addWidget(group);

    muteCaller = addCheck(column, "Speaker so&und off while taking a voice mail");
    auto* mailRow = new QHBoxLayout;
    emailVoiceMail = new QCheckBox("Email &voice mail messages", this);
    emailSettings = button("Email settin&gs...", this);
    mailRow->addWidget(emailVoiceMail);
    mailRow->addWidget(emailSettings);
    mailRow->addStretch();
    column->addLayout(mailRow);
    column->addStretch();

    connect(kinds, &QButtonGroup::idClicked, this, [this](int kind) { chooseKind(kind); });
    connect(play, &QPushButton::clicked, this, [this] { Play(); });
    connect(stop, &QPushButton::clicked, this, [this] { Stop(); });
    connect(recordButton, &QPushButton::clicked, this, [this] {
        Stop();
        m_greeting->record([this](const std::string& t, bool& r) { return runRecorder(t, r); });
    });
    connect(load_, &QPushButton::clicked, this, [this] {
        Stop();
        m_greeting->chooseAndLoadFile();
    });
    connect(emailSettings, &QPushButton::clicked, this, [this] { EditEmailSettings(); });
    connect(m_player.get(), &CRecordPlayer::recordEnded, this, [this] { Stop(); });
}

CPPOptVoiceMail::~CPPOptVoiceMail()
{
    Stop();
}

void CPPOptVoiceMail::load(const CSettings& s)
{
    enable->setChecked(s.fVoiceMailEnable);
    waitingPeriod->setText(QString::number(s.nVoiceMailWaitingPeriod));
    maxLength->setText(QString::number(s.nVoiceMailMaxLength));
    muteCaller->setChecked(s.fMuteCaller);
    emailVoiceMail->setChecked(s.fVoiceMailEmail);
    m_email = {s.EmailServer, s.EmailUserName, s.EmailPW,      s.EmailFrom,
               s.EmailTo,     s.EmailSubject,  s.EmailSecurity};
    m_emailEdited = false;

    const std::string& folder = context().greetingFolder;
    greetingList->clear();
    const int count = GetGreetingCount(folder);
    for (int i = 1; i <= count; ++i) {
        std::string name;
        GetGreeting(folder, i, &name, nullptr);
        greetingList->addItem(QString::fromStdString(name));
    }
    greetingList->setCurrentIndex(s.nDefaultGreetingIndex - 1);
    m_greeting = std::make_unique<GreetingChoice>(folder, prompt(), s.nGreetingType);
    showKind();
}

void CPPOptVoiceMail::showKind()
{
    switch (m_greeting->kind()) {
    case GreetingChoice::List:
        kindList->setChecked(true);
        break;
    case GreetingChoice::Recorded:
        kindRecorded->setChecked(true);
        break;
    case GreetingChoice::OwnFile:
        kindFile->setChecked(true);
        break;
    }
}

void CPPOptVoiceMail::chooseKind(int kind)
{
    Stop();
    if (kind == GreetingChoice::List)
        m_greeting->chooseList();
    else if (kind == GreetingChoice::Recorded)
        m_greeting->chooseRecorded(
            [this](const std::string& t, bool& r) { return runRecorder(t, r); });
    else
        m_greeting->chooseOwnFile();
    showKind(); // a choice that fell back shows the previous kind again
}

bool CPPOptVoiceMail::runRecorder(const std::string& target, bool& recorded)
{
    if (context().recorder)
        return context().recorder(target, recorded);
    CRecordGreetingDlg dialog(target, prompt(), {}, {}, window());
    const bool ok = dialog.exec() == QDialog::Accepted;
    recorded = dialog.recorded();
    return ok;
}

void CPPOptVoiceMail::Play()
{
    Stop();
    const std::string file = m_greeting->previewFile(greetingList->currentIndex());
    std::string error;
    m_playback = m_player->OpenPlayback(file, &error);
    if (!m_playback || !m_player->Play(*m_playback, &error)) {
        m_player->ClosePlayback(m_playback);
        prompt().message(error.empty() ? kTextAudioNotSupported : error, Prompt::Icon::Information,
                         Prompt::Buttons::Ok);
    }
}

void CPPOptVoiceMail::Stop()
{
    if (!m_playback)
        return;
    m_player->Stop(*m_playback);
    m_player->ClosePlayback(m_playback);
}

bool CPPOptVoiceMail::isPlaying() const
{
    return m_playback && m_playback->state() == CPlayback::Running;
}

bool CPPOptVoiceMail::check()
{
    VoiceMailInput in;
    in.waitingPeriod = waitingPeriod->text().toStdString();
    in.maxLength = maxLength->text().toStdString();
    in.emailVoiceMail = emailVoiceMail->isChecked();
    in.server = m_email.server;
    in.userName = m_email.userName;
    in.from = m_email.from;
    in.to = m_email.to;
    const OptionsCheck refusal = CheckVoiceMailPage(in);
    QWidget* field = emailSettings;
    if (refusal && refusal->field == OptionsField::MaxLength)
        field = maxLength;
    else if (refusal && refusal->field == OptionsField::WaitingPeriod)
        field = waitingPeriod;
    return passes(refusal, field);
}

void CPPOptVoiceMail::leave()
{
    Stop();
}

void CPPOptVoiceMail::EditEmailSettings()
{
    Stop();
    CEmailSettingsDlg dialog(m_email, prompt(), context().senderName, window());
    const int result = runEmailDialog ? runEmailDialog(dialog) : dialog.exec();
    if (result != QDialog::Accepted)
        return;
    m_email = dialog.values();
    m_emailEdited = true;
}

void CPPOptVoiceMail::save(CSettings& s)
{
    Stop();
    s.fVoiceMailEnable = enable->isChecked();
    if (auto v = ParseBoundedInt(waitingPeriod->text().toStdString(), 0, 30))
        s.nVoiceMailWaitingPeriod = *v;
    if (auto v = ParseBoundedInt(maxLength->text().toStdString(), 30, 300))
        s.nVoiceMailMaxLength = *v;
    s.fMuteCaller = muteCaller->isChecked();
    s.fVoiceMailEmail = emailVoiceMail->isChecked();
    if (m_emailEdited) {
        s.EmailServer = m_email.server;
        s.EmailUserName = m_email.userName;
        s.EmailPW = m_email.password;
        s.EmailFrom = m_email.from;
        s.EmailTo = m_email.to;
        s.EmailSubject = m_email.subject;
        s.EmailSecurity = m_email.security;
    }
    m_greeting->confirm(s, std::max(0, greetingList->currentIndex()));
}

} // namespace tw
