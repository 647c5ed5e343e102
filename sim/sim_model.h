#pragma once

#include <map>
#include <memory>
#include <vector>

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include "sim/call_audio.h"
#include "sim/call_media.h"
#include "sim/sim_chats.h"

namespace tw::sim {

struct SimContact
{
    QString handle;
    QString fullName;
    QString status; // ONLINE, AWAY, NA, DND, OFFLINE, SKYPEME, SKYPEOUT, UNKNOWN
};

struct SimSettings
{
    QString userHandle = QStringLiteral("alice");
    QString userFullName = QStringLiteral("Alice Anders");
    QString userStatus = QStringLiteral("ONLINE");
    QString version = QStringLiteral("2.2.0.35");
    QString audioIn = QStringLiteral("Built-in Audio Analog Stereo");
    QString audioOut = QStringLiteral("Built-in Audio Analog Stereo");
    int protocol = 8;
    int firstCallId = 100;
    /// Outgoing calls are answered by the far end after this many ms; negative: never.
    int answerAfterMs = 3000;
    QString defaultVoice; // caller's voice for calls that name none; empty: a tone
    std::vector<SimContact> contacts;
};

/// Everything the substitute Skype client knows: the local user, contacts, calls and chats,
/// and what a command in the API's text protocol does to them. Replies are returned;
/// notifications go out through the notification signal (queue them behind the reply).
/// Single-threaded: lives on the application's thread.
class SimModel : public QObject
{
    Q_OBJECT

public:
    struct Call
    {
        int id = 0;
        QString partner;
        QString partnerName;
        bool incoming = true;
        QString status;
        qint64 timestamp = 0;
        int duration = 0;
        int confId = 0;
        QString input = QStringLiteral("SOUNDCARD=\"default\"");
        QString output = QStringLiteral("SOUNDCARD=\"default\"");
        QString captureMic;
        QString greetingFile;
        bool greetingStarted = false;
        bool vaaInput = false;
        bool seen = false;
        std::unique_ptr<CallMedia> audio;
        std::unique_ptr<QTimer> durationTimer;
        qint64 lastAudioMs = -1;
    };

    /// Calls are carried by `carrier` when one is given (it must outlive the model), else
    /// played out by the model itself.
    explicit SimModel(SimSettings settings, QObject* parent = nullptr,
                      CallCarrier* carrier = nullptr);
    ~SimModel() override;

    /// Runs one command (without its "#id " prefix) and returns the reply text.
    QString execute(const QString& command);

    /// Lines sent right after a client is authorised.
    QStringList attachNotifications() const;

    // What the people on the other ends (and the local user's hands) do. Each returns an
    // empty text on success, else what went wrong.
    QString ring(const QString& handle, const QString& displayName, const QString& voiceFile,
                 int* callId);
    QString dial(const QString& handle, int* callId);
    QString answer(int id);
    QString hold(int id, bool remote);
    QString resume(int id);
    QString hangUp(int id);
    QString join(int host, int other);
    QString setUserStatus(const QString& status);
    QString setContact(const QString& handle, const QString& fullName, const QString& status);
    /// The contact writes to the local user (an empty text: a greeting).
    QString incomingChat(const QString& handle, const QString& text, QString* chatName);

    /// A call named by its id, or the latest call with that partner that has not ended.
    int resolveCall(const QString& ref) const;
    /// The call's state as the client sees it; nullptr for an unknown id.
    const Call* call(int id) const { return findCall(id); }
    const SimSettings& settings() const { return m_s; }
    const SimContact* contact(const QString& handle) const;
    /// How an outgoing call the carrier placed goes on: ROUTING, RINGING or INPROGRESS.
    QString outgoingProgress(int id, const QString& status);
    /// Writes every in-progress call's sound up to now (the carrier's media pump).
    void pumpAudio() { onAudioTick(); }
    QStringList callList() const;
    QStringList chatLog() const { return m_chats.sentLog(); }
    void clearChatLog() { m_chats.clearSentLog(); }

Q_SIGNALS:
    void notification(const QString& text);
    void warning(const QString& text);

private:
    // sim_commands.cpp: the text protocol
    QString get(const QStringList& w);
    QString getObject(const QString& what, const QStringList& w);
    QString set(const QStringList& w, const QString& command);
    QString setObject(const QString& what, const QStringList& w, const QString& command);
    QString getCall(Call& call, const QStringList& w);
    QString getUser(const QStringList& w);
    QString setCall(Call& call, const QStringList& w);
    QString callCommand(const QString& targets);
    QString search(const QString& what, const QString& target);
    QString clear(const QStringList& w, const QString& command);
    /// The call a command names by its id word; nullptr with the error reply set otherwise
    /// (invalidCode for a word that is no id, the next code for an unknown call).
    Call* callNamed(const QString& word, QString* error, int invalidCode = 11);
    // sim_call_alter.cpp
    QString alter(const QString& command);
    QString redirect(Call& call, const QString& action, const QString& value,
                     const QString& command);

    // sim_model.cpp: state changes
    Call* findCall(int id);
    const Call* findCall(int id) const;
    Call& newCall(const QString& partner, const QString& displayName, bool incoming,
                  const QString& voiceFile);
    void setStatus(Call& call, const QString& status);
    void goInProgress(Call& call);
    void endCall(Call& call, const QString& status);
    /// The local user ends the call: REFUSED while it rings in, CANCELLED before the far end
    /// answered, else FINISHED. Returns that status.
    QString endByUser(Call& call);
    /// Forgets ended calls of a kind (ALL, MISSED, INCOMING, OUTGOING), with one partner or
    /// (empty) everyone's.
    void clearCallHistory(const QString& kind, const QString& partner);
    void startGreetingIfDue(Call& call);
    void stopGreeting(Call& call);
    QString joinCalls(int host, int other, QString* reply);
    void onAudioTick();
    void onDurationTick(int id);
    void emitNote(const QString& text) { Q_EMIT notification(text); }
    CallAudio::Voice voiceFor(const QString& path);
    bool isActive(const Call& call) const;
    void updateAudioTimer();

    void tellCarrier(int id, CallCarrier::ClientAction action);

    SimSettings m_s;
    std::unique_ptr<CallCarrier> m_ownCarrier;
    CallCarrier* m_carrier;
    std::map<int, std::unique_ptr<Call>> m_calls;
    int m_nextCallId;
    int m_nextConfId = 17930;
    bool m_mute = false;
    bool m_autoAway = true;
    QString m_ringer;
    QString m_moodText;
    SimChats m_chats;
    QHash<QString, CallAudio::Voice> m_voices;
    QTimer m_audioTimer;
    QElapsedTimer m_clock;
};

bool isUserStatus(const QString& status);
bool isOnlineStatus(const QString& status);

} // namespace tw::sim
