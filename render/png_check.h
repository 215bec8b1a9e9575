// Guarded image decoding. SDL_image 1.2 hands libpng a read callback that
// ignores short reads, so a truncated or lying file can make the decoder
// read stale bytes forever. Every PNG therefore passes a structural check
// of the whole file (chunk walk, CRCs of the critical chunks, header
// sanity) before it is decoded. BMP and TGA images are decoded too, after
// a check of their headers (size limits, depths, palette sizes); other
// formats are refused.
#pragma once

#include <SDL/SDL.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// Images larger than this on either side, or with more pixels in all, are
// refused before any memory is taken for them.
constexpr uint32_t kPngMaxSide = 16384;
constexpr uint64_t kPngMaxPixels = 64ull * 1024 * 1024;

// True when `data` is a complete PNG: signature, a chain of chunks that all
// fit the buffer, correct CRCs on the critical chunks (libpng itself only
// warns about a damaged ancillary one and skips it), IHDR first with sane
// fields, at least one IDAT, and IEND (bytes after IEND are never read).
// On false, `why` (when given) says what was wrong.
bool pngCheck(const uint8_t* data, size_t size, std::string* why = nullptr);
// True when `data` starts with a BMP header ("BM") that SDL_image can
// decode within the size limits.
bool bmpCheck(const uint8_t* data, size_t size, std::string* why = nullptr);
// True when `data` starts with a TGA header (the format has no signature)
// of a kind SDL_image decodes, within the size limits.
bool tgaCheck(const uint8_t* data, size_t size, std::string* why = nullptr);

struct SurfaceDeleter {
  void operator()(SDL_Surface* s) const { SDL_FreeSurface(s); }
};
using SurfacePtr = std::unique_ptr<SDL_Surface, SurfaceDeleter>;

// Checks, then decodes with SDL_image's PNG decoder only. Null when the
// check or the decoder fails. Needs no video mode.
SurfacePtr decodePng(const uint8_t* data, size_t size);
// Picks the format by the data (PNG by its signature, BMP by "BM", else a
// TGA header), checks it as above and decodes it with that format's
// decoder. Null for other data and whatever the check or decoder refuses.
SurfacePtr decodeImage(const uint8_t* data, size_t size);
