// trelkpublish's archives over libzip, and the programs' extraction rules applied to them.
#include "publish/Archives.h"

#include <zip.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

#include "base/zip_rules.h"
#include "publish/publish_rules.h"
#include "publish/verify_rules.h"

namespace publish {

// ---- Archives -------------------------------------------------------------------------------

std::string MakeArchive(const std::vector<ArchiveEntry>& entries) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* target = zip_source_buffer_create(nullptr, 0, 0, &error);
  if (!target) throw EPublishError("Cannot make the archive: out of memory.");
  auto fail = [&](const std::string& what) {
    std::string reason = zip_error_strerror(&error);
    zip_error_fini(&error);
    throw EPublishError("Cannot make the archive (" + what + "): " + reason + ".");
  };
  zip_t* zip = zip_open_from_source(target, ZIP_TRUNCATE, &error);
  if (!zip) {
    zip_source_free(target);
    fail("open");
  }
  zip_source_keep(target);  // the archive's bytes are read from it after zip_close
  for (const ArchiveEntry& e : entries) {
    // In UTF-8, which libzip flags as such (bit 11) when the name is not plain ASCII.
    const std::string name = Cp1252ToUtf8(e.name);
    zip_source_t* source = zip_source_buffer(zip, e.bytes.data(), e.bytes.size(), 0);
    zip_int64_t index = source ? zip_file_add(zip, name.c_str(), source, ZIP_FL_ENC_UTF_8) : -1;
    if (index < 0) {
      if (source) zip_source_free(source);
      zip_error_set(&error, zip_error_code_zip(zip_get_error(zip)), zip_error_code_system(zip_get_error(zip)));
      zip_discard(zip);
      zip_source_free(target);
      fail(e.name);
    }
    zip_set_file_compression(zip, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 9);
    if (e.modified > 0) zip_file_set_mtime(zip, static_cast<zip_uint64_t>(index), static_cast<time_t>(e.modified), 0);
  }
  if (zip_close(zip) != 0) {
    zip_error_set(&error, zip_error_code_zip(zip_get_error(zip)), zip_error_code_system(zip_get_error(zip)));
    zip_discard(zip);
    zip_source_free(target);
    fail("write");
  }
  std::string bytes;
  if (zip_source_open(target) == 0) {
    zip_source_seek(target, 0, SEEK_END);
    zip_int64_t size = zip_source_tell(target);
    zip_source_seek(target, 0, SEEK_SET);
    if (size > 0) {
      bytes.resize(static_cast<size_t>(size));
      if (zip_source_read(target, bytes.data(), bytes.size()) != size) bytes.clear();
    }
    zip_source_close(target);
  }
  zip_source_free(target);
  zip_error_fini(&error);
  if (bytes.empty()) throw EPublishError("Cannot make the archive: libzip gave no bytes.");
  return bytes;
}

namespace {

struct ZipDiscard {
  void operator()(zip_t* zip) const { zip_discard(zip); }
};
using OpenArchive = std::unique_ptr<zip_t, ZipDiscard>;

// The archive in `bytes` (borrowed while the result lives) opened for reading as the programs
// open it: their own consistency check (ArchiveProblems) replaces libzip's, which refuses
// archives of common tools. Null when libzip cannot open it.
OpenArchive OpenFromBytes(const std::string& bytes) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  zip_t* zip = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
  zip_error_fini(&error);
  if (!zip && source) zip_source_free(source);
  return OpenArchive(zip);
}

}  // namespace

