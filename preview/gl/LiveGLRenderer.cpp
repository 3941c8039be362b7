#include "preview/gl/LiveGLRenderer.h"

#include "model/PlatformTexts.h"
#include "model/UserError.h"
#include "preview/gl/FrameUpload.h"
#include "preview/gl/PreviewShaderSource.h"
#include "preview/gl/PreviewUniforms.h"

#include <QImage>
#include <QOpenGLContext>
#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLShaderProgram>
#include <QOpenGLVersionFunctionsFactory>
#include <QOpenGLVertexArrayObject>

#include <algorithm>
#include <array>

namespace {

// Draws whose fences have not signalled after this many newer ones are waited for, so that a
// context that is never flushed cannot pile up frames.
constexpr std::size_t maximumDrawsInFlight = 32;
constexpr GLuint64 oneSecond = 1'000'000'000;
// The player's queue (two) and the one shown. The next frame comes as one leaves the queue for
// the screen, and the frame shown before goes once its draws finish; an upload in between (while
// playing, or behind a frame already queued) waits that moment for its textures rather than make
// a fourth frame's, which would hold its memory for good. Never for the frame the window is to
// draw next: it lets go of the frame it showed only as it draws that very frame.
constexpr int framesAliveAtOnce = 3;

QOpenGLFunctions_3_3_Core* functionsOf(QOpenGLContext* context) {
    return QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(context);
}

} // namespace

LiveGLRenderer::LiveGLRenderer() : upload_(GLUploadContext::create()) {
    if (!upload_) {
        throw PreviewError(PlatformTexts::text(PlatformTexts::Text::rendererNotCreated));
    }
    ScopedCurrentContext current(upload_->context(), upload_->surface());
    if (!current.isCurrent()) {
        throw PreviewError(PlatformTexts::text(PlatformTexts::Text::rendererNotCreated));
    }
    buildPrograms();
    buildSampler();
    const GLUploadContext::TextureShape probe{GL_R8, 2, 2};
    GLuint texture = 0;
    const bool ran = upload_->run(
        [&](QOpenGLFunctions_3_3_Core& gl) { texture = upload_->takeTexture(gl, probe); });
    if (!ran || texture == 0) {
        throw PreviewError(QStringLiteral("Could not create a shared video texture cache."));
    }
    upload_->recycleTexture(probe, texture);
}

LiveGLRenderer::~LiveGLRenderer() {
    ScopedCurrentContext current(upload_->context(), upload_->surface());
    if (current.isCurrent()) {
        current_.reset();
        retireFinishedDraws(true);
        if (sampler_ != 0) {
            upload_->functions()->glDeleteSamplers(1, &sampler_);
            upload_->functions()->glDeleteSamplers(1, &nearestSampler_);
        }
        overlay_.destroy(*upload_->functions());
    }
    programs_ = {};
    vertexArrays_.clear();
}

void LiveGLRenderer::buildPrograms() {
    using PreviewShaderSource::Picture;
    for (Picture picture : {Picture::view, Picture::sphere, Picture::overlaidSphere})
        programs_[int(picture)] = buildProgram(picture);
}

LiveGLRenderer::Program LiveGLRenderer::buildProgram(PreviewShaderSource::Picture picture) {
    Program made{std::make_unique<QOpenGLShaderProgram>()};
    QOpenGLShaderProgram& program = *made.program;
    using namespace PreviewShaderSource;
    if (!program.addShaderFromSourceCode(QOpenGLShader::Vertex, variant(vertex, picture)) ||
        !program.addShaderFromSourceCode(QOpenGLShader::Fragment, variant(fragment, picture)) ||
        !program.link()) {
        const QString log = program.log().trimmed();
        throw PreviewError(log.isEmpty() ? QStringLiteral("The preview shader could not be built.")
                                         : log);
    }
    made.rotationFov = program.uniformLocation("uniforms.rotationFov");
    made.aspect = program.uniformLocation("uniforms.aspect");
    made.yCbCrMatrix = program.uniformLocation("yCbCrMatrix");
    made.yCbCrOffset = program.uniformLocation("yCbCrOffset");
    // Sampler bindings are program state, shared by every context of the group.
    program.bind();
    program.setUniformValue("lumaPlane", lumaUnit);
    program.setUniformValue("chromaPlane", chromaUnit);
    program.setUniformValue("overlayPlane", overlayUnit);
    program.release();
    return made;
}

void LiveGLRenderer::buildSampler() {
    QOpenGLFunctions_3_3_Core* gl = upload_->functions();
    const auto make = [gl](GLuint& sampler, GLint filter, GLint wrapS) {
        gl->glGenSamplers(1, &sampler);
        if (sampler == 0) {
            throw PreviewError(QStringLiteral("Could not create the video preview sampler."));
        }
        gl->glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, filter);
        gl->glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, filter);
        gl->glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, wrapS);
        gl->glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    };
    // Longitude wraps around the ±180° seam; latitude stops at the poles.
    make(sampler_, GL_LINEAR, GL_REPEAT);
    // The overview picks the nearest texel of each plane.
    make(nearestSampler_, GL_NEAREST, GL_CLAMP_TO_EDGE);
}

