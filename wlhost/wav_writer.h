// Writes output samples to a 32-bit float WAV file as they are produced, so
// a run stopped with Ctrl-C still leaves a complete file.
#pragma once

#include <memory>
#include <string>

namespace wlhost {

class WavWriter {
  public:
    virtual ~WavWriter() = default;
    // `frames` interleaved frames of `channels` samples each.
    virtual bool write(const float *interleaved, long frames) = 0;
    // Finishes the file; false (with the reason in `error`) when it could not.
    virtual bool finish(std::string &error) = 0;
};

// Null with the reason in `error` when the file cannot be made, or when this
// build has no WAV support.
std::unique_ptr<WavWriter> openWavWriter(const std::string &path, int channels, int sampleRate,
                                         std::string &error);

} // namespace wlhost
