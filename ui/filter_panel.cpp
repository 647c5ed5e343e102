#include "ui/filter_panel.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>

#include "records/record_storage.h"
#include "ui/browser_context.h"
#include "ui/image_button.h"
#include "ui/panel_style.h"
#include "ui/record_panel.h"

namespace tw {

CFilterPanel::CFilterPanel(BrowserContext& context, CRecordPanel& records, QWidget* parent)
    : QWidget(parent), m_context(context), m_records(records), m_edit(new QLineEdit(this)),
      m_clear(new CImageButton(this))
{
    setObjectName("Filter Panel");
    setFixedHeight(kHeight);
    m_edit->setObjectName("Search");
    m_edit->setPlaceholderText("Search names, times, lengths and annotations");
    m_edit->setToolTip("Enter a string to search records");
    m_edit->setClearButtonEnabled(false);
    m_clear->LoadFaces("m_panel/btn/btn_revert.bmp", QSize(24, 24));
    m_clear->setText("x");
    m_clear->SetTooltip("Clear search string");
    m_clear->hide();
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 6);
    layout->setSpacing(6);
    layout->addWidget(m_edit, 1);
    layout->addWidget(m_clear);

    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    connect(&m_settle, &QTimer::timeout, this, &CFilterPanel::OnFilterChanged);
    connect(m_edit, &QLineEdit::textChanged, this, &CFilterPanel::onTextChanged);
    connect(m_clear, &QAbstractButton::clicked, this, [this] {
        m_edit->clear();
        m_clear->hide();
        m_edit->setFocus();
        m_settle.start();
    });
}

CFilterPanel::~CFilterPanel()
{
    // The refill writes into the lists; it ends before they do.
    if (m_thread.joinable())
        m_thread.join();
}

void CFilterPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), PanelColour());
}

void CFilterPanel::onTextChanged(const QString& text)
{
    m_clear->setVisible(!text.isEmpty());
    m_settle.start(); // restarted by every keystroke: one refill per burst
}

void CFilterPanel::ClearSearch()
{
    m_settle.stop();
    const QSignalBlocker block(m_edit);
    m_edit->clear();
    m_clear->hide();
    m_lastSearch.clear();
    m_foundNothing = false;
}

void CFilterPanel::OnFilterChanged()
{
    if (m_running) {
        m_settle.start(); // asked again once the running refill is done
        return;
    }
    const QString text = m_edit->text();
    if (m_foundNothing && text.contains(m_lastSearch))
        return; // a longer text cannot find more
    if (!m_context.storage)
        return;
    m_lastSearch = text.toLower();
    m_running = true;
    ++m_refills;
    CRecordStorage* storage = m_context.storage;
    const RecordLists lists = m_records.Lists();
    const std::string search = m_lastSearch.toStdString();
    m_thread = std::jthread([this, storage, lists, search] {
        const RecordListCounts counts = storage->FillLists(lists, search);
        const bool nothing = counts.voiceMails == 0 && counts.conversations == 0;
        // Queued behind the rows the fill handed to the lists.
        QMetaObject::invokeMethod(
            this, [this, nothing] { finishRefill(nothing); }, Qt::QueuedConnection);
    });
}

void CFilterPanel::PrepareSearch()
{
    if (m_running || !m_context.storage)
        return;
    m_running = true;
    CRecordStorage* storage = m_context.storage;
    m_thread = std::jthread([this, storage] {
        // A text no row holds: the index visits every record and keeps their search texts.
        storage->Index().EnumerateRecords(kAllRecordTypes, "\x01", [](const RecordInfo&) {});
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_thread.joinable())
                    m_thread.join();
                m_running = false;
            },
            Qt::QueuedConnection);
    });
}

void CFilterPanel::finishRefill(bool foundNothing)
{
    if (m_thread.joinable())
        m_thread.join();
    m_running = false;
    m_foundNothing = foundNothing;
    emit refilled();
}

void CFilterPanel::WaitForRefill()
{
    if (!m_running)
        return;
    if (m_thread.joinable())
        m_thread.join();
    // Deliver the rows and the end notice that the refill queued.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
}

} // namespace tw
