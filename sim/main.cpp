// skype-sim: a substitute for the Skype desktop client's API on the session D-Bus, for tests
// and demonstrations. See README.md beside this file.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QTextStream>
#include <QTimer>

#include "sim/sim_ctl.h"
#include "sim/sim_model.h"
#include "sim/sim_script.h"
#include "sim/sim_service.h"
#include "sim/sim_vocabulary.h"
#include "skype_api_adaptor.h"
#include "skype_sim_adaptor.h"

using namespace tw::sim;

namespace {

int fail(const QString& text, int code = 2)
{
    QTextStream(stderr) << "skype-sim: " << text << Qt::endl;
    return code;
}

std::vector<SimContact> defaultContacts()
{
    return {{"bob", "Bob Brown", "ONLINE"},
            {"carol", "Carol Clark", "AWAY"},
            {"dave", "Dave Dunn", "OFFLINE"}};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    app.setApplicationName("skype-sim");
    const QStringList args = app.arguments();
    if (args.size() >= 2 && args[1] == "ctl")
        return runCtl(args.mid(2));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Substitute Skype client: owns com.Skype.API on the session bus.\n"
        "Run 'skype-sim ctl' for the control commands.\n" +
        helpText());
    parser.addHelpOption();
    QCommandLineOption auth("auth", "NAME policy: accept, refuse, offline or pending:SECONDS.",
                            "policy", "accept");
    QCommandLineOption user("user", "Local user's handle.", "handle", "alice");
    QCommandLineOption fullName("fullname", "Local user's full name.", "name", "Alice Anders");
    QCommandLineOption status("status", "Local user's status at start.", "status", "ONLINE");
    QCommandLineOption contact("contact",
                               "A contact (repeatable; replaces the default bob, carol, dave).",
                               "handle:STATUS[:Full Name]");
    QCommandLineOption version("skype-version", "Version text.", "text", "2.2.0.35");
    QCommandLineOption audioIn("audio-in", "Input device name.", "name",
                               "Built-in Audio Analog Stereo");
    QCommandLineOption audioOut("audio-out", "Output device name.", "name",
                                "Built-in Audio Analog Stereo");
    QCommandLineOption protocol("protocol", "Highest protocol spoken.", "n", "8");
    QCommandLineOption voice("voice", "Callers' voice (any sound file); default: a tone.", "file");
    QCommandLineOption answerAfter("answer-after",
                                   "Seconds until the far end takes an outgoing call; "
                                   "negative: never.",
                                   "seconds", "3");
    QCommandLineOption firstCall("first-call-id", "Id of the first call.", "n", "100");
    QCommandLineOption script("script", "Scenario file, started at the first attach.", "file");
    QCommandLineOption silent("silent", "Log commands but never answer them.");
    QCommandLineOption verbose("verbose", "Print every command, reply and notification.");
    QCommandLineOption replyDelay(
        "reply-delay", "Answer every command MIN to MAX ms after running it.", "MIN:MAX", "0:0");
    parser.addOptions({auth, user, fullName, status, contact, version, audioIn, audioOut, protocol,
                       voice, answerAfter, firstCall, script, silent, verbose, replyDelay});
    parser.process(app);

    const auto policy = AuthPolicy::parse(parser.value(auth));
    if (!policy)
        return fail("bad --auth value " + parser.value(auth));

    SimSettings settings;
    settings.userHandle = parser.value(user);
    settings.userFullName = parser.value(fullName);
    settings.userStatus = parser.value(status).toUpper();
    if (!isUserStatus(settings.userStatus))
        return fail("bad --status value " + settings.userStatus);
    settings.version = parser.value(version);
    settings.audioIn = parser.value(audioIn);
    settings.audioOut = parser.value(audioOut);
    bool ok = false;
    settings.protocol = parser.value(protocol).toInt(&ok);
    if (!ok || settings.protocol < 1)
        return fail("bad --protocol value");
    const double answerSeconds = parser.value(answerAfter).toDouble(&ok);
    if (!ok)
        return fail("bad --answer-after value");
    settings.answerAfterMs = answerSeconds < 0 ? -1 : int(answerSeconds * 1000);
    settings.firstCallId = parser.value(firstCall).toInt(&ok);
    if (!ok || settings.firstCallId < 1)
        return fail("bad --first-call-id value");
    settings.defaultVoice = parser.value(voice);
    if (parser.isSet(contact)) {
        for (const QString& c : parser.values(contact)) {
            const QStringList parts = c.split(':');
            if (parts.size() < 2 || parts[0].isEmpty() || !isOnlineStatus(parts[1].toUpper()))
                return fail("bad --contact value " + c);
            settings.contacts.push_back({parts[0], parts.mid(2).join(':'), parts[1].toUpper()});
        }
    } else {
        settings.contacts = defaultContacts();
    }

    SimScript scenario;
    if (parser.isSet(script)) {
        QString error;
        if (!scenario.load(parser.value(script), &error))
            return fail(error);
    }

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return fail("no session bus: " + bus.lastError().message(), 1);

    SimModel model(settings);
    SkypeApiService api(model, bus);
    api.setPolicy(*policy);
    api.setSilent(parser.isSet(silent));
    api.setVerbose(parser.isSet(verbose));
    {
        const QStringList delay = parser.value(replyDelay).split(':');
        bool okMin = false, okMax = false;
        const int minMs = delay.value(0).toInt(&okMin);
        const int maxMs = delay.value(1).toInt(&okMax);
        if (delay.size() != 2 || !okMin || !okMax || minMs < 0 || maxMs < minMs)
            return fail("bad --reply-delay value " + parser.value(replyDelay));
        api.setReplyDelay(minMs, maxMs);
    }
    SimControl control(model, api);
    new SkypeApiAdaptor(&api);
    new SkypeSimAdaptor(&control);
    QObject::connect(&model, &SimModel::warning, [](const QString& text) {
        QTextStream(stderr) << "skype-sim: " << text << Qt::endl;
    });
    QObject::connect(&scenario, &SimScript::warning, [](const QString& text) {
        QTextStream(stderr) << "skype-sim: " << text << Qt::endl;
    });

    if (!bus.registerObject("/com/Skype", &api) ||
        !bus.registerObject("/org/tellwick/SkypeSim", &control))
        return fail("cannot export the API objects", 1);
    if (!bus.registerService("com.Skype.API"))
        return fail("com.Skype.API is taken: " + bus.lastError().message(), 1);
    bus.registerService("org.tellwick.SkypeSim");

    QObject::connect(&api, &SkypeApiService::firstAttach, &scenario,
                     [&] { scenario.start(model); });

    quitWithBus(app, bus);

    return app.exec();
}
