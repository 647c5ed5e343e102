#include "ui/record_view.h"

#include <QVBoxLayout>

#include "ui/control_panel.h"
#include "ui/filter_panel.h"
#include "ui/record_list.h"
#include "ui/record_model.h"
#include "ui/record_panel.h"
#include "ui/waveform.h"

namespace tw {

CRecordView::CRecordView(const BrowserContext& context, QWidget* parent)
    : QWidget(parent), m_context(context), m_waveforms(new WaveformCache(this)),
      m_controls(new CControlPanel(this)),
      m_records(new CRecordPanel(m_context, m_controls->Slider(), m_waveforms, this)),
      m_filter(new CFilterPanel(m_context, *m_records, this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_records, 1);
    layout->addWidget(m_filter);
    layout->addWidget(m_controls);

    connect(m_records, &CRecordPanel::controlCode, this, [this](int code, int count) {
        m_controls->OnControlCode(code, count);
        updateCaption();
    });
    connect(m_controls, &CControlPanel::action, this, &CRecordView::DoAction);
    connect(m_controls, &CControlPanel::deleteRequested, m_records,
            &CRecordPanel::DeleteSelectedRecords);
}

CRecordView::~CRecordView()
{
    m_filter->WaitForRefill();
}

void CRecordView::DoAction(int code)
{
    if (CTIRecordList* list = m_records->GetCurrentList())
        list->DoAction(code);
}

void CRecordView::updateCaption()
{
    CTIRecordList* list = m_records->GetCurrentList();
    if (!list)
        return;
    const std::vector<int> rows = list->GetSelection();
    const int row = list->loadedRecord() ? list->model().rowOf(list->loadedRecord())
                    : rows.size() == 1   ? rows.front()
                                         : -1;
    const auto info = row >= 0 ? list->model().record(row) : std::nullopt;
    if (!info) {
        m_controls->SetCaption(rows.size() > 1 ? QString("%1 records selected").arg(rows.size())
                                               : QString("No record selected"));
        return;
    }
    QString name = QString::fromStdString(info->SkypeName());
    if (name.isEmpty())
        name = "(unknown caller)";
    const QString kind = info->type == RECORD_VOICEMAIL ? "Voice mail from" : "Conversation with";
    m_controls->SetCaption(QString("%1 %2  ·  %3  ·  %4")
                               .arg(kind, name, RecordTimeColumnText(info->startTime),
                                    list->model().text(*info, RecordModel::ColLength)));
}

} // namespace tw
