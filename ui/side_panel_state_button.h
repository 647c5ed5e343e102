#pragma once

#include <functional>

#include <QAbstractButton>

#include "ui/record_delegate.h"

namespace tw {

/// The side panel's caller-status button: the record's caller's online-status icon; a click
/// calls the caller, a right click opens the call-or-chat menu.
class StateButton : public QAbstractButton
{
public:
    explicit StateButton(QWidget* parent = nullptr);

    /// The contact status code (0 offline … 6), or -1 to show nothing.
    void SetStatus(int status);
    int Status() const { return m_status; }

    std::function<void()> onClick;
    std::function<void()> onRightClick;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    int m_status = -1;
    RecordIcons m_icons;
};

} // namespace tw
