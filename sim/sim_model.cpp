#include "sim/sim_model.h"

#include <algorithm>
#include <functional>

#include <QDateTime>

namespace tw::sim {

namespace {

constexpr int kAudioTickMs = 100;
constexpr int kSamplesPerMs = kSampleRate / 1000;

bool isEnded(const QString& status)
{
    static const QStringList ended{"FINISHED", "MISSED", "REFUSED", "CANCELLED", "BUSY", "FAILED"};
    return ended.contains(status);
}

// The substitute's own calls: the sound is made up, the voice read from a file.
class PlayedCalls : public CallCarrier
{
public:
    explicit PlayedCalls(std::function<CallAudio::Voice(const QString&)> voiceFor)
        : m_voiceFor(std::move(voiceFor))
    {}
    std::unique_ptr<CallMedia> mediaFor(int, const QString& voiceFile) override
    {
        return std::make_unique<CallAudio>(m_voiceFor(voiceFile));
    }

private:
    std::function<CallAudio::Voice(const QString&)> m_voiceFor;
};

} // namespace

bool isUserStatus(const QString& status)
{
    static const QStringList all{"UNKNOWN", "ONLINE", "OFFLINE",   "SKYPEME",  "AWAY",
                                 "NA",      "DND",    "INVISIBLE", "LOGGEDOUT"};
    return all.contains(status);
}

bool isOnlineStatus(const QString& status)
{
    static const QStringList all{"UNKNOWN", "OFFLINE", "ONLINE",   "AWAY",
                                 "NA",      "DND",     "SKYPEOUT", "SKYPEME"};
    return all.contains(status);
}

SimModel::SimModel(SimSettings settings, QObject* parent, CallCarrier* carrier)
    : QObject(parent), m_s(std::move(settings)),
      m_ownCarrier(carrier ? nullptr : std::make_unique<PlayedCalls>([this](const QString& path) {
          return voiceFor(path);
      })),
      m_carrier(carrier ? carrier : m_ownCarrier.get()), m_nextCallId(m_s.firstCallId),
      m_ringer(m_s.audioOut), m_chats(m_s.userHandle, [this](const QString& handle) {
          if (handle == m_s.userHandle)
              return m_s.userFullName;
          const SimContact* c = contact(handle);
          return c && !c->fullName.isEmpty() ? c->fullName : handle;
      })
{
    connect(&m_chats, &SimChats::notification, this, &SimModel::notification);
    connect(&m_chats, &SimChats::sent, this, [this](const QString& partner, const QString& text) {
        m_carrier->messageSent(partner, text);
    });
    m_clock.start();
    m_audioTimer.setInterval(kAudioTickMs);
    connect(&m_audioTimer, &QTimer::timeout, this, &SimModel::onAudioTick);
}

SimModel::~SimModel()
{
    for (auto& [id, call] : m_calls)
        if (call->audio)
            call->audio->closeAll();
}

QStringList SimModel::attachNotifications() const
{
    return {QStringLiteral("CONNSTATUS ONLINE"), "CURRENTUSERHANDLE " + m_s.userHandle,
            "USERSTATUS " + m_s.userStatus};
}

SimModel::Call* SimModel::findCall(int id)
{
    auto it = m_calls.find(id);
    return it == m_calls.end() ? nullptr : it->second.get();
}

const SimModel::Call* SimModel::findCall(int id) const
{
    auto it = m_calls.find(id);
    return it == m_calls.end() ? nullptr : it->second.get();
}

const SimContact* SimModel::contact(const QString& handle) const
{
    for (const SimContact& c : m_s.contacts)
        if (c.handle == handle)
            return &c;
    return nullptr;
}

bool SimModel::isActive(const Call& call) const
{
    return !call.status.isEmpty() && !isEnded(call.status);
}

int SimModel::resolveCall(const QString& ref) const
{
    bool numeric = false;
    const int id = ref.toInt(&numeric);
    if (numeric)
        return findCall(id) ? id : 0;
    for (auto it = m_calls.rbegin(); it != m_calls.rend(); ++it)
        if (it->second->partner == ref && isActive(*it->second))
            return it->first;
    return 0;
}

QStringList SimModel::callList() const
{
    QStringList out;
    for (const auto& [id, call] : m_calls)
        out << QStringLiteral("%1 %2 %3").arg(id).arg(call->status, call->partner);
    return out;
}

CallAudio::Voice SimModel::voiceFor(const QString& path)
{
    if (path.isEmpty())
        return nullptr;
    if (auto it = m_voices.find(path); it != m_voices.end())
        return it.value();
    std::string error;
    auto samples = readSoundAs16kMono(path.toStdString(), &error);
    if (!samples) {
        Q_EMIT warning(QStringLiteral("cannot read voice %1: %2; using a tone")
                           .arg(path, QString::fromStdString(error)));
        return nullptr;
    }
    auto voice = std::make_shared<const std::vector<int16_t>>(std::move(*samples));
    m_voices.insert(path, voice);
    return voice;
}

SimModel::Call& SimModel::newCall(const QString& partner, const QString& displayName, bool incoming,
                                  const QString& voiceFile)
{
    auto call = std::make_unique<Call>();
    call->id = m_nextCallId++;
    call->partner = partner;
    const SimContact* c = contact(partner);
    call->partnerName = !displayName.isEmpty()          ? displayName
                        : (c && !c->fullName.isEmpty()) ? c->fullName
                                                        : partner;
    call->incoming = incoming;
    call->timestamp = QDateTime::currentSecsSinceEpoch();
    call->audio = m_carrier->mediaFor(call->id, voiceFile.isEmpty() ? m_s.defaultVoice : voiceFile);
    Call& ref = *call;
    m_calls.emplace(call->id, std::move(call));
    return ref;
}

void SimModel::setStatus(Call& call, const QString& status)
{
    call.status = status;
    emitNote(QStringLiteral("CALL %1 STATUS %2").arg(call.id).arg(status));
}

void SimModel::goInProgress(Call& call)
{
    const bool first = call.status == "RINGING" || call.status == "ROUTING";
    setStatus(call, QStringLiteral("INPROGRESS"));
    call.lastAudioMs = m_clock.elapsed();
    if (first && !call.durationTimer) {
        call.durationTimer = std::make_unique<QTimer>();
        call.durationTimer->setInterval(1000);
        connect(call.durationTimer.get(), &QTimer::timeout, this,
                [this, id = call.id] { onDurationTick(id); });
        call.durationTimer->start();
    }
    startGreetingIfDue(call);
    updateAudioTimer();
}

void SimModel::endCall(Call& call, const QString& status)
{
    if (call.vaaInput)
        stopGreeting(call);
    call.durationTimer.reset();
    if (call.audio)
        call.audio->closeAll();
    setStatus(call, status);
    if (!std::any_of(m_calls.begin(), m_calls.end(),
                     [](const auto& kv) { return kv.second->status == "INPROGRESS"; }))
        m_mute = false;
    updateAudioTimer();
}

QString SimModel::endByUser(Call& call)
{
    QString end = QStringLiteral("FINISHED");
    if (call.status == "RINGING" && call.incoming)
        end = QStringLiteral("REFUSED");
    else if (call.status == "RINGING" || call.status == "ROUTING" || call.status == "UNPLACED")
        end = QStringLiteral("CANCELLED");
    onAudioTick();
    endCall(call, end);
    return end;
}

void SimModel::clearCallHistory(const QString& kind, const QString& partner)
{
    for (auto it = m_calls.begin(); it != m_calls.end();) {
        const Call& c = *it->second;
        const bool ofKind = kind == "ALL"        ? true
                            : kind == "MISSED"   ? c.status == "MISSED"
                            : kind == "INCOMING" ? c.incoming
                                                 : !c.incoming;
        if (!isActive(c) && ofKind && (partner.isEmpty() || c.partner == partner))
            it = m_calls.erase(it);
        else
            ++it;
    }
    emitNote(QStringLiteral("CALLHISTORYCHANGED"));
}

void SimModel::startGreetingIfDue(Call& call)
{
    if (call.greetingFile.isEmpty() || call.greetingStarted || call.status != "INPROGRESS")
        return;
    call.greetingStarted = true;
    if (!call.audio->startGreeting(call.greetingFile.toStdString())) {
        Q_EMIT warning(
            QStringLiteral("cannot play %1 into call %2").arg(call.greetingFile).arg(call.id));
        emitNote(QStringLiteral("CALL %1 VAA_INPUT_STATUS FALSE").arg(call.id));
        return;
    }
    call.vaaInput = true;
    emitNote(QStringLiteral("CALL %1 VAA_INPUT_STATUS TRUE").arg(call.id));
}

void SimModel::stopGreeting(Call& call)
{
    call.audio->stopGreeting();
    if (call.vaaInput) {
        call.vaaInput = false;
        emitNote(QStringLiteral("CALL %1 VAA_INPUT_STATUS FALSE").arg(call.id));
    }
}

void SimModel::updateAudioTimer()
{
    const bool any = std::any_of(m_calls.begin(), m_calls.end(),
                                 [](const auto& kv) { return kv.second->status == "INPROGRESS"; });
    if (any && !m_audioTimer.isActive())
        m_audioTimer.start();
    else if (!any)
        m_audioTimer.stop();
}

void SimModel::onAudioTick()
{
    const qint64 now = m_clock.elapsed();
    for (auto& [id, call] : m_calls) {
        if (call->status != "INPROGRESS" || call->lastAudioMs < 0)
            continue;
        const qint64 samples = (now - call->lastAudioMs) * kSamplesPerMs;
        call->lastAudioMs = now;
        if (call->audio->advance(samples, m_mute) && call->vaaInput) {
            call->vaaInput = false;
            emitNote(QStringLiteral("CALL %1 VAA_INPUT_STATUS FALSE").arg(id));
        }
        for (const std::string& path : call->audio->takeWriteErrors())
            Q_EMIT warning(QStringLiteral("cannot write %1").arg(QString::fromStdString(path)));
    }
}

void SimModel::onDurationTick(int id)
{
    Call* call = findCall(id);
    if (!call || !isActive(*call))
        return;
    ++call->duration;
    emitNote(QStringLiteral("CALL %1 DURATION %2").arg(id).arg(call->duration));
}

QString SimModel::ring(const QString& handle, const QString& displayName, const QString& voiceFile,
                       int* callId)
{
    if (handle.isEmpty())
        return QStringLiteral("no caller handle");
    Call& call = newCall(handle, displayName, true, voiceFile);
    if (callId)
        *callId = call.id;
    emitNote(QStringLiteral("CALL %1 CONF_ID 0").arg(call.id));
    setStatus(call, QStringLiteral("RINGING"));
    return {};
}

QString SimModel::dial(const QString& handle, int* callId)
{
    if (handle.isEmpty())
        return QStringLiteral("no handle to call");
    Call& call = newCall(handle, {}, false, {});
    call.status = QStringLiteral("UNPLACED");
    if (callId)
        *callId = call.id;
    const int id = call.id;
    if (m_carrier->placeCall(id, handle))
        return {}; // the carrier reports how it goes on
    // The call goes out, rings at the far end, and is taken there unless told otherwise.
    QTimer::singleShot(100, this, [this, id] {
        if (Call* c = findCall(id); c && c->status == "UNPLACED")
            setStatus(*c, QStringLiteral("ROUTING"));
    });
    QTimer::singleShot(400, this, [this, id] {
        if (Call* c = findCall(id); c && c->status == "ROUTING")
            setStatus(*c, QStringLiteral("RINGING"));
    });
    if (m_s.answerAfterMs >= 0)
        QTimer::singleShot(400 + m_s.answerAfterMs, this, [this, id] {
            if (Call* c = findCall(id); c && c->status == "RINGING")
                goInProgress(*c);
        });
    return {};
}

void SimModel::tellCarrier(int id, CallCarrier::ClientAction action)
{
    m_carrier->clientChanged(id, action);
}

QString SimModel::outgoingProgress(int id, const QString& status)
{
    Call* call = findCall(id);
    if (!call || call->incoming || !isActive(*call))
        return QStringLiteral("no outgoing call %1 going on").arg(id);
    if (status == "INPROGRESS") {
        if (call->status != "INPROGRESS")
            goInProgress(*call);
    } else if (call->status != status) {
        setStatus(*call, status);
    }
    return {};
}

QString SimModel::answer(int id)
{
    Call* call = findCall(id);
    if (!call)
        return QStringLiteral("no call %1").arg(id);
    if (call->status != "RINGING")
        return QStringLiteral("call %1 is not ringing").arg(id);
    goInProgress(*call);
    return {};
}

QString SimModel::hold(int id, bool remote)
{
    Call* call = findCall(id);
    if (!call)
        return QStringLiteral("no call %1").arg(id);
    if (call->status != "INPROGRESS")
        return QStringLiteral("call %1 is not in progress").arg(id);
    onAudioTick(); // write the audio up to this moment
    setStatus(*call, remote ? QStringLiteral("REMOTEHOLD") : QStringLiteral("LOCALHOLD"));
    updateAudioTimer();
    return {};
}

QString SimModel::resume(int id)
{
    Call* call = findCall(id);
    if (!call)
        return QStringLiteral("no call %1").arg(id);
    if (call->status != "LOCALHOLD" && call->status != "REMOTEHOLD")
        return QStringLiteral("call %1 is not on hold").arg(id);
    goInProgress(*call);
    return {};
}

QString SimModel::hangUp(int id)
{
    Call* call = findCall(id);
    if (!call)
        return QStringLiteral("no call %1").arg(id);
    if (!isActive(*call))
        return QStringLiteral("call %1 has ended").arg(id);
    onAudioTick();
    QString end = QStringLiteral("FINISHED");
    if (call->status == "RINGING" || call->status == "ROUTING" || call->status == "UNPLACED")
        end = call->incoming ? QStringLiteral("MISSED") : QStringLiteral("REFUSED");
    endCall(*call, end);
    return {};
}

QString SimModel::joinCalls(int host, int other, QString* reply)
{
    Call* a = findCall(host);
    Call* b = findCall(other);
    if (!a || !b || a == b)
        return QStringLiteral("no such pair of calls %1 and %2").arg(host).arg(other);
    for (Call* c : {a, b})
        if (c->status != "INPROGRESS" && c->status != "LOCALHOLD" && c->status != "REMOTEHOLD")
            return QStringLiteral("call %1 is not in progress or on hold").arg(c->id);
    const int conf = a->confId ? a->confId : b->confId ? b->confId : m_nextConfId++;
    a->confId = b->confId = conf;
    const QString first = QStringLiteral("CALL %1 CONF_ID %2").arg(a->id).arg(conf);
    if (reply)
        *reply = first;
    emitNote(first);
    emitNote(QStringLiteral("CALL %1 CONF_ID %2").arg(b->id).arg(conf));
    for (Call* c : {a, b})
        if (c->status != "INPROGRESS")
            goInProgress(*c);
    m_carrier->clientJoined(host, other);
    return {};
}

QString SimModel::join(int host, int other)
{
    return joinCalls(host, other, nullptr);
}

QString SimModel::setUserStatus(const QString& status)
{
    if (!isUserStatus(status))
        return QStringLiteral("unknown user status %1").arg(status);
    m_s.userStatus = status;
    emitNote("USERSTATUS " + status);
    emitNote(QStringLiteral("USER %1 ONLINESTATUS %2").arg(m_s.userHandle, status));
    return {};
}

QString SimModel::setContact(const QString& handle, const QString& fullName, const QString& status)
{
    if (handle.isEmpty() || handle == m_s.userHandle)
        return QStringLiteral("not a contact handle: '%1'").arg(handle);
    const QString st = status.isEmpty() ? QStringLiteral("ONLINE") : status;
    if (!isOnlineStatus(st))
        return QStringLiteral("unknown online status %1").arg(st);
    auto it = std::find_if(m_s.contacts.begin(), m_s.contacts.end(),
                           [&](const SimContact& known) { return known.handle == handle; });
    if (it == m_s.contacts.end())
        it = m_s.contacts.insert(it, {handle, fullName, st});
    SimContact* c = &*it;
    if (!fullName.isEmpty())
        c->fullName = fullName;
    c->status = st;
    emitNote(QStringLiteral("USER %1 FULLNAME %2").arg(handle, c->fullName));
    emitNote(QStringLiteral("USER %1 ONLINESTATUS %2").arg(handle, st));
    return {};
}

QString SimModel::incomingChat(const QString& handle, const QString& text, QString* chatName)
{
    return m_chats.receive(handle, text, chatName);
}

} // namespace tw::sim
