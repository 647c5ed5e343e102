// Desktop notifications of new voice mails, against a small notification service on the
// test's own session bus (run under dbus-run-session): the service lives in its own thread
// on its own connection and records each Notify call.
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include "platform/qt/desktop_notifier.h"
#include "ui/voice_mail_notice.h"

using namespace tw;

namespace {

struct NotifyCall
{
    QString app, summary, body;
    QStringList actions;
    QVariantMap hints;
};

class FakeNotifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QList<NotifyCall> calls; // read after the spy saw the call
    uint nextId = 41;

public slots:
    uint Notify(const QString& app, uint, const QString&, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int)
    {
        calls.append({app, summary, body, actions, hints});
        emit received();
        return ++nextId;
    }
    QStringList GetCapabilities() { return {"actions", "body"}; }

signals:
    void received();
};

RecordInfo voiceMail(const std::string& skypeName, const std::string& fullName)
{
    RecordInfo info;
    info.type = RECORD_VOICEMAIL;
    info.SetSkypeName(skypeName);
    info.SetFullName(fullName);
    info.startTime = 1700000000;
    info.endTime = 1700000000 + 83;
    return info;
}

} // namespace

class NotifierTest : public QObject
{
    Q_OBJECT

    QThread m_thread;
    FakeNotifications* m_fake = nullptr;
    const QString m_connection = "fake-notifications";

    void startService()
    {
        m_fake = new FakeNotifications;
        m_fake->moveToThread(&m_thread);
        QDBusConnection bus =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, m_connection);
        QVERIFY(bus.isConnected());
        QVERIFY(
            bus.registerObject(DesktopNotifier::kPath, m_fake, QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerService(DesktopNotifier::kService));
    }
    void stopService()
    {
        QDBusConnection bus(m_connection);
        bus.unregisterService(DesktopNotifier::kService);
        bus.unregisterObject(DesktopNotifier::kPath);
        QDBusConnection::disconnectFromBus(m_connection);
        delete m_fake;
        m_fake = nullptr;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run under dbus-run-session");
        m_thread.start();
    }
    void cleanupTestCase()
    {
        m_thread.quit();
        m_thread.wait();
    }

    void theNoticeIsForVoiceMailsOnlyAndOnlyWhenWanted()
    {
        const auto notice = MakeVoiceMailNotice(voiceMail("alice.m", "Alice Morgan"), true);
        QVERIFY(notice);
        QCOMPARE(notice->summary, QString("Voice mail from Alice Morgan"));
        QVERIFY(notice->body.startsWith("Length 1:23"));
        QVERIFY(!MakeVoiceMailNotice(voiceMail("alice.m", "Alice Morgan"), false));
        RecordInfo conversation = voiceMail("bob.k", "Bob");
        conversation.type = RECORD_CONVERSATION;
        QVERIFY(!MakeVoiceMailNotice(conversation, true));
        // Without a full name the Skype name is shown.
        QCOMPARE(MakeVoiceMailNotice(voiceMail("+441632960123", ""), true)->summary,
                 QString("Voice mail from +441632960123"));
        QCOMPARE(NoticeLengthText(3600 + 62), QString("1:01:02"));
        QCOMPARE(NoticeLengthText(5), QString("0:05"));
    }

    void withoutAServiceNothingIsSentAndNothingBreaks()
    {
        DesktopNotifier notifier(QDBusConnection::sessionBus(), "Tellwick",
                                 "org.tellwick.Tellwick");
        QVERIFY(!notifier.serviceAvailable());
        QVERIFY(!notifier.notify(1, "Voice mail from x", "Length 0:01", "Play"));
        QCOMPARE(notifier.openCount(), std::size_t(0));
        // A notifier on a bus that is not there at all.
        DesktopNotifier offline(QDBusConnection("no-such-connection"), "Tellwick", "x");
        QVERIFY(!offline.notify(1, "a", "b", "Play"));
    }

    void aVoiceMailReachesTheServiceAndItsActionComesBack()
    {
        startService();
        DesktopNotifier notifier(QDBusConnection::sessionBus(), "Tellwick",
                                 "org.tellwick.Tellwick");
        QVERIFY(notifier.serviceAvailable());
        QSignalSpy received(m_fake, &FakeNotifications::received);
        const auto notice = MakeVoiceMailNotice(voiceMail("eve", "Eve <b>&</b> Co"), true);
        QVERIFY(notifier.notify(1700000000u, notice->summary, notice->body, notice->action));
        // The service answers in its own thread, perhaps before anyone waits for it.
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), 1, 5000);
        QCOMPARE(m_fake->calls.size(), 1);
        const NotifyCall call = m_fake->calls.first();
        QCOMPARE(call.app, QString("Tellwick"));
        // Markup characters are taken out of the caller's name.
        QCOMPARE(call.summary, QString("Voice mail from Eve b/b Co"));
        QVERIFY(call.body.startsWith("Length 1:23"));
        QVERIFY(call.actions.contains(DesktopNotifier::kActionKey));
        QCOMPARE(call.hints.value("desktop-entry").toString(), QString("org.tellwick.Tellwick"));
        QTRY_COMPARE(notifier.openCount(), std::size_t(1));

        // The user chooses "Play": the record's key comes back. Another id is ignored.
        QSignalSpy played(&notifier, &DesktopNotifier::actionInvoked);
        QDBusConnection bus(m_connection);
        for (uint id : {7u, 42u}) {
            QDBusMessage signal = QDBusMessage::createSignal(
                DesktopNotifier::kPath, "org.freedesktop.Notifications", "ActionInvoked");
            signal << id << QString(DesktopNotifier::kActionKey);
            QVERIFY(bus.send(signal));
        }
        QTRY_COMPARE_WITH_TIMEOUT(played.size(), 1, 5000);
        QCOMPARE(played.first().first().value<std::uint32_t>(), 1700000000u);
        // Closing forgets it.
        QDBusMessage closed = QDBusMessage::createSignal(
            DesktopNotifier::kPath, "org.freedesktop.Notifications", "NotificationClosed");
        closed << uint(42) << uint(2);
        QVERIFY(bus.send(closed));
        QTRY_COMPARE(notifier.openCount(), std::size_t(0));
        stopService();
        QTRY_VERIFY(!notifier.serviceAvailable());
        QVERIFY(!notifier.notify(2, "a", "b", "Play"));
    }
};

QTEST_GUILESS_MAIN(NotifierTest)
#include "notifier_test.moc"
