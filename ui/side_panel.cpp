// The side panel's window: skin, children, painting, dragging, docking and its end.
#include "ui/side_panel.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include "mainframe/settings.h"
#include "ui/image_button.h"
#include "ui/navigator.h"
#include "ui/side_panel_state_button.h"
#include "ui/skin.h"
#include "ui/tray.h"
#include "ui/ui_log.h"

namespace tw {
namespace {

struct PanelButton
{
    int id;
    const char* file;
    const char* text;
    int x, y;
    bool twoState;
    const char* tip1;
    const char* tip2;
};

// Positions are the buttons' top-left corners in panel coordinates.
constexpr PanelButton kButtons[9] = {
    {spcmd::Record, "record.bmp", "Record", 8, 9, true, "Record", "Stop record"},
    {spcmd::Previous, "prev.bmp", "Previous", 68, 9, false,
     "Go to the previous record in Recent Record Display", nullptr},
    {spcmd::Play, "play.bmp", "Play", 101, 9, true,
     "Play the current record in Recent Record Display", "Pause the playback"},
    {spcmd::Next, "next.bmp", "Next", 154, 9, false,
     "Go to the next record in Recent Record Display", nullptr},
    {spcmd::List, "list.bmp", "List", 191, 9, false, "Display Record Panel", nullptr},
    {spcmd::VoiceMails, "vmail.bmp", "Voice Mails", 227, 9, true, "Enable voice mail function",
     "Disable voice mail function"},
    {spcmd::Conversations, "convrecord.bmp", "Conversation Records", 257, 9, true,
     "Enable automatically recording conversation", "Disable automatically recording conversation"},
    {spcmd::Reset, "reset.bmp", "Reset", 269, 41, false, "Clear Recent Record Display", nullptr},
    {spcmd::Preference, "pref.bmp", "Preference", 254, 73, false, "Customize the Options", nullptr},
};

constexpr int kFieldX[3] = {36, 164, 226};
constexpr int kFieldWidth[3] = {128, 56, 40};
constexpr int kBarX = 8, kBarY = 73, kBarWidth = 210;

} // namespace

CSPanel::CSPanel(Setup setup, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint), m_setup(std::move(setup))
{
    setObjectName("Quick Panel");
    setWindowTitle("Quick Panel");
    connect(&m_player, &CRecordPlayer::recordEnded, this, [this] { OnRecordAction(3); });
}

CSPanel::~CSPanel()
{
    closePlayback();
}

void CSPanel::closePlayback()
{
    if (!m_playback)
        return;
    m_player.Stop(*m_playback);
    m_player.ClosePlayback(m_playback);
}

bool CSPanel::Create()
{
    if (m_created)
        return true;
    if (!LoadSkin(m_bg, "s_panel/bg/bg.bmp") || !LoadSkin(m_stripActive, "s_panel/bg/name_f.bmp") ||
        !LoadSkin(m_stripInactive, "s_panel/bg/name_nf.bmp"))
        return false;
    if (m_setup.loadList) {
        m_records.clear();
        m_position = 0;
        m_setup.loadList(m_records, m_position);
        m_position = std::clamp(m_position, 0, int(m_records.size()));
        if (!m_records.empty() && m_position == 0)
            m_position = 1;
    }
    setFixedSize(m_bg.Width(), m_bg.Height());

    const PanelPosition stored =
        m_setup.configPath.empty() ? PanelPosition{} : loadPanelPosition(m_setup.configPath);
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize screenSize = screen ? screen->geometry().size() : QSize(1024, 768);
    const DockPoint at = InitialPanelPosition(stored.left, stored.top, screenSize.width(),
                                              screenSize.height(), width(), height());
    move(at.x, at.y);

    buildChildren();
    buildMenus();
    m_created = true;
    const int position = m_position;
    m_position = 0;
    GoTo(position, true);
    m_tray = std::make_unique<CTray>(QString::fromStdString(m_setup.displayName),
                                     [this](int id) { RunCommand(id); });
    m_tray->Add(m_setup.useTray);
    return true;
}

void CSPanel::buildChildren()
{
    for (std::size_t i = 0; i < std::size(kButtons); ++i) {
        const PanelButton& entry = kButtons[i];
        auto* button = new CImageButton(this);
        button->setObjectName(entry.text);
        button->setText(entry.text);
        button->LoadFaces(std::string("s_panel/btn/") + entry.file, QSize(28, 28));
        button->move(entry.x, entry.y);
        if (entry.twoState)
            button->SetKind(CImageButton::kTwoState);
        button->SetTooltip(1, entry.tip1);
        button->SetTooltip(2, entry.tip2 ? entry.tip2 : entry.tip1);
        const int id = entry.id;
        if (entry.twoState)
            connect(button, &CImageButton::stateClicked, this, [this, id](int state) {
                if (id == spcmd::Play)
                    onPlayClicked(state);
                else
                    RunCommand(id);
            });
        else
            connect(button, &QAbstractButton::clicked, this, [this, id] { RunCommand(id); });
        m_buttons[i] = button;
    }

    // The fields use the desktop's general font, as high as its text and at most 20 pixels.
    const QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    const int h = std::min(QFontMetrics(font).height(), 20);
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        auto* field = new QLabel(this);
        field->setObjectName(QString("Field%1").arg(spcmd::NameField + int(i)));
        field->setFont(font);
        field->setTextFormat(Qt::PlainText);
        field->setAlignment(i == 2 ? Qt::AlignRight | Qt::AlignVCenter
                                   : Qt::AlignLeft | Qt::AlignVCenter);
        QPalette pal = field->palette();
        pal.setColor(QPalette::WindowText, QColor(0xe6, 0xed, 0xf3));
        field->setPalette(pal);
        field->setGeometry(kFieldX[i], 45 + (20 - h) / 2, kFieldWidth[i], h - 1);
        field->installEventFilter(this);
        m_fields[i] = field;
    }
    m_fields[2]->setToolTip("Current record index / Total recent records");

