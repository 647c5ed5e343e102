// The side panel's menus and the commands of its buttons and menu items.
#include <QCursor>
#include <QDateTime>
#include <QLocale>
#include <QMenu>

#include "mainframe/settings.h"
#include "platform/prompt.h"
#include "records/record_storage.h"
#include "ui/image_button.h"
#include "ui/partner_directory.h"
#include "ui/side_panel.h"
#include "ui/tray.h"

namespace tw {
namespace {

constexpr char kNoTransferTarget[] =
    "No Skype name or telephone number specified! \n\nPlease open the \"Options\" dialog box, "
    "assign a Skype name or a telephone number to the \"Call Transfer\" setting page.";

QAction* addItem(QMenu* menu, int id, const QString& text, CSPanel* panel)
{
    QAction* action = menu->addAction(text);
    action->setData(id);
    QObject::connect(action, &QAction::triggered, panel, [panel, id] { panel->RunCommand(id); });
    return action;
}

QAction* findItem(QMenu* menu, int id)
{
    for (QAction* action : menu->actions())
        if (action->data().toInt() == id)
            return action;
    return nullptr;
}

} // namespace

void CSPanel::buildMenus()
{
    m_preference = std::make_unique<QMenu>();
    m_preference->setObjectName("Preference");
    addItem(m_preference.get(), spcmd::Options, "&Options...", this);
    m_preference->addSeparator();
    addItem(m_preference.get(), spcmd::StickToSkype, "&Stick to Skype", this);
    addItem(m_preference.get(), spcmd::AlwaysOnTop, "Al&ways on Top", this)->setCheckable(true);
    addItem(m_preference.get(), spcmd::CallTransfer, "&Call Transfer", this)->setCheckable(true);
    m_preference->addSeparator();
    addItem(m_preference.get(), spcmd::ShowRecordPanel, "Display &Record Panel", this);
    addItem(m_preference.get(), spcmd::Close, "&Close", this);

    m_stateMenu = std::make_unique<QMenu>();
    addItem(m_stateMenu.get(), spcmd::Call, "&Call", this);
    addItem(m_stateMenu.get(), spcmd::Chat, "Cha&t", this);

    m_recent = std::make_unique<QMenu>();
    m_recent->setObjectName("Recent Records");
}

QMenu* CSPanel::PreferenceMenu()
{
    if (!m_preference)
        return nullptr;
    const bool onTop = m_setup.settings && m_setup.settings->fAlwaysOnTop;
    const bool transfer = m_setup.settings && m_setup.settings->fCallTransferEnable;
    findItem(m_preference.get(), spcmd::AlwaysOnTop)->setChecked(onTop);
    findItem(m_preference.get(), spcmd::CallTransfer)->setChecked(transfer);
    findItem(m_preference.get(), spcmd::StickToSkype)->setEnabled(m_setup.skypeWindow != nullptr);
    // Without a tray the panel offers what the tray menu would.
    const bool trayShown = m_tray && m_tray->IsShown();
    QAction* exit = findItem(m_preference.get(), spcmd::Exit);
    if (!trayShown && !exit) {
        m_preference->addSeparator()->setData(-1);
        addItem(m_preference.get(), spcmd::Help, "Online &Help...", this);
        addItem(m_preference.get(), spcmd::About, "&About ...", this);
        addItem(m_preference.get(), spcmd::Exit, "E&xit", this);
    }
    return m_preference.get();
}

QMenu* CSPanel::StateMenu()
{
    return m_stateMenu.get();
}

QMenu* CSPanel::TrayMenu()
{
    return m_tray ? m_tray->Menu() : nullptr;
}

QMenu* CSPanel::RecentRecordsMenu()
{
    if (!m_recent || m_records.empty())
        return nullptr;
    m_recent->clear();
    addItem(m_recent.get(), spcmd::Call, "&Call", this);
    addItem(m_recent.get(), spcmd::Chat, "Cha&t", this);
    m_recent->addSeparator();
    addItem(m_recent.get(), spcmd::PlayAll, "&Play All Recent Records", this);
    m_recent->addSeparator();
    const QLocale locale;
    const int last = spcmd::LastRecentRecord - spcmd::FirstRecentRecord + 1;
    for (int i = 0; i < int(m_records.size()) && i < last; ++i) {
        const auto info = m_setup.storage
                              ? m_setup.storage->Index().FindRecord(m_records[std::size_t(i)])
                              : std::nullopt;
        if (!info)
            continue; // the index no longer has it
        const QDateTime start = QDateTime::fromSecsSinceEpoch(info->startTime);
        // A caller without a full name (a telephone number) is named by the Skype name.
        const std::string name = info->FullName().empty() ? info->SkypeName() : info->FullName();
        const QString text = QString("%1. ").arg(i + 1) +
                             locale.toString(start.date(), QLocale::ShortFormat) + " " +
                             locale.toString(start.time(), QLocale::ShortFormat) + " - " +
                             QString::fromStdString(name);
        QAction* item = addItem(m_recent.get(), spcmd::FirstRecentRecord + i, text, this);
        item->setCheckable(true);
        item->setChecked(i + 1 == m_position);
    }
    return m_recent.get();
}

void CSPanel::popup(QMenu* menu, QPoint at, bool bottomAtCursor)
{
    if (!menu)
        return;
    const QSize size = menu->sizeHint();
    if (bottomAtCursor)
        at.ry() -= size.height();
    menu->popup(at);
}

void CSPanel::toggleSwitch(int command)
{
    CSettings* s = m_setup.settings;
    if (!s)
        return;
    switch (command) {
    case spcmd::VoiceMails:
        s->fVoiceMailEnable = !s->fVoiceMailEnable;
        Button(spcmd::VoiceMails)->SetState(s->fVoiceMailEnable ? 2 : 1);
        break;
    case spcmd::Conversations:
        s->fConversationRecord = !s->fConversationRecord;
        Button(spcmd::Conversations)->SetState(s->fConversationRecord ? 2 : 1);
        break;
    case spcmd::CallTransfer:
        if (s->sSkypeName.empty()) {
            if (m_setup.prompt)
                m_setup.prompt->message(kNoTransferTarget, Prompt::Icon::Warning);
            return;
        }
        s->fCallTransferEnable = !s->fCallTransferEnable;
        break;
    case spcmd::CallOut:
        s->fCallOutEnable = !s->fCallOutEnable;
        break;
    default:
        return;
    }
    if (m_setup.switchChanged)
        m_setup.switchChanged(command);
}

void CSPanel::RunCommand(int id)
{
    if (id >= spcmd::FirstRecentRecord && id <= spcmd::LastRecentRecord) {
        GoTo(id - spcmd::PlayAll, false);
        return;
    }
    const auto current = currentRecord();
    const std::string partner = current ? current->SkypeName() : std::string();
    switch (id) {
    case spcmd::Record:
        m_playAll = false;
        if (m_setup.toggleRecord)
            m_setup.toggleRecord();
        RefreshRecordButton();
        break;
    case spcmd::Previous:
        m_playAll = false;
        GoTo(m_position - 1, false);
        break;
    case spcmd::Next:
        m_playAll = false;
        GoTo(m_position + 1, false);
        break;
    case spcmd::Play:
        if (CImageButton* play = Button(spcmd::Play); play && play->isEnabled())
            play->click();
        break;
    case spcmd::Reset:
        askReset();
        break;
    case spcmd::VoiceMails:
    case spcmd::Conversations:
    case spcmd::CallTransfer:
    case spcmd::CallOut:
        toggleSwitch(id);
        break;
    case spcmd::Preference: {
        // Centred on the cursor.
        QMenu* menu = PreferenceMenu();
        const QSize size = menu->sizeHint();
        popup(menu, QCursor::pos() - QPoint(size.width() / 2, size.height() / 2), false);
        break;
    }
    case spcmd::State:
    case spcmd::Call:
        if (!partner.empty() && m_setup.directory)
            m_setup.directory->call(partner);
        break;
    case spcmd::Chat:
        if (!partner.empty() && m_setup.directory)
            m_setup.directory->chat(partner);
        break;
    case spcmd::StickToSkype:
        DockToSkype();
        break;
    case spcmd::AlwaysOnTop:
        if (m_setup.settings) {
            m_setup.settings->fAlwaysOnTop = !m_setup.settings->fAlwaysOnTop;
            SetAlwaysOnTop(m_setup.settings->fAlwaysOnTop);
        }
        break;
    case spcmd::ShowQuickPanel:
        ShowInFront();
        break;
    case spcmd::PlayAll:
        PlayAll();
        break;
    case spcmd::Close:
        hide();
        break;
    case spcmd::List:
        if (m_setup.mainWindowCommand)
            m_setup.mainWindowCommand(spcmd::ShowRecordPanel);
        break;
    case spcmd::ShowRecordPanel:
    case spcmd::Options:
    case spcmd::About:
    case spcmd::Help:
    case spcmd::Exit:
        if (m_setup.mainWindowCommand)
            m_setup.mainWindowCommand(id);
        break;
    default:
        break;
    }
}

} // namespace tw
