#include "preview/gl/YCbCrConversion.h"

namespace {

struct LumaWeights {
    double red;
    double blue;
};

LumaWeights lumaWeights(AVColorSpace matrix, int width, int height) {
    switch (matrix) {
    case AVCOL_SPC_BT709:
        return {0.2126, 0.0722};
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
        return {0.299, 0.114};
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
        return {0.2627, 0.0593};
    default:
        break;
    }
    const bool highDefinition = width >= 1280 || height >= 720;
    return highDefinition ? LumaWeights{0.2126, 0.0722} : LumaWeights{0.299, 0.114};
}

struct SampleEncoding {
    int bitDepth;
    // Code value = normalised texture sample × this.
    double codeScale;
};

std::optional<SampleEncoding> sampleEncoding(AVPixelFormat format) {
    switch (format) {
    case AV_PIX_FMT_YUV420P:
    case AV_PIX_FMT_NV12:
        return SampleEncoding{8, 255.0};
    case AV_PIX_FMT_YUV420P10LE:
        // Ten significant bits in the low end of each 16-bit word.
        return SampleEncoding{10, 65535.0};
    case AV_PIX_FMT_P010LE:
        // Ten significant bits in the high end; the six low bits are zero.
        return SampleEncoding{10, 65535.0 / 64.0};
    default:
        return std::nullopt;
    }
}

} // namespace

std::optional<YCbCrConversion> YCbCrConversion::forFrame(AVPixelFormat format, AVColorSpace matrix,
                                                         AVColorRange range, int width,
                                                         int height) {
    const std::optional<SampleEncoding> encoding = sampleEncoding(format);
    if (!encoding) {
        return std::nullopt;
    }
    const double steps = double(1 << (encoding->bitDepth - 8));
    const double maximumCode = double((1 << encoding->bitDepth) - 1);
    const double chromaZero = double(1 << (encoding->bitDepth - 1));

    // Y' = lumaScale × sample + lumaBias, Cb/Cr = chromaScale × sample + chromaBias.
    double lumaScale, lumaBias, chromaScale, chromaBias;
    if (range == AVCOL_RANGE_JPEG) {
        lumaScale = encoding->codeScale / maximumCode;
        lumaBias = 0;
        chromaScale = encoding->codeScale / maximumCode;
        chromaBias = -chromaZero / maximumCode;
    } else {
        lumaScale = encoding->codeScale / (219.0 * steps);
        lumaBias = -16.0 / 219.0;
        chromaScale = encoding->codeScale / (224.0 * steps);
        chromaBias = -chromaZero / (224.0 * steps);
    }

    const LumaWeights k = lumaWeights(matrix, width, height);
    const double kg = 1.0 - k.red - k.blue;
    // R'G'B' from Y'CbCr, row by row.
    const double toRgb[3][3] = {
        {1.0, 0.0, 2.0 * (1.0 - k.red)},
        {1.0, -2.0 * (1.0 - k.blue) * k.blue / kg, -2.0 * (1.0 - k.red) * k.red / kg},
        {1.0, 2.0 * (1.0 - k.blue), 0.0},
    };
    const double scale[3] = {lumaScale, chromaScale, chromaScale};
    const double bias[3] = {lumaBias, chromaBias, chromaBias};

    YCbCrConversion conversion;
    for (int row = 0; row < 3; ++row) {
        double offset = 0;
        for (int column = 0; column < 3; ++column) {
            conversion.matrix[column * 3 + row] = float(toRgb[row][column] * scale[column]);
            offset += toRgb[row][column] * bias[column];
        }
        conversion.offset[row] = float(offset);
    }
    return conversion;
}
