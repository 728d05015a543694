// The FFmpeg 5.1 entry points the components bind at run time, one list per library.
// Each list takes two macros: REQ(name) for an entry point the library must export, OPT(name) for one
// it may lack. The lists carry no FFmpeg declarations so that test libraries can expand them too.
#pragma once

#define ZV_AVCODEC_ENTRY_POINTS(REQ, OPT)                                                            \
  REQ(av_bsf_alloc) REQ(av_bsf_free) REQ(av_bsf_get_by_name) REQ(av_bsf_init)                       \
  REQ(av_bsf_receive_packet) REQ(av_bsf_send_packet) REQ(av_codec_iterate)                          \
  REQ(av_get_audio_frame_duration2) REQ(av_get_bits_per_sample) REQ(av_get_exact_bits_per_sample)   \
  REQ(av_new_packet) REQ(av_packet_alloc) REQ(av_packet_free) REQ(av_packet_move_ref)               \
  REQ(av_packet_get_side_data) REQ(av_packet_ref) REQ(av_packet_rescale_ts) REQ(av_packet_unref)     \
  OPT(av_rdft_calc) OPT(av_rdft_end) OPT(av_rdft_init)                                              \
  REQ(avcodec_align_dimensions) REQ(avcodec_align_dimensions2) REQ(avcodec_alloc_context3)          \
  REQ(avcodec_close) REQ(avcodec_decode_subtitle2) REQ(avcodec_descriptor_get)                      \
  REQ(avcodec_descriptor_get_by_name) REQ(avcodec_encode_subtitle) REQ(avcodec_fill_audio_frame)    \
  REQ(avcodec_find_decoder) REQ(avcodec_find_decoder_by_name) REQ(avcodec_find_encoder)             \
  REQ(avcodec_find_encoder_by_name) REQ(avcodec_flush_buffers) REQ(avcodec_free_context)            \
  REQ(avcodec_get_class) REQ(avcodec_get_name) REQ(avcodec_open2) REQ(avcodec_parameters_alloc)     \
  REQ(avcodec_parameters_copy) REQ(avcodec_parameters_free) REQ(avcodec_parameters_from_context)    \
  REQ(avcodec_parameters_to_context) REQ(avcodec_receive_frame) REQ(avcodec_receive_packet)         \
  REQ(avcodec_send_frame) REQ(avcodec_send_packet) REQ(avcodec_string) REQ(avsubtitle_free)

#define ZV_AVDEVICE_ENTRY_POINTS(REQ, OPT) REQ(avdevice_register_all)

#define ZV_AVFILTER_ENTRY_POINTS(REQ, OPT)                                                           \
  REQ(av_buffersink_get_ch_layout) REQ(av_buffersink_get_channels) REQ(av_buffersink_get_sample_aspect_ratio) REQ(av_buffersink_get_format)    \
  REQ(av_buffersink_get_frame_flags) REQ(av_buffersink_get_frame_rate) REQ(av_buffersink_get_h)     \
  REQ(av_buffersink_get_sample_rate) REQ(av_buffersink_get_time_base) REQ(av_buffersink_get_w)      \
  REQ(av_buffersink_set_frame_size) REQ(av_buffersrc_add_frame) REQ(av_buffersrc_add_frame_flags)   \
  REQ(av_buffersrc_close) REQ(av_buffersrc_get_nb_failed_requests) REQ(av_buffersrc_write_frame)    \
  REQ(av_filter_iterate) REQ(avfilter_get_by_name) REQ(avfilter_graph_alloc) REQ(avfilter_graph_alloc_filter)                        \
  REQ(avfilter_graph_config) REQ(avfilter_graph_create_filter) REQ(avfilter_graph_free)             \
  REQ(avfilter_graph_parse) REQ(avfilter_graph_parse2) REQ(avfilter_graph_queue_command)            \
  REQ(avfilter_graph_request_oldest) REQ(avfilter_graph_send_command)                               \
  REQ(avfilter_graph_set_auto_convert) REQ(avfilter_inout_alloc) REQ(avfilter_init_str) REQ(avfilter_inout_free)           \
  REQ(avfilter_link) REQ(avfilter_pad_get_name) REQ(avfilter_pad_get_type)

#define ZV_AVFORMAT_ENTRY_POINTS(REQ, OPT)                                                           \
  REQ(av_codec_get_id) REQ(av_codec_get_tag2) REQ(av_demuxer_iterate) REQ(av_dump_format)           \
  REQ(av_filename_number_test) REQ(av_find_best_stream) REQ(av_find_input_format) REQ(av_get_packet) \
  REQ(av_guess_codec) REQ(av_guess_format) REQ(av_interleaved_write_frame) REQ(av_muxer_iterate)    \
  REQ(av_pkt_dump_log2) REQ(av_read_frame) REQ(av_read_pause) REQ(av_read_play) REQ(av_sdp_create)  \
  REQ(av_seek_frame) REQ(av_stream_get_end_pts) REQ(av_write_trailer) REQ(avformat_alloc_context)   \
  REQ(avformat_alloc_output_context2) REQ(avformat_close_input) REQ(avformat_find_stream_info)      \
  REQ(avformat_free_context) REQ(avformat_get_class) REQ(avformat_match_stream_specifier)           \
  REQ(avformat_network_deinit) REQ(avformat_network_init) REQ(avformat_new_stream)                  \
  REQ(avformat_open_input) REQ(avformat_query_codec) REQ(avformat_queue_attached_pictures)          \
  REQ(avformat_seek_file) REQ(avformat_transfer_internal_stream_timing_info)                        \
  REQ(avformat_write_header) REQ(avio_alloc_context) REQ(avio_check) REQ(avio_close)                \
  REQ(avio_close_dyn_buf) REQ(avio_closep) REQ(avio_context_free) REQ(avio_feof) REQ(avio_flush)    \
  REQ(avio_open) REQ(avio_open2) REQ(avio_open_dyn_buf) REQ(avio_printf) REQ(avio_read)             \
  REQ(avio_seek) REQ(avio_size) REQ(avio_w8) REQ(avio_write)

