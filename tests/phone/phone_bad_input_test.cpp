// What a hostile or broken peer does to the phone: garbage datagrams on its SIP port, a call
// offering only a codec nobody knows, a registrar that refuses the password or does not
// answer. The phone says so, keeps going and answers the next good call.
#include <gtest/gtest.h>

#include <QUdpSocket>

#include "phone_call_fixture.h"

namespace tw::phone {
namespace {

using test::PhoneCallTest;

/// A UDP peer on loopback that writes raw SIP and reads what comes back.
class RawPeer
{
public:
    RawPeer() { EXPECT_TRUE(m_socket.bind(QHostAddress::LocalHost, 0)); }
    int port() const { return m_socket.localPort(); }
    void send(const QByteArray& datagram, int toPort)
    {
        m_socket.writeDatagram(datagram, QHostAddress::LocalHost, quint16(toPort));
    }
    /// The datagrams that arrived so far.
    QList<QByteArray> received()
    {
        while (m_socket.hasPendingDatagrams()) {
            QByteArray d(int(m_socket.pendingDatagramSize()), '\0');
            m_socket.readDatagram(d.data(), d.size());
            m_got << d;
        }
        return m_got;
    }
    /// Whether a response whose status line starts with this prefix arrived.
    bool got(const QByteArray& statusPrefix)
    {
        for (const QByteArray& d : received())
            if (d.startsWith(statusPrefix))
                return true;
        return false;
    }

private:
    QUdpSocket m_socket;
    QList<QByteArray> m_got;
};

QByteArray invite(int toPort, int fromPort, const QByteArray& sdp)
{
    const QByteArray to = "sip:me@127.0.0.1:" + QByteArray::number(toPort);
    const QByteArray from = "sip:odd@127.0.0.1:" + QByteArray::number(fromPort);
    return "INVITE " + to + " SIP/2.0\r\n" +
           "Via: SIP/2.0/UDP 127.0.0.1:" + QByteArray::number(fromPort) +
           ";branch=z9hG4bK-odd1;rport\r\n" + "Max-Forwards: 70\r\nFrom: <" + from +
           ">;tag=odd1\r\nTo: <" + to + ">\r\n" +
           "Call-ID: odd-codec-1@127.0.0.1\r\nCSeq: 1 INVITE\r\nContact: <" + from + ">\r\n" +
           "Content-Type: application/sdp\r\nContent-Length: " + QByteArray::number(sdp.size()) +
           "\r\n\r\n" + sdp;
}

TEST_F(PhoneCallTest, GarbageOnTheSipPortIsIgnoredAndTheNextCallIsAnswered)
{
    RawPeer peer;
    QByteArray noise(700, '\0');
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = char((i * 7919 + 13) % 256);
    const QList<QByteArray> garbage{
        noise,
        QByteArray(),
        "INVITE sip:me@127.0.0.1 SIP/2.0\r\n\r\n",
        "SIP/2.0 200 OK\r\nVia: nonsense\r\nCSeq: x\r\n\r\n",
        invite(phonePort, peer.port(), "v=0\r\nm=audio")
            .replace("Content-Length: 12", "Content-Length: 99999"),
        "REGISTER \x01\x02 SIP/9.9\r\nContent-Length: -5\r\n\r\n",
        QByteArray(60000, 'A'),
    };
    for (const QByteArray& d : garbage)
        peer.send(d, phonePort);
    QTest::qWait(300);
    EXPECT_EQ(run("SEARCH ACTIVECALLS"), "CALLS ");

    ring();
    run("SET CALL 1 STATUS INPROGRESS");
    ASSERT_TRUE(waitFor([&] { return callerState(LinphoneCallStateStreamsRunning); }));
}

TEST_F(PhoneCallTest, CallOfferingOnlyAnUnknownCodecIsRefusedClearly)
{
    RawPeer peer;
    const QByteArray sdp = "v=0\r\no=odd 1 1 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\n"
                           "t=0 0\r\nm=audio 40000 RTP/AVP 101\r\na=rtpmap:101 X-NOSUCH/8000\r\n";
    peer.send(invite(phonePort, peer.port(), sdp), phonePort);
    // 488 Not Acceptable Here: the caller learns why, and nothing rings for Tellwick.
    ASSERT_TRUE(waitFor([&] { return peer.got("SIP/2.0 488"); }))
        << peer.received().value(0).left(80).toStdString();
    EXPECT_FALSE(noted("CALL 1 STATUS RINGING"));
    EXPECT_EQ(run("SEARCH ACTIVECALLS"), "CALLS ");

    ring();
    run("SET CALL 1 STATUS INPROGRESS");
    ASSERT_TRUE(waitFor([&] { return callerState(LinphoneCallStateStreamsRunning); }));
}

/// A registrar on loopback that answers every REGISTER with one final response.
class RefusingRegistrar
{
public:
    explicit RefusingRegistrar(QByteArray status) : m_status(std::move(status))
    {
        EXPECT_TRUE(m_socket.bind(QHostAddress::LocalHost, 0));
        QObject::connect(&m_socket, &QUdpSocket::readyRead, [this] { answer(); });
    }
    int port() const { return m_socket.localPort(); }
    int registers = 0;

private:
    void answer()
    {
        while (m_socket.hasPendingDatagrams()) {
            QByteArray d(int(m_socket.pendingDatagramSize()), '\0');
            QHostAddress from;
            quint16 fromPort = 0;
            m_socket.readDatagram(d.data(), d.size(), &from, &fromPort);
            if (!d.startsWith("REGISTER "))
                continue;
            ++registers;
            QByteArray reply = "SIP/2.0 " + m_status + "\r\n";
            for (const QByteArray& line : d.split('\n')) {
                const QByteArray h = line.trimmed();
                if (h.startsWith("Via:") || h.startsWith("From:") || h.startsWith("Call-ID:") ||
                    h.startsWith("CSeq:"))
                    reply += h + "\r\n";
                else if (h.startsWith("To:"))
                    reply += h + ";tag=reg1\r\n";
            }
            if (m_status.startsWith("401"))
                reply += "WWW-Authenticate: Digest realm=\"127.0.0.1\", nonce=\"n" +
                         QByteArray::number(registers) + "\", algorithm=MD5\r\n";
            reply += "Content-Length: 0\r\n\r\n";
            m_socket.writeDatagram(reply, from, fromPort);
        }
    }
    QUdpSocket m_socket;
    QByteArray m_status;
};

struct Registration
{
    bool done = false;
    bool ok = true;
    QString message;
};

/// Starts an agent that registers at 127.0.0.1:registrarPort and follows its registration.
std::unique_ptr<SipCore> registeringAgent(int registrarPort, Registration& out)
{
    SipSettings s;
    const int port = 25000 + int(QCoreApplication::applicationPid() % 4000);
    s.identity = QStringLiteral("sip:me@127.0.0.1");
    s.registrar = QStringLiteral("sip:127.0.0.1:%1").arg(registrarPort);
    s.password = QStringLiteral("wrong");
    s.sipPort = port;
    s.soundCard = false;
    s.registerTimeoutMs = 1500;
    auto agent = std::make_unique<SipCore>(s);
    QObject::connect(agent.get(), &SipCore::registrationChanged,
                     [&out](bool ok, const QString& message) {
                         out.done = true;
                         out.ok = ok;
                         out.message = message;
                     });
    QString error;
    EXPECT_TRUE(agent->start(&error)) << error.toStdString();
    return agent;
}

TEST(PhoneRegistration, AWrongPasswordIsReportedAsSuch)
{
    // Refused outright, or challenged and the answer with the password refused again.
    for (const QByteArray& status : {QByteArray("403 Forbidden"), QByteArray("401 Unauthorized")}) {
        SCOPED_TRACE(status.toStdString());
        RefusingRegistrar registrar(status);
        Registration reg;
        const auto agent = registeringAgent(registrar.port(), reg);
        ASSERT_TRUE(QTest::qWaitFor([&] { return reg.done; }, 5000));
        EXPECT_FALSE(reg.ok);
        EXPECT_GE(registrar.registers, 1);
        EXPECT_TRUE(reg.message.startsWith("the registrar refused the user name or password"))
            << reg.message.toStdString();
    }
}

TEST(PhoneRegistration, AnUnreachableRegistrarIsReportedAsSuch)
{
    // A port nobody listens on: the system answers the datagram with "port unreachable".
    quint16 closed = 0;
    {
        QUdpSocket probe;
        ASSERT_TRUE(probe.bind(QHostAddress::LocalHost, 0));
        closed = probe.localPort();
    }
    Registration reg;
    const auto agent = registeringAgent(closed, reg);
    ASSERT_TRUE(QTest::qWaitFor([&] { return reg.done; }, 5000));
    EXPECT_FALSE(reg.ok);
    EXPECT_TRUE(reg.message.startsWith("the registrar was not reached"))
        << reg.message.toStdString();
}

} // namespace
} // namespace tw::phone
