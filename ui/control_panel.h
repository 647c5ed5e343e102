#pragma once

#include <array>

#include <QWidget>

class QLabel;

namespace tw {

class CImageButton;
class CNavigator;

/// The playback bar at the bottom of the browser: the buttons Play (two faces, play and
/// pause), Stop, Call, Chat, Lock, Topic and Delete (ids 80 to 86) and the position slider
/// with the loaded record's waveform. Clicks become record actions; the lists' codes set
/// the buttons' states. UI thread only.
class CControlPanel : public QWidget
{
    Q_OBJECT

public:
    enum ButtonId { Play = 80, Stop, Call, Chat, Lock, Topic, Delete };

    explicit CControlPanel(QWidget* parent = nullptr);

    CNavigator* Slider() const { return m_slider; }
    CImageButton* Button(int id) const;
    /// A list's code: 1 playing, 2 paused, 3 stopped, 9 selection of count rows.
    void OnControlCode(int code, int selectedCount);
    /// The caption over the slider (the selected or playing record).
    void SetCaption(const QString& text);
    QString Caption() const;

signals:
    /// A record action for the current list (1 play, 2 pause, 3 stop, 4 call, 5 chat,
    /// 6 lock, 7 annotation).
    void action(int code);
    void deleteRequested();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::array<CImageButton*, 7> m_buttons{};
    CNavigator* m_slider;
    QLabel* m_caption;
    bool m_loaded = false;
};

} // namespace tw
