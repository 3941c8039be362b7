#pragma once

#include "model/ViewAngles.h"
#include "preview/PreviewRenderer.h"
#include "preview/gl/GLUploadContext.h"
#include "preview/gl/LiveGLFrame.h"
#include "preview/gl/OverlayLayer.h"
#include "preview/gl/PreviewShaderSource.h"
#include "preview/gl/PreviewUniforms.h"

#include <QImage>
#include <QObject>
#include <QSize>

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>

class QOpenGLContext;
class QOpenGLFunctions_3_3_Core;
class QOpenGLShaderProgram;
class QOpenGLVertexArrayObject;

// The GPU side of the live preview, made once per preview engine: the projection shader, one
// sampler, the upload context whose textures every preview surface samples, and the frame they
// all draw now. Main thread only.
class LiveGLRenderer final : public PreviewRenderer {
public:
    // Throws PreviewError when no OpenGL context can be made or the shader does not build.
    LiveGLRenderer();
    ~LiveGLRenderer() override;
    LiveGLRenderer(const LiveGLRenderer&) = delete;
    LiveGLRenderer& operator=(const LiveGLRenderer&) = delete;

    void showFrame(const VideoFrame& pixels, double time) override;
    void clearFrame() override;
    // The frame the views draw now, or nothing.
    const std::shared_ptr<const LiveGLFrame>& currentFrame() const { return current_; }

    // The frame's planes in textures: those the player's preparer uploaded on the decoding
    // thread, else uploaded now. Throws PreviewError when that fails.
    std::shared_ptr<const LiveGLFrame> makeGLFrame(const VideoFrame& pixels, double time);
    // Uploads each frame on the upload thread, with the decoding thread waiting.
    FramePreparer framePreparer() const override;

    // The context every drawing context must share with.
    QOpenGLContext* glContext() const;
    QSurface* offscreenSurface() const;

    // Draws one view into the framebuffer bound in the current context, over a target of `size`
    // device pixels: clears it to the empty colour, then, with a frame, a drawable size and
    // finite angles, runs the projection. The frame is kept until the GPU has finished the draw.
    // Does nothing when the current context is not in this renderer's share group.
    void draw(const std::shared_ptr<const LiveGLFrame>& frame, const ViewAngles& angles,
              QSize size);
    // The same, but the whole source as it is (the equirectangular picture), for the overview,
    // with `overlay` (premultiplied, stretched over the target) laid over it in the same pass. The
    // overlay is uploaded again only when it has changed since the last draw.
    void drawWholeSphere(const std::shared_ptr<const LiveGLFrame>& frame, QSize size,
                         const QImage& overlay = {});

    // In a new drawing context of this share group: draws a tiny frame where nobody sees it, so
    // that the software renderer compiles its code for this context now, when the surface
    // appears, and not in the middle of showing the first picture of a source.
    void warmUp(bool wholeSphere);

    // Frames uploaded and views projected since construction.
    std::int64_t uploadCount() const { return upload_->uploadCount(); }
    std::int64_t drawCount() const { return drawCount_; }
    std::int64_t texturesMade() const { return upload_->texturesMade(); }
    // How long an upload waits for a frame to be let go when the reserved textures are in use.
    void setLongestWaitForTexture(std::chrono::milliseconds wait) {
        upload_->setLongestWaitForTexture(wait);
    }

    // The colour of a view with nothing to show.
    static constexpr float emptyGrey = 0.015f;

private:
    struct InFlightDraw {
        GLsync fence;
        std::shared_ptr<const LiveGLFrame> frame;
    };

    // A view when given its uniforms, else the whole sphere; without a frame, the empty colour.
    void drawPass(const std::shared_ptr<const LiveGLFrame>& frame, QSize size,
                  const std::optional<PreviewUniforms>& view);
    struct Program {
        std::unique_ptr<QOpenGLShaderProgram> program;
        int rotationFov = -1;
        int aspect = -1;
        int yCbCrMatrix = -1;
        int yCbCrOffset = -1;
    };

    void buildPrograms();
    Program buildProgram(PreviewShaderSource::Picture picture);
    void buildSampler();
    QOpenGLVertexArrayObject* vertexArrayFor(QOpenGLContext* context);
    void retireFinishedDraws(bool waitForAll);

    std::shared_ptr<GLUploadContext> upload_;
    // By [picture][planar chroma].
    std::array<Program, PreviewShaderSource::pictureKinds> programs_;
    GLuint sampler_ = 0;
    GLuint nearestSampler_ = 0;
    // One overlay at a time; an empty image is one transparent texel.
    OverlayLayer overlay_;
    // Vertex array objects are the one thing sharing contexts do not share.
    std::map<QOpenGLContext*, std::unique_ptr<QOpenGLVertexArrayObject>> vertexArrays_;
    QObject contextWatcher_;
    std::deque<InFlightDraw> inFlight_;
    std::shared_ptr<const LiveGLFrame> current_;
    std::shared_ptr<const LiveGLFrame> warmUpFrame_;
    bool warmingUp_ = false;
    std::int64_t drawCount_ = 0;
};
