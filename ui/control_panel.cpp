#include "ui/control_panel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "ui/image_button.h"
#include "ui/navigator.h"
#include "ui/panel_style.h"

namespace tw {

CControlPanel::CControlPanel(QWidget* parent)
    : QWidget(parent), m_slider(new CNavigator(this)), m_caption(new QLabel(this))
{
    setObjectName("Control Panel");
    const struct
    {
        const char* file;
        const char* caption;
        const char* tip;
    } buttons[7] = {{"play.bmp", "Play", "Play the selected record"},
                    {"stop.bmp", "Stop", "Stop the playback"},
                    {"call.bmp", "Call", "Call the partner back"},
                    {"chat.bmp", "Chat", "Chat with the partner"},
                    {"lock.bmp", "Lock", "Lock or unlock the selected records"},
                    {"topic.bmp", "Topic", "Edit the annotation"},
                    {"del.bmp", "Delete", "Delete the selected records"}};
    auto* row = new QHBoxLayout;
    row->setSpacing(4);
    for (int i = 0; i < 7; ++i) {
        auto* b = new CImageButton(this);
        b->setObjectName(buttons[i].caption);
        b->LoadFaces(std::string("m_panel/btn/") + buttons[i].file, QSize(52, 32));
        b->setText(buttons[i].caption);
        b->SetTooltip(buttons[i].tip);
        m_buttons[std::size_t(i)] = b;
        row->addWidget(b);
        if (i == 1 || i == 3 || i == 5)
            row->addSpacing(10);
    }
    CImageButton* play = m_buttons[0];
    play->SetKind(CImageButton::kTwoState);
    play->SetCaption(2, "Pause");
    play->SetTooltip(2, "Pause the playback");
    connect(play, &CImageButton::stateClicked, this, [this](int state) {
        // The pause face showing means playback was asked for.
        if (state == 2)
            m_buttons[1]->setEnabled(true);
        emit action(state == 2 ? 1 : 2);
    });
    connect(m_buttons[1], &QAbstractButton::clicked, this, [this] {
        m_buttons[0]->SetState(1);
        m_buttons[1]->setEnabled(false);
        emit action(3);
    });
    for (int i = 2; i < 6; ++i)
        connect(m_buttons[std::size_t(i)], &QAbstractButton::clicked, this,
                [this, i] { emit action(i + 2); });
    connect(m_buttons[6], &QAbstractButton::clicked, this, &CControlPanel::deleteRequested);

    m_caption->setObjectName("Now");
    QPalette pal = m_caption->palette();
    pal.setColor(QPalette::WindowText, QColor(0xc9, 0xd4, 0xdf));
    m_caption->setPalette(pal);
    m_caption->setTextFormat(Qt::PlainText);

    row->addSpacing(12);
    auto* right = new QVBoxLayout;
    right->setSpacing(2);
    right->addWidget(m_caption);
    right->addWidget(m_slider);
    row->addLayout(right, 1);
    row->setContentsMargins(8, 6, 8, 6);
    setLayout(row);
    OnControlCode(9, 0);
}

CImageButton* CControlPanel::Button(int id) const
{
    return id >= Play && id <= Delete ? m_buttons[std::size_t(id - Play)] : nullptr;
}

void CControlPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), PanelColour());
}

void CControlPanel::SetCaption(const QString& text)
{
    m_caption->setText(text);
}

QString CControlPanel::Caption() const
{
    return m_caption->text();
}

void CControlPanel::OnControlCode(int code, int selectedCount)
{
    CImageButton* play = m_buttons[0];
    CImageButton* stop = m_buttons[1];
    switch (code) {
    case 1:
        m_loaded = true;
        play->setEnabled(true);
        play->SetState(2);
        stop->setEnabled(true);
        break;
    case 2:
        play->SetState(1);
        break;
    case 3:
        m_loaded = false;
        play->SetState(1);
        stop->setEnabled(false);
        break;
    case 9: {
        const bool one = selectedCount == 1;
        // Enabling puts a two-state button back in state 1: keep the pause face while
        // playing.
        const int playState = play->GetState();
        play->setEnabled(one || m_loaded);
        if (play->isEnabled() && playState == 2)
            play->SetState(2);
        if (!m_loaded)
            stop->setEnabled(false);
        m_buttons[2]->setEnabled(one);
        m_buttons[3]->setEnabled(one);
        m_buttons[5]->setEnabled(one);
        m_buttons[4]->setEnabled(selectedCount > 0);
        m_buttons[6]->setEnabled(selectedCount > 0);
        break;
    }
    default:
        break;
    }
}

} // namespace tw
