#include "ui/record_panel.h"

#include "platform/prompt.h"
#include "records/record_storage.h"
#include "ui/browser_context.h"
#include "ui/record_list.h"
#include "ui/record_model.h"
#include "ui/skin.h"
#include "ui/skin_bitmap.h"
#include "ui/ui_log.h"

namespace tw {
namespace {

constexpr char kAskDeleteSelected[] = "Do you really want to delete the selected records?";
constexpr char kLockedKept[] = "Cannot delete records that are locked!";

/// Cuts the tab strip (six images of equal width, white transparent) into icons.
std::vector<QIcon> tabIcons()
{
    CSkinBitmap strip;
    std::vector<QIcon> icons(6);
    if (!LoadSkin(strip, "m_panel/icon/tab_icon.bmp"))
        return icons;
    const int w = strip.Width() / 6;
    for (int i = 0; i < 6; ++i) {
        icons[std::size_t(i)] =
            QIcon(KeyedPixmap(strip.Image().copy(i * w, 0, w, strip.Height()), 0xFFFFFF));
    }
    return icons;
}

} // namespace

CRecordPanel::CRecordPanel(BrowserContext& context, CNavigator* slider, WaveformCache* waveforms,
                           QWidget* parent)
    : QTabWidget(parent), m_context(context)
{
    setObjectName("Record Panel");
    setDocumentMode(true);
    const std::vector<QIcon> icons = tabIcons();
    const struct
    {
        const char* tab;
        const char* list;
        int icon;
    } tabs[3] = {{"All", "All", 2},
                 {"Voice Mails", "Voice Mails", 0},
                 {"Conversation Records", "Conversations", 1}};
    for (int i = 0; i < 3; ++i) {
        auto* list = new CTIRecordList(context, slider, waveforms, this);
        list->setObjectName(tabs[i].list);
        m_lists[std::size_t(i)] = list;
        addTab(list, icons[std::size_t(tabs[i].icon)], tabs[i].tab);
        connect(list, &CTIRecordList::controlCode, this, [this, list](int code, int count) {
            if (list == GetCurrentList())
                emit controlCode(code, count);
        });
        connect(list, &CTIRecordList::contextMenuWanted, this, &CRecordPanel::contextMenuWanted);
        connect(list, &CTIRecordList::recordsChanged, this,
                [this, list](const std::vector<std::uint32_t>& keys) {
                    for (CTIRecordList* other : m_lists)
                        if (other != list)
                            for (std::uint32_t key : keys)
                                other->model().refreshKey(key);
                });
    }
    setCurrentIndex(0);
    connect(this, &QTabWidget::currentChanged, this, &CRecordPanel::onTabChanged);
}

CTIRecordList* CRecordPanel::GetList(int tab) const
{
    return tab >= 0 && tab < 3 ? m_lists[std::size_t(tab)] : nullptr;
}

void CRecordPanel::SetCurrentTab(int tab)
{
    if (tab >= 0 && tab < 3)
        setCurrentIndex(tab);
}

RecordLists CRecordPanel::Lists() const
{
    return RecordLists{&m_lists[1]->model(), &m_lists[2]->model(), &m_lists[0]->model()};
}

void CRecordPanel::StorageChanged()
{
    StopAllPlayback();
    for (CTIRecordList* list : m_lists)
        list->model().setIndex(m_context.storage ? &m_context.storage->Index() : nullptr);
}

void CRecordPanel::StopAllPlayback()
{
    for (CTIRecordList* list : m_lists)
        list->StopPlayback();
}

void CRecordPanel::onTabChanged(int tab)
{
    StopAllPlayback();
    if (CTIRecordList* list = GetList(tab))
        emit controlCode(9, int(list->GetSelection().size()));
}

void CRecordPanel::DeleteSelectedRecords()
{
    CTIRecordList* list = GetCurrentList();
    if (!list || list->GetSelection().empty() || !m_context.prompt || !m_context.storage)
        return;
    if (m_context.prompt->message(kAskDeleteSelected, Prompt::Icon::Question,
                                  Prompt::Buttons::YesNo) != Prompt::Answer::Yes)
        return;
    const bool lockedMet = list->DeleteSelected();
    if (lockedMet)
        m_context.prompt->message(kLockedKept, Prompt::Icon::Information);
    // The other lists are filled again, without the search.
    RecordLists others = Lists();
    const int tab = GetCurrentTab();
    if (tab == 0)
        others.all = nullptr;
    else if (tab == 1)
        others.voiceMails = nullptr;
    else
        others.conversations = nullptr;
    m_context.storage->FillLists(others, {});
}

void CRecordPanel::DeleteAllRecords()
{
    CTIRecordList* list = GetCurrentList();
    if (!list || !m_context.storage)
        return;
    list->StopPlayback();
    const int tab = GetCurrentTab();
    m_context.storage->Index().DeleteAll(tab == 1   ? RECORD_VOICEMAIL
                                         : tab == 2 ? RECORD_CONVERSATION
                                                    : kAllRecordTypes);
    const RecordLists all = Lists();
    m_context.storage->FillLists(all, {});
    if (list->model().rowCount() > 0 && m_context.prompt)
        m_context.prompt->message(kLockedKept, Prompt::Icon::Information);
}

} // namespace tw
