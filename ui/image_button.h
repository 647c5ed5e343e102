#pragma once

#include <string>

#include <QAbstractButton>
#include <QString>

#include "ui/skin_bitmap.h"

namespace tw {

/// An owner-drawn button whose five faces are stacked top to bottom in one skin bitmap:
/// 0 disabled, 1 pressed or second state with the mouse over it, 2 the same with the mouse
/// away, 3 normal with the mouse over it, 4 normal. A two-state button (kind 2) flips
/// between its states on each click and reports the click through stateClicked() after the
/// flip. Without a face bitmap it draws a plain face with its caption.
class CImageButton : public QAbstractButton
{
    Q_OBJECT

public:
    static constexpr int kPush = 1;
    static constexpr int kTwoState = 2;
    static constexpr int kDisabledState = 3;

    explicit CImageButton(QWidget* parent = nullptr);

    /// Loads the faces from a skin file (below "ui/"); the button takes exactly the face
    /// size. False (plain face of fallbackSize) when the file does not load.
    bool LoadFaces(const std::string& skinRelativePath, QSize fallbackSize = QSize(32, 32));
    bool HasFaces() const { return !m_faces.IsEmpty(); }
    QSize FaceSize() const { return QSize(m_faceWidth, m_faceHeight); }

    void SetKind(int kind) { m_kind = kind; }
    int GetKind() const { return m_kind; }
    /// 1 or 2; redraws only when the state changes.
    void SetState(int state);
    int GetState() const { return m_state; }

    void SetTooltip(const QString& text);
    void SetTooltip(int state, const QString& text);
    /// The text of the plain face (per state for a two-state button).
    void SetCaption(int state, const QString& text);

    bool IsHover() const { return m_hover; }
    int LastFace() const { return m_lastFace; }

    /// The face to show (see the class comment).
    static int ChooseFace(int kind, int state, bool hover, bool pressed, bool disabled);

    QSize sizeHint() const override;

signals:
    /// A click, after a two-state button has flipped; carries the new state.
    void stateClicked(int state);

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void setHover(bool hover);
    void updateToolTip();
    void drawPlainFace(QPainter& painter, int face);

    CSkinBitmap m_faces;
    int m_faceWidth = 0;
    int m_faceHeight = 0;
    QSize m_plainSize{32, 32};
    int m_kind = kPush;
    int m_state = 1;
    int m_lastFace = -1;
    bool m_hover = false;
    QString m_tips[2];
    QString m_captions[2];
};

} // namespace tw