QOpenGLContext* LiveGLRenderer::glContext() const {
    return upload_->context();
}

QSurface* LiveGLRenderer::offscreenSurface() const {
    return upload_->surface();
}

void LiveGLRenderer::showFrame(const VideoFrame& pixels, double time) {
    current_ = makeGLFrame(pixels, time);
}

void LiveGLRenderer::clearFrame() {
    current_.reset();
}

std::shared_ptr<const LiveGLFrame> LiveGLRenderer::makeGLFrame(const VideoFrame& pixels,
                                                               double time) {
    if (auto made = std::dynamic_pointer_cast<const LiveGLFrame>(pixels.prepared());
        made && made->uploadContext() == upload_.get()) {
        return made;
    }
    auto made = FrameUpload::upload(upload_, pixels, time);
    upload_->countUpload();
    return made;
}

FramePreparer LiveGLRenderer::framePreparer() const {
    if (!upload_->uploadsOffMainThread()) {
        return {};
    }
    // Weak, so that a decoding thread still ending never keeps the contexts alive: they belong
    // to the GUI thread.
    const std::weak_ptr<GLUploadContext> context = upload_;
    FramePreparer preparer;
    preparer.expect = [context](int width, int height, AVPixelFormat format) {
        if (const std::shared_ptr<GLUploadContext> upload = context.lock()) {
            upload->reserve(FrameUpload::textureShapes(format, width, height), framesAliveAtOnce);
        }
    };
    preparer.prepare = [context](const VideoFrame& pixels, double time,
                                 bool mayWait) -> std::shared_ptr<const PreparedPicture> {
        const std::shared_ptr<GLUploadContext> upload = context.lock();
        if (!upload) {
            return nullptr;
        }
        try {
            auto made = FrameUpload::upload(upload, pixels, time, mayWait);
            upload->countUpload();
            return made;
        } catch (const std::exception&) {
            // The frame then comes with its pixels, and showing it uploads it again on the main
            // thread, where a failure is reported to the user.
            return nullptr;
        }
    };
    return preparer;
}

void LiveGLRenderer::draw(const std::shared_ptr<const LiveGLFrame>& frame, const ViewAngles& angles,
                          QSize size) {
    if (!PreviewUniforms::isDrawable(angles, size.width(), size.height())) {
        drawPass(nullptr, size, std::nullopt);
        return;
    }
    drawPass(frame, size, PreviewUniforms::forView(angles, size.width(), size.height()));
}

void LiveGLRenderer::drawWholeSphere(const std::shared_ptr<const LiveGLFrame>& frame, QSize size,
                                     const QImage& overlay) {
    QOpenGLContext* context = QOpenGLContext::currentContext();
    if (!context || !QOpenGLContext::areSharing(context, upload_->context())) {
        return;
    }
    if (QOpenGLFunctions_3_3_Core* gl = functionsOf(context)) {
        overlay_.update(*gl, overlay);
        drawPass(frame, size, std::nullopt);
    }
}

void LiveGLRenderer::warmUp(bool wholeSphere) {
    try {
        if (!warmUpFrame_) {
            // Sides that are not powers of two, like every real source: the compiled code
            // depends on that.
            AVFrame* pixels = av_frame_alloc();
            if (!pixels) {
                return;
            }
            pixels->format = AV_PIX_FMT_YUV420P;
            pixels->width = pixels->height = 6;
            const VideoFrame frame(pixels);
            if (av_frame_get_buffer(pixels, 0) < 0) {
                return;
            }
            for (int plane = 0; plane < 3; ++plane) {
                std::fill_n(pixels->data[plane], pixels->linesize[plane] * (plane ? 3 : 6), 128);
            }
            warmUpFrame_ = FrameUpload::upload(upload_, frame, 0);
        }
    } catch (const std::exception&) {
        // Nothing is lost: the code is then compiled with the first picture.
        return;
    }
    warmingUp_ = true;
    if (wholeSphere) {
        // Both programs of the overview: where the overlay has detail and where it is flat. Its
        // sides are not powers of two either, like every real overlay.
        QImage detailed(3, 3, QImage::Format_ARGB32_Premultiplied);
        detailed.fill(Qt::transparent);
        detailed.setPixel(1, 1, qRgba(255, 255, 255, 255));
        drawWholeSphere(warmUpFrame_, QSize(3, 3), detailed);
        drawWholeSphere(warmUpFrame_, QSize(1, 1));
    } else {
        draw(warmUpFrame_, ViewAngles{0, 0, 0, 90}, QSize(1, 1));
    }
    warmingUp_ = false;
}

