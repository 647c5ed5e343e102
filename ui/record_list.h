#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <QTreeView>

#include "ui/record_player.h"

namespace tw {

struct BrowserContext;
class CNavigator;
class RecordDelegate;
class RecordModel;
class WaveformCache;

/// One record list of the browser (all records, voice mails or conversation records): a
/// view over a RecordModel with the record actions on its selection and its own record
/// player. It tells the control panel what happened through controlCode(): 1 playback
/// started, 2 paused, 3 stopped, 9 selection changed (with the number of selected rows).
/// UI thread only.
class CTIRecordList : public QTreeView
{
    Q_OBJECT

public:
    /// Record actions (the codes the menus and the control panel send).
    enum Action { Play = 1, Pause = 2, StopAction = 3, Call = 4, Chat = 5, Lock = 6, Annotate = 7 };

    CTIRecordList(BrowserContext& context, CNavigator* slider, WaveformCache* waveforms,
                  QWidget* parent = nullptr);
    ~CTIRecordList() override;

    RecordModel& model() const { return *m_model; }
    CRecordPlayer& player() { return m_player; }
    /// The loaded playback (null when none) and its record.
    CPlayback* playback() const { return m_playback.get(); }
    std::uint32_t loadedRecord() const { return m_loaded; }

    /// Selected rows, ascending.
    std::vector<int> GetSelection() const;
    void DoAction(int code);
    void StopPlayback();
    /// Deletes the selected unlocked records with their files; true when a locked one was
    /// passed over.
    bool DeleteSelected();
    void ToggleLockSelected();
    void SetFlagOnSelected(std::uint32_t flag, bool on);
    void SelectPrevious();
    void SelectNext();
    /// Closes the loaded record if it is this one (its file is about to change).
    bool ReleaseRecord(std::uint32_t startTime);
    void SelectRow(int row);
    /// What the list says while it has no rows.
    void SetEmptyText(const QString& text);
    QString EmptyText() const { return m_emptyText; }

signals:
    void controlCode(int code, int selectedCount);
    /// Records whose flags or annotation changed: the other lists redraw them.
    void recordsChanged(const std::vector<std::uint32_t>& startTimes);
    /// A right click on the rows: the records' context menu belongs at this global point.
    void contextMenuWanted(const QPoint& globalPos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void selectionChanged(const QItemSelection& selected,
                          const QItemSelection& deselected) override;

private:
    void play();
    bool load(std::uint32_t startTime);
    void closeLoaded();
    void editAnnotation(int row);
    void setFlags(const std::vector<int>& rows, std::uint32_t flag, bool on);
    void tell(const std::string& text);
    void onSliderMoved();
    void setColumnWidths();

    BrowserContext& m_context;
    RecordModel* m_model;
    RecordDelegate* m_delegate;
    CRecordPlayer m_player;
    CNavigator* m_slider;
    WaveformCache* m_waveforms;
    std::unique_ptr<CPlayback> m_playback;
    std::uint32_t m_loaded = 0;
    QString m_emptyText;
};

} // namespace tw
