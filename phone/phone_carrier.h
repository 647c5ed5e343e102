// SPDX-License-Identifier: GPL-3.0-or-later (see COPYING-NOTICE in this folder)
#pragma once

#include <map>

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include "phone/mic_capture.h"
#include "phone/sip_call_media.h"
#include "phone/sip_core.h"
#include "sim/call_media.h"
#include "sim/sim_model.h"

namespace tw::phone {

/// A contact of the phone's list: the handle the desktop API shows and the SIP address.
struct PhoneContact
{
    QString handle;
    QString fullName;
    QString uri;
};

/// Carries the protocol model's calls over SIP: incoming SIP calls ring in the model, the
/// client's answer, hold, resume and hang-up become the SIP call's, the greeting plays through
/// the call's player (again after every resume, which restarts the audio), the caller's side
/// is written from the remote audio file, a chat message to a contact goes as a SIP MESSAGE
/// (and a SIP MESSAGE from anyone is a chat message to the local user),
/// and a conference of a held caller with an answered outgoing call is a transfer (REFER).
/// While the user is DND new calls are declined as busy (486).
class PhoneCarrier : public QObject, public sim::CallCarrier
{
    Q_OBJECT

public:
    PhoneCarrier(SipCore& sip, std::vector<PhoneContact> contacts, QString workDir,
                 QObject* parent = nullptr);
    ~PhoneCarrier() override;

    /// The model must be set before the first call; the carrier must outlive it.
    void setModel(sim::SimModel* model) { m_model = model; }

    /// The user takes a ringing call on the sound card (from the desktop notification).
    QString answerOnSoundCard(int callId);
    /// The user declines a ringing call.
    QString decline(int callId);

    // sim::CallCarrier
    std::unique_ptr<sim::CallMedia> mediaFor(int callId, const QString& voiceFile) override;
    void clientChanged(int callId, ClientAction action) override;
    void messageSent(const QString& partner, const QString& text) override;
    bool placeCall(int callId, const QString& handle) override;
    void clientJoined(int host, int other) override;

    /// The API handle of a SIP address (a contact's handle, else user@domain).
    QString handleOf(const QString& uri) const;
    /// The SIP address of an API handle.
    QString uriOf(const QString& handle) const;

Q_SIGNALS:
    void ringing(int callId, const QString& displayName);
    void stoppedRinging(int callId);
    void warning(const QString& text);

private:
    struct Leg
    {
        LinphoneCall* call = nullptr;
        SipCallMedia* media = nullptr; ///< owned by the model's call
        QString remoteFile;            ///< the call's own recording, on the sound card
        bool files = true;             ///< its audio goes to files (else the sound card)
        bool live = false;             ///< accepted or placed, not ended yet
        QString greeting;
        bool greetingOn = false;
        int greetingMs = 0; ///< how much of the greeting has played
        QElapsedTimer greetingClock;
        bool streaming = false;
    };

    void onCallState(LinphoneCall* call, int state, const QString& message);
    void onIncoming(LinphoneCall* call);
    void onStreamsRunning(Leg& leg, int id);
    void onStreamsStopped(Leg& leg);
    void onEnded(int id, const QString& message);
    bool accept(int id, bool files);
    /// Points the call's media at where the library will write the caller's side.
    void startRemote(int id, Leg& leg, bool files);
    bool othersLive(int id) const;
    /// The microphone is captured while a call on the sound card has its audio running.
    void captureMic(int id, bool on);
    int idOf(LinphoneCall* call) const;
    Leg* leg(int id);
    bool playGreeting(int id, const std::string& path);
    void stopGreeting(int id);

    SipCore& m_sip;
    std::vector<PhoneContact> m_contacts;
    QString m_workDir;
    sim::SimModel* m_model = nullptr;
    std::map<int, Leg> m_legs;
    MicCapture m_mic;
    int m_micCall = 0; ///< the call on the sound card whose microphone is captured
    SipCallMedia::Samples m_localVoice;
};

} // namespace tw::phone