#define ZV_AVUTIL_ENTRY_POINTS(REQ, OPT)                                                             \
  REQ(av_asprintf) REQ(av_bprint_finalize) REQ(av_bprint_init) REQ(av_bprintf)                      \
  REQ(av_channel_layout_compare) REQ(av_channel_layout_copy) REQ(av_channel_layout_default)         \
  REQ(av_channel_layout_describe) REQ(av_frame_copy_props) REQ(av_frame_make_writable)               \
  REQ(av_channel_layout_uninit) REQ(av_compare_ts) REQ(av_d2q) REQ(av_default_item_name)            \
  REQ(av_dict_copy) REQ(av_dict_count) REQ(av_dict_free) REQ(av_dict_get) REQ(av_dict_set)         \
  REQ(av_dict_set_int) REQ(av_expr_eval) REQ(av_expr_free) REQ(av_expr_parse) REQ(av_fast_malloc)  \
  REQ(av_fast_realloc) REQ(av_fifo_alloc2) REQ(av_fifo_can_read) REQ(av_fifo_freep2)                \
  REQ(av_fifo_grow2) REQ(av_fifo_read) REQ(av_fifo_write) REQ(av_find_best_pix_fmt_of_2)            \
  REQ(av_find_nearest_q_idx) REQ(av_force_cpu_flags) REQ(av_frame_alloc) REQ(av_frame_clone)        \
  REQ(av_frame_free) REQ(av_frame_get_buffer) REQ(av_frame_move_ref) REQ(av_frame_ref)              \
  REQ(av_frame_unref) REQ(av_free) REQ(av_freep) REQ(av_gcd) REQ(av_get_bytes_per_sample)           \
  REQ(av_get_cpu_flags) REQ(av_get_media_type_string) REQ(av_get_picture_type_char)                 \
  REQ(av_get_pix_fmt) REQ(av_get_pix_fmt_name) REQ(av_get_pix_fmt_string) REQ(av_get_sample_fmt)    \
  REQ(av_get_sample_fmt_name) REQ(av_get_sample_fmt_string) REQ(av_get_token) REQ(av_gettime)       \
  REQ(av_image_alloc) REQ(av_image_check_size) REQ(av_image_copy) REQ(av_image_copy_plane)          \
  REQ(av_image_copy_to_buffer) REQ(av_image_fill_arrays) REQ(av_image_get_buffer_size)              \
  REQ(av_image_get_linesize) REQ(av_int_list_length_for_size) REQ(av_log)                           \
  REQ(av_log_default_callback) REQ(av_log_get_level) REQ(av_log_set_callback) REQ(av_log_set_level) \
  REQ(av_malloc) REQ(av_mallocz) REQ(av_max_alloc) REQ(av_opt_find) REQ(av_opt_free) REQ(av_opt_get) \
  REQ(av_opt_get_double) REQ(av_opt_get_int) REQ(av_opt_ptr) REQ(av_opt_set) REQ(av_opt_set_bin)    \
  REQ(av_opt_set_defaults) REQ(av_opt_set_dict) REQ(av_opt_set_double) REQ(av_opt_set_int)          \
  REQ(av_parse_cpu_caps) REQ(av_parse_ratio) REQ(av_parse_time) REQ(av_parse_video_rate)            \
  REQ(av_parse_video_size) REQ(av_pix_fmt_desc_get) REQ(av_pix_fmt_get_chroma_sub_sample)           \
  REQ(av_realloc) REQ(av_realloc_f) REQ(av_reduce) REQ(av_rescale) REQ(av_rescale_delta)            \
  REQ(av_rescale_q) REQ(av_rescale_q_rnd) REQ(av_rescale_rnd) REQ(av_samples_get_buffer_size) REQ(av_strcasecmp)          \
  REQ(av_strdup) REQ(av_strlcat) REQ(av_strlcatf) REQ(av_strlcpy) REQ(av_strstart) REQ(av_usleep)

#define ZV_SWRESAMPLE_ENTRY_POINTS(REQ, OPT)                                                         \
  REQ(swr_alloc) REQ(swr_alloc_set_opts2) REQ(swr_convert) REQ(swr_free) REQ(swr_get_class)         \
  REQ(swr_init) REQ(swr_set_channel_mapping) REQ(swr_set_compensation)

#define ZV_SWSCALE_ENTRY_POINTS(REQ, OPT)                                                            \
  REQ(sws_freeContext) REQ(sws_get_class) REQ(sws_getCachedContext) REQ(sws_getContext) REQ(sws_scale)

// Declares one bound entry point as a variable in namespace zv with the C function's own name and type.
#define ZV_DECLARE_ENTRY_POINT(name) inline decltype(&::name) name = nullptr;
