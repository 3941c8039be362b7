#include "preview/gl/OverlayLayer.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>

OverlayTiles OverlayTiles::split(const QImage& overlay, int tileSide) {
    OverlayTiles tiles;
    if (overlay.isNull() || tileSide <= 0) {
        tiles.flat.push_back({0, 0, 1, 1, {}});
        return tiles;
    }
    const QImage pixels = overlay.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int width = pixels.width();
    const int height = pixels.height();
    // The one premultiplied word every texel of the tile and its border holds, if there is one.
    const auto uniformWord = [&](int left, int top, int right,
                                 int bottom) -> std::optional<std::uint32_t> {
        left = std::max(left - 1, 0);
        top = std::max(top - 1, 0);
        right = std::min(right + 1, width);
        bottom = std::min(bottom + 1, height);
        const std::uint32_t first =
            reinterpret_cast<const std::uint32_t*>(pixels.constScanLine(top))[left];
        for (int y = top; y < bottom; ++y) {
            const auto* line = reinterpret_cast<const std::uint32_t*>(pixels.constScanLine(y));
            if (!std::all_of(line + left, line + right,
                             [first](std::uint32_t word) { return word == first; })) {
                return std::nullopt;
            }
        }
        return first;
    };
    // Neighbouring tiles alike become one rectangle, along a row and then down the rows: fewer
    // triangles to set up.
    struct Run {
        int left, top, right, bottom;
        std::optional<std::uint32_t> word;
    };
    std::vector<Run> runs;
    std::vector<std::size_t> above, current;
    for (int top = 0; top < height; top += tileSide) {
        const int bottom = std::min(top + tileSide, height);
        current.clear();
        const auto addRun = [&](int left, int right, std::optional<std::uint32_t> word) {
            const auto same = std::find_if(above.begin(), above.end(), [&](std::size_t index) {
                const Run& run = runs[index];
                return run.left == left && run.right == right && run.word == word;
            });
            if (same != above.end()) {
                runs[*same].bottom = bottom;
                current.push_back(*same);
            } else {
                current.push_back(runs.size());
                runs.push_back({left, top, right, bottom, word});
            }
        };
        int runStart = 0;
        std::optional<std::uint32_t> runWord;
        for (int left = 0; left < width; left += tileSide) {
            const auto word = uniformWord(left, top, std::min(left + tileSide, width), bottom);
            if (left > 0 && word != runWord) {
                addRun(runStart, left, runWord);
                runStart = left;
            }
            runWord = word;
        }
        addRun(runStart, width, runWord);
        std::swap(above, current);
    }
    for (const Run& run : runs) {
        const std::uint32_t word = run.word.value_or(0);
        const Tile tile{float(double(run.left) / width),
                        float(double(run.top) / height),
                        float(double(run.right) / width),
                        float(double(run.bottom) / height),
                        {float(qRed(word) / 255.0), float(qGreen(word) / 255.0),
                         float(qBlue(word) / 255.0), float(qAlpha(word) / 255.0)}};
        (run.word ? tiles.flat : tiles.textured).push_back(tile);
    }
    return tiles;
}

void OverlayLayer::update(QOpenGLFunctions_3_3_Core& gl, const QImage& overlay) {
    const qint64 key = overlay.isNull() ? 0 : overlay.cacheKey();
    if (key == key_ && texture_ != 0) {
        return;
    }
    if (texture_ == 0) {
        gl.glGenTextures(1, &texture_);
        gl.glGenBuffers(1, &tiles_);
    }
    static const std::uint32_t transparent = 0;
    const QImage pixels =
        overlay.isNull() ? QImage() : overlay.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QSize size = pixels.isNull() ? QSize(1, 1) : pixels.size();
    gl.glBindTexture(GL_TEXTURE_2D, texture_);
    gl.glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    gl.glPixelStorei(GL_UNPACK_ROW_LENGTH, pixels.isNull() ? 0 : int(pixels.bytesPerLine() / 4));
    // ARGB32 words in memory are B, G, R, A bytes on the little-endian machines we run on.
    const void* data =
        pixels.isNull() ? static_cast<const void*>(&transparent) : pixels.constBits();
    if (size == size_) {
        gl.glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, size.width(), size.height(), GL_BGRA,
                           GL_UNSIGNED_BYTE, data);
    } else {
        gl.glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, size.width(), size.height(), 0, GL_BGRA,
                        GL_UNSIGNED_BYTE, data);
        gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    }
    gl.glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    gl.glBindTexture(GL_TEXTURE_2D, 0);

    const OverlayTiles tiles = OverlayTiles::split(pixels);
    std::vector<OverlayTiles::Tile> rectangles = tiles.flat;
    rectangles.insert(rectangles.end(), tiles.textured.begin(), tiles.textured.end());
    gl.glBindBuffer(GL_ARRAY_BUFFER, tiles_);
    gl.glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(rectangles.size() * sizeof(rectangles[0])),
                    rectangles.data(), GL_STATIC_DRAW);
    gl.glBindBuffer(GL_ARRAY_BUFFER, 0);
    flatCount_ = int(tiles.flat.size());
    texturedCount_ = int(tiles.textured.size());
    key_ = key;
    size_ = size;
}

void OverlayLayer::destroy(QOpenGLFunctions_3_3_Core& gl) {
    if (texture_ != 0) {
        gl.glDeleteTextures(1, &texture_);
        gl.glDeleteBuffers(1, &tiles_);
    }
    texture_ = tiles_ = 0;
    key_ = -1;
    size_ = QSize();
}

void OverlayLayer::drawTiles(QOpenGLFunctions_3_3_Core& gl, bool textured, GLuint rectangle,
                             GLuint tint) const {
    static_assert(sizeof(OverlayTiles::Tile) == 8 * sizeof(float));
    const int count = tileCount(textured);
    if (count == 0) {
        return;
    }
    const std::uintptr_t first = textured ? std::uintptr_t(flatCount_) : 0;
    const auto offset = [first](std::size_t within) {
        return reinterpret_cast<const void*>(first * sizeof(OverlayTiles::Tile) + within);
    };
    gl.glBindBuffer(GL_ARRAY_BUFFER, tiles_);
    for (GLuint attribute : {rectangle, tint}) {
        gl.glEnableVertexAttribArray(attribute);
        gl.glVertexAttribDivisor(attribute, 1);
    }
    gl.glVertexAttribPointer(rectangle, 4, GL_FLOAT, GL_FALSE, sizeof(OverlayTiles::Tile),
                             offset(offsetof(OverlayTiles::Tile, left)));
    gl.glVertexAttribPointer(tint, 4, GL_FLOAT, GL_FALSE, sizeof(OverlayTiles::Tile),
                             offset(offsetof(OverlayTiles::Tile, tint)));
    gl.glDrawArraysInstanced(GL_TRIANGLES, 0, 6, count);
    for (GLuint attribute : {rectangle, tint}) {
        gl.glDisableVertexAttribArray(attribute);
    }
    gl.glBindBuffer(GL_ARRAY_BUFFER, 0);
}
