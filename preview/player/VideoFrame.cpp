#include "preview/player/VideoFrame.h"

VideoFrame VideoFrame::preparedAs(std::shared_ptr<const PreparedPicture> prepared) const {
    if (!frame_)
        return {};
    AVFrame* described = av_frame_alloc();
    if (!described || av_frame_copy_props(described, frame_.get()) < 0) {
        av_frame_free(&described);
        return {};
    }
    described->width = frame_->width;
    described->height = frame_->height;
    described->format = frame_->format;
    VideoFrame made(described);
    made.prepared_ = std::move(prepared);
    return made;
}
