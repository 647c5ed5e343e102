// The record browser at 100 000 records: how long the main window's lists take to show a
// search after a keystroke (the refill on its worker thread and the rows reaching the three
// lists), how long a header click takes to sort, and how much memory the rows cost. The
// records are MP3 entries without files, so the index is made in seconds.
//
//   QT_QPA_PLATFORM=offscreen tw_ui_refill_bench
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QTemporaryDir>

#include "records/record_storage.h"
#include "ui/filter_panel.h"
#include "ui/main_window.h"
#include "ui/record_list.h"
#include "ui/record_model.h"
#include "ui/record_panel.h"
#include "ui/record_view.h"
#include "ui/skin.h"

using namespace tw;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRecords = 100000;

long residentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    CRecordStorage storage;
    if (!storage.OpenStorageFolder(dir.path().toStdString(), nullptr))
        return 1;
    const std::uint32_t first = 1104537600; // 2005-01-01
    for (int i = 0; i < kRecords; ++i) {
        RecordInfo info;
        info.type = i % 3 == 0 ? RECORD_CONVERSATION : RECORD_VOICEMAIL;
        info.startTime = first + std::uint32_t(i) * 900;
        info.endTime = info.startTime + 30 + std::uint32_t(i % 600);
        info.SetSkypeName("user" + std::to_string(i % 5000));
        info.SetFullName("User " + std::to_string(i % 5000));
        info.SetPath(dir.path().toStdString() + "/r" + std::to_string(i) + ".mp3");
        if (i % 7 == 0)
            info.SetAnnotation("call back about order " + std::to_string(i));
        storage.Index().AddRecord(info);
    }
    SetSkinFolder((QCoreApplication::applicationDirPath() + "/../share/tellwick").toStdString());
    CMainWindow::Setup setup;
    setup.live = &storage;
    CMainWindow window(setup);
    window.resize(1000, 700);
    window.show();
    QApplication::processEvents();
    CFilterPanel& filter = window.View().Filter();
    // The index's own search texts are made first, so the figure below is the lists' alone.
    filter.PrepareSearch();
    filter.WaitForRefill();
    const long before = residentKiB();
    auto t0 = Clock::now();
    window.FillFromLive();
    QApplication::processEvents();
    const double fill = ms(Clock::now() - t0);
    filter.WaitForRefill();
    const long filled = residentKiB();
    // Each keystroke of a search a user types, then deleting back to nothing.
    const std::vector<QString> texts = {"u",      "us",      "use",    "user",  "user1",
                                        "user12", "user123", "user12", "user1", "",
                                        "order",  "zzz",     "zzzz",   "zz",    ""};
    std::vector<double> times;
    std::printf("keystroke refill at %d records (worker fill + rows in the three lists):\n",
                kRecords);
    for (const QString& text : texts) {
        filter.Edit()->setText(text);
        t0 = Clock::now();
        filter.OnFilterChanged();
        filter.WaitForRefill();
        QApplication::processEvents();
        const double t = ms(Clock::now() - t0);
        times.push_back(t);
        std::printf("  %-10s %8.1f ms  %6d rows in All%s\n",
                    ("\"" + text.toStdString() + "\"").c_str(), t,
                    window.View().Records().GetList(0)->model().rowCount(),
                    filter.FoundNothing() && t < 1 ? "  (found-nothing shortcut)" : "");
    }
    std::sort(times.begin(), times.end());
    std::printf("median %.1f ms, worst %.1f ms\n", times[times.size() / 2], times.back());

    CTIRecordList* all = window.View().Records().GetList(0);
    t0 = Clock::now();
    emit all->header()->sectionClicked(RecordModel::ColSkypeName);
    std::printf("sort %d rows by Skype name: %.1f ms\n", all->model().rowCount(),
                ms(Clock::now() - t0));
    t0 = Clock::now();
    all->scrollToBottom();
    all->viewport()->repaint();
    std::printf("scroll to the bottom and paint: %.1f ms\n", ms(Clock::now() - t0));
    std::printf("first fill of the three lists: %.1f ms\n", fill);
    std::printf("memory of the rows: %ld KiB for %d + %d + %d keys\n", filled - before,
                all->model().rowCount(), window.View().Records().GetList(1)->model().rowCount(),
                window.View().Records().GetList(2)->model().rowCount());
    return 0;
}
