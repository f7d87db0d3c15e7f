// The ZIP archives of trelkpublish: the update archive it makes, and what it reads of an archive
// on the server (entry names, entry bytes, what the programs' own extraction would refuse).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace publish {

// A ZIP archive (deflated) of the given entries, in the order given; each entry's name (Windows-1252)
// is stored in UTF-8 with the entry's UTF-8 flag. Throws EPublishError.
struct ArchiveEntry {
  std::string name;
  std::string bytes;
  long long modified = 0;  // seconds since 1970
};
std::string MakeArchive(const std::vector<ArchiveEntry>& entries);

// Names of the entries of a ZIP archive in UTF-8 as the programs read them (ProgramsEntryName;
// an empty name for one they cannot read), in archive order; the raw bytes when its records
// contradict each other. Empty result when it is no archive.
std::optional<std::vector<std::string>> ArchiveEntryNames(const std::string& bytes);

// The unpacked bytes of entry `index` of a ZIP archive, at most `limit` + 1 of them (more means
// the entry is larger than `limit`); empty result when it is no archive or the entry cannot be
// unpacked (damaged, an unknown method, a CRC that does not match).
std::optional<std::string> ArchiveEntryBytes(const std::string& bytes, size_t index, size_t limit);
// What the programs' own extraction would refuse or leave out of a ZIP archive, one sentence
// each (Windows-1252, as the update list's texts): records that contradict each other (the
// programs then unpack nothing), a name they cannot read or that has no form in Windows-1252
// (they unpack nothing), an entry they cannot unpack (encrypted, or a method such as Deflate64),
// an entry they skip for its name, two entries unpacked under one name (compared as the file
// system compares names). Empty when
// they unpack every file; nothing for bytes that are no archive at all (ArchiveEntryNames
// tells). Does not throw.
std::vector<std::string> ArchiveProblems(const std::string& bytes);

}  // namespace publish
