// SPDX-License-Identifier: GPL-3.0-or-later (see COPYING-NOTICE in this folder)
#include "phone/sip_core.h"

#include <linphone/player.h>

namespace tw::phone {

namespace {

constexpr int kIterateMs = 20;

LinphoneTransportType transportOf(const QString& name)
{
    if (name.compare(QLatin1String("tcp"), Qt::CaseInsensitive) == 0)
        return LinphoneTransportTcp;
    if (name.compare(QLatin1String("tls"), Qt::CaseInsensitive) == 0)
        return LinphoneTransportTls;
    return LinphoneTransportUdp;
}

// The library's own log lines (mostly about sound devices we do not use) stay out of ours.
void quietLibrary()
{
    static const bool once = [] {
        linphone_logging_service_set_log_level(linphone_logging_service_get(),
                                               LinphoneLogLevelFatal);
        return true;
    }();
    (void)once;
}

} // namespace

QString userAtDomain(const QString& uri)
{
    quietLibrary();
    LinphoneAddress* a = linphone_factory_create_address(linphone_factory_get(), uri.toUtf8());
    if (!a)
        return {};
    const char* user = linphone_address_get_username(a);
    const char* domain = linphone_address_get_domain(a);
    QString out = QString::fromUtf8(domain ? domain : "");
    if (user && *user)
        out = QString::fromUtf8(user) + '@' + out;
    linphone_address_unref(a);
    return out;
}

QString registrationProblem(LinphoneReason reason, const QString& message)
{
    const QString said = message.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(message);
    switch (reason) {
    case LinphoneReasonForbidden:
    case LinphoneReasonUnauthorized:
        return QStringLiteral("the registrar refused the user name or password") + said;
    case LinphoneReasonNoResponse:
    case LinphoneReasonIOError:
    case LinphoneReasonNotAnswered:
        return QStringLiteral("the registrar was not reached") + said;
    default:
        return message.isEmpty() ? QStringLiteral("no reason given") : message;
    }
}

SipCore::SipCore(SipSettings settings, QObject* parent) : QObject(parent), m_s(std::move(settings))
{
    m_iterate.setInterval(kIterateMs);
    connect(&m_iterate, &QTimer::timeout, this, &SipCore::iterate);
    m_registerTimeout.setSingleShot(true);
    connect(&m_registerTimeout, &QTimer::timeout, this, [this] {
        registrationSettled(false, QStringLiteral("the registrar was not reached (no answer "
                                                  "within %1 s)")
                                       .arg(m_s.registerTimeoutMs / 1000.0));
    });
}

void SipCore::registrationSettled(bool registered, const QString& message)
{
    m_registerTimeout.stop();
    // The library retries a registrar that is not reached and reports each failure: the
    // user hears about it once, and again when it changes.
    if (!registered && m_registrationReported)
        return;
    m_registrationReported = !registered;
    Q_EMIT registrationChanged(registered, message);
}

SipCore::~SipCore()
{
    m_iterate.stop();
    if (m_core) {
        linphone_core_terminate_all_calls(m_core);
        linphone_core_iterate(m_core);
        linphone_core_stop(m_core);
        linphone_core_unref(m_core);
    }
}

SipCore* SipCore::self(LinphoneCore* core)
{
    return static_cast<SipCore*>(linphone_core_get_user_data(core));
}

bool SipCore::start(QString* error)
{
    if (!m_home.isValid()) {
        *error = QStringLiteral("cannot create a working folder: %1").arg(m_home.errorString());
        return false;
    }
    LinphoneFactory* factory = linphone_factory_get();
    // The library joins its file names to these folders without a separator of its own.
    const QByteArray home = (m_home.path() + '/').toUtf8();
    linphone_factory_set_data_dir(factory, home);
    linphone_factory_set_config_dir(factory, home);
    linphone_logging_service_set_log_level(linphone_logging_service_get(), LinphoneLogLevelFatal);
    const QByteArray config = (m_home.path() + "/linphonerc").toUtf8();
    m_core = linphone_factory_create_core_3(factory, config, nullptr, nullptr);
    if (!m_core) {
        *error = QStringLiteral("the SIP library did not start");
        return false;
    }
    linphone_core_set_user_data(m_core, this);
    LinphoneCoreCbs* cbs = linphone_factory_create_core_cbs(factory);
    linphone_core_cbs_set_call_state_changed(cbs, &SipCore::onCallState);
    linphone_core_cbs_set_message_received(cbs, &SipCore::onMessage);
    linphone_core_cbs_set_registration_state_changed(cbs, &SipCore::onRegistration);
    linphone_core_add_callbacks(m_core, cbs);
    linphone_core_cbs_unref(cbs);

    linphone_core_enable_ipv6(m_core, FALSE);
    // Keep the host of the configured address in From and Contact (no guessed interface).
    linphone_core_set_guess_hostname(m_core, FALSE);
    linphone_core_enable_video_capture(m_core, FALSE);
    linphone_core_enable_video_display(m_core, FALSE);
    LinphoneVideoActivationPolicy* video = linphone_factory_create_video_activation_policy(factory);
    linphone_video_activation_policy_set_automatically_initiate(video, FALSE);
    linphone_video_activation_policy_set_automatically_accept(video, FALSE);
    linphone_core_set_video_activation_policy(m_core, video);
    linphone_video_activation_policy_unref(video);
    // Calls ring until somebody (the user or the answering machine) decides.
    linphone_core_set_inc_timeout(m_core, 3600);
    linphone_core_set_user_agent(m_core, "tellwick-phone", "1");
    useFiles(!m_s.soundCard);
    if (!m_s.localVoice.isEmpty())
        linphone_core_set_play_file(m_core, m_s.localVoice.toUtf8());
    // Set once, before any call: the library crashes when the record file changes while a
    // call rings (5.1 reaches into the call's audio stream before it exists).
    if (!m_s.remoteAudioFile.isEmpty())
        linphone_core_set_record_file(m_core, m_s.remoteAudioFile.toUtf8());

    LinphoneTransports* transports = linphone_factory_create_transports(factory);
    const int port = m_s.sipPort;
    const LinphoneTransportType type = transportOf(m_s.transport);
    linphone_transports_set_udp_port(transports, type == LinphoneTransportUdp ? port : 0);
    linphone_transports_set_tcp_port(transports, type == LinphoneTransportTcp ? port : 0);
    linphone_transports_set_tls_port(transports, type == LinphoneTransportTls ? port : 0);
    const LinphoneStatus bound = linphone_core_set_transports(m_core, transports);
    linphone_transports_unref(transports);
    if (bound != 0) {
        *error = QStringLiteral("cannot listen on %1 port %2").arg(m_s.transport).arg(port);
        return false;
    }
    // Two agents on one machine must not share the library's default audio port.
    linphone_core_set_audio_port(m_core, m_s.audioPort > 0 ? m_s.audioPort : -1);
    if (!m_s.identity.isEmpty() &&
        linphone_core_set_primary_contact(m_core, m_s.identity.toUtf8()) != 0) {
        *error = QStringLiteral("not a SIP address: %1").arg(m_s.identity);
        return false;
    }
    if (linphone_core_start(m_core) != 0) {
        *error = QStringLiteral("the SIP library did not start");
        return false;
    }
    if (!m_s.registrar.isEmpty() && !addAccount(error))
        return false;
    m_iterate.start();
    return true;
}

bool SipCore::addAccount(QString* error)
{
    LinphoneFactory* factory = linphone_factory_get();
    LinphoneAddress* identity = linphone_factory_create_address(factory, m_s.identity.toUtf8());
    if (!identity) {
        *error = QStringLiteral("not a SIP address: %1").arg(m_s.identity);
        return false;
    }
    const char* user = linphone_address_get_username(identity);
    const char* domain = linphone_address_get_domain(identity);
    LinphoneAuthInfo* auth = linphone_factory_create_auth_info(
        factory, user, nullptr, m_s.password.toUtf8(), nullptr, nullptr, domain);
    linphone_core_add_auth_info(m_core, auth);
    linphone_auth_info_unref(auth);

    LinphoneAccountParams* params = linphone_core_create_account_params(m_core);
    linphone_account_params_set_identity_address(params, identity);
    linphone_address_unref(identity);
    QString server = m_s.registrar;
    if (!server.contains(QLatin1String("transport=")))
        server += ";transport=" + m_s.transport.toLower();
    LinphoneAddress* registrar = linphone_factory_create_address(factory, server.toUtf8());
    if (!registrar) {
        linphone_account_params_unref(params);
        *error = QStringLiteral("not a registrar address: %1").arg(m_s.registrar);
        return false;
    }
    linphone_account_params_set_server_address(params, registrar);
    linphone_address_unref(registrar);
    linphone_account_params_set_register_enabled(params, TRUE);
    LinphoneAccount* account = linphone_core_create_account(m_core, params);
    linphone_account_params_unref(params);
    linphone_core_add_account(m_core, account);
    linphone_core_set_default_account(m_core, account);
    linphone_account_unref(account);
    m_registerTimeout.start(m_s.registerTimeoutMs);
    return true;
}

void SipCore::iterate()
{
    if (m_core)
        linphone_core_iterate(m_core);
}

void SipCore::useFiles(bool files)
{
    linphone_core_set_use_files(m_core, files ? TRUE : FALSE);
    // The library mixes its tones (a second call waiting, a call on hold) into what the call
    // plays out, and on files that is the record of what the caller says: a record must hold
    // the caller alone. On the sound card the user wants to hear them.
    linphone_config_set_int(linphone_core_get_config(m_core), "sound", "tone_indications",
                            files ? 0 : 1);
}

LinphoneCall* SipCore::invite(const QString& uri)
{
    return linphone_core_invite(m_core, uri.toUtf8());
}

bool SipCore::sendMessage(const QString& uri, const QString& text)
{
    // The replacement (searching chat rooms by parameters) finds the same basic chat room
    // with four more objects to build; this one is kept in 5.1.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    LinphoneChatRoom* room = linphone_core_get_chat_room_from_uri(m_core, uri.toUtf8());
#pragma GCC diagnostic pop
    if (!room)
        return false;
    LinphoneChatMessage* msg = linphone_chat_room_create_message_from_utf8(room, text.toUtf8());
    if (!msg)
        return false;
    linphone_chat_message_send(msg);
    linphone_chat_message_unref(msg);
    return true;
}

bool SipCore::playInto(LinphoneCall* call, const QString& path, int positionMs)
{
    LinphonePlayer* player = linphone_call_get_player(call);
    if (!player)
        return false;
    if (!m_players.count(player)) {
        LinphonePlayerCbs* cbs = linphone_factory_create_player_cbs(linphone_factory_get());
        linphone_player_cbs_set_eof_reached(cbs, &SipCore::onPlayerEof);
        linphone_player_cbs_set_user_data(cbs, this);
        linphone_player_add_callbacks(player, cbs);
        linphone_player_cbs_unref(cbs);
    }
    m_players[player] = call;
    linphone_player_close(player);
    if (linphone_player_open(player, path.toUtf8()) != 0)
        return false;
    if (positionMs > 0)
        linphone_player_seek(player, positionMs);
    return linphone_player_start(player) == 0;
}

void SipCore::stopPlaying(LinphoneCall* call)
{
    if (LinphonePlayer* player = linphone_call_get_player(call))
        linphone_player_close(player);
}

void SipCore::onCallState(LinphoneCore* core, LinphoneCall* call, LinphoneCallState state,
                          const char* message)
{
    SipCore* me = self(core);
    if (state == LinphoneCallStateReleased) {
        for (auto it = me->m_players.begin(); it != me->m_players.end();)
            it = it->second == call ? me->m_players.erase(it) : std::next(it);
    }
    Q_EMIT me->callStateChanged(call, int(state), QString::fromUtf8(message ? message : ""));
}

void SipCore::onMessage(LinphoneCore* core, LinphoneChatRoom*, LinphoneChatMessage* msg)
{
    const char* text = linphone_chat_message_get_utf8_text(msg);
    char* from = linphone_address_as_string_uri_only(linphone_chat_message_get_from_address(msg));
    Q_EMIT self(core)->messageReceived(QString::fromUtf8(from ? from : ""),
                                       QString::fromUtf8(text ? text : ""));
    bctbx_free(from);
}

void SipCore::onRegistration(LinphoneCore* core, LinphoneProxyConfig*,
                             LinphoneRegistrationState state, const char* message)
{
    SipCore* me = self(core);
    const QString said = QString::fromUtf8(message ? message : "");
    if (state == LinphoneRegistrationOk) {
        me->registrationSettled(true, said);
    } else if (state == LinphoneRegistrationFailed) {
        LinphoneAccount* account = linphone_core_get_default_account(core);
        me->registrationSettled(
            false, registrationProblem(
                       account ? linphone_account_get_error(account) : LinphoneReasonNone, said));
    }
}

void SipCore::onPlayerEof(LinphonePlayer* player)
{
    LinphonePlayerCbs* cbs = linphone_player_get_current_callbacks(player);
    auto* me = static_cast<SipCore*>(linphone_player_cbs_get_user_data(cbs));
    if (!me)
        return;
    if (auto it = me->m_players.find(player); it != me->m_players.end())
        Q_EMIT me->playerEnded(it->second);
}

} // namespace tw::phone
