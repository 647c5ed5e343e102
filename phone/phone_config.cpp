// SPDX-License-Identifier: GPL-3.0-or-later (see COPYING-NOTICE in this folder)
#include "phone/phone_config.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>

namespace tw::phone {

namespace {

// QSettings splits unquoted values at commas; a name or address may hold one.
QString text(const QSettings& s, const QString& key)
{
    const QVariant v = s.value(key);
    return (v.typeId() == QMetaType::QStringList ? v.toStringList().join(", ") : v.toString())
        .trimmed();
}

bool port(const QSettings& s, const QString& key, int fallback, int* out, QString* error)
{
    const QString t = text(s, key);
    bool ok = true;
    *out = t.isEmpty() ? fallback : t.toInt(&ok);
    if (!ok || *out < 0 || *out > 65535) {
        *error = QStringLiteral("%1 is not a port number: %2").arg(key, t);
        return false;
    }
    return true;
}

} // namespace

QString defaultConfigPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           "/tellwick/phone.conf";
}

bool loadConfig(const QString& path, PhoneConfig* config, QString* error)
{
    if (!QFileInfo(path).isFile()) {
        *error = QStringLiteral("no settings file %1").arg(path);
        return false;
    }
    QSettings s(path, QSettings::IniFormat);
    if (s.status() != QSettings::NoError) {
        *error = QStringLiteral("%1 cannot be read").arg(path);
        return false;
    }
    auto fail = [&](const QString& why) {
        *error = path + ": " + why;
        return false;
    };
    SipSettings& sip = config->sip;
    sip.identity = text(s, "account/uri");
    const QString who = userAtDomain(sip.identity);
    if (sip.identity.isEmpty() || !who.contains('@'))
        return fail(QStringLiteral("account/uri must be a SIP address like sip:me@example.org"));
    sip.registrar = text(s, "account/registrar");
    sip.password = text(s, "account/password");
    sip.transport = text(s, "account/transport").toLower();
    if (sip.transport.isEmpty())
        sip.transport = QStringLiteral("udp");
    if (sip.transport != "udp" && sip.transport != "tcp" && sip.transport != "tls")
        return fail(QStringLiteral("account/transport must be udp, tcp or tls"));
    if (!port(s, "account/sip_port", 5060, &sip.sipPort, error) ||
        !port(s, "account/audio_port", 0, &sip.audioPort, error))
        return fail(*error);
    const QString card = text(s, "media/sound_card").toLower();
    sip.soundCard = !(card == "false" || card == "no" || card == "0" || card == "off");
    sip.localVoice = text(s, "media/local_voice");
    config->userHandle = who.section('@', 0, 0);
    config->fullName = text(s, "account/name");

    static const QRegularExpression entry(QStringLiteral("^(.*?)\\s*<([^>]+)>$"));
    s.beginGroup("contacts");
    for (const QString& handle : s.childKeys()) {
        const QString value = text(s, handle);
        PhoneContact c{handle, {}, value};
        if (const auto m = entry.match(value); m.hasMatch()) {
            c.fullName = m.captured(1);
            c.uri = m.captured(2).trimmed();
        }
        if (handle.contains(' ') || userAtDomain(c.uri).isEmpty())
            return fail(
                QStringLiteral("contact %1: want 'handle = Full Name <sip:address>'").arg(handle));
        config->contacts.push_back(c);
    }
    s.endGroup();
    return true;
}

} // namespace tw::phone
