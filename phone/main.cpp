// SPDX-License-Identifier: GPL-3.0-or-later (see COPYING-NOTICE in this folder)
// tellwick-phone: a SIP phone that answers on the session bus as the desktop client's API
// did, so that Tellwick answers, records and reports real calls. See README.md beside this
// file. Licensed under the GNU GPL version 3 or later (it links the SIP library, GPL-3+).
#include <cstdio>
#include <iostream>
#include <string>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include "mainframe/secret_store.h"
#include "phone/phone_carrier.h"
#include "phone/phone_config.h"
#include "phone/ring_notice.h"
#include "phone/sip_core.h"
#include "platform/qt/signal_watcher.h"
#include "sim/sim_model.h"
#include "sim/sim_service.h"
#include "skype_api_adaptor.h"

using namespace tw::phone;

namespace {

void say(const QString& text)
{
    QTextStream(stderr) << "tellwick-phone: " << text << Qt::endl;
}

int fail(const QString& text, int code = 1)
{
    say(text);
    return code;
}

// The password goes into the Secret Service; the settings file never needs it there.
int storePassword()
{
    auto store = tw::MakeDesktopSecretStore();
    if (!store->isAvailable())
        return fail(QStringLiteral("no Secret Service (%1): put the password into [account] "
                                   "of the settings file and make it readable by you alone")
                        .arg(QString::fromStdString(store->why())));
    std::string password;
    std::getline(std::cin, password);
    if (password.empty())
        return fail(QStringLiteral("no password on standard input"));
    if (!store->store(kPasswordKey, password))
        return fail(QStringLiteral("the Secret Service did not keep the password"));
    say(QStringLiteral("password kept in the Secret Service"));
    return 0;
}

QString passwordFor(const PhoneConfig& config)
{
    auto store = tw::MakeDesktopSecretStore();
    if (store->isAvailable())
        if (auto kept = store->lookup(kPasswordKey))
            return QString::fromStdString(*kept);
    return config.sip.password;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    app.setApplicationName("tellwick-phone");
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "A SIP phone that owns com.Skype.API on the session bus, so that Tellwick answers "
        "real calls.");
    parser.addHelpOption();
    QCommandLineOption configOpt("config", "Settings file.", "file", defaultConfigPath());
    QCommandLineOption setPassword("set-password",
                                   "Keep the password read from standard input in the "
                                   "Secret Service, then end.");
    QCommandLineOption verbose("verbose", "Print every command, reply and notification.");
    parser.addOptions({configOpt, setPassword, verbose});
    parser.process(app);
    if (parser.isSet(setPassword))
        return storePassword();

    PhoneConfig config;
    QString error;
    if (!loadConfig(parser.value(configOpt), &config, &error))
        return fail(error, 2);
    if (!config.sip.registrar.isEmpty())
        config.sip.password = passwordFor(config);

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return fail("no session bus: " + bus.lastError().message());
    QTemporaryDir work;
    if (!work.isValid())
        return fail("cannot create a working folder: " + work.errorString());

    config.sip.remoteAudioFile = work.filePath(QStringLiteral("remote.wav"));
    SipCore sip(config.sip);
    if (!sip.start(&error))
        return fail(error);
    PhoneCarrier carrier(sip, config.contacts, work.path());

    tw::sim::SimSettings settings;
    settings.userHandle = config.userHandle;
    if (!config.fullName.isEmpty())
        settings.userFullName = config.fullName;
    settings.audioIn = settings.audioOut =
        config.sip.soundCard ? QStringLiteral("default") : QStringLiteral("files");
    settings.firstCallId = 1;
    for (const PhoneContact& c : config.contacts)
        settings.contacts.push_back({c.handle, c.fullName, QStringLiteral("ONLINE")});
    tw::sim::SimModel model(settings, nullptr, &carrier);
    carrier.setModel(&model);

    tw::sim::SkypeApiService api(model, bus);
    api.setVerbose(parser.isSet(verbose));
    new SkypeApiAdaptor(&api);
    RingNotice notice(bus);

    QObject::connect(&model, &tw::sim::SimModel::warning, &say);
    QObject::connect(&carrier, &PhoneCarrier::warning, &say);
    QObject::connect(&carrier, &PhoneCarrier::ringing, &notice, &RingNotice::show);
    QObject::connect(&carrier, &PhoneCarrier::stoppedRinging, &notice, &RingNotice::close);
    QObject::connect(&notice, &RingNotice::answer, &carrier, [&](int id) {
        if (const QString problem = carrier.answerOnSoundCard(id); !problem.isEmpty())
            say(problem);
    });
    QObject::connect(&notice, &RingNotice::decline, &carrier, [&](int id) { carrier.decline(id); });
    QObject::connect(&sip, &SipCore::registrationChanged, &app,
                     [&](bool ok, const QString& message) {
                         say(ok ? QStringLiteral("registered at %1").arg(config.sip.registrar)
                                : QStringLiteral("registration at %1 failed: %2")
                                      .arg(config.sip.registrar, message));
                     });

    if (!bus.registerObject("/com/Skype", &api))
        return fail("cannot export /com/Skype");
    if (!bus.registerService("com.Skype.API"))
        return fail("com.Skype.API is taken: " + bus.lastError().message());
    say(QStringLiteral("%1 listening on %2 port %3")
            .arg(config.sip.identity, config.sip.transport)
            .arg(config.sip.sipPort));
    if (!config.sip.registrar.isEmpty())
        say(QStringLiteral("registering at %1").arg(config.sip.registrar));

    tw::SignalWatcher watcher;
    QObject::connect(&watcher, &tw::SignalWatcher::signalReceived, &app, &QCoreApplication::quit);
    tw::sim::quitWithBus(app, bus);
    return app.exec();
}
