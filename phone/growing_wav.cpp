// SPDX-License-Identifier: GPL-3.0-or-later (see COPYING-NOTICE in this folder)
#include "phone/growing_wav.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>

#include "sim/wav_io.h"

namespace tw::phone {

namespace {

uint32_t le32(const char* p)
{
    return uint32_t(uint8_t(p[0])) | uint32_t(uint8_t(p[1])) << 8 | uint32_t(uint8_t(p[2])) << 16 |
           uint32_t(uint8_t(p[3])) << 24;
}

uint16_t le16(const char* p)
{
    return uint16_t(uint8_t(p[0]) | uint8_t(p[1]) << 8);
}

constexpr int64_t kMaxHeader = 4096;
constexpr size_t kPlaceholderHeader = 44;

} // namespace

GrowingWav::GrowingWav(std::string path) : m_path(std::move(path))
{}

bool GrowingWav::parseHeader(const std::vector<char>& head, bool* incomplete)
{
    *incomplete = true;
    if (head.size() < 12)
        return true;
    if (std::all_of(head.begin(), head.begin() + 12, [](char c) { return c == 0; })) {
        // The writer's placeholder: a plain 44-byte header follows once the file is closed.
        if (head.size() < kPlaceholderHeader || m_rateHint <= 0)
            return true;
        m_rate = m_rateHint;
        m_channels = 1;
        m_dataStart = kPlaceholderHeader;
        *incomplete = false;
        return true;
    }
    if (std::memcmp(head.data(), "RIFF", 4) != 0 || std::memcmp(head.data() + 8, "WAVE", 4) != 0) {
        *incomplete = false;
        m_why = "not a WAV file";
        return false;
    }
    size_t pos = 12;
    bool haveFormat = false;
    while (pos + 8 <= head.size()) {
        const char* chunk = head.data() + pos;
        const uint32_t size = le32(chunk + 4);
        if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat)
                break;
            m_dataStart = int64_t(pos + 8);
            *incomplete = false;
            return true;
        }
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (pos + 8 + 16 > head.size())
                return true;
            const uint16_t tag = le16(chunk + 8);
            m_channels = le16(chunk + 10);
            m_rate = int(le32(chunk + 12));
            const uint16_t bits = le16(chunk + 22);
            if ((tag != 1 && tag != 0xFFFE) || bits != 16 || m_channels < 1 || m_rate < 1000 ||
                m_rate > 384000) {
                *incomplete = false;
                m_why = "not 16-bit PCM";
                return false;
            }
            haveFormat = true;
        }
        pos += 8 + size + (size & 1);
    }
    if (head.size() >= size_t(kMaxHeader)) {
        *incomplete = false;
        m_why = "no sound data in the first 4 KiB";
        return false;
    }
    return true;
}

void GrowingWav::append(std::vector<float>& in, std::vector<int16_t>& out)
{
    for (float v : in)
        out.push_back(int16_t(std::clamp(std::lround(v), -32768L, 32767L)));
}

bool GrowingWav::ensureHeader(std::ifstream& file, int64_t size, bool* ready)
{
    *ready = m_dataStart > 0;
    if (*ready)
        return true;
    std::vector<char> head(static_cast<size_t>(std::min<int64_t>(size, kMaxHeader)));
    file.seekg(0);
    file.read(head.data(), std::streamsize(head.size()));
    bool incomplete = false;
    if (!parseHeader(head, &incomplete))
        return false;
    if (incomplete)
        return true;
    m_resampler = std::make_unique<PcmResampler>(m_rate, sim::kSampleRate);
    if (m_skipTo >= 0) {
        const int64_t frameBytes = 2 * int64_t(m_channels);
        m_consumed = std::max<int64_t>(0, m_skipTo - m_dataStart) / frameBytes * frameBytes;
        m_skipTo = -1;
    }
    *ready = true;
    return true;
}

void GrowingWav::skipToEnd()
{
    std::ifstream file(m_path, std::ios::binary | std::ios::ate);
    const int64_t size = file ? int64_t(file.tellg()) : 0;
    if (m_dataStart == 0) {
        m_skipTo = size; // applied once the header can be read
        return;
    }
    const int64_t frameBytes = 2 * int64_t(m_channels);
    m_consumed = std::max(m_consumed, (size - m_dataStart) / frameBytes * frameBytes);
}

bool GrowingWav::read(std::vector<int16_t>& out, bool last)
{
    std::ifstream file(m_path, std::ios::binary | std::ios::ate);
    if (!file)
        return true; // not written yet
    const int64_t size = int64_t(file.tellg());
    if (m_dataStart > 0 && size < m_dataStart + m_consumed) {
        // The writer started the file again: finish what came before, follow the new one.
        std::vector<float> tail;
        if (m_resampler)
            m_resampler->finish(tail);
        append(tail, out);
        m_dataStart = 0;
        m_consumed = 0;
        m_resampler.reset();
    }
    bool ready = false;
    if (!ensureHeader(file, size, &ready))
        return false;
    if (!ready)
        return true;
    const int64_t frameBytes = 2 * int64_t(m_channels);
    const int64_t available = (size - m_dataStart - m_consumed) / frameBytes * frameBytes;
    std::vector<float> mono;
    if (available > 0) {
        std::vector<char> bytes(static_cast<size_t>(available));
        file.seekg(m_dataStart + m_consumed);
        file.read(bytes.data(), std::streamsize(bytes.size()));
        const int64_t got = int64_t(file.gcount()) / frameBytes * frameBytes;
        m_consumed += got;
        mono.reserve(size_t(got / frameBytes));
        for (int64_t f = 0; f < got; f += frameBytes) {
            float sum = 0;
            for (int c = 0; c < m_channels; ++c)
                sum += float(int16_t(le16(bytes.data() + f + 2 * c)));
            mono.push_back(sum / float(m_channels));
        }
    }
    std::vector<float> resampled;
    m_resampler->process(mono.data(), mono.size(), resampled);
    if (last)
        m_resampler->finish(resampled);
    append(resampled, out);
    return true;
}

} // namespace tw::phone
