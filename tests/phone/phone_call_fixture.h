// The phone and a caller, two SIP agents on 127.0.0.1 in the test process (both without a
// sound card), and the protocol model driven as Tellwick drives it.
#pragma once

#include <functional>
#include <memory>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include "phone/phone_carrier.h"
#include "phone/sip_core.h"
#include "sim/sim_model.h"
#include "tone_files.h"

namespace tw::phone::test {

constexpr double kCallerHz = 440;
constexpr double kLocalHz = 1000;
constexpr double kGreetingHz = 700;

class PhoneCallTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        writeTone(spath("caller.wav"), kCallerHz, 10);
        writeTone(spath("local.wav"), kLocalHz, 10);
        // Ports of their own: the tests of this program run side by side.
        const int base = 21000 + int(QCoreApplication::applicationPid() % 4000) * 4;
        phonePort = base;
        phoneUri = QStringLiteral("sip:me@127.0.0.1:%1").arg(base);

        SipSettings p;
        p.identity = phoneUri;
        p.sipPort = base;
        p.soundCard = false;
        p.localVoice = path("local.wav");
        p.remoteAudioFile = path("remote.wav");
        phoneSip = std::make_unique<SipCore>(p);
        SipSettings c;
        c.identity = QStringLiteral("\"Caller One\" <sip:caller1@127.0.0.1:%1>").arg(base + 2);
        c.sipPort = base + 2;
        c.soundCard = false;
        c.localVoice = path("caller.wav");
        c.remoteAudioFile = path("heard.wav");
        callerSip = std::make_unique<SipCore>(c);
        QString error;
        ASSERT_TRUE(phoneSip->start(&error)) << error.toStdString();
        ASSERT_TRUE(callerSip->start(&error)) << error.toStdString();

        carrier = std::make_unique<PhoneCarrier>(
            *phoneSip,
            std::vector<PhoneContact>{{"caller1", "Caller One",
                                       QStringLiteral("sip:caller1@127.0.0.1:%1").arg(base + 2)}},
            dir.path());
        sim::SimSettings s;
        s.userHandle = "me";
        s.firstCallId = 1;
        s.contacts = {{"caller1", "Caller One", "ONLINE"}};
        model = std::make_unique<sim::SimModel>(s, nullptr, carrier.get());
        carrier->setModel(model.get());
        QObject::connect(model.get(), &sim::SimModel::notification,
                         [this](const QString& n) { notes << n; });
        QObject::connect(carrier.get(), &PhoneCarrier::warning, [](const QString& text) {
            fprintf(stderr, "phone: %s\n", qPrintable(text));
        });
        QObject::connect(callerSip.get(), &SipCore::callStateChanged,
                         [this](LinphoneCall* call, int state, const QString&) {
                             if (state == LinphoneCallStateEnd || state == LinphoneCallStateError)
                                 endReason =
                                     linphone_reason_to_error_code(linphone_call_get_reason(call));
                             if (state == LinphoneCallStateReleased)
                                 callerCall = nullptr;
                         });
    }

    void TearDown() override
    {
        model.reset();
        carrier.reset();
    }

    QString path(const QString& name) const { return dir.filePath(name); }
    std::string spath(const char* name) const { return path(name).toStdString(); }
    bool waitFor(const std::function<bool()>& done, int ms = 5000)
    {
        return QTest::qWaitFor(done, ms);
    }
    bool noted(const QString& text) const { return notes.contains(text); }
    QString run(const QString& command) { return model->execute(command); }

    /// The caller calls and the phone rings: returns once the model has the call.
    void ring()
    {
        callerCall = callerSip->invite(phoneUri);
        ASSERT_NE(callerCall, nullptr);
        ASSERT_TRUE(waitFor([&] { return noted("CALL 1 STATUS RINGING"); }));
    }
    /// A third agent on 5060 (nullptr when the port is taken): the library drops the port
    /// from the addresses of MESSAGE and REFER targets.
    static std::unique_ptr<SipCore> agentOnDefaultPort(const QString& user)
    {
        SipSettings a;
        a.identity = QStringLiteral("sip:%1@127.0.0.1").arg(user);
        a.sipPort = 5060;
        a.soundCard = false;
        auto agent = std::make_unique<SipCore>(a);
        QString error;
        return agent->start(&error) ? std::move(agent) : nullptr;
    }
    bool callerState(LinphoneCallState state) const
    {
        return callerCall && linphone_call_get_state(callerCall) == state;
    }

    QTemporaryDir dir;
    QString phoneUri;
    int phonePort = 0;
    std::unique_ptr<SipCore> phoneSip;
    std::unique_ptr<SipCore> callerSip;
    std::unique_ptr<PhoneCarrier> carrier;
    std::unique_ptr<sim::SimModel> model;
    QStringList notes;
    LinphoneCall* callerCall = nullptr;
    int endReason = 0;
};

} // namespace tw::phone::test
