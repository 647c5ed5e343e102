#include "ui/options_dialog.h"

#include <QDialogButtonBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "mainframe/settings.h"
#include "ui/options_pages.h"

namespace tw {

CPSOpt::CPSOpt(CSettings& copy, const OptionsContext& context, QWidget* parent)
    : QDialog(parent), m_copy(copy)
{
    setObjectName("Options");
    setWindowTitle("Options");
    m_pages = {new CPPOptGeneral(context),       new CPPOptVoiceMail(context),
               new CPPOptCallRecording(context), new CPPOptCallTransfer(context),
               new CPPOptRecordStorage(context), new CPPOptAudio(context)};
    m_tree = new QTreeWidget(this);
    m_tree->setHeaderHidden(true);
    m_tree->setRootIsDecorated(false);
    m_stack = new QStackedWidget(this);
    for (COptionsPage* page : m_pages) {
        page->load(copy);
        m_stack->addWidget(page);
        auto* item = new QTreeWidgetItem(QStringList{page->title()});
        item->setSizeHint(0, QSize(0, m_tree->fontMetrics().height() + 10));
        m_tree->addTopLevelItem(item);
    }
    int widest = 0;
    for (COptionsPage* page : m_pages)
        widest = std::max(widest, m_tree->fontMetrics().horizontalAdvance(page->title()));
    m_tree->setFixedWidth(widest + 32);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    // The page's name above it, as a heading.
    m_heading = new QLabel(this);
    QFont bold = m_heading->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.15);
    m_heading->setFont(bold);
    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::HLine);
    frame->setFrameShadow(QFrame::Sunken);
    auto* pageArea = new QVBoxLayout;
    pageArea->addWidget(m_heading);
    pageArea->addWidget(frame);
    pageArea->addWidget(m_stack, 1);
    auto* body = new QHBoxLayout;
    body->addWidget(m_tree);
    body->addLayout(pageArea, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CPSOpt::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CPSOpt::reject);
    connect(m_tree, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* item, QTreeWidgetItem*) {
                if (m_switching || !item)
                    return;
                ShowPage(m_tree->indexOfTopLevelItem(item));
            });
    ShowPage(0);
    // Keyboard users move between pages with the arrow keys.
    m_tree->setFocus();
}

bool CPSOpt::ShowPage(int index)
{
    if (index < 0 || index >= pageCount() || index == m_current)
        return index == m_current;
    if (m_current >= 0) {
        COptionsPage* leaving = m_pages[m_current];
        leaving->leave();
        if (!leaving->check()) {
            // The tree keeps showing the page that stays.
            m_switching = true;
            m_tree->setCurrentItem(m_tree->topLevelItem(m_current));
            m_switching = false;
            return false;
        }
    }
    m_current = index;
    m_pages[index]->markShown();
    m_stack->setCurrentIndex(index);
    m_heading->setText(m_pages[index]->title());
    m_switching = true;
    m_tree->setCurrentItem(m_tree->topLevelItem(index));
    m_switching = false;
    return true;
}

void CPSOpt::accept()
{
    COptionsPage* shown = m_pages[m_current];
    shown->leave();
    if (!shown->check())
        return;
    for (COptionsPage* page : m_pages)
        if (page->wasShown())
            page->save(m_copy);
    QDialog::accept();
}

void CPSOpt::reject()
{
    for (COptionsPage* page : m_pages)
        page->leave();
    QDialog::reject();
}

} // namespace tw
