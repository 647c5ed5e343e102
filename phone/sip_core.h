// SPDX-License-Identifier: GPL-3.0-or-later (see COPYING-NOTICE in this folder)
#pragma once

#include <map>

#include <linphone/core.h>

#include <QObject>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>

// The library's call is handed around by pointer only.
Q_DECLARE_OPAQUE_POINTER(LinphoneCall*)

namespace tw::phone {

/// How the SIP side is set up: one account, its transport and ports.
struct SipSettings
{
    QString identity;  ///< sip:user@domain
    QString registrar; ///< sip:host[:port]; empty: no registration, direct calls only
    QString password;
    QString transport = QStringLiteral("udp"); ///< udp, tcp or tls
    int sipPort = 5060;
    int audioPort = 0; ///< 0: any free port
    /// Without a sound card the audio comes from and goes to files only (tests, servers).
    bool soundCard = true;
    /// Without a sound card: what the local user says (a WAV file, played in a loop).
    QString localVoice;
    /// Without a sound card: where the caller's side of every call is written. The library
    /// appends each call's audio (and each restart after a hold) to this one file.
    QString remoteAudioFile;
    /// A registrar that has neither accepted nor refused within this time is reported as
    /// not reached (the library itself keeps trying quietly for half a minute or more).
    int registerTimeoutMs = 10000;
};

/// One SIP user agent: the library's core, iterated from this thread every 20 ms (the library
/// wants exactly one thread to do that), its events turned into signals.
class SipCore : public QObject
{
    Q_OBJECT

public:
    explicit SipCore(SipSettings settings, QObject* parent = nullptr);
    ~SipCore() override;

    /// Creates and starts the core; false with the reason when it cannot.
    bool start(QString* error);
    LinphoneCore* core() const { return m_core; }
    const SipSettings& settings() const { return m_s; }

    /// Whether the next call's audio starts on files (true) or the sound card.
    void useFiles(bool files);

    LinphoneCall* invite(const QString& uri);
    bool sendMessage(const QString& uri, const QString& text);
    /// Plays a file into the call from positionMs on; false when it cannot.
    bool playInto(LinphoneCall* call, const QString& path, int positionMs);
    void stopPlaying(LinphoneCall* call);
    /// Runs the core until nothing more is due (tests and shutdown).
    void iterate();

Q_SIGNALS:
    void callStateChanged(LinphoneCall* call, int state, const QString& message);
    void messageReceived(const QString& fromUri, const QString& text);
    void registrationChanged(bool registered, const QString& message);
    void playerEnded(LinphoneCall* call);

private:
    static SipCore* self(LinphoneCore* core);
    static void onCallState(LinphoneCore* core, LinphoneCall* call, LinphoneCallState state,
                            const char* message);
    static void onMessage(LinphoneCore* core, LinphoneChatRoom* room, LinphoneChatMessage* msg);
    static void onRegistration(LinphoneCore* core, LinphoneProxyConfig* cfg,
                               LinphoneRegistrationState state, const char* message);
    static void onPlayerEof(LinphonePlayer* player);
    bool addAccount(QString* error);
    void registrationSettled(bool registered, const QString& message);

    SipSettings m_s;
    QTemporaryDir m_home; ///< the library's configuration and database, ours alone
    LinphoneCore* m_core = nullptr;
    QTimer m_iterate;
    QTimer m_registerTimeout;
    bool m_registrationReported = false;
    std::map<LinphonePlayer*, LinphoneCall*> m_players;
};

/// What a failed registration means to the user, from the library's reason and its text.
QString registrationProblem(LinphoneReason reason, const QString& message);

/// user@domain of a SIP address text; empty when it is none.
QString userAtDomain(const QString& uri);

} // namespace tw::phone