std::optional<std::vector<std::string>> ArchiveEntryNames(const std::string& bytes) {
  OpenArchive archive = OpenFromBytes(bytes);
  if (!archive) return std::nullopt;
  zip_t* zip = archive.get();
  std::vector<std::string> names;
  const base::ZipCheck check = base::CheckZipArchive(bytes.size(), base::ZipReaderOf(bytes));
  if (check.fault == base::ZipFault::None && check.entries.size() == static_cast<size_t>(zip_get_num_entries(zip, 0))) {
    for (const base::ZipEntryRecord& e : check.entries) names.push_back(ProgramsEntryName(e).value_or(std::string()));
    return names;
  }
  // Records that contradict each other (ArchiveProblems says so): the raw names as libzip has them.
  zip_int64_t count = zip_get_num_entries(zip, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    const char* name = zip_get_name(zip, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
    names.emplace_back(name ? name : "");
  }
  return names;
}

std::optional<std::string> ArchiveEntryBytes(const std::string& bytes, size_t index, size_t limit) {
  OpenArchive archive = OpenFromBytes(bytes);
  if (!archive) return std::nullopt;
  zip_t* zip = archive.get();
  std::optional<std::string> text;
  if (zip_file_t* file = zip_fopen_index(zip, index, 0)) {
    // Read in pieces up to one byte past the limit: the sizes in the archive may lie.
    std::string out;
    char buffer[65536];
    zip_int64_t n = 0;
    while (out.size() <= limit && (n = zip_fread(file, buffer, sizeof buffer)) > 0)
      out.append(buffer, static_cast<size_t>(n));
    if (n >= 0) {
      if (out.size() > limit + 1) out.resize(limit + 1);
      text = std::move(out);
    }
    zip_fclose(file);
  }
  return text;
}

namespace {

// An entry name (UTF-8) in the list's code page, for messages; a character that it lacks as "?".
std::string EntryText(const std::string& utf8) {
  try {
    return Utf8ToCp1252(utf8);
  } catch (const EPublishError&) {
    std::string text;
    for (size_t i = 0; i < utf8.size(); ++i) {
      const auto b = static_cast<unsigned char>(utf8[i]);
      if (b < 0x80) text += utf8[i];
      else if ((b & 0xC0) != 0x80) text += '?';
    }
    return text;
  }
}

std::string FaultSentence(const base::ZipCheck& check) {
  const std::string entry = check.entry < check.entries.size()
                                ? "the entry \"" + EntryText(ProgramsEntryName(check.entries[check.entry])
                                                                  .value_or(check.entries[check.entry].name)) +
                                      "\""
                                : std::string("an entry");
  const std::string local = "the local header of " + entry + " gives another ";
  std::string what;
  switch (check.fault) {
    case base::ZipFault::None: return std::string();
    case base::ZipFault::NoArchive: what = "it has no end record that closes the file"; break;
    case base::ZipFault::DirectoryDamaged: what = "its central directory is damaged"; break;
    case base::ZipFault::HeaderMissing: what = entry + " is not where the central directory puts it"; break;
    case base::ZipFault::NameDiffers: what = local + "name than the central directory"; break;
    case base::ZipFault::MethodDiffers: what = local + "compression method than the central directory"; break;
    case base::ZipFault::FlagsDiffer: what = local + "encryption or data descriptor flag than the central directory"; break;
    case base::ZipFault::CrcDiffers: what = local + "checksum than the central directory"; break;
    case base::ZipFault::SizeDiffers: what = local + "size than the central directory"; break;
    case base::ZipFault::OutsideArchive: what = "the data of " + entry + " reach beyond the archive's data"; break;
    case base::ZipFault::Overlapping: what = entry + " shares its data with another entry"; break;
  }
  return "its records contradict each other (" + what + "); the programs unpack nothing of it.";
}

}  // namespace

std::vector<std::string> ArchiveProblems(const std::string& bytes) {
  std::vector<std::string> problems;
  const base::ZipCheck check = base::CheckZipArchive(bytes.size(), base::ZipReaderOf(bytes));
  if (check.fault == base::ZipFault::NoArchive) return problems;
  if (check.fault != base::ZipFault::None) {
    problems.push_back(FaultSentence(check));
    return problems;
  }
  // (libzip refuses to open an archive with such a name, too.)
  for (const base::ZipEntryRecord& e : check.entries)
    if (!ProgramsEntryName(e))
      problems.push_back("the name of the entry \"" + EntryText(e.name) +
                         "\" is flagged as UTF-8 but is none; the programs unpack nothing of the archive.");
  if (!problems.empty()) return problems;
  if (!OpenFromBytes(bytes)) {
    problems.push_back("libzip cannot open it; the programs unpack nothing of it.");
    return problems;
  }
  // The same rules as the programs' extraction: the names as they read them, a name that is no
  // file name skipped, the first of two entries of one name kept, then what cannot be unpacked.
  std::map<std::string, std::string> taken;  // the file name's key -> its entry's name
  for (const base::ZipEntryRecord& e : check.entries) {
    auto name = ProgramsEntryName(e);
    auto file = base::ExtractedName(*name);
    if (!file) {
      const bool folder = !name->empty() && (name->back() == '/' || name->back() == '\\') && e.size == 0;
      if (!folder)
        problems.push_back("the entry \"" + EntryText(*name) +
                           "\" is skipped by the programs: its name is no file name they make.");
      continue;
    }
    std::string ansi;
    try {
      ansi = Utf8ToCp1252(*file);
    } catch (const EPublishError&) {
      problems.push_back("the name of the entry \"" + EntryText(*name) +
                         "\" has a character that Windows-1252 lacks; the programs on a German Windows unpack nothing "
                         "of the archive.");
      continue;
    }
    auto same = taken.emplace(base::FileNameKey(ansi), *name);
    if (!same.second) {
      problems.push_back("the entries \"" + EntryText(same.first->second) + "\" and \"" + EntryText(*name) +
                         "\" are unpacked under one name; the programs keep only the first.");
      continue;
    }
    if (base::ZipEntryEncrypted(e))
      problems.push_back("the entry \"" + EntryText(*name) + "\" is encrypted; the programs cannot unpack it.");
    else if (!base::ZipMethodSupported(e.method))
      problems.push_back("the entry \"" + EntryText(*name) + "\" is packed with " + base::ZipMethodName(e.method) +
                         ", which the programs cannot unpack; pack it with Deflate.");
  }
  return problems;
}

}  // namespace publish
