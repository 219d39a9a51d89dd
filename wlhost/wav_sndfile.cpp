#include "wlhost/wav_writer.h"

#include <sndfile.h>

namespace wlhost {

namespace {

class SndfileWavWriter : public WavWriter {
  public:
    explicit SndfileWavWriter(SNDFILE *file) : file_(file) {}
    ~SndfileWavWriter() override {
        if (file_ != nullptr)
            sf_close(file_);
    }

    bool write(const float *interleaved, long frames) override {
        if (file_ == nullptr || frames <= 0)
            return file_ != nullptr;
        sf_count_t wanted = static_cast<sf_count_t>(frames);
        return sf_writef_float(file_, interleaved, wanted) == wanted;
    }

    bool finish(std::string &error) override {
        if (file_ == nullptr)
            return true;
        int status = sf_close(file_);
        file_ = nullptr;
        if (status != 0) {
            error = sf_error_number(status);
            return false;
        }
        return true;
    }

  private:
    SNDFILE *file_;
};

} // namespace

std::unique_ptr<WavWriter> openWavWriter(const std::string &path, int channels, int sampleRate,
                                         std::string &error) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE *file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        error = sf_strerror(nullptr);
        return nullptr;
    }
    return std::unique_ptr<WavWriter>(new SndfileWavWriter(file));
}

} // namespace wlhost
