// SPDX-License-Identifier: GPL-3.0-or-later (see COPYING-NOTICE in this folder)
#pragma once

#include <vector>

#include <QString>

#include "phone/phone_carrier.h"
#include "phone/sip_core.h"

namespace tw::phone {

/// The phone's settings file, $XDG_CONFIG_HOME/tellwick/phone.conf:
///
///     [account]
///     uri = sip:alice@example.org      ; the SIP address (required)
///     registrar = sip:sip.example.org  ; none: no registration, calls come directly
///     password = ...                   ; only where there is no Secret Service
///     transport = udp                  ; udp, tcp or tls
///     sip_port = 5060
///     audio_port = 7078                ; 0 or none: any free port
///     name = Alice Anders              ; the local user's full name
///     [media]
///     sound_card = true                ; false: audio to and from files only
///     local_voice = /path/voice.wav    ; without a sound card, what the local user says
///     [contacts]
///     bob = Bob Brown <sip:bob@example.org>
struct PhoneConfig
{
    SipSettings sip;
    QString userHandle; ///< the API's handle of the local user (the address's user part)
    QString fullName;
    std::vector<PhoneContact> contacts;
};

QString defaultConfigPath();

/// Reads the file; false with the reason (file and key) when it is missing or wrong.
bool loadConfig(const QString& path, PhoneConfig* config, QString* error);

/// The key the account's password is kept under in the Secret Service.
inline constexpr const char* kPasswordKey = "Phone/Password";

} // namespace tw::phone
