#include "preview/player/FFmpegHandles.h"

#include "model/FileNames.h"

#include <cerrno>
#include <sys/stat.h>

namespace ffmpeg {

namespace {

// Lives as long as the context that asks it.
struct Interrupter {
    std::function<bool()> interrupt;
    bool gaveUp = false;
    static int ask(void* opaque) {
        auto* self = static_cast<Interrupter*>(opaque);
        if (!self->interrupt())
            return 0;
        self->gaveUp = true;
        return 1;
    }
};

} // namespace

FormatContext openInput(const QString& path, QString& error, std::function<bool()> interrupt) {
    // Opening a named pipe or a device would block in the system, where no interrupt reaches.
    struct stat status {};
    if (::stat(FileNames::encodedPath(path).constData(), &status) != 0) {
        error = FileNames::openFailure(path, errno);
        return nullptr;
    }
    if (!S_ISREG(status.st_mode)) {
        error = FileNames::openFailure(path, EISDIR);
        return nullptr;
    }
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw) {
        error = errorText(AVERROR(ENOMEM));
        return nullptr;
    }
    // The context keeps only a pointer; the interrupter is freed with the context through its
    // opaque field, which FFmpeg never touches.
    auto* interrupter = new Interrupter{std::move(interrupt)};
    raw->interrupt_callback = {&Interrupter::ask, interrupter};
    raw->opaque = interrupter;
    // "file:" keeps FFmpeg from reading "name:rest" as a protocol.
    const QByteArray url = QByteArrayLiteral("file:") + FileNames::encodedPath(path);
    const int result = avformat_open_input(&raw, url.constData(), nullptr, nullptr);
    if (result < 0) {
        // FFmpeg freed the context on failure.
        delete interrupter;
        error = errorText(result);
        return nullptr;
    }
    return FormatContext(raw);
}

bool takeInterruption(AVFormatContext* context) {
    auto* interrupter = static_cast<Interrupter*>(context->opaque);
    if (!interrupter || !interrupter->gaveUp)
        return false;
    interrupter->gaveUp = false;
    // A read given up leaves its end-of-file and error marks on the byte stream, where they would
    // end the next read after a seek too.
    if (context->pb) {
        context->pb->eof_reached = 0;
        context->pb->error = 0;
    }
    return true;
}

void FormatCloser::operator()(AVFormatContext* context) const {
    auto* interrupter = context ? static_cast<Interrupter*>(context->opaque) : nullptr;
    avformat_close_input(&context);
    delete interrupter;
}

} // namespace ffmpeg
