#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include <QTabWidget>

#include "records/record_list_sink.h"

namespace tw {

struct BrowserContext;
class CNavigator;
class CTIRecordList;
class WaveformCache;

/// The record panel: three tabs, each with one record list: 0 all records, 1 voice mails,
/// 2 conversation records. Changing tabs stops playback in every list. UI thread only.
class CRecordPanel : public QTabWidget
{
    Q_OBJECT

public:
    CRecordPanel(BrowserContext& context, CNavigator* slider, WaveformCache* waveforms,
                 QWidget* parent = nullptr);

    CTIRecordList* GetList(int tab) const;
    CTIRecordList* GetCurrentList() const { return GetList(GetCurrentTab()); }
    int GetCurrentTab() const { return currentIndex(); }
    void SetCurrentTab(int tab);
    /// The lists as the record storage fills them.
    RecordLists Lists() const;
    /// Points every list at the context's current storage (after an archive opens or
    /// closes); the rows are emptied until the next fill.
    void StorageChanged();

    /// Asks, then deletes the selected unlocked records of the current list.
    void DeleteSelectedRecords();
    /// Deletes every unlocked record of the current tab's kind (the caller has asked).
    void DeleteAllRecords();
    void StopAllPlayback();

signals:
    /// From the current list: see CTIRecordList::controlCode.
    void controlCode(int code, int selectedCount);
    void contextMenuWanted(const QPoint& globalPos);

private:
    void onTabChanged(int tab);

    BrowserContext& m_context;
    std::array<CTIRecordList*, 3> m_lists{};
};

} // namespace tw