    m_state = new StateButton(this);
    m_state->setGeometry(16, 48, 16, 16);
    m_state->onClick = [this] { RunCommand(spcmd::Call); };
    m_state->onRightClick = [this] { popup(StateMenu(), QCursor::pos(), true); };

    m_bar = new CNavigator(this);
    m_bar->setGeometry(kBarX, kBarY, kBarWidth, m_bar->minimumSizeHint().height());
    m_player.AddDisplay(m_bar);
    connect(m_bar, &CNavigator::userMoved, this, [this] {
        if (m_playback)
            m_player.Seek(*m_playback, m_bar->GetPos() - 1);
    });
}

CImageButton* CSPanel::Button(int id) const
{
    for (std::size_t i = 0; i < std::size(kButtons); ++i)
        if (kButtons[i].id == id)
            return m_buttons[i];
    return nullptr;
}

QString CSPanel::FieldText(int id) const
{
    const int i = id - spcmd::NameField;
    return i >= 0 && i < 3 && m_fields[std::size_t(i)] ? m_fields[std::size_t(i)]->text()
                                                       : QString();
}

QString CSPanel::FieldTip(int id) const
{
    const int i = id - spcmd::NameField;
    return i >= 0 && i < 3 && m_fields[std::size_t(i)] ? m_fields[std::size_t(i)]->toolTip()
                                                       : QString();
}

int CSPanel::StateStatus() const
{
    return m_state ? m_state->Status() : -1;
}

QString CSPanel::StateTip() const
{
    return m_state ? m_state->toolTip() : QString();
}

void CSPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    m_bg.Draw(painter, 0, 0);
    const CSkinBitmap& strip = m_active ? m_stripActive : m_stripInactive;
    strip.Draw(painter, 0, height() - strip.Height());
}

void CSPanel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_dragging = true;
    m_dragOffset = event->globalPosition().toPoint() - pos();
    grabMouse();
}

void CSPanel::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragging && (event->buttons() & Qt::LeftButton))
        move(event->globalPosition().toPoint() - m_dragOffset);
}

void CSPanel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_dragging) {
        m_dragging = false;
        releaseMouse();
    }
}

void CSPanel::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange) {
        m_active = isActiveWindow();
        update(0, height() - m_stripActive.Height(), width(), m_stripActive.Height());
    }
}

bool CSPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress)
        for (QLabel* field : m_fields)
            if (watched == field) {
                popup(RecentRecordsMenu(), QCursor::pos(), false);
                return true;
            }
    return QWidget::eventFilter(watched, event);
}

void CSPanel::ShowInFront()
{
    show();
    update();
    raise();
    activateWindow();
}

void CSPanel::DockToSkype()
{
    if (!m_setup.skypeWindow || !m_created)
        return;
    const std::optional<DockRect> skype = m_setup.skypeWindow->skypeWindow();
    if (!skype)
        return;
    DockRect area;
    if (const auto work = m_setup.skypeWindow->workArea()) {
        area = *work;
    } else {
        const QScreen* screen = QGuiApplication::primaryScreen();
        const QRect full = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
        area = {0, 0, full.width(), full.height()};
    }
    const DockPlacement placement = DockUnderSkype(*skype, area, height());
    if (placement.skypeMoved)
        m_setup.skypeWindow->moveSkypeWindow(placement.skype);
    move(placement.panel.x, placement.panel.y);
}

void CSPanel::SetAlwaysOnTop(bool on)
{
    if (bool(windowFlags() & Qt::WindowStaysOnTopHint) == on)
        return;
    const bool visible = isVisible();
    const QPoint at = pos();
    setWindowFlag(Qt::WindowStaysOnTopHint, on);
    // Changing the window's flags hides it; it comes back where it was.
    move(at);
    if (visible)
        show();
}

void CSPanel::Exit()
{
    if (m_exited)
        return;
    m_exited = true;
    uiLog("CSPanel::Exit()");
    if (m_created && !m_setup.configPath.empty())
        savePanelPosition(m_setup.configPath, PanelPosition{pos().x(), pos().y()});
    if (m_created)
        saveList();
    closePlayback();
    m_preference.reset();
    m_recent.reset();
    m_stateMenu.reset();
    if (m_tray)
        m_tray->Remove();
}

} // namespace tw
