#include "stream/VideoSource.h"

#include "io/QcifFormat.h"
#include "io/QuoteName.h"

#if TAVRO_WITH_FFMPEG

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <dlfcn.h>

#include <cstring>

namespace {

// FFmpeg's libraries are opened the first time a video is, not when the
// program starts: they pull in about a hundred and thirty other libraries,
// which would cost every run tens of milliseconds and of megabytes whether it
// reads video or not. The names are those of the headers this was built with,
// so the functions match the declarations they are called through.
#define TAVRO_AV_NAME(lib, major) "lib" #lib ".so." TAVRO_AV_STR(major)
#define TAVRO_AV_STR(x) TAVRO_AV_STR2(x)
#define TAVRO_AV_STR2(x) #x
#define TAVRO_AV_FUNCTIONS(X)                 \
    X(avutil, av_strerror)                    \
    X(avutil, av_log_set_level)               \
    X(avutil, av_dict_set)                    \
    X(avutil, av_dict_free)                   \
    X(avutil, av_frame_alloc)                 \
    X(avutil, av_frame_get_buffer)            \
    X(avutil, av_frame_unref)                 \
    X(avutil, av_frame_make_writable)         \
    X(avutil, av_get_pix_fmt_name)            \
    X(avutil, av_frame_free)                  \
    X(avcodec, avcodec_alloc_context3)        \
    X(avcodec, av_packet_alloc)               \
    X(avcodec, avcodec_parameters_to_context) \
    X(avcodec, avcodec_open2)                 \
    X(avcodec, avcodec_receive_frame)         \
    X(avcodec, avcodec_send_packet)           \
    X(avcodec, av_packet_unref)               \
    X(avcodec, av_packet_free)                \
    X(avcodec, avcodec_free_context)          \
    X(avformat, avformat_open_input)          \
    X(avformat, avformat_find_stream_info)    \
    X(avformat, av_find_best_stream)          \
    X(avformat, avformat_close_input)         \
    X(avformat, av_guess_frame_rate)          \
    X(avformat, av_read_frame)                \
    X(swscale, sws_getCachedContext)          \
    X(swscale, sws_scale)                     \
    X(swscale, sws_freeContext)

struct SAv {
#define X(lib, fn) decltype(&::fn) fn = nullptr;
    TAVRO_AV_FUNCTIONS(X)
#undef X
    std::string strError;  // why the libraries could not be used; empty when they can
};

SAv LoadAv() {
    SAv av;
    const struct {
        const char* pszLib;
        const char* pszName;
    } libs[] = {{"avutil", TAVRO_AV_NAME(avutil, LIBAVUTIL_VERSION_MAJOR)},
                {"avcodec", TAVRO_AV_NAME(avcodec, LIBAVCODEC_VERSION_MAJOR)},
                {"avformat", TAVRO_AV_NAME(avformat, LIBAVFORMAT_VERSION_MAJOR)},
                {"swscale", TAVRO_AV_NAME(swscale, LIBSWSCALE_VERSION_MAJOR)}};
    void* ahLib[4] = {};
    for (int i = 0; i < 4; ++i) {
        // Kept open for the life of the process.
        ahLib[i] = ::dlopen(libs[i].pszName, RTLD_NOW | RTLD_LOCAL);
        if (!ahLib[i]) {
            const char* pszWhy = ::dlerror();
            av.strError = std::string("FFmpeg's libraries could not be loaded (") +
                          (pszWhy ? pszWhy : libs[i].pszName) + ")";
            return av;
        }
    }
    auto find = [&](const char* pszLib, const char* pszFn) -> void* {
        for (int i = 0; i < 4; ++i) {
            if (std::strcmp(libs[i].pszLib, pszLib) == 0) {
                return ::dlsym(ahLib[i], pszFn);
            }
        }
        return nullptr;
    };
#define X(lib, fn)                                                                   \
    av.fn = reinterpret_cast<decltype(&::fn)>(find(#lib, #fn));                      \
    if (!av.fn) {                                                                    \
        av.strError = "FFmpeg's libraries could not be loaded (" #fn " is missing)"; \
        return av;                                                                   \
    }
    TAVRO_AV_FUNCTIONS(X)
#undef X
    return av;
}

const SAv& Av() {
    static const SAv av = LoadAv();  // loaded once, by whichever thread asks first
    return av;
}

std::string AvError(int nError) {
    char sz[AV_ERROR_MAX_STRING_SIZE] = {};
    Av().av_strerror(nError, sz, sizeof sz);
    return sz;
}

std::string Quoted(const std::string& s) {
    return QuoteName(s);
}

// The libraries' own log lines would interleave with ours; their errors reach
// the user through our messages instead.
void QuietLibraries() {
    Av().av_log_set_level(AV_LOG_QUIET);
}

// The container opened with its streams found and the best video stream chosen.
class CVideoFile {
public:
    ~CVideoFile() {
        if (m_pFormat) {
            Av().avformat_close_input(&m_pFormat);
        }
    }

    bool Open(const std::string& strPath, std::string* pError) {
        if (!Av().strError.empty()) {
            *pError = "cannot read " + Quoted(strPath) + " as video: " + Av().strError;
            return false;
        }
        QuietLibraries();
        // Local files only: a name such as "http://..." or a playlist that
        // names other places is never fetched.
        AVDictionary* pOptions = nullptr;
        Av().av_dict_set(&pOptions, "protocol_whitelist", "file", 0);
        int r = Av().avformat_open_input(&m_pFormat, strPath.c_str(), nullptr, &pOptions);
        Av().av_dict_free(&pOptions);
        if (r < 0) {
            *pError = "cannot read " + Quoted(strPath) + " as video: " + AvError(r) +
                      " (names other than .qcf, .yuv, .y4m and .cmp are read as video)";
            return false;
        }
        // The text demuxer would render any text file as a video of characters.
        if (std::strcmp(m_pFormat->iformat->name, "tty") == 0) {
            *pError = Quoted(strPath) + " is text, not video";
            return false;
        }
        r = Av().avformat_find_stream_info(m_pFormat, nullptr);
        if (r < 0) {
            *pError = "cannot read " + Quoted(strPath) + " as video: " + AvError(r);
            return false;
        }
        m_nStream = Av().av_find_best_stream(m_pFormat, AVMEDIA_TYPE_VIDEO, -1, -1, &m_pDecoder, 0);
        if (m_nStream < 0) {
            *pError = Quoted(strPath) + (m_nStream == AVERROR_DECODER_NOT_FOUND
                                             ? " holds video this FFmpeg cannot decode"
                                             : " holds no video stream");
            return false;
        }
        return true;
    }

    AVFormatContext* m_pFormat = nullptr;
    const AVCodec* m_pDecoder = nullptr;
    int m_nStream = -1;
};

class CVideoSource : public IFrameSource {
public:
    ~CVideoSource() override {
        if (!Av().strError.empty()) {
            return;  // nothing was allocated
        }
        Av().sws_freeContext(m_pScaler);
        Av().av_frame_free(&m_pScaled);
        Av().av_frame_free(&m_pDecoded);
        Av().av_packet_free(&m_pPacket);
        Av().avcodec_free_context(&m_pCodec);
    }

    bool Open(const std::string& strPath, std::string* pError) {
        m_strPath = strPath;
        if (!m_file.Open(strPath, pError)) {
            return false;
        }
        const AVStream* pStream = m_file.m_pFormat->streams[m_file.m_nStream];
        m_pCodec = Av().avcodec_alloc_context3(m_file.m_pDecoder);
        m_pPacket = Av().av_packet_alloc();
        m_pDecoded = Av().av_frame_alloc();
        m_pScaled = Av().av_frame_alloc();
        if (!m_pCodec || !m_pPacket || !m_pDecoded || !m_pScaled) {
            *pError = "not enough memory to decode " + Quoted(strPath);
            return false;
        }
        int r = Av().avcodec_parameters_to_context(m_pCodec, pStream->codecpar);
        if (r >= 0) {
            r = Av().avcodec_open2(m_pCodec, m_file.m_pDecoder, nullptr);
        }
        if (r < 0) {
            *pError = "cannot decode the video of " + Quoted(strPath) + ": " + AvError(r);
            return false;
        }
        m_pScaled->format = AV_PIX_FMT_YUV420P;
        m_pScaled->width = int(QCIF_WIDTH);
        m_pScaled->height = int(QCIF_HEIGHT);
        if (Av().av_frame_get_buffer(m_pScaled, 0) < 0) {
            *pError = "not enough memory to decode " + Quoted(strPath);
            return false;
        }
        m_rate =
            Av().av_guess_frame_rate(m_file.m_pFormat, const_cast<AVStream*>(pStream), nullptr);
        m_strCodec = m_file.m_pDecoder->name;
        return true;
    }

    EFrameRead Read(uint8_t* pFrame) override {
        while (true) {
            int r = Av().avcodec_receive_frame(m_pCodec, m_pDecoded);
            if (r == 0) {
                const EFrameRead result = Convert(pFrame);
                Av().av_frame_unref(m_pDecoded);
                return result;
            }
            if (r == AVERROR_EOF) {
                return EFrameRead::End;
            }
            if (r != AVERROR(EAGAIN)) {
                return Fail(Where() + ": " + AvError(r));
            }
            r = Av().av_read_frame(m_file.m_pFormat, m_pPacket);
            if (r == AVERROR_EOF) {
                r = Av().avcodec_send_packet(m_pCodec, nullptr);  // drain the decoder
                if (r < 0 && r != AVERROR_EOF) {
                    return Fail(Where() + ": " + AvError(r));
                }
                continue;
            }
            if (r < 0) {
                return Fail("cannot read " + Quoted(m_strPath) + ": " + AvError(r));
            }
            if (m_pPacket->stream_index == m_file.m_nStream) {
                r = Av().avcodec_send_packet(m_pCodec, m_pPacket);
            }
            Av().av_packet_unref(m_pPacket);
            if (r < 0) {
                return Fail(Where() + ": " + AvError(r));
            }
        }
    }

    bool FrameRate(uint32_t& nNum, uint32_t& nDen) const override {
        if (m_rate.num <= 0 || m_rate.den <= 0) {
            return false;
        }
        nNum = uint32_t(m_rate.num);
        nDen = uint32_t(m_rate.den);
        return true;
    }

    std::string Describe() const override {
        return "video " + Quoted(m_strPath) + " (" + m_strCodec + ", scaled to 176x144 4:2:0 " +
               "by FFmpeg's " + VIDEO_SCALER + " scaler)";
    }

private:
    std::string Where() const {
        return "cannot decode frame " + std::to_string(m_nFrames + 1) + " of " + Quoted(m_strPath);
    }

    EFrameRead Convert(uint8_t* pFrame) {
        const AVFrame* f = m_pDecoded;
        m_pScaler = Av().sws_getCachedContext(
            m_pScaler, f->width, f->height, AVPixelFormat(f->format), int(QCIF_WIDTH),
            int(QCIF_HEIGHT), AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr);
        if (!m_pScaler || Av().av_frame_make_writable(m_pScaled) < 0) {
            return Fail(Where() + ": cannot convert " + std::to_string(f->width) + "x" +
                        std::to_string(f->height) + " " + PixelFormatName(f->format) + " pictures");
        }
        Av().sws_scale(m_pScaler, f->data, f->linesize, 0, f->height, m_pScaled->data,
                       m_pScaled->linesize);
        // Planes one after another, rows without padding.
        const struct {
            uint32_t nOffset, nWidth, nHeight;
        } planes[3] = {{0, QCIF_WIDTH, QCIF_HEIGHT},
                       {QCIF_U_OFFSET, QCIF_CHROMA_WIDTH, QCIF_CHROMA_HEIGHT},
                       {QCIF_V_OFFSET, QCIF_CHROMA_WIDTH, QCIF_CHROMA_HEIGHT}};
        for (int p = 0; p < 3; ++p) {
            for (uint32_t y = 0; y < planes[p].nHeight; ++y) {
                std::memcpy(pFrame + planes[p].nOffset + y * planes[p].nWidth,
                            m_pScaled->data[p] + size_t(y) * size_t(m_pScaled->linesize[p]),
                            planes[p].nWidth);
            }
        }
        ++m_nFrames;
        return EFrameRead::Frame;
    }

    static std::string PixelFormatName(int nFormat) {
        const char* psz = Av().av_get_pix_fmt_name(AVPixelFormat(nFormat));
        return psz ? psz : "unknown";
    }

    std::string m_strPath;
    std::string m_strCodec;
    CVideoFile m_file;
    AVCodecContext* m_pCodec = nullptr;
    AVPacket* m_pPacket = nullptr;
    AVFrame* m_pDecoded = nullptr;
    AVFrame* m_pScaled = nullptr;
    SwsContext* m_pScaler = nullptr;
    AVRational m_rate{0, 1};
    uint64_t m_nFrames = 0;
};

}  // namespace

bool VideoImportAvailable() {
    return true;
}

bool ProbeVideo(const std::string& strPath, SVideoInfo& info, std::string* pError) {
    std::string strError;
    CVideoFile file;
    if (!file.Open(strPath, &strError)) {
        if (pError) {
            *pError = strError;
        }
        return false;
    }
    AVStream* pStream = file.m_pFormat->streams[file.m_nStream];
    const AVCodecParameters* par = pStream->codecpar;
    info = SVideoInfo();
    info.strContainer = file.m_pFormat->iformat->name;
    info.strCodec = file.m_pDecoder->name;
    const char* pszFormat = Av().av_get_pix_fmt_name(AVPixelFormat(par->format));
    info.strPixelFormat = pszFormat ? pszFormat : "unknown";
    info.nWidth = uint32_t(par->width);
    info.nHeight = uint32_t(par->height);
    const AVRational rate = Av().av_guess_frame_rate(file.m_pFormat, pStream, nullptr);
    if (rate.num > 0 && rate.den > 0) {
        info.nRateNum = uint32_t(rate.num);
        info.nRateDen = uint32_t(rate.den);
    }
    if (pStream->duration > 0) {
        info.dSeconds = double(pStream->duration) * av_q2d(pStream->time_base);
    } else if (file.m_pFormat->duration > 0) {
        info.dSeconds = double(file.m_pFormat->duration) / AV_TIME_BASE;
    }
    info.nFrames = pStream->nb_frames > 0 ? uint64_t(pStream->nb_frames) : 0;
    return true;
}

std::unique_ptr<IFrameSource> OpenVideoSource(const std::string& strPath, std::string* pError) {
    auto pSource = std::make_unique<CVideoSource>();
    std::string strError;
    if (!pSource->Open(strPath, &strError)) {
        if (pError) {
            *pError = strError;
        }
        return nullptr;
    }
    return pSource;
}

#else  // built without FFmpeg

namespace {

std::string WithoutFfmpeg(const std::string& strPath) {
    return QuoteName(strPath) +
           ": unknown input type (expected .qcf, .yuv, .y4m or .cmp; this build reads no "
           "other video). Convert it with: ffmpeg -i INPUT -vf scale=176:144:flags=" +
           VIDEO_SCALER + " -pix_fmt yuv420p OUTPUT.y4m";
}

}  // namespace

bool VideoImportAvailable() {
    return false;
}

bool ProbeVideo(const std::string& strPath, SVideoInfo&, std::string* pError) {
    if (pError) {
        *pError = WithoutFfmpeg(strPath);
    }
    return false;
}

std::unique_ptr<IFrameSource> OpenVideoSource(const std::string& strPath, std::string* pError) {
    if (pError) {
        *pError = WithoutFfmpeg(strPath);
    }
    return nullptr;
}

#endif
