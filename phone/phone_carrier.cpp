// SPDX-License-Identifier: GPL-3.0-or-later (see COPYING-NOTICE in this folder)
#include "phone/phone_carrier.h"

#include <QDir>
#include <QFile>

#include "sim/wav_io.h"

namespace tw::phone {

namespace {

QString remoteUri(LinphoneCall* call)
{
    char* text = linphone_address_as_string_uri_only(linphone_call_get_remote_address(call));
    QString uri = QString::fromUtf8(text ? text : "");
    bctbx_free(text);
    return uri;
}

// The rate the library decodes the call's audio to (and records it at). G.722 announces
// 8000 Hz on the wire for historical reasons but carries 16 kHz audio.
int decodedRate(LinphoneCall* call)
{
    const LinphonePayloadType* pt =
        linphone_call_params_get_used_audio_payload_type(linphone_call_get_current_params(call));
    if (!pt)
        return 0;
    const char* mime = linphone_payload_type_get_mime_type(pt);
    if (mime && QString::fromUtf8(mime).compare(QLatin1String("G722"), Qt::CaseInsensitive) == 0)
        return 16000;
    return linphone_payload_type_get_clock_rate(pt);
}

bool isEnded(const QString& status)
{
    static const QStringList ended{"FINISHED", "MISSED", "REFUSED", "CANCELLED", "BUSY", "FAILED"};
    return status.isEmpty() || ended.contains(status);
}

} // namespace

PhoneCarrier::PhoneCarrier(SipCore& sip, std::vector<PhoneContact> contacts, QString workDir,
                           QObject* parent)
    : QObject(parent), m_sip(sip), m_contacts(std::move(contacts)), m_workDir(std::move(workDir))
{
    connect(&m_sip, &SipCore::callStateChanged, this, &PhoneCarrier::onCallState);
    connect(&m_sip, &SipCore::messageReceived, this,
            [this](const QString& from, const QString& text) {
                if (m_model)
                    m_model->incomingChat(handleOf(from), text, nullptr);
            });
    connect(&m_sip, &SipCore::playerEnded, this, [this](LinphoneCall* call) {
        Leg* l = leg(idOf(call));
        if (!l || !l->greetingOn)
            return;
        l->greetingOn = false;
        if (l->media)
            l->media->greetingFinished();
    });
    const QString voice = m_sip.settings().localVoice;
    if (!m_sip.settings().soundCard && !voice.isEmpty()) {
        std::string error;
        if (auto samples = sim::readSoundAs16kMono(voice.toStdString(), &error))
            m_localVoice = std::make_shared<const std::vector<int16_t>>(std::move(*samples));
        else
            Q_EMIT warning(QStringLiteral("cannot read the local voice %1: %2")
                               .arg(voice, QString::fromStdString(error)));
    }
}

PhoneCarrier::~PhoneCarrier() = default;

QString PhoneCarrier::handleOf(const QString& uri) const
{
    const QString who = userAtDomain(uri);
    for (const PhoneContact& c : m_contacts)
        if (userAtDomain(c.uri) == who)
            return c.handle;
    return who;
}

QString PhoneCarrier::uriOf(const QString& handle) const
{
    for (const PhoneContact& c : m_contacts)
        if (c.handle == handle)
            return c.uri;
    return handle.startsWith(QLatin1String("sip:")) || handle.startsWith(QLatin1String("sips:"))
               ? handle
               : "sip:" + handle;
}

int PhoneCarrier::idOf(LinphoneCall* call) const
{
    for (const auto& [id, l] : m_legs)
        if (l.call == call)
            return id;
    return 0;
}

PhoneCarrier::Leg* PhoneCarrier::leg(int id)
{
    auto it = m_legs.find(id);
    return it == m_legs.end() ? nullptr : &it->second;
}

std::unique_ptr<sim::CallMedia> PhoneCarrier::mediaFor(int callId, const QString&)
{
    SipCallMedia::Hooks hooks;
    hooks.play = [this, callId](const std::string& path) { return playGreeting(callId, path); };
    hooks.stop = [this, callId] { stopGreeting(callId); };
    auto media = std::make_unique<SipCallMedia>(std::move(hooks));
    media->setLocalVoice(m_localVoice);
    Leg& l = m_legs[callId];
    l.media = media.get();
    l.remoteFile = QDir(m_workDir).filePath(QStringLiteral("call-%1.wav").arg(callId));
    return media;
}

void PhoneCarrier::onIncoming(LinphoneCall* call)
{
    const QString uri = remoteUri(call);
    const QString handle = handleOf(uri);
    if (m_model->settings().userStatus == "DND") {
        // Do not disturb: the caller hears busy and nothing rings here.
        linphone_call_decline(call, LinphoneReasonBusy);
        Q_EMIT warning(QStringLiteral("declined a call from %1: do not disturb").arg(uri));
        return;
    }
    const char* shown = linphone_address_get_display_name(linphone_call_get_remote_address(call));
    QString name = QString::fromUtf8(shown ? shown : "");
    if (name.isEmpty())
        if (const sim::SimContact* c = m_model->contact(handle))
            name = c->fullName;
    int id = 0;
    const QString problem = m_model->ring(handle, name, {}, &id);
    if (!problem.isEmpty() || !leg(id)) {
        Q_EMIT warning("cannot take the call from " + uri + ": " + problem);
        linphone_call_decline(call, LinphoneReasonTemporarilyUnavailable);
        return;
    }
    leg(id)->call = call;
    Q_EMIT ringing(id, name.isEmpty() ? handle : name);
}

void PhoneCarrier::onCallState(LinphoneCall* call, int state, const QString& message)
{
    if (state == LinphoneCallStateIncomingReceived) {
        onIncoming(call);
        return;
    }
    const int id = idOf(call);
    Leg* l = leg(id);
    if (!l)
        return;
    switch (LinphoneCallState(state)) {
    case LinphoneCallStateOutgoingProgress:
        m_model->outgoingProgress(id, QStringLiteral("ROUTING"));
        break;
    case LinphoneCallStateOutgoingRinging:
    case LinphoneCallStateOutgoingEarlyMedia:
        m_model->outgoingProgress(id, QStringLiteral("RINGING"));
        break;
    case LinphoneCallStateConnected:
        if (const auto* c = m_model->call(id); c && !c->incoming)
            m_model->outgoingProgress(id, QStringLiteral("INPROGRESS"));
        break;
    case LinphoneCallStateStreamsRunning:
        onStreamsRunning(*l, id);
        break;
    case LinphoneCallStatePausedByRemote:
        onStreamsStopped(*l);
        if (const auto* c = m_model->call(id); c && c->status == "INPROGRESS")
            m_model->hold(id, true);
        break;
    case LinphoneCallStatePausing:
    case LinphoneCallStatePaused:
        onStreamsStopped(*l);
        break;
    case LinphoneCallStateEnd:
    case LinphoneCallStateError:
        onStreamsStopped(*l);
        l->live = false;
        onEnded(id, message);
        break;
    case LinphoneCallStateReleased:
        if (!l->files)
            QFile::remove(l->remoteFile);
        else if (!othersLive(id))
            QFile::remove(m_sip.settings().remoteAudioFile);
        m_legs.erase(id);
        break;
    default:
        break;
    }
}

void PhoneCarrier::captureMic(int id, bool on)
{
    if (!on) {
        if (m_micCall == id) {
            m_mic.stop();
            m_micCall = 0;
        }
        return;
    }
    if (m_micCall != 0 && m_micCall != id)
        return; // one microphone: the first call on the sound card keeps it
    const bool started = m_mic.start([this, id](const std::vector<int16_t>& samples) {
        if (Leg* l = leg(id); l && l->media)
            l->media->addMicSamples(samples);
    });
    m_micCall = started ? id : 0;
    if (!started)
        Q_EMIT warning(QStringLiteral("no microphone to record call %1 from").arg(id));
}

void PhoneCarrier::onStreamsRunning(Leg& l, int id)
{
    l.streaming = true;
    if (!l.files)
        captureMic(id, true);
    if (l.media)
        l.media->setRemoteRate(decodedRate(l.call));
    if (const auto* c = m_model->call(id); c && c->status == "REMOTEHOLD")
        m_model->resume(id);
    // A resume restarts the audio, and the call's player with it: play the greeting on from
    // where it was.
    if (l.greetingOn) {
        if (!m_sip.playInto(l.call, l.greeting, l.greetingMs)) {
            Q_EMIT warning(QStringLiteral("cannot play %1 into call %2").arg(l.greeting).arg(id));
            l.greetingOn = false;
            if (l.media)
                l.media->greetingFinished();
        }
        l.greetingClock.start();
    }
}

void PhoneCarrier::onStreamsStopped(Leg& l)
{
    if (!l.files)
        captureMic(idOf(l.call), false);
    if (l.streaming && l.greetingOn && l.greetingClock.isValid())
        l.greetingMs += int(l.greetingClock.elapsed());
    if (l.streaming && l.media)
        l.media->remoteStopped();
    l.greetingClock.invalidate();
    l.streaming = false;
}

void PhoneCarrier::onEnded(int id, const QString& message)
{
    Q_EMIT stoppedRinging(id);
    const auto* c = m_model->call(id);
    if (!c || isEnded(c->status))
        return;
    m_model->hangUp(id); // writes and closes the files, then tells the client
    if (!message.isEmpty())
        Q_EMIT warning(QStringLiteral("call %1 ended: %2").arg(id).arg(message));
}

bool PhoneCarrier::othersLive(int id) const
{
    for (const auto& [other, l] : m_legs)
        if (other != id && l.live)
            return true;
    return false;
}

void PhoneCarrier::startRemote(int id, Leg& l, bool files)
{
    l.files = files;
    l.live = true;
    if (!l.media)
        return;
    if (!files) {
        l.media->remoteStarting(l.remoteFile.toStdString(), true);
        return;
    }
    // Every call's audio is appended to the one remote file; with no other call going on it
    // starts empty, so that the first header tells this call's rate.
    const QString shared = m_sip.settings().remoteAudioFile;
    const bool fresh = !othersLive(id);
    if (fresh)
        QFile::remove(shared);
    l.media->remoteStarting(shared.toStdString(), fresh);
}

bool PhoneCarrier::accept(int id, bool files)
{
    Leg* l = leg(id);
    if (!l || !l->call)
        return false;
    m_sip.useFiles(files);
    LinphoneCallParams* params = linphone_core_create_call_params(m_sip.core(), l->call);
    // On the sound card the library keeps no file of the remote side alone: the call's
    // recording (both sides) is what the client gets.
    if (!files)
        linphone_call_params_set_record_file(params, l->remoteFile.toUtf8());
    startRemote(id, *l, files);
    const bool ok = linphone_call_accept_with_params(l->call, params) == 0;
    linphone_call_params_unref(params);
    if (ok && !files)
        linphone_call_start_recording(l->call);
    return ok;
}

void PhoneCarrier::clientChanged(int callId, ClientAction action)
{
    Leg* l = leg(callId);
    if (!l || !l->call)
        return;
    switch (action) {
    case ClientAction::Answer:
        Q_EMIT stoppedRinging(callId);
        if (!accept(callId, true))
            Q_EMIT warning(QStringLiteral("cannot answer call %1").arg(callId));
        break;
    case ClientAction::Hold:
        linphone_call_pause(l->call);
        break;
    case ClientAction::Resume:
        if (l->files && l->media)
            l->media->remoteStarting(m_sip.settings().remoteAudioFile.toStdString(), false);
        linphone_call_resume(l->call);
        break;
    case ClientAction::End:
        Q_EMIT stoppedRinging(callId);
        if (linphone_call_get_state(l->call) == LinphoneCallStateIncomingReceived)
            linphone_call_decline(l->call, LinphoneReasonDeclined);
        else
            linphone_call_terminate(l->call);
        break;
    }
}

QString PhoneCarrier::answerOnSoundCard(int callId)
{
    const QString problem = m_model->answer(callId);
    if (!problem.isEmpty())
        return problem;
    Q_EMIT stoppedRinging(callId);
    return accept(callId, !m_sip.settings().soundCard)
               ? QString()
               : QStringLiteral("cannot answer call %1").arg(callId);
}

QString PhoneCarrier::decline(int callId)
{
    // The user refuses the call as the client would: REFUSED, and the caller hears 603.
    const QString reply =
        m_model->execute(QStringLiteral("SET CALL %1 STATUS FINISHED").arg(callId));
    return reply.startsWith(QLatin1String("ERROR")) ? reply : QString();
}

void PhoneCarrier::messageSent(const QString& partner, const QString& text)
{
    if (!m_sip.sendMessage(uriOf(partner), text))
        Q_EMIT warning(QStringLiteral("cannot send a message to %1").arg(uriOf(partner)));
}

bool PhoneCarrier::placeCall(int callId, const QString& handle)
{
    Leg* l = leg(callId);
    if (!l)
        return false;
    startRemote(callId, *l, linphone_core_get_use_files(m_sip.core()));
    l->call = m_sip.invite(uriOf(handle));
    if (!l->call) {
        Q_EMIT warning(QStringLiteral("cannot call %1").arg(uriOf(handle)));
        QTimer::singleShot(0, this, [this, callId] { m_model->hangUp(callId); });
    }
    return true;
}

void PhoneCarrier::clientJoined(int host, int other)
{
    // The client joins the held caller with the answered transfer target: over SIP that is
    // an attended transfer, after which both of our legs end.
    Leg* a = leg(host);
    Leg* b = leg(other);
    const auto* ca = m_model->call(host);
    const auto* cb = m_model->call(other);
    if (!a || !b || !a->call || !b->call || !ca || !cb || ca->incoming == cb->incoming)
        return;
    LinphoneCall* caller = ca->incoming ? a->call : b->call;
    LinphoneCall* target = ca->incoming ? b->call : a->call;
    if (linphone_call_transfer_to_another(caller, target) != 0)
        Q_EMIT warning(QStringLiteral("cannot transfer call %1").arg(ca->incoming ? host : other));
}

bool PhoneCarrier::playGreeting(int id, const std::string& path)
{
    Leg* l = leg(id);
    if (!l || !l->call || sim::soundLengthIn16kSamples(path) <= 0)
        return false;
    l->greeting = QString::fromStdString(path);
    l->greetingOn = true;
    l->greetingMs = 0;
    if (!l->streaming)
        return true; // starts with the audio
    l->greetingClock.start();
    if (m_sip.playInto(l->call, l->greeting, 0))
        return true;
    l->greetingOn = false;
    return false;
}

void PhoneCarrier::stopGreeting(int id)
{
    Leg* l = leg(id);
    if (!l || !l->greetingOn)
        return;
    l->greetingOn = false;
    if (l->streaming && l->call)
        m_sip.stopPlaying(l->call);
}

} // namespace tw::phone
