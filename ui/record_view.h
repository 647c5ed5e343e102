#pragma once

#include <QWidget>

#include "ui/browser_context.h"

namespace tw {

class CControlPanel;
class CFilterPanel;
class CRecordPanel;
class WaveformCache;

/// The main window's only pane: the record panel on top, the filter panel (41 pixels) under
/// it and the control panel at the bottom at its own height. UI thread only.
class CRecordView : public QWidget
{
    Q_OBJECT

public:
    CRecordView(const BrowserContext& context, QWidget* parent = nullptr);
    ~CRecordView() override;

    BrowserContext& Context() { return m_context; }
    CRecordPanel& Records() const { return *m_records; }
    CFilterPanel& Filter() const { return *m_filter; }
    CControlPanel& Controls() const { return *m_controls; }
    WaveformCache& Waveforms() const { return *m_waveforms; }

    /// A record action for the current list.
    void DoAction(int code);

private:
    void updateCaption();

    BrowserContext m_context;
    WaveformCache* m_waveforms;
    CControlPanel* m_controls;
    CRecordPanel* m_records;
    CFilterPanel* m_filter;
};

} // namespace tw
