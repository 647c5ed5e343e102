#include "app/skype_startup.h"

#include <QCoreApplication>
#include <QDBusConnection>

#include "app/log_prompt.h"
#include "app/twk_app.h"
#include "mainframe/greetings.h"
#include "platform/file_util.h"
#include "platform/log.h"
#include "platform/qt/dbus_skype_transport.h"
#include "platform/trace.h"
#include "records/record_storage.h"
#include "skype/call_handling.h"
#include "skype/skype_link.h"

namespace tw {
namespace {

class ShellHost : public SkypeLinkHost
{
public:
    // exit(), not quit(): the windows that only hide when closed must not veto the end.
    void requestExit() override { QCoreApplication::exit(0); }
    void skypeAttached() override
    {
        trace(2, "Skype attached");
        if (windows)
            windows->skypeAttached();
    }
    void callStateChanged() override
    {
        if (windows)
            windows->callStateChanged();
    }
    void contactsChanged() override
    {
        if (windows)
            windows->contactsChanged();
    }
    void showSidePanel() override
    {
        if (windows)
            windows->showSidePanel();
    }
    void showSkypeMainWindow() override
    {
        if (windows)
            windows->showSkypeMainWindow();
    }

    SkypeLinkHost* windows = nullptr;
};

} // namespace

SkypeStartup::SkypeStartup(CTWKApp& app, EventLoop& loop, RecordSink* pipeline,
                           CRecordStorage* storage)
    : m_app(app), m_loop(loop), m_pipeline(pipeline), m_storage(storage)
{}

SkypeStartup::~SkypeStartup()
{
    stop();
}

void SkypeStartup::PushSettings(CTWKApp& app, CSkypeLink& link, CallHandling& handling)
{
    const CSettings& s = app.settings();
    link.setRecordsFolder(s.sRecordStorageFolder);
    link.setWaitingPeriod(s.nVoiceMailWaitingPeriod);
    link.setMaxLength(s.nVoiceMailMaxLength);
    link.setVoiceMailEnable(s.fVoiceMailEnable);
    link.setConversationRecord(s.fConversationRecord, s.fRecordWarn);
    link.setCallTransfer(s.fCallTransferEnable, s.sSkypeName);
    link.setCallOutEnable(s.fCallOutEnable);
    link.setFormatMode(s.nAFormatMode);
    link.setMuteCaller(s.fMuteCaller);

    const AppFolders& folders = app.folders();
    std::string listGreeting = s.sDefaultGreetingFile;
    if (s.nGreetingType == 0 && listGreeting.empty())
        GetGreeting(folders.greetingFolder, s.nDefaultGreetingIndex, nullptr, &listGreeting);
    handling.SetGreetingFile(
        CurrentGreetingFile(folders.greetingFolder, s.nGreetingType, listGreeting));
}

void SkypeStartup::setWindowHost(SkypeLinkHost* host)
{
    m_windowHost = host;
    if (m_host)
        static_cast<ShellHost&>(*m_host).windows = host;
}

bool SkypeStartup::start()
{
    if (m_started)
        return true;
    const AppFolders& folders = m_app.folders();
    // The supplied greetings are copied once; files already there are kept.
    if (!folders.programDataFolder.empty())
        InstallShippedGreetings(JoinPath(folders.programDataFolder, kShippedGreetingsFolder),
                                folders.greetingFolder);

    auto transport = std::make_unique<DBusSkypeTransport>(QDBusConnection::sessionBus());
    if (!transport->isRegistered())
        appLog().Write("CSkypeLink::Create() - the client object cannot be exported on the bus.");
    m_transport = std::move(transport);
    m_prompt = std::make_unique<LogPrompt>();
    auto host = std::make_unique<ShellHost>();
    host->windows = m_windowHost;
    m_host = std::move(host);
    m_link = std::make_unique<CSkypeLink>(m_loop, *m_transport, *m_host, *m_prompt);
    m_handling = std::make_unique<CallHandling>(*m_link, m_loop);
    m_handling->setRecordSink(m_pipeline);
    if (CRecordStorage* storage = m_storage) {
        // A recording starts only with room for it, made by recycling when allowed.
        m_handling->setFreeSpaceCheck(
            [storage] { return storage->MeasureFreeSpace() || storage->EnsureFreeSpace(); });
        m_handling->setTodayFolderSource([storage] { return storage->GetTodayFolder(); });
    }
    m_link->setCallHandler(m_handling.get());
    PushSettings(m_app, *m_link, *m_handling);
    m_started = true;
    if (!m_link->Create()) {
        appLog().Write("CSkypeLink::Create() failed.");
        return false;
    }
    appLog().Write("CSkypeLink::Create()");
    return true;
}

void SkypeStartup::prepareExit(std::function<void()> done)
{
    if (!m_started) {
        done();
        return;
    }
    m_link->PrepareShutdown(std::move(done), kExitBound);
}

void SkypeStartup::stop()
{
    if (!m_started)
        return;
    m_started = false;
    m_link->Shutdown(); // joins the record worker through the call handling
    m_link->setCallHandler(nullptr);
    m_handling.reset();
    m_link.reset();
    m_transport.reset();
    m_host.reset();
    m_prompt.reset();
    appLog().Write("CSkypeLink::Shutdown()");
}

} // namespace tw
