#pragma once

#include <cstdint>
#include <vector>

#include <QString>
#include <QWidget>

#include "ui/skin_bitmap.h"

namespace tw {

/// The time text of a slider position p (p − 1 hundredths): "hh:mm:ss" from one hour on,
/// else "mm:ss.cc".
QString NavigatorTimeText(std::uint32_t position);

/// The playback position slider ("Navigator"): a step-back button, a track with a thumb, a
/// step-forward button and the time drawn from the digit strip. Range is the record's length
/// in hundredths (1: no record); position runs from 1 (the start) to the range. Behind the
/// track it draws the loaded record's waveform when it has one.
///
/// Skin files below "ui/m_panel/slider/": btn_thumb.bmp, btn_prev.bmp and btn_next.bmp hold
/// their three states (normal, mouse over, pressed) stacked top to bottom; bg_middle_w.bmp
/// is stretched over the part of the track still to play, bg_middle_b.bmp over the part
/// played; digit.bmp is the glyph strip "1234567890:." (digits 10 pixels wide, ":" and "."
/// 4). A file that does not load is logged and that part drawn plainly.
class CNavigator : public QWidget
{
    Q_OBJECT

public:
    enum Part { None = 0, Thumb = 1, StepBack = 2, StepForward = 3 };

    explicit CNavigator(QWidget* parent = nullptr);

    void SetRange(std::uint32_t range);
    void SetPos(std::uint32_t position);
    std::uint32_t GetPos() const { return m_pos; }
    std::uint32_t GetRange() const { return m_range; }

    /// Peak levels 0…1 spread evenly over the record; empty clears the strip.
    void SetWaveform(std::vector<float> peaks);
    const std::vector<float>& Waveform() const { return m_peaks; }

    /// Geometry, for tests and drawing: the thumb's left edge moves over trackStart …
    /// trackEnd.
    int TrackStart() const { return m_trackStart; }
    int TrackEnd() const { return m_trackEnd; }
    int ThumbX() const;
    QRect PartRect(Part part) const;
    int PartState(Part part) const { return m_states[part]; }
    bool IsSkinned() const { return m_skinned; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    /// The user stepped or dragged; read GetPos().
    void userMoved();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void layoutParts();
    Part partAt(QPoint point) const;
    void setPartState(Part part, int state);
    void drawButton(QPainter& painter, Part part, const CSkinBitmap& faces);
    void drawTrack(QPainter& painter);
    void drawTime(QPainter& painter);

    CSkinBitmap m_thumb, m_prev, m_next, m_bgRest, m_bgPlayed, m_digits;
    bool m_skinned = false;
    QSize m_thumbSize{10, 30}, m_buttonSize{24, 24};
    int m_glyphHeight = 14;

    std::uint32_t m_range = 1;
    std::uint32_t m_pos = 1;
    double m_step = 0;
    int m_trackStart = 0;
    int m_trackEnd = 0;
    QRect m_track, m_timeArea;

    int m_states[4] = {0, 1, 1, 1};
    Part m_pressed = None;
    Part m_hover = None;
    int m_pressOffset = 0;
    int m_pressX = 0;
    std::vector<float> m_peaks;
};

} // namespace tw
