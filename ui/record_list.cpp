#include "ui/record_list.h"

#include <algorithm>

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "platform/prompt.h"
#include "records/record_storage.h"
#include "ui/browser_context.h"
#include "ui/navigator.h"
#include "ui/partner_directory.h"
#include "ui/record_delegate.h"
#include "ui/record_model.h"
#include "ui/waveform.h"

namespace tw {

CTIRecordList::CTIRecordList(BrowserContext& context, CNavigator* slider, WaveformCache* waveforms,
                             QWidget* parent)
    : QTreeView(parent), m_context(context), m_model(new RecordModel(this)),
      m_delegate(new RecordDelegate(this)), m_slider(slider), m_waveforms(waveforms)
{
    m_model->setDirectory(context.directory);
    if (context.storage)
        m_model->setIndex(&context.storage->Index());
    setModel(m_model);
    setItemDelegate(m_delegate);
    setRootIsDecorated(false);
    setUniformRowHeights(true); // fixed row height: scrolling 100 000 rows stays cheap
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAlternatingRowColors(true);
    setSortingEnabled(false); // the header click sorts in the model, with its own rules
    header()->setSectionsClickable(true);
    header()->setSortIndicatorShown(false);
    header()->setStretchLastSection(true);
    connect(header(), &QHeaderView::sectionClicked, this, [this](int column) {
        const Qt::SortOrder order = m_model->sortByColumn(column);
        header()->setSortIndicatorShown(true);
        header()->setSortIndicator(column, order);
    });
    connect(m_model, &RecordModel::refilled, this, [this] {
        header()->setSortIndicatorShown(false);
        // The loaded record stays loaded and selected while it is still listed.
        if (m_playback) {
            const int row = m_model->rowOf(m_loaded);
            if (row < 0) {
                closeLoaded();
                emit controlCode(3, 0);
            } else {
                SelectRow(row);
            }
        }
        emit controlCode(9, int(GetSelection().size()));
    });
    m_player.AddDisplay(slider);
    connect(&m_player, &CRecordPlayer::recordEnded, this, [this] { emit controlCode(3, 0); });
    if (slider)
        connect(slider, &CNavigator::userMoved, this, &CTIRecordList::onSliderMoved);
    if (waveforms)
        connect(waveforms, &WaveformCache::ready, this,
                [this](std::uint32_t start, const std::vector<float>& peaks) {
                    if (m_playback && start == m_loaded && m_slider)
                        m_slider->SetWaveform(peaks);
                });
    setColumnWidths();
}

CTIRecordList::~CTIRecordList()
{
    m_player.ClosePlayback(m_playback);
}

void CTIRecordList::setColumnWidths()
{
    const int icon = m_delegate->icons().size().width();
    const QFontMetrics fm(font());
    auto headerWidth = [&](int column) {
        return fm.horizontalAdvance(
                   m_model->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString()) *
                   3 / 2 +
               4 + 12;
    };
    setColumnWidth(RecordModel::ColLock, icon + 8);
    setColumnWidth(RecordModel::ColRead, icon + 4);
    setColumnWidth(RecordModel::ColStatus, icon + 4);
    setColumnWidth(RecordModel::ColSkypeName, std::max(headerWidth(3), 120));
    setColumnWidth(RecordModel::ColFullName, std::max(headerWidth(4), 120));
    const QString now = RecordTimeColumnText(std::uint32_t(std::time(nullptr)));
    setColumnWidth(RecordModel::ColTime, fm.horizontalAdvance(now) * 9 / 8 + 4 + 12);
    setColumnWidth(RecordModel::ColLength, headerWidth(6));
}

std::vector<int> CTIRecordList::GetSelection() const
{
    std::vector<int> rows;
    if (!selectionModel())
        return rows;
    for (const QModelIndex& i : selectionModel()->selectedRows())
        rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CTIRecordList::tell(const std::string& text)
{
    if (m_context.prompt)
        m_context.prompt->message(text, Prompt::Icon::Information);
}

void CTIRecordList::closeLoaded()
{
    m_player.ClosePlayback(m_playback);
    m_loaded = 0;
    if (m_slider)
        m_slider->SetWaveform({});
}

bool CTIRecordList::load(std::uint32_t startTime)
{
    closeLoaded();
    if (!m_context.storage)
        return false;
    CRecordIndex& index = m_context.storage->Index();
    const auto info = index.FindRecord(startTime);
    if (!info)
        return false;
    std::string why;
    m_playback = m_player.OpenPlayback(info->Path(), &why);
    if (!m_playback) {
        tell("The record cannot be played: its file \"" + info->Path() + "\" " + why + ".");
        return false;
    }
    m_loaded = startTime;
    // Playing a record marks it read.
    if (!(info->flags & RECFLAG_PLAYED)) {
        index.SetRecordFlags(startTime, info->flags | RECFLAG_PLAYED);
        m_model->refreshKey(startTime);
        emit recordsChanged({startTime});
    }
    if (m_waveforms)
        m_waveforms->request(startTime, info->Path());
    return true;
}

void CTIRecordList::play()
{
    if (!m_playback) {
        const std::vector<int> rows = GetSelection();
        if (rows.empty() || !load(m_model->keyAt(rows.front()))) {
            emit controlCode(3, int(rows.size()));
            return;
        }
    }
    std::string why;
    if (!m_player.Play(*m_playback, &why)) {
        tell(why);
        emit controlCode(3, int(GetSelection().size()));
        return;
    }
    emit controlCode(1, int(GetSelection().size()));
}

void CTIRecordList::DoAction(int code)
{
    switch (code) {
    case Play:
        play();
        break;
    case Pause:
        if (m_playback) {
            m_player.TogglePause(*m_playback);
            emit controlCode(m_playback->state() == CPlayback::Running ? 1 : 2,
                             int(GetSelection().size()));
        }
        break;
    case StopAction:
        if (m_playback)
            m_player.Stop(*m_playback);
        emit controlCode(3, int(GetSelection().size()));
        break;
    case Call:
    case Chat: {
        const std::vector<int> rows = GetSelection();
        if (rows.empty() || !m_context.directory)
            break;
        const auto info = m_model->record(rows.front());
        if (!info || info->SkypeName().empty())
            break;
        if (code == Call)
            m_context.directory->call(info->SkypeName());
        else
            m_context.directory->chat(info->SkypeName());
        break;
    }
    case Lock:
        ToggleLockSelected();
        break;
    case Annotate: {
        const std::vector<int> rows = GetSelection();
        if (!rows.empty())
            editAnnotation(rows.front());
        break;
    }
    default:
        break;
    }
}

void CTIRecordList::StopPlayback()
{
    if (!m_playback)
        return;
    m_player.Stop(*m_playback);
    closeLoaded();
    emit controlCode(3, int(GetSelection().size()));
}

bool CTIRecordList::ReleaseRecord(std::uint32_t startTime)
{
    if (!m_playback || m_loaded != startTime)
        return false;
    StopPlayback();
    return true;
}

bool CTIRecordList::DeleteSelected()
{
    StopPlayback();
    if (!m_context.storage)
        return false;
    CRecordIndex& index = m_context.storage->Index();
    bool lockedMet = false;
    std::vector<int> removed;
    for (int row : GetSelection()) {
        const auto info = m_model->record(row);
        if (!info)
            continue; // gone from the index: nothing to do
        if (info->flags & RECFLAG_LOCKED) {
            lockedMet = true;
            continue;
        }
        index.DeleteRecord(info->startTime, true);
        removed.push_back(row);
    }
    if (!removed.empty()) {
        // Where the last removed row stood, now that the rows above it have gone.
        const int last = removed.back() - int(removed.size()) + 1;
        m_model->removeRows(removed);
        clearSelection();
        SelectRow(std::min(last, m_model->rowCount() - 1));
    }
    emit controlCode(9, int(GetSelection().size()));
    return lockedMet;
}

void CTIRecordList::SelectRow(int row)
{
    if (row < 0 || row >= m_model->rowCount())
        return;
    const QModelIndex index = m_model->index(row, 0);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                 QItemSelectionModel::Rows);
    scrollTo(index);
}

void CTIRecordList::setFlags(const std::vector<int>& rows, std::uint32_t flag, bool on)
{
    if (!m_context.storage)
        return;
    CRecordIndex& index = m_context.storage->Index();
    std::vector<std::uint32_t> changed;
    for (int row : rows) {
        const auto info = m_model->record(row);
        if (!info)
            continue;
        const std::uint32_t flags = on ? info->flags | flag : info->flags & ~flag;
        if (flags != info->flags && index.SetRecordFlags(info->startTime, flags)) {
            m_model->refreshKey(info->startTime);
            changed.push_back(info->startTime);
        }
    }
    if (!changed.empty())
        emit recordsChanged(changed);
}

void CTIRecordList::ToggleLockSelected()
{
    const std::vector<int> rows = GetSelection();
    const bool anyUnlocked = std::any_of(rows.begin(), rows.end(), [this](int row) {
        const auto info = m_model->record(row);
        return info && !(info->flags & RECFLAG_LOCKED);
    });
    setFlags(rows, RECFLAG_LOCKED, anyUnlocked);
}

void CTIRecordList::SetFlagOnSelected(std::uint32_t flag, bool on)
{
    setFlags(GetSelection(), flag, on);
}

void CTIRecordList::SelectPrevious()
{
    const std::vector<int> rows = GetSelection();
    if (rows.size() != 1)
        return;
    if (rows.front() > 0)
        SelectRow(rows.front() - 1);
    emit controlCode(9, int(GetSelection().size()));
}

void CTIRecordList::SelectNext()
{
    const std::vector<int> rows = GetSelection();
    if (rows.size() != 1)
        return;
    if (rows.front() + 1 < m_model->rowCount())
        SelectRow(rows.front() + 1);
    emit controlCode(9, int(GetSelection().size()));
}

void CTIRecordList::editAnnotation(int row)
{
    const auto info = m_model->record(row);
    if (!info || !m_context.storage)
        return;
    const auto ask = m_context.editAnnotation ? m_context.editAnnotation : AskAnnotation;
    const std::optional<std::string> text = ask(this, info->Annotation());
    if (!text)
        return;
    // The field holds 63 characters; the setter cuts there, never inside a character.
    m_context.storage->Index().UpdateRecord(
        info->startTime, [&](RecordInfo& stored) { stored.SetAnnotation(*text); });
    m_model->refreshKey(info->startTime);
    emit recordsChanged({info->startTime});
}

void CTIRecordList::onSliderMoved()
{
    if (m_playback && m_slider && isVisible())
        m_player.Seek(*m_playback, m_slider->GetPos() - 1);
}

void CTIRecordList::selectionChanged(const QItemSelection& selected,
                                     const QItemSelection& deselected)
{
    QTreeView::selectionChanged(selected, deselected);
    const std::vector<int> rows = GetSelection();
    if (m_playback && (rows.size() != 1 || m_model->keyAt(rows.front()) != m_loaded)) {
        closeLoaded();
        emit controlCode(3, int(rows.size()));
    }
    emit controlCode(9, int(rows.size()));
}

void CTIRecordList::SetEmptyText(const QString& text)
{
    m_emptyText = text;
    viewport()->update();
}

void CTIRecordList::paintEvent(QPaintEvent* event)
{
    QTreeView::paintEvent(event);
    if (m_model->rowCount() > 0 || m_emptyText.isEmpty())
        return;
    // An empty list says why it is empty.
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
    painter.drawText(viewport()->rect().adjusted(16, 24, -16, 0), Qt::AlignHCenter | Qt::AlignTop,
                     m_emptyText);
}

void CTIRecordList::mousePressEvent(QMouseEvent* event)
{
    const QModelIndex at = indexAt(event->position().toPoint());
    if (!at.isValid()) {
        // A click below the rows closes the loaded record.
        if (m_playback) {
            closeLoaded();
            emit controlCode(3, int(GetSelection().size()));
        }
        QTreeView::mousePressEvent(event);
        return;
    }
    QTreeView::mousePressEvent(event);
    if (event->button() == Qt::LeftButton && at.column() == RecordModel::ColLock &&
        !(event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier))) {
        const auto info = m_model->record(at.row());
        if (info)
            setFlags({at.row()}, RECFLAG_LOCKED, !(info->flags & RECFLAG_LOCKED));
    }
    if (event->button() == Qt::RightButton)
        emit contextMenuWanted(event->globalPosition().toPoint());
}

void CTIRecordList::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QModelIndex at = indexAt(event->position().toPoint());
    if (!at.isValid() || event->button() != Qt::LeftButton)
        return;
    if (at.column() == RecordModel::ColAnnotation) {
        editAnnotation(at.row());
        return;
    }
    if (at.column() < RecordModel::ColSkypeName)
        return;
    if (m_playback)
        m_player.Stop(*m_playback);
    const std::vector<int> rows = GetSelection();
    if (!rows.empty() && m_model->keyAt(rows.front()) != m_loaded)
        closeLoaded();
    play();
}

void CTIRecordList::keyPressEvent(QKeyEvent* event)
{
    // Space plays or pauses the selected record, as in every player.
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        DoAction(m_playback && m_playback->state() == CPlayback::Running ? Pause : Play);
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        DoAction(Play);
        return;
    }
    QTreeView::keyPressEvent(event);
}

} // namespace tw
