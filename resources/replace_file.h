// Writing a whole file so that a failure never destroys what was there:
// the new bytes go to a temporary file beside the target, which is then
// renamed over it. Used for the save file and for archives. The temporary
// file is "<target>.tmp-" and six characters, locked while it is written;
// a successful replace removes the unlocked ones a killed writer left.
#pragma once

#include <string>

enum class ReplaceResult {
  Replaced,      // the target now holds the new bytes
  InPlace,       // no temporary file could be made beside the target; the
                 // target itself was overwritten (only when allowed)
  CannotCreate,  // neither a temporary file nor (when allowed) the target
                 // could be opened; the target is untouched
  WriteFailed,   // writing failed; a replaced target is untouched, one
                 // written in place gets its old contents written back
};

// Replaces `path` with `bytes`. A symbolic link is kept and the file it
// names replaced; a device or pipe is written into. With `inPlaceFallback`,
// a target that exists and can be written while its folder takes no new
// file (a read-only save folder) is overwritten directly instead of giving
// up. On failure `error` (when given) holds the system's reason.
ReplaceResult replaceFile(const std::string& path, const std::string& bytes,
                          bool inPlaceFallback, std::string* error = nullptr);
