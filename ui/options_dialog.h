#pragma once

#include <vector>

#include <QDialog>

#include "ui/options_page.h"

class QLabel;
class QStackedWidget;
class QTreeWidget;

namespace tw {

class CSettings;

/// The Options dialog: a page tree beside the page area, OK and Cancel. Works on the copy it
/// is given: OK checks the page shown and writes every page that was shown into the copy;
/// Cancel writes nothing. Leaving a page in the tree first runs its checks. UI thread only.
class CPSOpt : public QDialog
{
    Q_OBJECT

public:
    /// context outlives the dialog.
    CPSOpt(CSettings& copy, const OptionsContext& context, QWidget* parent = nullptr);

    int pageCount() const { return static_cast<int>(m_pages.size()); }
    COptionsPage* page(int index) const { return m_pages[index]; }
    /// The page of that class, for tests and the screenshots.
    template <class Page> Page* find() const
    {
        for (COptionsPage* p : m_pages)
            if (auto* found = qobject_cast<Page*>(p))
                return found;
        return nullptr;
    }
    int currentPage() const { return m_current; }
    QTreeWidget* tree() const { return m_tree; }
    /// Shows the page as a click in the tree would: false when the page shown refused to be
    /// left.
    bool ShowPage(int index);

    void accept() override;
    void reject() override;

private:
    CSettings& m_copy;
    QTreeWidget* m_tree;
    QStackedWidget* m_stack;
    QLabel* m_heading;
    std::vector<COptionsPage*> m_pages;
    int m_current = -1;
    bool m_switching = false;
};

} // namespace tw
