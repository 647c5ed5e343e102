// SPDX-License-Identifier: GPL-3.0-or-later (see COPYING-NOTICE in this folder)
#include "phone/mic_capture.h"

#include <cstring>

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSource>
#include <QMediaDevices>

namespace tw::phone {

MicCapture::MicCapture(QObject* parent) : QObject(parent)
{}

MicCapture::~MicCapture()
{
    stop();
}

bool MicCapture::start(Sink sink)
{
    stop();
    const QAudioDevice device = QMediaDevices::defaultAudioInput();
    if (device.isNull())
        return false;
    QAudioFormat format;
    format.setSampleRate(16000);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format))
        return false;
    m_source = std::make_unique<QAudioSource>(device, format);
    m_device = m_source->start();
    if (!m_device) {
        m_source.reset();
        return false;
    }
    m_sink = std::move(sink);
    connect(m_device, &QIODevice::readyRead, this, &MicCapture::drain);
    return true;
}

void MicCapture::drain()
{
    if (!m_device)
        return;
    const QByteArray bytes = m_device->readAll();
    std::vector<int16_t> samples(size_t(bytes.size()) / 2);
    std::memcpy(samples.data(), bytes.constData(), samples.size() * 2);
    if (!samples.empty() && m_sink)
        m_sink(samples);
}

void MicCapture::stop()
{
    if (!m_source)
        return;
    drain();
    m_source->stop();
    m_source.reset();
    m_device = nullptr;
    m_sink = nullptr;
}

} // namespace tw::phone
