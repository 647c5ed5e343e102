#pragma once

#include <atomic>
#include <thread>

#include <QString>
#include <QTimer>
#include <QWidget>

class QLineEdit;

namespace tw {

struct BrowserContext;
class CImageButton;
class CRecordPanel;

/// The search box under the record lists. A change of text is handled a moment later (a
/// burst of typing gives one refill): the three lists are filled again on a worker thread
/// with the lower-cased text. When the last search found nothing, a longer text containing
/// it cannot find more and is not searched again. UI thread only, except the refill.
class CFilterPanel : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kHeight = 41;
    static constexpr int kSettleMs = 120;

    CFilterPanel(BrowserContext& context, CRecordPanel& records, QWidget* parent = nullptr);
    ~CFilterPanel() override;

    QLineEdit* Edit() const { return m_edit; }
    CImageButton* ClearButton() const { return m_clear; }
    /// Empties the search box without a refill (the caller fills the lists itself).
    void ClearSearch();
    /// Lets the index prepare what a search reads (the rows' time texts) on the worker, so
    /// the first keystroke does not pay for it. A search asked meanwhile waits for it.
    void PrepareSearch();
    /// Handler of a settled text change (public for tests and the menus).
    void OnFilterChanged();
    bool RefillRunning() const { return m_running; }
    /// Waits for a running refill and delivers its rows (before the storage changes).
    void WaitForRefill();
    bool FoundNothing() const { return m_foundNothing; }
    /// Refills started so far (tests).
    int RefillCount() const { return m_refills; }

signals:
    /// A refill has put its rows into the lists.
    void refilled();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void onTextChanged(const QString& text);
    void finishRefill(bool foundNothing);

    BrowserContext& m_context;
    CRecordPanel& m_records;
    QLineEdit* m_edit;
    CImageButton* m_clear;
    QTimer m_settle;
    QString m_lastSearch;
    bool m_foundNothing = false;
    bool m_running = false;
    int m_refills = 0;
    std::jthread m_thread;
};

} // namespace tw
