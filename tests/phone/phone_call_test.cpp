// The phone's SIP calls against the desktop API's commands: two SIP agents on 127.0.0.1 in
// this process (the phone and a caller, both without a sound card), the protocol model
// driven as Tellwick drives it. Real time, kept short: every call lasts a few seconds.
#include <gtest/gtest.h>

#include "phone_call_fixture.h"

namespace tw::phone {
namespace {

using test::kCallerHz;
using test::kGreetingHz;
using test::kLocalHz;
using test::PhoneCallTest;
using test::readWav;
using test::secondsOfTone;
using test::writeTone;

TEST(SipCoreFiles, TheLibraryKeepsItsFilesInsideItsOwnFolderAndTakesThemAlong)
{
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    const QByteArray tmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", scratch.path().toUtf8());
    {
        SipSettings s;
        s.identity = QStringLiteral("sip:files@127.0.0.1");
        s.sipPort = 20000 + int(QCoreApplication::applicationPid() % 1000);
        s.soundCard = false;
        SipCore core(s);
        QString error;
        ASSERT_TRUE(core.start(&error)) << error.toStdString();
        QTest::qWait(100);
    }
    qputenv("TMPDIR", tmp);
    EXPECT_EQ(QDir(scratch.path())
                  .entryList(QDir::NoDotAndDotDot | QDir::AllEntries)
                  .join(", ")
                  .toStdString(),
              "");
}

TEST_F(PhoneCallTest, AnsweredCallIsRecordedAndItsFilesAreCompleteWhenFinishedIsNotified)
{
    ring();
    EXPECT_TRUE(noted("CALL 1 CONF_ID 0"));
    EXPECT_EQ(run("GET CALL 1 PARTNER_HANDLE"), "CALL 1 PARTNER_HANDLE caller1");
    EXPECT_EQ(run("GET CALL 1 PARTNER_DISPNAME"), "CALL 1 PARTNER_DISPNAME Caller One");
    EXPECT_EQ(run("GET CALL 1 TYPE"), "CALL 1 TYPE INCOMING_P2P");

    writeTone(spath("greeting.wav"), kGreetingHz, 1);
    const QString out = QStringLiteral("ALTER CALL 1 SET_OUTPUT SOUNDCARD=\"default\", FILE=\"%1\"")
                            .arg(path("out.wav"));
    const QString mic =
        QStringLiteral("ALTER CALL 1 SET_CAPTURE_MIC FILE=\"%1\"").arg(path("mic.wav"));
    const QString in =
        QStringLiteral("ALTER CALL 1 SET_INPUT FILE=\"%1\"").arg(path("greeting.wav"));
    EXPECT_EQ(run(out), out);
    EXPECT_EQ(run(mic), mic);
    EXPECT_EQ(run(in), in);
    QElapsedTimer answerClock;
    answerClock.start();
    EXPECT_EQ(run("SET CALL 1 STATUS INPROGRESS"), "CALL 1 STATUS INPROGRESS");
    ASSERT_TRUE(waitFor([&] { return callerState(LinphoneCallStateStreamsRunning); }));
    RecordProperty("media_up_ms", int(answerClock.elapsed()));
    EXPECT_TRUE(noted("CALL 1 VAA_INPUT_STATUS TRUE"));

    // What the files hold at the very moment FINISHED goes out.
    test::WavFile outAtEnd, micAtEnd;
    QObject::connect(model.get(), &sim::SimModel::notification, [&](const QString& n) {
        if (n == "CALL 1 STATUS FINISHED") {
            outAtEnd = readWav(spath("out.wav"));
            micAtEnd = readWav(spath("mic.wav"));
        }
    });
    QElapsedTimer callClock;
    callClock.start();
    ASSERT_TRUE(waitFor([&] { return noted("CALL 1 VAA_INPUT_STATUS FALSE"); }));
    ASSERT_TRUE(waitFor([&] { return noted("CALL 1 DURATION 2"); }));
    linphone_call_terminate(callerCall);
    ASSERT_TRUE(waitFor([&] { return noted("CALL 1 STATUS FINISHED"); }));
    const double callSeconds = callClock.elapsed() / 1000.0;

    for (const test::WavFile* w : {&outAtEnd, &micAtEnd}) {
        EXPECT_TRUE(w->complete);
        EXPECT_EQ(w->channels, 1);
        EXPECT_EQ(w->rate, 16000);
        EXPECT_EQ(w->bits, 16);
    }
    // The caller's side: its tone, as long as the call went on (what the codec buffers aside).
    const double outSeconds = outAtEnd.samples.size() / 16000.0;
    RecordProperty("record_minus_call_ms", int((outSeconds - callSeconds) * 1000));
    EXPECT_NEAR(outSeconds, callSeconds, 0.5);
    EXPECT_GT(secondsOfTone(outAtEnd.samples, kCallerHz), outSeconds - 0.6);
    // The local side: the local voice.
    EXPECT_GT(secondsOfTone(micAtEnd.samples, kLocalHz), callSeconds - 0.6);
    // The caller heard the greeting.
    ASSERT_TRUE(waitFor([&] { return callerCall == nullptr; }));
    const test::WavFile heard = readWav(spath("heard.wav"));
    EXPECT_GT(secondsOfTone(heard.samples, kGreetingHz, heard.rate), 0.7);
    EXPECT_EQ(run("GET CALL 1 STATUS"), "CALL 1 STATUS FINISHED");
}

TEST_F(PhoneCallTest, HoldAndResumePlayTheRestOfTheGreeting)
{
    ring();
    writeTone(spath("greeting.wav"), kGreetingHz, 2.5);
    run(QStringLiteral("ALTER CALL 1 SET_INPUT FILE=\"%1\"").arg(path("greeting.wav")));
    run("SET CALL 1 STATUS INPROGRESS");
    ASSERT_TRUE(waitFor([&] { return callerState(LinphoneCallStateStreamsRunning); }));
    QTest::qWait(500);
    EXPECT_EQ(run("SET CALL 1 STATUS ONHOLD"), "CALL 1 STATUS INPROGRESS");
    ASSERT_TRUE(waitFor([&] { return callerState(LinphoneCallStatePausedByRemote); }));
    EXPECT_TRUE(noted("CALL 1 STATUS LOCALHOLD"));
    QTest::qWait(500);
    EXPECT_EQ(run("SET CALL 1 STATUS INPROGRESS"), "CALL 1 STATUS INPROGRESS");
    ASSERT_TRUE(waitFor([&] { return noted("CALL 1 VAA_INPUT_STATUS FALSE"); }));
    linphone_call_terminate(callerCall);
    ASSERT_TRUE(waitFor([&] { return callerCall == nullptr; }));
    // Without playing it again after the resume the caller would hear half a second of it.
    const test::WavFile heard = readWav(spath("heard.wav"));
    EXPECT_GT(secondsOfTone(heard.samples, kGreetingHz, heard.rate), 2.0);
}

TEST_F(PhoneCallTest, CallerHangingUpDuringTheGreetingLeavesACompleteFile)
{
    ring();
    writeTone(spath("greeting.wav"), kGreetingHz, 5);
    run(QStringLiteral("ALTER CALL 1 SET_OUTPUT FILE=\"%1\"").arg(path("out.wav")));
    run(QStringLiteral("ALTER CALL 1 SET_INPUT FILE=\"%1\"").arg(path("greeting.wav")));
    run("SET CALL 1 STATUS INPROGRESS");
    ASSERT_TRUE(waitFor([&] { return callerState(LinphoneCallStateStreamsRunning); }));
    QTest::qWait(700);
    linphone_call_terminate(callerCall);
    ASSERT_TRUE(waitFor([&] { return noted("CALL 1 STATUS FINISHED"); }));
    // The greeting is over for the client too, before the end.
    const qsizetype vaaOff = notes.indexOf("CALL 1 VAA_INPUT_STATUS FALSE");
    ASSERT_GE(vaaOff, 0);
    EXPECT_LT(vaaOff, notes.indexOf("CALL 1 STATUS FINISHED"));
    const test::WavFile out = readWav(spath("out.wav"));
    EXPECT_TRUE(out.complete);
    EXPECT_GT(out.samples.size(), 16000u / 2);
}

TEST_F(PhoneCallTest, DoNotDisturbDeclinesNewCallsAsBusy)
{
    EXPECT_EQ(run("SET USERSTATUS DND"), "USERSTATUS DND");
    callerCall = callerSip->invite(phoneUri);
    ASSERT_NE(callerCall, nullptr);
    ASSERT_TRUE(waitFor([&] { return endReason != 0; }));
    EXPECT_EQ(endReason, 486);
    EXPECT_EQ(run("SEARCH ACTIVECALLS"), "CALLS ");
    EXPECT_FALSE(noted("CALL 1 STATUS RINGING"));
}

TEST_F(PhoneCallTest, RingingCallEndedByTheClientIsRefusedAndDeclined)
{
    ring();
    EXPECT_EQ(run("SET CALL 1 STATUS FINISHED"), "CALL 1 STATUS REFUSED");
    ASSERT_TRUE(waitFor([&] { return endReason != 0; }));
    EXPECT_EQ(endReason, 603);
}

TEST_F(PhoneCallTest, TheUserDeclinesOrAnswersFromTheDesktop)
{
    ring();
    EXPECT_EQ(carrier->decline(1), "");
    EXPECT_TRUE(noted("CALL 1 STATUS REFUSED"));
    ASSERT_TRUE(waitFor([&] { return endReason != 0; }));
    EXPECT_EQ(endReason, 603);
    ASSERT_TRUE(waitFor([&] { return callerCall == nullptr; }));

    callerCall = callerSip->invite(phoneUri);
    ASSERT_TRUE(waitFor([&] { return noted("CALL 2 STATUS RINGING"); }));
    EXPECT_EQ(carrier->answerOnSoundCard(2), "");
    EXPECT_TRUE(noted("CALL 2 STATUS INPROGRESS"));
    ASSERT_TRUE(waitFor([&] { return callerState(LinphoneCallStateStreamsRunning); }));
    EXPECT_NE(carrier->answerOnSoundCard(2), "") << "answered twice";
}

TEST_F(PhoneCallTest, JoiningTheHeldCallerWithTheTargetTransfersTheCaller)
{
    // The transfer target, answering every call at once. The library names it by user and
    // host alone in the REFER (the port is dropped): it listens on the default port.
    const auto agent = agentOnDefaultPort("target");
    if (!agent)
        GTEST_SKIP() << "port 5060 is taken";
    SipCore& target = *agent;
    const int port = 5060;
    QStringList targetCalls;
    QObject::connect(
        &target, &SipCore::callStateChanged, [&](LinphoneCall* call, int state, const QString&) {
            if (state != LinphoneCallStateIncomingReceived)
                return;
            char* from =
                linphone_address_as_string_uri_only(linphone_call_get_remote_address(call));
            targetCalls << QString::fromUtf8(from);
            bctbx_free(from);
            linphone_call_accept(call);
        });

    // As Tellwick transfers: answer, hold the caller, call the target, join the two.
    ring();
    run("SET CALL 1 STATUS INPROGRESS");
    ASSERT_TRUE(waitFor([&] { return callerState(LinphoneCallStateStreamsRunning); }));
    run("SET CALL 1 STATUS ONHOLD");
    ASSERT_TRUE(waitFor([&] { return callerState(LinphoneCallStatePausedByRemote); }));
    EXPECT_EQ(run(QStringLiteral("CALL target@127.0.0.1:%1").arg(port)), "CALL 2 STATUS UNPLACED");
    ASSERT_TRUE(waitFor([&] { return noted("CALL 2 STATUS INPROGRESS"); }));
    EXPECT_EQ(targetCalls.size(), 1);
    EXPECT_EQ(run("SET CALL 1 JOIN_CONFERENCE 2").left(15), "CALL 1 CONF_ID ");

    // The caller, told to (REFER), calls the target itself; the phone's legs end.
    ASSERT_TRUE(waitFor([&] { return targetCalls.size() == 2; }, 8000));
    EXPECT_TRUE(targetCalls[1].contains("caller1@127.0.0.1")) << targetCalls[1].toStdString();
    ASSERT_TRUE(waitFor(
        [&] { return noted("CALL 1 STATUS FINISHED") && noted("CALL 2 STATUS FINISHED"); }, 8000));
}

TEST_F(PhoneCallTest, ChatMessageToTheCallerTravelsAsSipMessage)
{
    // The library addresses a MESSAGE by user and host alone (the port is dropped), so the
    // receiver listens on the default port here. With a registrar that is how it always goes.
    const auto agent = agentOnDefaultPort("busy");
    if (!agent)
        GTEST_SKIP() << "port 5060 is taken";
    SipCore& receiver = *agent;
    QStringList received;
    QObject::connect(&receiver, &SipCore::messageReceived,
                     [&](const QString&, const QString& text) { received << text; });
    EXPECT_TRUE(run("MESSAGE busy@127.0.0.1 Busy, call back later").startsWith("CHATMESSAGE "));
    ASSERT_TRUE(waitFor([&] { return !received.isEmpty(); }));
    EXPECT_EQ(received, QStringList{"Busy, call back later"});
}

} // namespace
} // namespace tw::phone
