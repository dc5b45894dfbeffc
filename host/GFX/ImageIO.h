#pragma once

#include "Ondo/GFX/ImageData.h"
#include "Ondo/OpenGL/GPUObjects.h"

#include <GL/glew.h>

#include <string>

namespace Ondo {
class Core;
}

namespace Ondo::GFX {

// Registers the engine's image readers with the core's image loader under
// "png", "jpg", "jpeg", "tga", "bmp", "hdr" and "exr". Eight-bit files give
// R8/RG8/RGB8/RGBA8 by channel count, 16-bit PNGs R16/RG16/RGB16/RGBA16, one
// channel laid out as grey and two as grey and alpha; Radiance files give
// RGB32F. OpenEXR files (read by the OpenEXR library: every compression,
// scan-line or tiled, the first part of a multi-part file) give RGBA32F for
// colour, R32F grey for luminance Y, RG32F grey and alpha for Y and A, R32F
// with the depth layout for Z. Rows run bottom-up as in every ImageData. A
// reader that cannot decode a file throws Ondo::ExceptionParsing with the
// decoder's reason, which the loader reports with the file's name.
void RegisterStandardImageReaders(Core& core);

// Write level 0 of a two-dimensional image, rows top-down as the file formats
// want them. The file appears only once it is complete: the data goes to a
// temporary file in the same folder, which is renamed into place. Both throw
// Ondo::ExceptionFileSystem naming the path and the reason when the image
// cannot be written (a format the file type cannot hold, a folder that cannot
// be written).
//
// PNG (through libpng) takes the 8- and 16-bit unsigned normalised formats:
// one channel is written grey, two grey and alpha when the layout is
// LayoutGreyAlpha and otherwise as red and green with blue 0, BGR(A) in RGB
// order, sRGB as it is. An RGBA8 image whose every pixel is opaque is written
// as RGB. Fast compression (the default) is several times quicker than
// libpng's defaults and writes files of about their size; Smallest takes
// tens of times longer for files a few percent smaller.
enum class PngCompression { Fast, Smallest };
void WritePNG(const std::string& strPath, const ImageData& image,
              PngCompression eCompression = PngCompression::Fast);
// OpenEXR (through the OpenEXR library, ZIP compressed) takes the 8- and
// 16-bit normalised, half, float and depth formats: halves are stored as
// halves, the rest as 32-bit floats (normalised values in [0, 1], sRGB made
// linear). Channels: depth formats and LayoutDepth as "Z", one channel as
// luminance "Y", LayoutGreyAlpha as "Y" and "A", otherwise "R", "G", "B", "A".
void WriteEXR(const std::string& strPath, const ImageData& image);

} // namespace Ondo::GFX

namespace Ondo::OpenGL {

// Reads level 0 of a 2D texture back: 8- and 16-bit unsigned normalised
// formats as the matching 8- and 16-bit image formats, depth formats as R32F
// with the depth layout, everything else as 32-bit floats with the texture's
// channel count (four when the format's count is unknown). A texture with the
// grey swizzle of SetSwizzleForLayout reads back with the grey layout.
// Pixel-pack state and the texture binding are restored. Throws
// std::runtime_error when the texture has no level 0.
// The pixels travel through a pixel buffer object, made for the call.
GFX::ImageData ReadTexture2D(GLuint uiTexture);
// The same through the caller's pixel buffer, made (name 0) or grown as
// needed and kept for the next read; the caller releases it.
GFX::ImageData ReadTexture2D(GLuint uiTexture, BufferObject& pixelBuffer);

} // namespace Ondo::OpenGL
