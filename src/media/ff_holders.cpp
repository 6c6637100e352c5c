#include "media/ff_holders.h"

#include <mutex>

#include "media/ff_functions.h"
#include "media/ff_loader.h"
#include "media/lib_file_name.h"

namespace ok {

void TInputContextCloser::operator()(AVFormatContext* ctx) const {
  if (ctx && FF.avformat_close_input) CloseInputContext(&ctx);
}

void TCodecContextFree::operator()(AVCodecContext* ctx) const {
  if (!ctx || !FF.avcodec_free_context) return;
  std::lock_guard<std::mutex> lock(FFLoader.CodecLock);
  FF.avcodec_free_context(&ctx);
}

void TFrameFree::operator()(AVFrame* frame) const {
  if (frame && FF.av_frame_free) FF.av_frame_free(&frame);
}

void TPacketFree::operator()(AVPacket* packet) const {
  if (packet && FF.av_packet_free) FF.av_packet_free(&packet);
}

void TSwsContextFree::operator()(SwsContext* ctx) const {
  if (ctx && FF.sws_freeContext) FF.sws_freeContext(ctx);
}

void TFilterGraphFree::operator()(AVFilterGraph* graph) const {
  if (graph && FF.avfilter_graph_free) FF.avfilter_graph_free(&graph);
}

void TSwrContextFree::operator()(SwrContext* ctx) const {
  if (ctx && FF.swr_free) FF.swr_free(&ctx);
}

void TFifoFree::operator()(AVFifo* fifo) const {
  if (fifo && FF.av_fifo_freep2) FF.av_fifo_freep2(&fifo);
}

void TAVFree::operator()(void* memory) const {
  if (memory && FF.av_free) FF.av_free(memory);
}

}  // namespace ok
