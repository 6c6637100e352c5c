#pragma once
// Owners of the media libraries' objects: unique_ptr with deleters that call through the function
// table. A deleter does nothing when its library is no longer bound.

#include <memory>

struct AVCodecContext;
struct AVFilterGraph;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;
struct SwrContext;
struct AVFifo;

namespace ok {

// Closes an opened input (also its "unicode" byte stream).
struct TInputContextCloser {
  void operator()(AVFormatContext* ctx) const;
};
// Frees a codec context under the codec lock: closing a codec must not race another task's open.
struct TCodecContextFree {
  void operator()(AVCodecContext* ctx) const;
};
struct TFrameFree {
  void operator()(AVFrame* frame) const;
};
struct TPacketFree {
  void operator()(AVPacket* packet) const;
};
struct TSwsContextFree {
  void operator()(SwsContext* ctx) const;
};
// A filter graph with every filter in it.
struct TFilterGraphFree {
  void operator()(AVFilterGraph* graph) const;
};
struct TSwrContextFree {
  void operator()(SwrContext* ctx) const;
};
struct TFifoFree {
  void operator()(AVFifo* fifo) const;
};
// Memory from av_malloc.
struct TAVFree {
  void operator()(void* memory) const;
};

using TInputContextPtr = std::unique_ptr<AVFormatContext, TInputContextCloser>;
using TCodecContextPtr = std::unique_ptr<AVCodecContext, TCodecContextFree>;
using TFramePtr = std::unique_ptr<AVFrame, TFrameFree>;
using TPacketPtr = std::unique_ptr<AVPacket, TPacketFree>;
using TSwsContextPtr = std::unique_ptr<SwsContext, TSwsContextFree>;
using TFilterGraphPtr = std::unique_ptr<AVFilterGraph, TFilterGraphFree>;
using TSwrContextPtr = std::unique_ptr<SwrContext, TSwrContextFree>;
using TFifoPtr = std::unique_ptr<AVFifo, TFifoFree>;
template <typename T>
using TAVMemoryPtr = std::unique_ptr<T, TAVFree>;

}  // namespace ok
