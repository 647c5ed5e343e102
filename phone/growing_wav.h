// SPDX-License-Identifier: GPL-3.0-or-later (see COPYING-NOTICE in this folder)
#pragma once

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "audio/pcm_resample.h"

namespace tw::phone {

/// Follows a 16-bit PCM WAV file that another writer is still filling (the SIP library writes
/// a call's audio at the codec's rate while the call runs) and hands out what arrived since
/// the last read as 16 kHz mono samples. The header's sizes are not trusted: the writer fills
/// them in only at the end (until then the header is all zero, see setRateHint). A file that starts
/// over (shorter than what was read) is followed from its new beginning.
class GrowingWav
{
public:
    explicit GrowingWav(std::string path);

    /// Appends the new samples to out. With last, also the resampler's tail: nothing more
    /// comes. False (with why()) when the file is there but is not a 16-bit PCM WAV.
    bool read(std::vector<int16_t>& out, bool last = false);
    /// The recording library leaves the header zero until it closes the file; until then the
    /// data is taken as mono at this rate (the call's decoded rate) from byte 44 on.
    void setRateHint(int rate) { m_rateHint = rate; }
    /// What is in the file now is not ours (another call's, or a past one's): the next read
    /// starts at its current end. The recording library appends to an existing file.
    void skipToEnd();
    const std::string& why() const { return m_why; }
    const std::string& path() const { return m_path; }

private:
    bool parseHeader(const std::vector<char>& head, bool* incomplete);
    /// Reads the header when it is not known yet; false on a bad one, ready tells if known.
    bool ensureHeader(std::ifstream& file, int64_t size, bool* ready);
    void append(std::vector<float>& in, std::vector<int16_t>& out);

    std::string m_path;
    std::string m_why;
    int64_t m_dataStart = 0; ///< 0 until the header was read
    int64_t m_consumed = 0;  ///< bytes of the data read so far
    int64_t m_skipTo = -1;   ///< file size to start reading at once the header is known
    int m_rate = 0;
    int m_rateHint = 0;
    int m_channels = 0;
    std::unique_ptr<PcmResampler> m_resampler;
};

} // namespace tw::phone
