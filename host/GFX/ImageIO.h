#pragma once

#include "Ondo/GFX/ImageData.h"

#include <GL/glew.h>

#include <string>

namespace Ondo {
class Core;
}

namespace Ondo::GFX {

// Registers the engine's image readers with the core's image loader under
// "png", "jpg", "jpeg", "tga", "bmp", "hdr" and "exr". Eight-bit files give
// R8/RG8/RGB8/RGBA8 by channel count, 16-bit PNGs R16/RG16/RGB16/RGBA16,
// Radiance files RGB32F, OpenEXR files RGBA32F; rows run bottom-up as in
// every ImageData. A reader answers null for data it cannot decode.
void RegisterStandardImageReaders(Core& core);

// Write level 0 of a two-dimensional image, rows top-down as the file formats
// want them. The file appears only once it is complete: the data goes to a
// temporary file in the same folder, which is renamed into place. Both throw
// Ondo::ExceptionFileSystem naming the path and the reason when the image
// cannot be written (a format the file type cannot hold, a folder that cannot
// be written).
//
// PNG takes the 8-bit formats R8, RG8, RGB8, RGBA8, SRGB8, SRGB8A8 and, with
// the channels put in RGB order, BGR8 and BGRA8.
void WritePNG(const std::string& strPath, const ImageData& image);
// OpenEXR takes R32F..RGBA32F (stored as 32-bit floats), R16F..RGBA16F
// (stored as halves) and the depth formats, stored as one 32-bit float
// channel "Z".
void WriteEXR(const std::string& strPath, const ImageData& image);

} // namespace Ondo::GFX

namespace Ondo::OpenGL {

// Reads level 0 of a 2D texture back: 8-bit unsigned normalized formats as
// the matching 8-bit image format, depth formats as R32F, everything else as
// 32-bit floats with the texture's channel count (four when the format's
// count is unknown). Pixel-pack state and the texture binding are restored.
// Throws std::runtime_error when the texture has no level 0.
GFX::ImageData ReadTexture2D(GLuint uiTexture);

} // namespace Ondo::OpenGL
