// Guarded PNG decoding. SDL_image 1.2 hands libpng a read callback that
// ignores short reads, so a truncated or lying file can make the decoder
// read stale bytes forever. Every image therefore passes a structural check
// of the whole file (chunk walk, CRCs, header sanity) before it is decoded.
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
// fit the buffer and carry correct CRCs, IHDR first with sane fields, at
// least one IDAT, and IEND (bytes after IEND are never read). On false,
// `why` (when given) says what was wrong.
bool pngCheck(const uint8_t* data, size_t size, std::string* why = nullptr);

struct SurfaceDeleter {
  void operator()(SDL_Surface* s) const { SDL_FreeSurface(s); }
};
using SurfacePtr = std::unique_ptr<SDL_Surface, SurfaceDeleter>;

// Checks, then decodes with SDL_image's PNG decoder only. Null when the
// check or the decoder fails. Needs no video mode.
SurfacePtr decodePng(const uint8_t* data, size_t size);
