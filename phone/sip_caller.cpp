// SPDX-License-Identifier: GPL-3.0-or-later (see COPYING-NOTICE in this folder)
// tellwick-sip-caller: a second SIP agent for tests and the demonstration. It calls an
// address (or answers calls), says a WAV file, records what it hears, prints what happens on
// standard output (one line each: "state NAME", "message TEXT", "reason CODE") and ends when
// its call ends. Licensed under the GNU GPL version 3 or later, as tellwick-phone.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>
#include <QTimer>

#include "phone/sip_core.h"

using namespace tw::phone;

namespace {

void out(const QString& line)
{
    QTextStream(stdout) << line << Qt::endl;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("A SIP caller for tests: calls, speaks a file, records.");
    parser.addHelpOption();
    QCommandLineOption port("port", "SIP port on 127.0.0.1.", "n", "5070");
    QCommandLineOption user("user", "This caller's user name.", "name", "caller");
    QCommandLineOption display("name", "This caller's display name.", "text");
    QCommandLineOption call("call", "Address to call.", "uri");
    QCommandLineOption listen("answer-after", "Answer incoming calls after this many seconds.",
                              "seconds");
    QCommandLineOption voice("voice", "What this caller says (16-bit WAV).", "file");
    QCommandLineOption record("record", "Where what this caller hears goes (WAV).", "file");
    QCommandLineOption hangup("hangup-after", "Hang up this many seconds after the answer.",
                              "seconds", "-1");
    QCommandLineOption holdAt("hold",
                              "Put the call on hold at these seconds after the answer "
                              "for the next seconds: AT:FOR.",
                              "AT:FOR");
    QCommandLineOption message("send", "Send this text as a SIP MESSAGE to the callee first.",
                               "text");
    QCommandLineOption giveUp(
        "give-up-after", "Hang up this many seconds after calling, answered or not.", "seconds");
    QCommandLineOption limit("timeout", "End after this many seconds in any case.", "seconds",
                             "120");
    parser.addOptions(
        {port, user, display, call, listen, voice, record, hangup, holdAt, message, giveUp, limit});
    parser.process(app);

    SipSettings settings;
    settings.sipPort = parser.value(port).toInt();
    settings.identity =
        QStringLiteral("sip:%1@127.0.0.1:%2").arg(parser.value(user)).arg(settings.sipPort);
    if (parser.isSet(display))
        settings.identity =
            QStringLiteral("\"%1\" <%2>").arg(parser.value(display), settings.identity);
    settings.soundCard = false;
    settings.localVoice = parser.value(voice);
    if (parser.isSet(record)) {
        // The library appends to an existing file: this run's recording starts afresh.
        QFile::remove(parser.value(record));
        settings.remoteAudioFile = parser.value(record);
    }
    SipCore sip(settings);
    QString error;
    if (!sip.start(&error)) {
        QTextStream(stderr) << "tellwick-sip-caller: " << error << Qt::endl;
        return 1;
    }

    int exitCode = 0;
    const double hangupAfter = parser.value(hangup).toDouble();
    const QStringList hold = parser.value(holdAt).split(':');
    LinphoneCall* current = nullptr;
    bool answered = false;
    QObject::connect(&sip, &SipCore::messageReceived, &app,
                     [](const QString&, const QString& text) { out("message " + text); });
    QObject::connect(
        &sip, &SipCore::callStateChanged, &app, [&](LinphoneCall* c, int state, const QString&) {
            out(QStringLiteral("state %1")
                    .arg(QString::fromUtf8(linphone_call_state_to_string(LinphoneCallState(state)))
                             .remove(QLatin1String("LinphoneCallState"))));
            if (state == LinphoneCallStateIncomingReceived && parser.isSet(listen)) {
                current = c;
                QTimer::singleShot(int(parser.value(listen).toDouble() * 1000), &app, [&, c] {
                    if (current == c)
                        linphone_call_accept(c);
                });
            }
            if (state == LinphoneCallStateStreamsRunning && !answered) {
                answered = true;
                if (hold.size() == 2) {
                    QTimer::singleShot(int(hold[0].toDouble() * 1000), &app, [&, c] {
                        if (current == c)
                            linphone_call_pause(c);
                    });
                    QTimer::singleShot(int((hold[0].toDouble() + hold[1].toDouble()) * 1000), &app,
                                       [&, c] {
                                           if (current == c)
                                               linphone_call_resume(c);
                                       });
                }
                if (hangupAfter >= 0)
                    QTimer::singleShot(int(hangupAfter * 1000), &app, [&, c] {
                        if (current == c)
                            linphone_call_terminate(c);
                    });
            }
            if (state == LinphoneCallStateEnd || state == LinphoneCallStateError) {
                out(QStringLiteral("reason %1")
                        .arg(linphone_reason_to_error_code(linphone_call_get_reason(c))));
                if (state == LinphoneCallStateError)
                    exitCode = 3;
            }
            if (state == LinphoneCallStateReleased && c == current) {
                current = nullptr;
                // Let a MESSAGE sent right after the end arrive, then stop.
                QTimer::singleShot(1500, &app, &QCoreApplication::quit);
            }
        });

    if (parser.isSet(call)) {
        if (parser.isSet(message))
            sip.sendMessage(parser.value(call), parser.value(message));
        current = sip.invite(parser.value(call));
        if (!current) {
            QTextStream(stderr) << "tellwick-sip-caller: cannot call " << parser.value(call)
                                << Qt::endl;
            return 1;
        }
        if (parser.isSet(giveUp))
            QTimer::singleShot(int(parser.value(giveUp).toDouble() * 1000), &app, [&] {
                if (current)
                    linphone_call_terminate(current);
            });
    }
    QTimer::singleShot(int(parser.value(limit).toDouble() * 1000), &app, [&] {
        exitCode = 4;
        app.quit();
    });
    return app.exec() == 0 ? exitCode : 1;
}
