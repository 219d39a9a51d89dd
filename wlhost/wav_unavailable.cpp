// Builds without libsndfile (Windows, or a 32-bit Linux build without the
// 32-bit development package) say so instead of writing a file.
#include "wlhost/wav_writer.h"

namespace wlhost {

std::unique_ptr<WavWriter> openWavWriter(const std::string &, int, int, std::string &error) {
    error = "WAV output is not available in this build (it needs libsndfile)";
    return nullptr;
}

} // namespace wlhost
