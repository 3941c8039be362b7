#pragma once

#include <QImage>
#include <QOpenGLFunctions_3_3_Core>

#include <vector>

// An overlay picture cut into rectangles of the unit square (x right, y down), each covered once:
// those whose texels are all one colour (transparent, or inside a filled shape) and those with
// more in them. A rectangle's texels include those within one texel of it, so that no pixel the
// rasterizer gives to a flat rectangle can sample another colour across its edge.
struct OverlayTiles {
    // Edges as fractions of the picture's width and height, each computed from its pixel
    // position alone, so that neighbours share theirs exactly and no pixel falls between them.
    struct Tile {
        float left, top, right, bottom;
        // The flat colour, premultiplied red, green, blue and alpha; unused when textured.
        float tint[4];
    };
    std::vector<Tile> flat;
    std::vector<Tile> textured;

    // `overlay` premultiplied; a null picture is one transparent flat tile.
    static OverlayTiles split(const QImage& overlay, int tileSide = 64);
};

// What the overview lays over the sphere, on the GPU: the picture as a texture and its tiles in a
// buffer, one rectangle per instance. The overview draws flat tiles with their colour as a vertex
// attribute and fetches the overlay only in the others: a software renderer runs a fetch for
// every pixel even where a branch would skip it, and four channels of a large overlay cost it as
// much as a plane of the source. Lives in the renderer's share group.
class OverlayLayer {
public:
    // Uploads `overlay` and cuts it into tiles again when it is not the picture of the last call.
    void update(QOpenGLFunctions_3_3_Core& gl, const QImage& overlay);
    void destroy(QOpenGLFunctions_3_3_Core& gl);

    GLuint texture() const { return texture_; }
    int tileCount(bool textured) const { return textured ? texturedCount_ : flatCount_; }
    // Draws each flat or textured tile as an instance of two triangles, with its rectangle (left,
    // top, right, bottom) and its colour in the vertex attributes given, of the vertex array
    // bound now.
    void drawTiles(QOpenGLFunctions_3_3_Core& gl, bool textured, GLuint rectangle,
                   GLuint tint) const;

private:
    GLuint texture_ = 0;
    GLuint tiles_ = 0;
    qint64 key_ = -1;
    QSize size_;
    int flatCount_ = 0;
    int texturedCount_ = 0;
};
