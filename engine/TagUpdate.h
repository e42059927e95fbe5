// SPDX-License-Identifier: GPL-3.0-or-later
// Tags set in files that are finished and in place under their names, as
// the album's ReplayGain is once the last track of a rip is done. The file
// is whole whatever fails:
//   - where the padding beside the tags holds the change, the new tag data
//     goes into the padding first, which readers skip, and after a flush one
//     small header write makes it the file's: before it the file has its
//     old tags, after it the new ones, even across a power cut;
//   - otherwise a complete new file is written beside it under a hidden
//     name (OutputFile) and renamed over it, so there is never a
//     half-rewritten file.
#pragma once

#include "TagText.h"

#include <string>
#include <vector>

enum class TTagUpdate {
    InPlace,  // within the file's padding
    Rewritten // as a new file renamed over the old one
};

// Sets each field in the file at `path`, replacing the fields of its name
// (regardless of ASCII case): the Vorbis comments of a FLAC file, or TXXX
// frames (the name as description) in the ID3v2 tag of a file named
// "*.mp3", which gets a tag when it has none. A field with an empty text
// is removed. Raises ECDRIPError "Cannot update the tags of <path>" with
// the system's reason when the file cannot be opened or read, or is not a
// well-formed FLAC or MP3 file (EINVAL), and OutputFile's errors when the
// file cannot be written; the file is left as it was, or with all the new
// fields.
TTagUpdate updateFileTags(const std::string& path, const std::vector<TTagField>& fields);
