#include "preview/player/FrameBufferPool.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace {

constexpr std::size_t hugePage = std::size_t(2) << 20;
// libavcodec's widest SIMD alignment, which its own pool adds to every plane as slack.
constexpr std::size_t strideAlign = 64;

#ifdef MADV_HUGEPAGE
// The mapping's length travels as the buffer's opaque pointer.
void unmapPlane(void* length, std::uint8_t* data) {
    munmap(data, reinterpret_cast<std::uintptr_t>(length));
}

std::uintptr_t roundUp(std::uintptr_t value, std::uintptr_t unit) {
    return (value + unit - 1) / unit * unit;
}

// A mapping of its own, which goes back to the system with the plane: in the heap, the range
// would stay marked for huge pages after it is freed, and whatever small allocation came to live
// there next would fault in a whole huge page. Fresh pages come zeroed from the system, so nothing
// is written here.
AVBufferRef* allocatePlane(std::size_t size) {
    if (size < hugePage)
        return av_buffer_allocz(size);
    const auto page = std::uintptr_t(sysconf(_SC_PAGESIZE));
    void* base =
        mmap(nullptr, size + hugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED)
        return nullptr;
    // Starting on a huge page, so that every whole one in the plane can be one; the plane's last
    // part stays in small pages rather than take up to a huge page more.
    const auto start = reinterpret_cast<std::uintptr_t>(base);
    const std::uintptr_t aligned = roundUp(start, hugePage);
    const std::uintptr_t end = roundUp(aligned + size, page);
    if (aligned > start)
        munmap(base, aligned - start);
    if (const std::uintptr_t mappedEnd = roundUp(start + size + hugePage, page); mappedEnd > end)
        munmap(reinterpret_cast<void*>(end), mappedEnd - end);
    auto* data = reinterpret_cast<std::uint8_t*>(aligned);
    madvise(data, size / hugePage * hugePage, MADV_HUGEPAGE);
    AVBufferRef* buffer =
        av_buffer_create(data, size, unmapPlane, reinterpret_cast<void*>(end - aligned), 0);
    if (!buffer)
        munmap(data, end - aligned);
    return buffer;
}
#else
AVBufferRef* allocatePlane(std::size_t size) {
    return av_buffer_allocz(size);
}
#endif

} // namespace

FrameBufferPool::~FrameBufferPool() {
    release();
}

void FrameBufferPool::installOn(AVCodecContext* context) {
    context->opaque = this;
    context->get_buffer2 = getBuffer;
#if LIBAVCODEC_VERSION_MAJOR < 60
    // Without this, libavcodec 59 takes every frame thread's request through the thread that
    // sends packets and frees buffers only there, late: at 8K that held some 150 MB more.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    context->thread_safe_callbacks = 1;
#pragma GCC diagnostic pop
#endif
}

void FrameBufferPool::release() {
    // Buffers still out keep their pool until they come back.
    for (AVBufferPool*& plane : planes_)
        av_buffer_pool_uninit(&plane);
    format_ = -1;
}

// The layout libavcodec's default buffers have: the codec's own padding of the picture, line
// lengths that meet every plane's alignment together, and slack after each plane for SIMD reads.
bool FrameBufferPool::fitTo(AVCodecContext* context, const AVFrame* frame) {
    if (frame->format == format_ && frame->width == width_ && frame->height == height_)
        return true;
    release();
    int width = frame->width;
    int height = frame->height;
    int linesizeAlign[AV_NUM_DATA_POINTERS] = {};
    avcodec_align_dimensions2(context, &width, &height, linesizeAlign);
    const auto format = AVPixelFormat(frame->format);
    int linesizes[4] = {};
    for (bool unaligned = true; unaligned;) {
        if (av_image_fill_linesizes(linesizes, format, width) < 0)
            return false;
        // Widens by the lowest set bit of the width, as libavcodec does, until all planes align.
        width += width & ~(width - 1);
        unaligned = false;
        for (int i = 0; i < 4; ++i)
            unaligned |= linesizeAlign[i] > 0 && linesizes[i] % linesizeAlign[i] != 0;
    }
    std::size_t sizes[4] = {};
    const std::ptrdiff_t strides[4] = {linesizes[0], linesizes[1], linesizes[2], linesizes[3]};
    if (av_image_fill_plane_sizes(sizes, format, height, strides) < 0 || sizes[0] == 0)
        return false;
    for (int i = 0; i < 4; ++i) {
        linesizes_[std::size_t(i)] = linesizes[i];
        if (sizes[i] == 0)
            continue;
        planes_[std::size_t(i)] =
            av_buffer_pool_init(sizes[i] + 16 + strideAlign - 1, allocatePlane);
        if (!planes_[std::size_t(i)]) {
            release();
            return false;
        }
    }
    format_ = frame->format;
    width_ = frame->width;
    height_ = frame->height;
    return true;
}

int FrameBufferPool::getBuffer(AVCodecContext* context, AVFrame* frame, int flags) {
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(AVPixelFormat(frame->format));
    if (context->codec_type != AVMEDIA_TYPE_VIDEO || !context->codec ||
        !(context->codec->capabilities & AV_CODEC_CAP_DR1) || frame->hw_frames_ctx || !descriptor ||
        (descriptor->flags & AV_PIX_FMT_FLAG_HWACCEL))
        return avcodec_default_get_buffer2(context, frame, flags);
    auto* self = static_cast<FrameBufferPool*>(context->opaque);
    // Frame threads ask from their own threads.
    const std::lock_guard lock(self->mutex_);
    if (!self->fitTo(context, frame))
        return avcodec_default_get_buffer2(context, frame, flags);
    for (std::size_t i = 0; i < 4; ++i) {
        if (!self->planes_[i]) {
            frame->data[i] = nullptr;
            frame->linesize[i] = 0;
            continue;
        }
        frame->buf[i] = av_buffer_pool_get(self->planes_[i]);
        if (!frame->buf[i]) {
            for (AVBufferRef*& taken : frame->buf)
                av_buffer_unref(&taken);
            return AVERROR(ENOMEM);
        }
        frame->data[i] = frame->buf[i]->data;
        frame->linesize[i] = self->linesizes_[i];
    }
    for (std::size_t i = 4; i < AV_NUM_DATA_POINTERS; ++i) {
        frame->data[i] = nullptr;
        frame->linesize[i] = 0;
    }
    frame->extended_data = frame->data;
    return 0;
}
