// The run's work: the check, the download and the preparation of the installation with the
// "Update.bat" it writes, and the test whether this user can write into the program folder.
#include "wizard/UpdateRun.h"

#include <sodium.h>

#include <algorithm>
#include <cmath>

#include "base/Exception.h"
#include "base/StrUtils.h"
#include "base/batch_template.h"
#include "base/list_dates.h"
#include "base/signed_update.h"
#include "settings/ProgramKey.h"
#include "toolkit/Application.h"
#include "toolkit/Seams.h"
#include "wizard/FetchFile.h"
#include "wizard/HeldFile.h"
#include "wizard/PreviousVersion.h"
#include "wizard/ProtectedInstall.h"
#include "wizard/SearchFolder.h"
#include "wizard/Signature.h"
#include "wizard/UserLocale.h"
#include "wizard/ZipExtract.h"
#include "wizard/wizard_rules.h"

namespace wizard {

namespace {

// The list's signature is one line; anything far beyond is refused before it is held in memory.
constexpr std::size_t kSignatureFileLimit = 4096;

// A new empty file in `folder` made by the platform ("$" and a number); throws when none can
// be made.
std::string NewTempFile(const std::string& folder) {
  char name[MAX_PATH];
  if (!GetTempFileNameA(folder.c_str(), "$", 0, name))
    throw base::Exception("Im Ordner \"" + folder + "\" kann keine temporäre Datei angelegt werden.");
  return name;
}

// The current time of day as a fraction of a day.
double TimeOfDay() {
  const base::TDateTime now = toolkit::NowSeam();
  return now - std::floor(now);
}

// What a download into `folder` may write: the free space of its drive less a margin that
// leaves room for the system and for the unpacking.
std::int64_t DownloadLimit(const std::string& folder) {
  constexpr std::int64_t kMargin = 64 * 1024 * 1024;
  ULARGE_INTEGER free{};
  if (!GetDiskFreeSpaceExA(folder.c_str(), &free, nullptr, nullptr)) return -1;
  const std::int64_t room = static_cast<std::int64_t>(free.QuadPart) - kMargin;
  return room > 0 ? room : 0;
}

// The length of the file at `path`; -1 when it cannot be read.
std::int64_t FileBytes(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string ServerUrl(const RunProgram& program, const std::string& path) {
  // An authority alone is a server without TLS.
  const bool hasScheme = program.server.find("://") != std::string::npos;
  return (hasScheme ? "" : "http://") + program.server + path;
}


// Replaces the content of the file behind `file` (borrowed) by `bytes`; throws base::Exception
// naming `path` when that fails.
void Rewrite(HANDLE file, const std::string& path, const std::string& bytes) {
  LARGE_INTEGER start{};
  DWORD written = 0;
  if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN) ||
      !WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
      written != bytes.size() || !SetEndOfFile(file))
    throw base::Exception("Die Datei \"" + path + "\" kann nicht geschrieben werden.");
}

// Whether `file` (borrowed), just made in `folder`, really lies there. A 32-bit program without
// a statement of its privileges has its writes into protected folders redirected into the
// user's own store on newer Windows; the batch's cmd.exe is not redirected and would be refused.
// Systems without the final path know no such redirection.
bool MadeInPlace(HANDLE file, const std::string& folder) {
  toolkit::ScopedFile dir(CreateFileA(folder.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  const std::string made = dir ? FinalPathOf(file) : std::string();
  const std::string where = dir ? FinalPathOf(dir.get()) : std::string();
  if (made.empty() || where.empty()) return true;  // nothing to compare: the plain answer stands
  return SamePath(base::ExtractFilePath(made), where);
}

ConnectionFault FaultOf(const FetchResult& fetched) {
  return ConnectionFault{fetched.proxy, fetched.proxyAuth, fetched.tls, fetched.tlsHost};
}

}  // namespace

struct UpdateRun::ListFetch {
  FetchResult fetched;
  Refusal refusal = Refusal::None;
};

void UpdateRun::Begin(const std::string& tempDir) {
  DropSearch();
  tempDir_ = tempDir;
  archiveSize_.reset();
  downloadStart_ = 0;
}

void UpdateRun::DropPartialArchive() {
  heldArchive_.reset();
  resume_ = net::TResumePoint();
}

void UpdateRun::ReleaseHeld() {
  list_.reset();
  heldList_.reset();
  heldChain_.reset();
  heldFiles_.clear();
}

void UpdateRun::DropSearch() {
  DropPartialArchive();
  ReleaseHeld();
  listFileName_.clear();
  listSignature_.clear();
  archiveSha256_.clear();
  chainFileName_.clear();
  chainEpoch_.reset();
  chainRetire_.clear();
  delegation_.reset();
  if (!searchDir_.empty()) RemoveFolderTree(searchDir_);
  searchDir_.clear();
}

// ---- The check --------------------------------------------------------------------------------

CheckOutcome UpdateRun::Check(net::THttpClient& http, const RunProgram& program) {
  // Each check works in a new folder of its own; what an earlier search of this program left
  // behind goes, unless its installation still waits for its program's end.
  DropSearch();
  RemoveLeftSearchFolders(tempDir_, program.registryKey);
  archiveSize_.reset();
  CheckOutcome outcome;
  ListFetch list;
  if (toolkit::InternetConnectedSeam()) list = FetchList(http, program);
  if (!list.fetched.arrived) {
    DropSearch();
    outcome.kind = list.fetched.tooLong ? CheckOutcome::ListTooLong : CheckOutcome::NoConnection;
    outcome.fault = FaultOf(list.fetched);
    return outcome;
  }
  // A program with a key reads no list older than one it accepted, and none that has expired.
  Refusal refusal = list.refusal;
  if (refusal == Refusal::None && !program.publicKey.empty()) refusal = CheckListFreshness(program);
  bool offered = false;
  if (refusal == Refusal::None) {
    const ListVerdict verdict = JudgeListOffer(!program.publicKey.empty(), list_->SectionExists(program.name),
                                               list_->ReadString(program.name, "Date", ""), program.referenceDate,
                                               UserShortDateFormat(), toolkit::Today());
    offered = verdict.offered;
    refusal = verdict.refusal;
  }
  if (offered && refusal == Refusal::None) offered = !HoldsOfferBack(program, outcome);
  outcome.kind = refusal != Refusal::None ? CheckOutcome::Refused : offered ? CheckOutcome::Offered : CheckOutcome::NoUpdate;
  if (outcome.kind == CheckOutcome::Offered && !PassesPin(program)) {
    // Not taken while the administrator's pin holds: nothing of it stays.
    outcome.kind = CheckOutcome::Pinned;
    if (!program.keepsList) DropSearch();
    return outcome;
  }
  outcome.refusal = refusal;
  // The result page says why; nothing of a refused list stays.
  if (refusal != Refusal::None) DropSearch();
  return outcome;
}

UpdateRun::ListFetch UpdateRun::FetchList(net::THttpClient& http, const RunProgram& program) {
  ListFetch list;
  try {
    searchDir_ = MakeSearchFolder(tempDir_, program.registryKey);
    listFileName_ = NewTempFile(searchDir_);
    list.fetched = FetchFile(http, ServerUrl(program, "/Updates.ini"), listFileName_, kListLimit);
    if (!list.fetched.arrived) return list;
    // From here on no other process can change the file: what is checked below is what the
    // list reader reads.
    heldList_ = HoldForReading(listFileName_);
    std::string bytes;
    if (!ReadHeld(heldList_.get(), kListLimit, bytes))
      throw base::Exception("Die Datei \"" + listFileName_ + "\" kann nicht gelesen werden.");
    // A program with a key reads nothing of a list whose signature does not verify.
    if (!program.publicKey.empty()) {
      const std::optional<Refusal> refusal = CheckListSignature(http, program, bytes);
      if (!refusal) {
        list.fetched.arrived = false;  // the signature could not be fetched: as a list that did not come
        return list;
      }
      list.refusal = *refusal;
    }
    if (list.refusal == Refusal::None) list_ = std::make_unique<TIniFile>(listFileName_);
  } catch (const std::exception& e) {
    // No folder, no file, or a list that cannot be read: as a list that did not come.
    list.fetched.arrived = false;
    list.fetched.reason = e.what();
  }
  return list;
}

std::optional<Refusal> UpdateRun::CheckListSignature(net::THttpClient& http, const RunProgram& program,
                                                     const std::string& bytes) {
  const std::string signatureFile = NewTempFile(searchDir_);
  const FetchResult fetched = FetchFile(http, ServerUrl(program, "/Updates.ini.sig"), signatureFile, kSignatureFileLimit);
  // A signature is one line: a longer reply is none, however it goes on. A reply with an error
  // status says that the list has no signature on the server.
  if (!fetched.arrived && !fetched.tooLong && fetched.status == 0) {
    DeleteFileA(signatureFile.c_str());
    return std::nullopt;
  }
  std::string signature;
  if (fetched.arrived) {
    toolkit::ScopedFile held = HoldForReading(signatureFile);
    if (!ReadHeld(held.get(), kSignatureFileLimit, signature)) signature.clear();
  }
  DeleteFileA(signatureFile.c_str());
  listSignature_ = std::string(base::TrimBlanksAndBreaks(signature));
  const base::ChainMemory memory = StoredChainMemory(program.Root(), program.registryKey);
  const Refusal direct = JudgeSignedList(
      program.publicKey, fetched.arrived || fetched.tooLong, signature,
      [&bytes](const std::string& key, const std::string& sig) { return SignatureVerifies(bytes, sig, key); },
      memory.retired);
  if (direct == Refusal::None) return direct;
  // Not signed by a root key itself: the list may come with the chain from a root key to the
  // release key that signed it.
  listSignature_.clear();
  chainFileName_ = NewTempFile(searchDir_);
  const FetchResult chain = FetchFile(http, ServerUrl(program, "/Updates.ini.chain"), chainFileName_, base::kKeyChainLimit);
  if (!chain.arrived && !chain.tooLong) {
    DeleteFileA(chainFileName_.c_str());
    chainFileName_.clear();
    if (chain.status == 0) return std::nullopt;  // as a list that did not come
    return direct;                               // no chain on the server: the signature's verdict
  }
  std::string chainBytes;
  if (chain.arrived) {
    heldChain_ = HoldForReading(chainFileName_);
    if (!ReadHeld(heldChain_.get(), base::kKeyChainLimit, chainBytes)) chainBytes.clear();
  }
  const ChainListVerdict verdict = JudgeChainedList(program.publicKey, chainBytes, bytes, program.name, memory,
                                                    toolkit::Today(), [](std::string_view message, std::string_view sig,
                                                                         std::string_view key) {
                                                      return SignatureVerifies(message, sig, key);
                                                    });
  chainEpoch_ = verdict.epoch;
  chainRetire_ = verdict.retire;
  if (verdict.refusal == Refusal::None) {
    const std::optional<base::KeyChain> chain = base::ParseKeyChain(chainBytes);
    if (chain) delegation_ = chain->delegation;
  }
  return verdict.refusal;
}

ListFreshness ReadListFreshness(const TIniFile& list, const std::string& programName) {
  ListFreshness freshness;
  freshness.hasListSection = list.SectionExists(kListSection);
  freshness.serial = list.ReadString(kListSection, kSerialKey, "");
  freshness.expires = list.ReadString(kListSection, kExpiresKey, "");
  if (list.ValueExists(programName, kSizeKey)) freshness.size = list.ReadString(programName, kSizeKey, "");
  return freshness;
}

std::optional<std::uint32_t> StoredListSerial(HKEY root, const std::string& registryKey) {
  try {
    return settings::ProgramKey(root, registryKey, settings::ProgramKey::Access::Read).UpdateSerial();
  } catch (const settings::ERegistryException&) {
    return 0u;
  }
}

base::ChainMemory StoredChainMemory(HKEY root, const std::string& registryKey) {
  base::ChainMemory memory;
  try {
    const settings::ProgramKey key(root, registryKey, settings::ProgramKey::Access::Read);
    try {
      memory.epoch = key.UpdateKeyEpoch();
    } catch (const settings::ERegistryException&) {
      memory.epoch = 0u;
    }
    if (auto retired = key.UpdateKeyRetired()) memory.retired = base::ReadRetiredIds(*retired);
  } catch (const settings::ERegistryException&) {
    // A retirement that cannot be read is none: the epoch still stands.
  }
  return memory;
}

bool UpdateRun::PassesPin(const RunProgram& program) const {
  const settings::Policy& policy = program.policy;
  if (!policy.pinnedDate && !policy.pinnedSerial) return true;
  const bool signedList = !program.publicKey.empty();
  const std::optional<base::TDateTime> date = base::TryParseListDate(list_->ReadString(program.name, "Date", ""),
                                                                     UserShortDateFormat(), toolkit::Today());
  return settings::PassesPin(policy, date, signedList, ListSerial());
}

std::optional<std::uint32_t> UpdateRun::ListSerial() const {
  if (!list_) return std::nullopt;
  const auto serial = base::ReadListNumber(list_->ReadString(kListSection, kSerialKey, ""), base::kMaxSerial);
  if (!serial) return std::nullopt;
  return static_cast<std::uint32_t>(*serial);
}

Refusal UpdateRun::CheckListFreshness(const RunProgram& program) {
  ListFreshness list = ReadListFreshness(*list_, program.name);
  list.stored = StoredListSerial(program.Root(), program.registryKey);
  FreshnessVerdict verdict = JudgeListFreshness(list, toolkit::Today());
  archiveSize_ = verdict.size;
  // A list the administrator's pin keeps out is not remembered: the older list the pin allows
  // (a mirror's) must not be taken for a replay afterwards.
  if (program.policy.pinnedSerial && verdict.serial && *verdict.serial > *program.policy.pinnedSerial)
    verdict.serial.reset();
  // Stored at every accepted check, not only after an installation: a user who looks and
  // cancels must not be offered an older list afterwards either.
  if (verdict.refusal == Refusal::None && (verdict.serial || chainEpoch_ || !chainRetire_.empty())) {
    try {
      settings::ProgramKey key(program.Root(), program.registryKey, settings::ProgramKey::Access::Create);
      // The retirement first: an epoch remembered without it would let the retired key's next
      // delegation in.
      if (!chainRetire_.empty()) {
        std::vector<std::string> retired = StoredChainMemory(program.Root(), program.registryKey).retired;
        retired.insert(retired.end(), chainRetire_.begin(), chainRetire_.end());
        key.SetUpdateKeyRetired(base::RetiredIdsText(retired));
      }
      if (chainEpoch_) key.SetUpdateKeyEpoch(*chainEpoch_);
      if (verdict.serial) key.SetUpdateSerial(*verdict.serial);
    } catch (const settings::ERegistryException&) {
      // A key without write access keeps what it has: the list is still good.
    }
  }
  return verdict.refusal;
}

SkippedVersion UpdateRun::OfferedVersion(const std::string& programName) const {
  const auto value = [&](const char* key) { return list_ ? list_->ReadString(programName, key, "") : std::string(); };
  return {OfferDate(value("Date"), UserShortDateFormat(), toolkit::Today()),
          std::string(base::TrimBlanksAndBreaks(value("SHA256")))};
}

bool UpdateRun::HoldsOfferBack(const RunProgram& program, CheckOutcome& outcome) const {
  const base::TDateTime today = toolkit::Today();
  outcome.version = OfferedVersion(program.name);
  outcome.skipped = SkipCovers(StoredSkip(program.Root(), program.registryKey), outcome.version.date,
                               outcome.version.sha256);
  // The user's own search takes what the list offers; no number is drawn for it.
  if (program.userSearch || outcome.skipped) return !program.userSearch && outcome.skipped;
  RolloutValues rollout;
  auto read = [this, &program](const char* key) -> std::optional<std::string> {
    if (!list_->ValueExists(program.name, key)) return std::nullopt;
    return list_->ReadString(program.name, key, "");
  };
  rollout.rollout = read(kRolloutKey);
  rollout.start = read(kRolloutStartKey);
  rollout.critical = read(kCriticalKey);
  // A list without a rollout draws nothing: the key stays as it always was.
  if (RolloutShare(rollout, today) >= 100) return false;
  outcome.heldBack = RolloutHoldsBack(rollout, RolloutNumber(program.Root(), program.registryKey), today);
  return outcome.heldBack;
}

std::optional<SkippedVersion> StoredSkip(HKEY root, const std::string& registryKey) {
  try {
    const auto skipped = settings::ProgramKey(root, registryKey, settings::ProgramKey::Access::Read).Skipped();
    if (!skipped) return std::nullopt;
    return SkippedVersion{skipped->first, skipped->second};
  } catch (const settings::ERegistryException&) {
    return std::nullopt;
  }
}

int RolloutNumber(HKEY root, const std::string& registryKey) {
  try {
    settings::ProgramKey key(root, registryKey, settings::ProgramKey::Access::Create);
    if (const std::optional<int> drawn = key.TryRolloutNumber()) return *drawn;
    if (sodium_init() < 0) return 99;
    const int number = static_cast<int>(randombytes_uniform(100));
    key.SetRolloutNumber(number);
    return number;
  } catch (const settings::ERegistryException&) {
    return 99;
  }
}

CheckOutcome UpdateRun::JudgeMember(const RunProgram& member) const {
  CheckOutcome outcome;
  if (!list_) return outcome;
  outcome.kind = CheckOutcome::Refused;
  const bool signedList = !member.publicKey.empty();
  if (delegation_) {
    // The release key must sign for the member, and the member must still trust the chain: a
    // later delegation or a retired root key it remembers keeps this list out of its own search.
    const base::ChainMemory memory = StoredChainMemory(member.Root(), member.registryKey);
    const bool retired =
        std::find(memory.retired.begin(), memory.retired.end(), delegation_->root) != memory.retired.end();
    outcome.refusal = !base::DelegationCovers(*delegation_, member.name)      ? Refusal::ProgramNotCovered
                      : memory.epoch && delegation_->epoch < *memory.epoch ? Refusal::KeyEpochLower
                      : retired                                             ? Refusal::RootRetired
                                                                            : Refusal::None;
    if (outcome.refusal != Refusal::None) return outcome;
  }
  const base::TDateTime today = toolkit::Today();
  if (signedList) {
    ListFreshness freshness = ReadListFreshness(*list_, member.name);
    freshness.stored = StoredListSerial(member.Root(), member.registryKey);
    outcome.refusal = JudgeListFreshness(freshness, today).refusal;
    if (outcome.refusal != Refusal::None) return outcome;
  }
  const ListVerdict verdict = JudgeListOffer(signedList, list_->SectionExists(member.name),
                                             list_->ReadString(member.name, "Date", ""), member.referenceDate,
                                             UserShortDateFormat(), today);
  outcome.refusal = verdict.refusal;
  if (verdict.refusal != Refusal::None) return outcome;
  outcome.kind = CheckOutcome::NoUpdate;
  if (!verdict.offered) return outcome;
  RunProgram reminder = member;
  reminder.userSearch = false;
  HoldsOfferBack(reminder, outcome);
  outcome.kind = PassesPin(member) ? CheckOutcome::Offered : CheckOutcome::Pinned;
  return outcome;
}

std::optional<std::string> UpdateRun::News(const std::string& programName) const {
  if (!list_ || !list_->ValueExists(programName, "News")) return std::nullopt;
  return list_->ReadString(programName, "News", "");
}

// ---- The download ------------------------------------------------------------------------------

DownloadOutcome UpdateRun::Download(net::THttpClient& http, const RunProgram& program,
                                    const std::function<bool()>& stopped) {
  DownloadOutcome outcome;
  if (!list_) return outcome;
  const std::string localFile = searchDir_ + program.zipFileName;
  downloadStart_ = TimeOfDay();
  bodyStart_ = 0;
  // The archive is written through a handle the run holds until it arrived whole or is given up:
  // the bytes a retry continues are the ones this run wrote.
  if (!heldArchive_) {
    resume_ = net::TResumePoint();
    heldArchive_.reset(CreateFileA(localFile.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  // The archive may take the drive's free space less a margin, never all of it: a server that
  // streams without end fills no disk. With a signed "Size" it takes no byte more than that. Both
  // count the whole archive, the bytes an earlier attempt left included.
  const std::int64_t kept = resume_.Kept;
  const std::int64_t room = DownloadLimit(searchDir_);
  const bool sizeLimits = archiveSize_ && (room < 0 || *archiveSize_ <= room + kept);
  const std::int64_t limit = sizeLimits ? *archiveSize_ : room < 0 ? -1 : room + kept;
  if (archiveSize_ && resume_.Total < 0) resume_.Total = *archiveSize_;
  FetchResult fetched;
  if (heldArchive_) {
    fetched = FetchArchive(http, ServerUrl(program, "/Updates/" + list_->ReadString(program.name, "File", "")),
                           heldArchive_.get(), localFile, limit, resume_);
    bodyStart_ = resume_.BodyStart;
  } else {
    fetched.reason = "Die Datei \"" + localFile + "\" kann nicht erstellt werden.";
  }
  if (stopped()) {
    DropPartialArchive();
    Sleep(3000);
    DeleteFileA(localFile.c_str());
    outcome.kind = DownloadOutcome::Stopped;
  } else if ((fetched.arrived || (fetched.tooLong && sizeLimits)) &&
             JudgeDownloadSize(archiveSize_, fetched.tooLong, FileBytes(localFile)) != Refusal::None) {
    // Not the archive the signed list names: nothing of the search stays.
    DropSearch();
    outcome.kind = DownloadOutcome::WrongSize;
  } else if (!fetched.arrived) {
    outcome.kind = fetched.tooLong ? DownloadOutcome::NoRoom : DownloadOutcome::Failed;
    outcome.fault = FaultOf(fetched);
    // A download that broke off keeps what arrived, and the retry asks only for the rest, when
    // the rest can be told apart from another file's: by the server's validator, or by the
    // checksum of a program with a key, which judges the whole archive.
    outcome.continues = fetched.broken && (!resume_.Validator.empty() || !program.publicKey.empty());
    if (!outcome.continues) {
      // Otherwise what arrived (an error page, the first part of the archive) goes, and the
      // retry fetches it again.
      DropPartialArchive();
      DeleteFileA(localFile.c_str());
    }
  } else {
    // Whole: the installation holds it for reading from here on.
    DropPartialArchive();
    outcome.kind = DownloadOutcome::Done;
  }
  return outcome;
}

// ---- The installation ---------------------------------------------------------------------------

Refusal UpdateRun::JudgeHeldArchive(HANDLE held, const RunProgram& program) {
  const std::optional<std::string> digest = FileSha256(held);
  if (digest) archiveSha256_ = base::HexText(*digest);
  // Without a key the checksum only binds the installation with consent to this archive; one
  // that cannot be read cannot be bound.
  if (program.publicKey.empty()) return digest ? Refusal::None : Refusal::ArchiveDamaged;
  const std::string value = list_ ? list_->ReadString(program.name, "SHA256", "") : std::string();
  return JudgeArchive(value, digest);
}

InstallOutcome UpdateRun::Prepare(const RunProgram& program, bool restart, bool withConsent) {
  InstallOutcome outcome;
  const std::string archive = searchDir_ + program.zipFileName;
  if (searchDir_.empty() || program.zipFileName.empty() || !IsFile(archive)) return outcome;  // Missing
  // One handle, shared for reading only, from the checksum to the last unpacked byte: no other
  // process can change the archive between its check and its use.
  toolkit::ScopedFile held = HoldForReading(archive);
  if (withConsent || !program.publicKey.empty()) {
    outcome.refusal = JudgeHeldArchive(held.get(), program);
    if (outcome.refusal != Refusal::None) {
      // Nothing of it is unpacked, and it does not stay to be taken for a later download.
      held.reset();
      DeleteFileA(archive.c_str());
      outcome.kind = InstallOutcome::Refused;
      return outcome;
    }
  }
  // A damaged archive, or one that is no archive at all (an error page, a cut-off download),
  // installs nothing: what it did put into the folder goes again.
  ExtractResult extracted = ExtractAll(held.get(), archive, searchDir_);
  if (!extracted.Complete()) {
    RemoveWritten(extracted);
    outcome.kind = InstallOutcome::Damaged;
    outcome.error = extracted.error;
    return outcome;
  }
  const std::string batchPath = searchDir_ + "Update.bat";
  if (extracted.batchIndex < 0) throw base::Exception("Die Datei \"" + batchPath + "\" kann nicht geöffnet werden.");
  WriteUpdateBatch(extracted.heldFiles[static_cast<std::size_t>(extracted.batchIndex)].get(), batchPath,
                   program.programDir, searchDir_, restart, false);
  held.reset();
  KeepForRestore(program, extracted, withConsent);
  // With consent, the archive stays for the installation that copies it.
  if (!withConsent) DeleteFileA(archive.c_str());
  heldFiles_ = std::move(extracted.heldFiles);
  outcome.kind = InstallOutcome::Prepared;
  outcome.request.searchDir = searchDir_;
  if (!program.publicKey.empty()) {
    outcome.request.listFile = listFileName_.substr(listFileName_.find_last_of('\\') + 1);
    outcome.request.signature = listSignature_;
    if (!chainFileName_.empty()) outcome.request.chainFile = chainFileName_.substr(chainFileName_.find_last_of('\\') + 1);
  }
  outcome.request.sha256 = archiveSha256_;
  return outcome;
}

void UpdateRun::KeepForRestore(const RunProgram& program, const ExtractResult& extracted, bool withConsent) {
  // What the version that is installed now would be skipped as once it is restored away.
  const SkippedVersion offered = OfferedVersion(program.name);
  PreviousVersion previous;
  previous.date = offered.date;
  previous.sha256 = offered.sha256;
  if (!ReadPreviousVersion(PreviousVersionText(previous))) previous.sha256.clear();
  // With consent the installation keeps the files itself, with the administrators' rights.
  const bool kept = withConsent || KeepPrevious(program.programDir, KeptNames(extracted));
  try {
    settings::ProgramKey key(program.Root(), program.registryKey,
                             kept ? settings::ProgramKey::Access::Create : settings::ProgramKey::Access::Change);
    if (kept)
      key.SetPreviousVersion(PreviousVersionText(previous));
    else if (key.IsOpen() && key.TryPreviousVersion())
      key.RemovePreviousVersion();
  } catch (const settings::ERegistryException&) {
    // A key without write access records no kept version: there is none to restore then.
  }
}

// ---- The installation's files -------------------------------------------------------------------

void WriteUpdateBatch(HANDLE batchFile, const std::string& batchPath, const std::string& programDir,
                      const std::string& tempDir, bool restart, bool administratorsFolder) {
  std::string templateText;
  if (!ReadHeld(batchFile, kTemplateLimit, templateText))
    throw base::Exception("Die Datei \"" + batchPath + "\" kann nicht gelesen werden.");
  Rewrite(batchFile, batchPath,
          base::BuildUpdateBatch(base::SplitTemplateLines(templateText), ToOemText(programDir), ToOemText(tempDir),
                                 restart, ToOemText(toolkit::ExeName()), ToOemText(SystemFolder()),
                                 administratorsFolder));
}

toolkit::Seam<bool(const std::string&)> ProgramFolderWritableSeam(
    [](const std::string& folder) { return ProgramFolderWritable(folder); });

bool ProgramFolderWritable(const std::string& folder) {
  // A name no other process uses: this process's id and a count of its own tries.
  static LONG tries = 0;
  for (int attempt = 0; attempt < 16; ++attempt) {
    const std::string probe = folder + "~trelk-" + std::to_string(GetCurrentProcessId()) + "-" +
                              std::to_string(InterlockedIncrement(&tries)) + ".tmp";
    HANDLE h = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    const DWORD error = h == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    toolkit::ScopedFile file(h);
    if (file) return MadeInPlace(file.get(), folder);
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
    return error != ERROR_ACCESS_DENIED;
  }
  return true;
}

std::optional<std::string> FaultReason(const ConnectionFault& fault) {
  if (fault.tls != net::TTlsFault::None) return SecureConnectionText(fault.tls, fault.tlsHost);
  if (fault.proxyAuth) return ProxyAuthText(fault.proxy);
  return std::nullopt;
}

std::string NoConnectionMessage(const ConnectionFault& fault) {
  if (const std::optional<std::string> reason = FaultReason(fault)) return *reason;
  if (fault.proxy.empty()) return kNoConnectionText;
  return std::string(kNoConnectionText) + kViaProxyText + fault.proxy + ".";
}

const char* NoConnectionCaption(const ConnectionFault& fault) {
  return fault.tls != net::TTlsFault::None ? kSecureConnectionCaption : kNoConnectionCaption;
}

}  // namespace wizard
