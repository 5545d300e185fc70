#include "encoder/encoder_choice.h"

#include <climits>
#include <cstdlib>

#include "encoder/encoder_options.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

Result<const AVCodec*> findEncoder(const std::string& name, AVMediaType type, AVCodecID defaultId) {
    const char* kind = type == AVMEDIA_TYPE_VIDEO ? "video" : "audio";
    const AVCodec* codec = nullptr;
    if (name.empty()) {
        codec = avcodec_find_encoder(defaultId);
        if (!codec) {
            return Failure{std::string("No ") + kind +
                           " encoder for the container's default codec '" +
                           avcodec_get_name(defaultId) + "'"};
        }
        return codec;
    }
    const std::string modern = modernEncoderName(name);
    codec = avcodec_find_encoder_by_name(modern.c_str());
    if (!codec) {
        if (const AVCodecDescriptor* d = avcodec_descriptor_get_by_name(modern.c_str())) {
            codec = avcodec_find_encoder(d->id);
        }
    }
    if (!codec) {
        return Failure{"Unknown encoder '" + name + "'"};
    }
    if (codec->type != type) {
        return Failure{"'" + name + "' is not a " + kind + " encoder"};
    }
    return codec;
}

std::vector<AVPixelFormat> encoderPixelFormats(const AVCodec* codec, AVPixelFormat source,
                                               AVPixelFormat requested) {
    if (requested != AV_PIX_FMT_NONE) {
        return {requested};
    }
    std::vector<AVPixelFormat> list;
    if (!codec->pix_fmts) {
        return list;  // anything goes
    }
    for (const AVPixelFormat* p = codec->pix_fmts; *p != AV_PIX_FMT_NONE; ++p) {
        list.push_back(*p);
    }
    // Negotiation in the graph keeps the source's format when offered; otherwise the one
    // that loses least, as avcodec_find_best_pix_fmt_of_list judges it, goes first.
    if (source != AV_PIX_FMT_NONE) {
        AVPixelFormat best = avcodec_find_best_pix_fmt_of_list(codec->pix_fmts, source, 0, nullptr);
        for (size_t i = 0; i < list.size(); ++i) {
            if (list[i] == best) {
                list.erase(list.begin() + static_cast<long>(i));
                list.insert(list.begin(), best);
                break;
            }
        }
    }
    return list;
}

AVRational encoderFrameRate(const AVCodec* codec, AVRational requested, AVRational input) {
    AVRational rate = requested.num > 0 ? requested : input;
    if (rate.num <= 0 || rate.den <= 0) {
        rate = AVRational{25, 1};
    }
    if (codec->supported_framerates) {
        int idx = av_find_nearest_q_idx(rate, codec->supported_framerates);
        rate = codec->supported_framerates[idx];
    }
    av_reduce(&rate.num, &rate.den, rate.num, rate.den, 65535);
    return rate;
}

int encoderSampleRate(const AVCodec* codec, int requested, int source) {
    int rate = requested > 0 ? requested : source;
    if (!codec->supported_samplerates || rate <= 0) {
        return rate > 0 ? rate : 44100;
    }
    int best = codec->supported_samplerates[0];
    for (const int* r = codec->supported_samplerates; *r; ++r) {
        if (*r == rate) {
            return rate;
        }
        long d = std::labs(static_cast<long>(*r) - rate);
        long bestD = std::labs(static_cast<long>(best) - rate);
        if (d < bestD || (d == bestD && *r > best)) {
            best = *r;
        }
    }
    return best;
}

AVSampleFormat encoderSampleFormat(const AVCodec* codec, AVSampleFormat source) {
    if (!codec->sample_fmts) {
        return source != AV_SAMPLE_FMT_NONE ? source : AV_SAMPLE_FMT_FLTP;
    }
    for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f) {
        if (*f == source) {
            return source;
        }
    }
    // Otherwise the float planar format when offered (no precision lost), else the first.
    for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f) {
        if (*f == AV_SAMPLE_FMT_FLTP) {
            return *f;
        }
    }
    return codec->sample_fmts[0];
}

bool encoderChannelLayout(const AVCodec* codec, int requestedChannels,
                          const AVChannelLayout& source, AVChannelLayout& out) {
    AVChannelLayout wanted = {};
    int channels = requestedChannels > 0 ? requestedChannels : source.nb_channels;
    if (channels <= 0) {
        channels = 2;
    }
    if (requestedChannels <= 0 && source.order == AV_CHANNEL_ORDER_NATIVE) {
        av_channel_layout_copy(&wanted, &source);
    } else {
        av_channel_layout_default(&wanted, channels);
    }
    if (!codec->ch_layouts) {
        av_channel_layout_uninit(&out);
        return av_channel_layout_copy(&out, &wanted) >= 0;
    }
    const AVChannelLayout* sameCount = nullptr;
    const AVChannelLayout* mostBelow = nullptr;
    for (const AVChannelLayout* l = codec->ch_layouts; l->nb_channels; ++l) {
        if (av_channel_layout_compare(l, &wanted) == 0) {
            av_channel_layout_uninit(&wanted);
            av_channel_layout_uninit(&out);
            return av_channel_layout_copy(&out, l) >= 0;
        }
        if (!sameCount && l->nb_channels == wanted.nb_channels) {
            sameCount = l;
        }
        if (l->nb_channels <= wanted.nb_channels &&
            (!mostBelow || l->nb_channels > mostBelow->nb_channels)) {
            mostBelow = l;
        }
    }
    av_channel_layout_uninit(&wanted);
    const AVChannelLayout* pick = sameCount ? sameCount : mostBelow ? mostBelow : codec->ch_layouts;
    av_channel_layout_uninit(&out);
    return av_channel_layout_copy(&out, pick) >= 0;
}
