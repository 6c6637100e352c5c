#pragma once
// The process-wide table of media-library functions. Every call into FFmpeg goes through `FF`;
// entries are null until the loader has bound their library and null again after it unbinds it.
//
// OK_FF_FUNCTIONS lists each entry once: F(kind, name) binds the exported symbol `name` into the
// entry `name`; R(kind, entry, symbol) binds `symbol` into an entry of another name. Within a
// library, the list order is the binding order.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/dict.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
#include <libavutil/samplefmt.h>
#include <libavutil/time.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <cstdio>
#include <cstdlib>
#include <cstring>

#define OK_FF_FUNCTIONS(F, R)                 \
  /* avcodec */                               \
  F(ltAVCodec, avcodec_version)               \
  F(ltAVCodec, avcodec_find_decoder)          \
  F(ltAVCodec, avcodec_find_decoder_by_name)  \
  F(ltAVCodec, avcodec_find_encoder)          \
  F(ltAVCodec, avcodec_find_encoder_by_name)  \
  F(ltAVCodec, avcodec_get_name)              \
  F(ltAVCodec, avcodec_alloc_context3)        \
  F(ltAVCodec, avcodec_free_context)          \
  F(ltAVCodec, avcodec_parameters_to_context) \
  F(ltAVCodec, avcodec_parameters_from_context) \
  F(ltAVCodec, avcodec_open2)                 \
  F(ltAVCodec, avcodec_send_packet)           \
  F(ltAVCodec, avcodec_receive_frame)         \
  F(ltAVCodec, avcodec_send_frame)            \
  F(ltAVCodec, avcodec_receive_packet)        \
  F(ltAVCodec, avcodec_flush_buffers)         \
  F(ltAVCodec, av_packet_alloc)               \
  F(ltAVCodec, av_packet_free)                \
  F(ltAVCodec, av_packet_unref)               \
  F(ltAVCodec, av_codec_iterate)              \
  F(ltAVCodec, av_codec_is_encoder)           \
  F(ltAVCodec, av_bsf_get_by_name)            \
  F(ltAVCodec, av_bsf_alloc)                  \
  F(ltAVCodec, av_bsf_free)                   \
  /* avdevice: in the table, never loaded */  \
  /* avfilter */                              \
  F(ltAVFilter, avfilter_version)             \
  F(ltAVFilter, avfilter_get_by_name)         \
  F(ltAVFilter, avfilter_graph_alloc)         \
  F(ltAVFilter, avfilter_graph_free)          \
  F(ltAVFilter, avfilter_graph_create_filter) \
  F(ltAVFilter, avfilter_graph_alloc_filter)  \
  F(ltAVFilter, avfilter_init_str)            \
  F(ltAVFilter, avfilter_graph_parse_ptr)     \
  F(ltAVFilter, avfilter_graph_config)        \
  F(ltAVFilter, avfilter_link)                \
  F(ltAVFilter, avfilter_inout_alloc)         \
  F(ltAVFilter, avfilter_inout_free)          \
  F(ltAVFilter, av_buffersrc_add_frame_flags) \
  F(ltAVFilter, av_buffersink_get_frame)      \
  F(ltAVFilter, av_buffersink_get_time_base)  \
  F(ltAVFilter, av_buffersink_get_w)          \
  F(ltAVFilter, av_buffersink_get_h)          \
  /* avformat */                              \
  F(ltAVFormat, avformat_version)             \
  F(ltAVFormat, avformat_alloc_context)       \
  F(ltAVFormat, avformat_free_context)        \
  F(ltAVFormat, avformat_open_input)          \
  F(ltAVFormat, avformat_close_input)         \
  F(ltAVFormat, avformat_find_stream_info)    \
  F(ltAVFormat, av_find_input_format)         \
  F(ltAVFormat, av_read_frame)                \
  F(ltAVFormat, av_seek_frame)                \
  F(ltAVFormat, avio_alloc_context)           \
  F(ltAVFormat, avio_context_free)            \
  F(ltAVFormat, avio_open2)                   \
  F(ltAVFormat, avio_closep)                  \
  F(ltAVFormat, avio_flush)                   \
  F(ltAVFormat, avio_read)                    \
  F(ltAVFormat, avio_write)                   \
  F(ltAVFormat, avio_seek)                    \
  F(ltAVFormat, avio_size)                    \
  F(ltAVFormat, avio_enum_protocols)          \
  F(ltAVFormat, av_guess_format)              \
  F(ltAVFormat, av_guess_codec)               \
  F(ltAVFormat, av_filename_number_test)      \
  F(ltAVFormat, avformat_alloc_output_context2) \
  F(ltAVFormat, avformat_new_stream)          \
  F(ltAVFormat, avformat_write_header)        \
  F(ltAVFormat, av_interleaved_write_frame)   \
  F(ltAVFormat, av_write_trailer)             \
  F(ltAVFormat, av_dump_format)               \
  F(ltAVFormat, av_muxer_iterate)             \
  /* avutil */                                \
  F(ltAVUtil, avutil_version)                 \
  F(ltAVUtil, av_log)                         \
  F(ltAVUtil, av_log_set_callback)            \
  F(ltAVUtil, av_log_set_level)               \
  F(ltAVUtil, av_log_get_level)               \
  F(ltAVUtil, av_log_default_callback)        \
  F(ltAVUtil, av_log_format_line2)            \
  F(ltAVUtil, av_malloc)                      \
  F(ltAVUtil, av_mallocz)                     \
  F(ltAVUtil, av_free)                        \
  F(ltAVUtil, av_freep)                       \
  F(ltAVUtil, av_strdup)                      \
  F(ltAVUtil, av_strerror)                    \
  F(ltAVUtil, av_rescale)                     \
  F(ltAVUtil, av_rescale_q)                   \
  F(ltAVUtil, av_reduce)                      \
  F(ltAVUtil, av_d2q)                         \
  F(ltAVUtil, av_find_nearest_q_idx)          \
  F(ltAVUtil, av_channel_layout_from_mask)    \
  F(ltAVUtil, av_channel_layout_default)      \
  F(ltAVUtil, av_channel_layout_describe)     \
  F(ltAVUtil, av_channel_layout_uninit)       \
  F(ltAVUtil, av_frame_alloc)                 \
  F(ltAVUtil, av_frame_free)                  \
  F(ltAVUtil, av_frame_unref)                 \
  F(ltAVUtil, av_frame_get_buffer)            \
  F(ltAVUtil, av_image_get_buffer_size)       \
  F(ltAVUtil, av_image_fill_arrays)           \
  F(ltAVUtil, av_dict_get)                    \
  F(ltAVUtil, av_dict_set)                    \
  F(ltAVUtil, av_dict_free)                   \
  F(ltAVUtil, av_get_pix_fmt_name)            \
  F(ltAVUtil, av_gettime)                     \
  F(ltAVUtil, av_parse_time)                  \
  F(ltAVUtil, av_parse_video_size)            \
  F(ltAVUtil, av_parse_video_rate)            \
  F(ltAVUtil, av_get_pix_fmt)                 \
  F(ltAVUtil, av_get_pix_fmt_string)          \
  F(ltAVUtil, av_pix_fmt_desc_get)            \
  F(ltAVUtil, av_get_sample_fmt)              \
  F(ltAVUtil, av_get_sample_fmt_string)       \
  F(ltAVUtil, av_opt_find)                    \
  F(ltAVUtil, av_opt_set)                     \
  F(ltAVUtil, av_opt_set_int)                 \
  F(ltAVUtil, av_opt_set_bin)                 \
  F(ltAVUtil, av_opt_get)                     \
  F(ltAVUtil, av_opt_get_int)                 \
  F(ltAVUtil, av_opt_set_defaults2)           \
  /* swscale */                               \
  F(ltSwScale, swscale_version)               \
  F(ltSwScale, sws_getContext)                \
  F(ltSwScale, sws_getCachedContext)          \
  F(ltSwScale, sws_freeContext)               \
  F(ltSwScale, sws_scale)                     \
  /* swresample */                            \
  F(ltSwResample, swresample_version)         \
  F(ltSwResample, swr_alloc_set_opts2)        \
  F(ltSwResample, swr_init)                   \
  F(ltSwResample, swr_free)                   \
  F(ltSwResample, swr_convert)                \
  /* myutil: served by the C runtime */       \
  R(ltMyUtil, my_fclose, fclose)              \
  R(ltMyUtil, my_fopen, fopen)                \
  R(ltMyUtil, my_fprintf, fprintf)            \
  R(ltMyUtil, my_fread, fread)                \
  R(ltMyUtil, my_fseek, fseek)                \
  R(ltMyUtil, my_ftell, ftell)                \
  R(ltMyUtil, my_fwrite, fwrite)              \
  R(ltMyUtil, my_snprintf, snprintf)          \
  R(ltMyUtil, my_strtod, strtod)              \
  R(ltMyUtil, my_strtok, strtok)              \
  R(ltMyUtil, my_strtol, strtol)              \
  R(ltMyUtil, my_vsprintf, vsprintf)

namespace ok {

struct TFFFunctions {
#define OK_FF_ENTRY(kind, name) decltype(&::name) name = nullptr;
#define OK_FF_RENAMED(kind, entry, symbol) decltype(&::symbol) entry = nullptr;
  OK_FF_FUNCTIONS(OK_FF_ENTRY, OK_FF_RENAMED)
#undef OK_FF_ENTRY
#undef OK_FF_RENAMED
};

// The function table: process-wide, shared by every engine instance, probe and thread.
extern TFFFunctions FF;

}  // namespace ok
