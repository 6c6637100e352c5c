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
#include <libavutil/cpu.h>
#include <libavutil/dict.h>
#include <libavutil/display.h>
#include <libavutil/fifo.h>
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

#define OK_FF_FUNCTIONS(F, R)                   \
  /* avcodec */                                 \
  F(ltAVCodec, avcodec_version)                 \
  F(ltAVCodec, avcodec_find_decoder)            \
  F(ltAVCodec, avcodec_find_decoder_by_name)    \
  F(ltAVCodec, avcodec_find_encoder)            \
  F(ltAVCodec, avcodec_find_encoder_by_name)    \
  F(ltAVCodec, avcodec_get_name)                \
  F(ltAVCodec, avcodec_alloc_context3)          \
  F(ltAVCodec, avcodec_free_context)            \
  F(ltAVCodec, avcodec_parameters_to_context)   \
  F(ltAVCodec, avcodec_parameters_from_context) \
  F(ltAVCodec, avcodec_open2)                   \
  F(ltAVCodec, avcodec_send_packet)             \
  F(ltAVCodec, avcodec_receive_frame)           \
  F(ltAVCodec, avcodec_send_frame)              \
  F(ltAVCodec, avcodec_receive_packet)          \
  F(ltAVCodec, avcodec_flush_buffers)           \
  F(ltAVCodec, av_packet_alloc)                 \
  F(ltAVCodec, av_packet_free)                  \
  F(ltAVCodec, av_packet_unref)                 \
  F(ltAVCodec, av_codec_iterate)                \
  F(ltAVCodec, av_codec_is_encoder)             \
  F(ltAVCodec, av_bsf_get_by_name)              \
  F(ltAVCodec, av_bsf_alloc)                    \
  F(ltAVCodec, av_bsf_free)                     \
  F(ltAVCodec, av_bsf_init)                     \
  F(ltAVCodec, av_bsf_send_packet)              \
  F(ltAVCodec, av_bsf_receive_packet)           \
  F(ltAVCodec, av_bsf_flush)                    \
  F(ltAVCodec, av_packet_ref)                   \
  F(ltAVCodec, av_packet_move_ref)              \
  F(ltAVCodec, av_packet_rescale_ts)            \
  F(ltAVCodec, av_packet_make_writable)         \
  F(ltAVCodec, av_packet_get_side_data)         \
  F(ltAVCodec, avcodec_parameters_copy)         \
  F(ltAVCodec, av_get_bits_per_sample)          \
  F(ltAVCodec, av_get_exact_bits_per_sample)    \
  F(ltAVCodec, av_get_audio_frame_duration2)    \
  F(ltAVCodec, avcodec_encode_subtitle)         \
  F(ltAVCodec, avcodec_decode_subtitle2)        \
  F(ltAVCodec, avsubtitle_free)                 \
  F(ltAVCodec, avcodec_descriptor_get)          \
  F(ltAVCodec, av_parser_init)                  \
  F(ltAVCodec, av_parser_close)                 \
  /* avdevice: in the table, never loaded */    \
  /* avfilter */                                \
  F(ltAVFilter, avfilter_version)               \
  F(ltAVFilter, avfilter_get_by_name)           \
  F(ltAVFilter, avfilter_graph_alloc)           \
  F(ltAVFilter, avfilter_graph_free)            \
  F(ltAVFilter, avfilter_graph_create_filter)   \
  F(ltAVFilter, avfilter_graph_alloc_filter)    \
  F(ltAVFilter, avfilter_init_str)              \
  F(ltAVFilter, avfilter_graph_parse_ptr)       \
  F(ltAVFilter, avfilter_graph_config)          \
  F(ltAVFilter, avfilter_link)                  \
  F(ltAVFilter, avfilter_inout_alloc)           \
  F(ltAVFilter, avfilter_inout_free)            \
  F(ltAVFilter, av_buffersrc_add_frame_flags)   \
  F(ltAVFilter, av_buffersink_get_frame)        \
  F(ltAVFilter, av_buffersink_get_time_base)    \
  F(ltAVFilter, av_buffersink_get_w)            \
  F(ltAVFilter, av_buffersink_get_h)            \
  /* avformat */                                \
  F(ltAVFormat, avformat_version)               \
  F(ltAVFormat, avformat_alloc_context)         \
  F(ltAVFormat, avformat_free_context)          \
  F(ltAVFormat, avformat_open_input)            \
  F(ltAVFormat, avformat_close_input)           \
  F(ltAVFormat, avformat_find_stream_info)      \
  F(ltAVFormat, av_find_input_format)           \
  F(ltAVFormat, av_read_frame)                  \
  F(ltAVFormat, av_seek_frame)                  \
  F(ltAVFormat, avio_alloc_context)             \
  F(ltAVFormat, avio_context_free)              \
  F(ltAVFormat, avio_open2)                     \
  F(ltAVFormat, avio_closep)                    \
  F(ltAVFormat, avio_flush)                     \
  F(ltAVFormat, avio_read)                      \
  F(ltAVFormat, avio_write)                     \
  F(ltAVFormat, avio_seek)                      \
  F(ltAVFormat, avio_size)                      \
  F(ltAVFormat, avio_enum_protocols)            \
  F(ltAVFormat, av_guess_format)                \
  F(ltAVFormat, av_guess_codec)                 \
  F(ltAVFormat, av_filename_number_test)        \
  F(ltAVFormat, avformat_alloc_output_context2) \
  F(ltAVFormat, avformat_new_stream)            \
  F(ltAVFormat, avformat_write_header)          \
  F(ltAVFormat, av_interleaved_write_frame)     \
  F(ltAVFormat, av_write_trailer)               \
  F(ltAVFormat, av_dump_format)                 \
  F(ltAVFormat, av_muxer_iterate)               \
  F(ltAVFormat, av_codec_get_tag)               \
  F(ltAVFormat, av_codec_get_id)                \
  F(ltAVFormat, av_pkt_dump_log2)               \
  F(ltAVFormat, av_sdp_create)                  \
  F(ltAVFormat, av_stream_get_end_pts)          \
  F(ltAVFormat, av_stream_get_parser)           \
  F(ltAVFormat, av_stream_get_side_data)        \
  F(ltAVFormat, av_stream_new_side_data)        \
  F(ltAVFormat, avformat_query_codec)           \
  /* avutil */                                  \
  F(ltAVUtil, avutil_version)                   \
  F(ltAVUtil, av_version_info)                  \
  F(ltAVUtil, av_log)                           \
  F(ltAVUtil, av_display_rotation_get)          \
  F(ltAVUtil, av_cpu_count)                     \
  F(ltAVUtil, av_log_set_callback)              \
  F(ltAVUtil, av_log_set_level)                 \
  F(ltAVUtil, av_log_get_level)                 \
  F(ltAVUtil, av_log_default_callback)          \
  F(ltAVUtil, av_log_format_line2)              \
  F(ltAVUtil, av_malloc)                        \
  F(ltAVUtil, av_mallocz)                       \
  F(ltAVUtil, av_free)                          \
  F(ltAVUtil, av_freep)                         \
  F(ltAVUtil, av_strdup)                        \
  F(ltAVUtil, av_strerror)                      \
  F(ltAVUtil, av_rescale)                       \
  F(ltAVUtil, av_rescale_q)                     \
  F(ltAVUtil, av_reduce)                        \
  F(ltAVUtil, av_d2q)                           \
  F(ltAVUtil, av_find_nearest_q_idx)            \
  F(ltAVUtil, av_channel_layout_from_mask)      \
  F(ltAVUtil, av_channel_layout_default)        \
  F(ltAVUtil, av_channel_layout_describe)       \
  F(ltAVUtil, av_channel_layout_uninit)         \
  F(ltAVUtil, av_frame_alloc)                   \
  F(ltAVUtil, av_frame_free)                    \
  F(ltAVUtil, av_frame_unref)                   \
  F(ltAVUtil, av_frame_get_buffer)              \
  F(ltAVUtil, av_image_get_buffer_size)         \
  F(ltAVUtil, av_image_fill_arrays)             \
  F(ltAVUtil, av_dict_get)                      \
  F(ltAVUtil, av_dict_set)                      \
  F(ltAVUtil, av_dict_free)                     \
  F(ltAVUtil, av_get_pix_fmt_name)              \
  F(ltAVUtil, av_gettime)                       \
  F(ltAVUtil, av_parse_time)                    \
  F(ltAVUtil, av_parse_video_size)              \
  F(ltAVUtil, av_parse_video_rate)              \
  F(ltAVUtil, av_get_pix_fmt)                   \
  F(ltAVUtil, av_get_pix_fmt_string)            \
  F(ltAVUtil, av_pix_fmt_desc_get)              \
  F(ltAVUtil, av_get_sample_fmt)                \
  F(ltAVUtil, av_get_sample_fmt_string)         \
  F(ltAVUtil, av_opt_find)                      \
  F(ltAVUtil, av_opt_set)                       \
  F(ltAVUtil, av_opt_set_int)                   \
  F(ltAVUtil, av_opt_set_bin)                   \
  F(ltAVUtil, av_opt_get)                       \
  F(ltAVUtil, av_opt_get_int)                   \
  F(ltAVUtil, av_opt_set_defaults2)             \
  F(ltAVUtil, av_fifo_alloc2)                   \
  F(ltAVUtil, av_fifo_freep2)                   \
  F(ltAVUtil, av_fifo_can_read)                 \
  F(ltAVUtil, av_fifo_can_write)                \
  F(ltAVUtil, av_fifo_write)                    \
  F(ltAVUtil, av_fifo_read)                     \
  F(ltAVUtil, av_fifo_grow2)                    \
  F(ltAVUtil, av_fifo_reset2)                   \
  F(ltAVUtil, av_fifo_drain2)                   \
  F(ltAVUtil, av_get_bytes_per_sample)          \
  F(ltAVUtil, av_get_sample_fmt_name)           \
  F(ltAVUtil, av_sample_fmt_is_planar)          \
  F(ltAVUtil, av_samples_get_buffer_size)       \
  F(ltAVUtil, av_samples_set_silence)           \
  F(ltAVUtil, av_frame_ref)                     \
  F(ltAVUtil, av_frame_move_ref)                \
  F(ltAVUtil, av_frame_clone)                   \
  F(ltAVUtil, av_frame_make_writable)           \
  F(ltAVUtil, av_frame_copy)                    \
  F(ltAVUtil, av_frame_copy_props)              \
  F(ltAVUtil, av_image_copy)                    \
  F(ltAVUtil, av_image_alloc)                   \
  F(ltAVUtil, av_image_fill_linesizes)          \
  F(ltAVUtil, av_get_picture_type_char)         \
  F(ltAVUtil, av_usleep)                        \
  F(ltAVUtil, av_compare_ts)                    \
  F(ltAVUtil, av_rescale_rnd)                   \
  F(ltAVUtil, av_channel_layout_copy)           \
  F(ltAVUtil, av_channel_layout_compare)        \
  F(ltAVUtil, av_dict_copy)                     \
  F(ltAVUtil, av_realloc)                       \
  F(ltAVUtil, av_reallocp)                      \
  /* swscale */                                 \
  F(ltSwScale, swscale_version)                 \
  F(ltSwScale, sws_getContext)                  \
  F(ltSwScale, sws_getCachedContext)            \
  F(ltSwScale, sws_freeContext)                 \
  F(ltSwScale, sws_scale)                       \
  /* swresample */                              \
  F(ltSwResample, swresample_version)           \
  F(ltSwResample, swr_alloc_set_opts2)          \
  F(ltSwResample, swr_init)                     \
  F(ltSwResample, swr_free)                     \
  F(ltSwResample, swr_convert)                  \
  F(ltSwResample, swr_set_compensation)         \
  F(ltSwResample, swr_get_delay)                \
  F(ltSwResample, swr_convert_frame)            \
  F(ltSwResample, swr_config_frame)             \
  F(ltSwResample, swr_alloc)                    \
  F(ltSwResample, swr_is_initialized)           \
  /* myutil: served by the C runtime */         \
  R(ltMyUtil, my_fclose, fclose)                \
  R(ltMyUtil, my_fopen, fopen)                  \
  R(ltMyUtil, my_fprintf, fprintf)              \
  R(ltMyUtil, my_fread, fread)                  \
  R(ltMyUtil, my_fseek, fseek)                  \
  R(ltMyUtil, my_ftell, ftell)                  \
  R(ltMyUtil, my_fwrite, fwrite)                \
  R(ltMyUtil, my_snprintf, snprintf)            \
  R(ltMyUtil, my_strtod, strtod)                \
  R(ltMyUtil, my_strtok, strtok)                \
  R(ltMyUtil, my_strtol, strtol)                \
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