void LiveGLRenderer::drawPass(const std::shared_ptr<const LiveGLFrame>& frame, QSize size,
                              const std::optional<PreviewUniforms>& view) {
    QOpenGLContext* context = QOpenGLContext::currentContext();
    if (!context || !QOpenGLContext::areSharing(context, upload_->context())) {
        return;
    }
    QOpenGLFunctions_3_3_Core* gl = functionsOf(context);
    if (!gl) {
        return;
    }
    retireFinishedDraws(false);

    gl->glViewport(0, 0, std::max(size.width(), 0), std::max(size.height(), 0));
    gl->glDisable(GL_SCISSOR_TEST);
    gl->glDisable(GL_BLEND);
    gl->glDisable(GL_DEPTH_TEST);
    QOpenGLVertexArrayObject* vertexArray =
        frame && !size.isEmpty() ? vertexArrayFor(context) : nullptr;
    if (!vertexArray) {
        gl->glClearColor(emptyGrey, emptyGrey, emptyGrey, 1.0f);
        gl->glClear(GL_COLOR_BUFFER_BIT);
        return;
    }
    // The one triangle covers every pixel of the target, so no clear comes first: on a software
    // renderer that would be a pass of its own.

    if (frame->uploadFence()) {
        gl->glWaitSync(frame->uploadFence(), 0, GL_TIMEOUT_IGNORED);
    }
    const PreviewUniforms uniforms = view.value_or(PreviewUniforms{});
    const YCbCrConversion& conversion = frame->conversion();
    const auto use = [&](PreviewShaderSource::Picture picture) {
        const Program& program = programs_[int(picture)];
        program.program->bind();
        gl->glUniform4fv(program.rotationFov, 1, uniforms.rotationFov.data());
        gl->glUniform2fv(program.aspect, 1, uniforms.aspect.data());
        gl->glUniformMatrix3fv(program.yCbCrMatrix, 1, GL_FALSE, conversion.matrix.data());
        gl->glUniform3fv(program.yCbCrOffset, 1, conversion.offset.data());
    };

    const std::vector<LiveGLFrame::Plane>& planes = frame->planes();
    const std::array<GLuint, 3> textures = {planes[0].texture, planes[1].texture,
                                            overlay_.texture()};
    const std::array<int, 3> units = {PreviewShaderSource::lumaUnit,
                                      PreviewShaderSource::chromaUnit,
                                      PreviewShaderSource::overlayUnit};
    for (std::size_t i = 0; i < textures.size(); ++i) {
        gl->glActiveTexture(GL_TEXTURE0 + GLenum(units[i]));
        gl->glBindTexture(GL_TEXTURE_2D, textures[i]);
        gl->glBindSampler(GLuint(units[i]), view ? sampler_ : nearestSampler_);
    }
    vertexArray->bind();
    if (view) {
        use(PreviewShaderSource::Picture::view);
        gl->glDrawArrays(GL_TRIANGLES, 0, 3);
    } else {
        for (bool textured : {false, true}) {
            if (overlay_.tileCount(textured) > 0) {
                use(textured ? PreviewShaderSource::Picture::overlaidSphere
                             : PreviewShaderSource::Picture::sphere);
                overlay_.drawTiles(*gl, textured, PreviewShaderSource::tileAttribute,
                                   PreviewShaderSource::tintAttribute);
            }
        }
    }
    vertexArray->release();
    for (std::size_t i = textures.size(); i-- > 0;) {
        gl->glActiveTexture(GL_TEXTURE0 + GLenum(units[i]));
        gl->glBindTexture(GL_TEXTURE_2D, 0);
        gl->glBindSampler(GLuint(units[i]), 0);
    }
    gl->glUseProgram(0);

    inFlight_.push_back({gl->glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0), frame});
    // Starts the work now, which also lets the fence signal without waiting for a swap.
    gl->glFlush();
    if (!warmingUp_) {
        ++drawCount_;
    }
}

QOpenGLVertexArrayObject* LiveGLRenderer::vertexArrayFor(QOpenGLContext* context) {
    auto found = vertexArrays_.find(context);
    if (found != vertexArrays_.end()) {
        return found->second.get();
    }
    auto vertexArray = std::make_unique<QOpenGLVertexArrayObject>();
    if (!vertexArray->create()) {
        return nullptr;
    }
    QObject::connect(
        context, &QOpenGLContext::aboutToBeDestroyed, &contextWatcher_,
        [this, context] { vertexArrays_.erase(context); }, Qt::DirectConnection);
    return vertexArrays_.emplace(context, std::move(vertexArray)).first->second.get();
}

void LiveGLRenderer::retireFinishedDraws(bool waitForAll) {
    QOpenGLFunctions_3_3_Core* gl = functionsOf(QOpenGLContext::currentContext());
    const auto finished = [&](const InFlightDraw& draw, bool wait) {
        if (!draw.fence) {
            return true;
        }
        if (wait) {
            gl->glClientWaitSync(draw.fence, GL_SYNC_FLUSH_COMMANDS_BIT, oneSecond);
            return true;
        }
        GLint status = GL_UNSIGNALED;
        gl->glGetSynciv(draw.fence, GL_SYNC_STATUS, 1, nullptr, &status);
        return status == GL_SIGNALED;
    };
    std::size_t index = 0;
    std::erase_if(inFlight_, [&](const InFlightDraw& draw) {
        const bool overdue = inFlight_.size() - index++ > maximumDrawsInFlight;
        if (!finished(draw, waitForAll || overdue)) {
            return false;
        }
        if (draw.fence) {
            gl->glDeleteSync(draw.fence);
        }
        return true;
    });
}
