// UpdateRun: the work of one wizard run, without a window. The check, the download and the
// preparation of the installation are functions that return what came of them; the wizard's form
// shows that and sets its flags from it. The run owns what the current search holds in its folder
// below the temporary directory (the list, the archive, the unpacked files, "Update.bat") and lets
// go of it in one place (DropSearch).
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/DateTime.h"
#include "net/HttpClient.h"
#include "net/http_rules.h"
#include "settings/settings_rules.h"
#include "toolkit/Handles.h"
#include "toolkit/Seams.h"
#include "wizard/IniFile.h"
#include "wizard/protected_rules.h"
#include "wizard/update_rules.h"

namespace wizard {

struct ExtractResult;

// The program a run updates, as the update component set it before the show, and what the build
// gave it.
struct RunProgram {
  std::string name;         // ProgramName: its section in the list
  std::string zipFileName;  // ZIPFileName: the archive's name in the search folder
  std::string registryKey;  // RegistryKey
  bool hkcu = false;        // HKCU: the program key below HKEY_CURRENT_USER
  base::TDateTime referenceDate = 0;
  std::string programDir;  // the folder the installation replaces files in, with its backslash
  std::string server;      // the update server: "http://" or "https://" and "host" or "host:port"
                           // (an authority alone is "http://")
  // The maker's root keys built into the program (Base64, one or two separated by ","); empty:
  // the list and the archive are taken as they come.
  std::string publicKey;
  // What the administrator decided for the program (its pins are judged by the check).
  settings::Policy policy;
  // The user asked for this search (Ctrl+U, the settings tool's search): a skipped version and a
  // rollout do not hold the offer back. A reminder's search is held back by both.
  bool userSearch = false;
  // The settings tool's look at all programs: the list stays held for JudgeMember also when the
  // administrator's pin keeps its offer from this program.
  bool keepsList = false;
  HKEY Root() const { return hkcu ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE; }
};

// Why a fetch found no connection that served it, as far as the pages tell it.
struct ConnectionFault {
  std::string proxy;       // "host:port" of the user's proxy the request went through; empty: direct
  bool proxyAuth = false;  // ... which asks for a password
  net::TTlsFault tls = net::TTlsFault::None;  // no secure connection to `tlsHost` came about, and why
  std::string tlsHost;
};

// What a check came to.
struct CheckOutcome {
  enum Kind {
    Offered,       // the list offers an update for the program
    NoUpdate,      // the list was read and offers none
    Refused,       // a program with a key may not read the list: `refusal` says why
    NoConnection,  // no list came (no connection, an error status, a reply cut off)
    ListTooLong,   // the reply passed the size any list has
    Pinned,        // the list offers an update that lies after the administrator's pin
  } kind = NoConnection;
  Refusal refusal = Refusal::None;
  ConnectionFault fault;  // NoConnection: why
  // The list offered an update that the user skipped, or that the rollout holds back from this
  // installation: a reminder's search comes to NoUpdate then, the user's own to Offered.
  bool skipped = false;
  bool heldBack = false;
  // Offered (or held back): the version, as a skip records it.
  SkippedVersion version;
};

// What a download came to.
struct DownloadOutcome {
  enum Kind {
    Done,       // the archive arrived whole
    Stopped,    // the user stopped it; its file is gone
    Failed,     // it did not arrive whole (no connection, an error status, cut off)
    NoRoom,     // ... because it passed the room on the temporary folder's drive
    WrongSize,  // it ended shorter or longer than the signed list's "Size"; nothing of the search stays
  } kind = Failed;
  // Failed: the bytes that arrived stay, and the next download asks only for the rest.
  bool continues = false;
  ConnectionFault fault;  // Failed: why
};

// What the preparation of the installation came to.
struct InstallOutcome {
  enum Kind {
    Prepared,  // "Update.bat" is written; the unpacked files are held until it starts
    Missing,   // there is no archive to unpack
    Refused,   // the archive is not the one the list names (`refusal`); it is deleted
    Damaged,   // it could not be unpacked (`error`); what it put into the folder is gone
  } kind = Missing;
  Refusal refusal = Refusal::None;
  std::string error;
  // Prepared: the search folder with "Update.bat", and what the installation with consent is
  // asked to check its own copies against.
  ProtectedRequest request;
};

class UpdateRun {
 public:
  // The end of a run lets go of what it holds but removes nothing: a prepared installation's
  // folder stays for its batch, which starts as the program ends.
  UpdateRun() = default;
  ~UpdateRun() = default;
  UpdateRun(const UpdateRun&) = delete;
  UpdateRun& operator=(const UpdateRun&) = delete;

  // A show: a new run in `tempDir` (with its backslash). Nothing of an earlier search in this
  // process is used again. Throws nothing.
  void Begin(const std::string& tempDir);

  // Fetches the update list with `http` (borrowed) into a new search folder and judges it: with
  // a key, its signature, serial, expiry and "Size" (an accepted serial is stored as
  // "UpdateSerial", unless the administrator's serial pin keeps the list out); then whether it
  // offers an update, and whether that passes the administrator's pin (RunProgram::policy). Whatever the earlier search of this run
  // (or a program that ended without cleaning up) left goes first. Nothing of a list that was
  // not offered stays. Throws nothing of the transfer's.
  CheckOutcome Check(net::THttpClient& http, const RunProgram& program);
  // The news list of the result page, from the list of the last check.
  std::optional<std::string> News(const std::string& programName) const;
  // How the list of the last check (one that was read, whatever it offered the program it was
  // fetched for) stands to another program of the family, judged as that program's own search
  // would judge it with the same key: Refused when the list's signer may not sign for it
  // (ProgramNotCovered), when it remembers a later delegation or the signing root key as retired,
  // when a signed list is older than one it accepted or its section's date
  // or size cannot be read; else Offered, NoUpdate or Pinned by its installed version's date
  // (`member.referenceDate`) and its policy, with `skipped` and `heldBack` as a reminder of it
  // would find them (its rollout number is drawn when the list has a rollout). NoConnection
  // without a list.
  CheckOutcome JudgeMember(const RunProgram& member) const;

  // Downloads the archive the offered list names into the search folder. The caller's
  // OnPacketRecvd handler on `http` sees every block and may Abort; `stopped` tells afterwards
  // whether that was the user's stop (the file then goes after 3 s). A download that did not arrive whole keeps what
  // arrived when a retry can continue it (the server's validator, or a key's checksum judges the
  // whole), and the next Download asks only for the rest. Throws nothing of the transfer's.
  DownloadOutcome Download(net::THttpClient& http, const RunProgram& program, const std::function<bool()>& stopped);
  // Where the running (or the last) download's reply body began in the archive: the bytes an
  // earlier attempt left that it continues, 0 for a whole archive.
  std::int64_t BodyStart() const { return heldArchive_ ? resume_.BodyStart : bodyStart_; }
  // Time of day the current download began; 0 before the first.
  base::TDateTime DownloadStart() const { return downloadStart_; }

  // Unpacks the downloaded archive into the search folder and writes "Update.bat" for
  // `program`'s folder (`restart`: the batch starts the program again). `withConsent`: the
  // program folder refuses this user's write, the installation runs from the program's own
  // executable with consent (the archive stays for it to copy, and its checksum binds it). With a
  // key, or with consent, the archive's SHA-256 is taken first, and with a key it must be the
  // list's "SHA256". Throws base::Exception for a batch template the rules refuse or that
  // cannot be written.
  InstallOutcome Prepare(const RunProgram& program, bool restart, bool withConsent);
  // Lets go of the list and of what the installation held: the installation with consent takes
  // its own copies, the batch its files.
  void ReleaseHeld();

  // Lets go of the list, the archive and the held files and removes the search folder with
  // everything in it. Throws nothing.
  void DropSearch();

  const std::string& TempDir() const { return tempDir_; }
  // The folder of the current search, with its backslash; empty before the first check and after
  // it was removed.
  const std::string& SearchDir() const { return searchDir_; }
  // Whether the list of the last check is held (released after the installation's start).
  bool HasList() const { return static_cast<bool>(list_); }

 private:
  // The list of the current search into a file of the search folder; the fetch's result, with
  // `refusal` set when a key refuses what came. Reads it (list_) when nothing refused it.
  struct ListFetch;
  ListFetch FetchList(net::THttpClient& http, const RunProgram& program);
  std::optional<Refusal> CheckListSignature(net::THttpClient& http, const RunProgram& program,
                                            const std::string& bytes);
  Refusal CheckListFreshness(const RunProgram& program);
  // The version the held list offers `programName` (its day and "SHA256"), as a skip or a kept
  // version records it.
  SkippedVersion OfferedVersion(const std::string& programName) const;
  // Whether a skip or the rollout holds the list's offer back from this search; fills the
  // outcome's version, skipped and heldBack.
  bool HoldsOfferBack(const RunProgram& program, CheckOutcome& outcome) const;
  // Whether the offer of the held list passes the administrator's pin; the list's serial.
  bool PassesPin(const RunProgram& program) const;
  std::optional<std::uint32_t> ListSerial() const;
  // The archive's SHA-256 (archiveSha256_) and, with a key, its verdict.
  Refusal JudgeHeldArchive(HANDLE held, const RunProgram& program);
  void DropPartialArchive();
  // Keeps what the prepared installation replaces in the program folder (with consent, the
  // installation does) and records it as pending in the program key.
  void KeepForRestore(const RunProgram& program, const ExtractResult& extracted, bool withConsent);

  std::string tempDir_;
  std::string searchDir_;
  std::string listFileName_;
  std::unique_ptr<TIniFile> list_;
  // The list file, open for reading and shared for reading only while list_ reads it: the values
  // shown and used are those of the bytes that were checked.
  toolkit::ScopedFile heldList_;
  // The list's signature line as the server sent it (with a key), and the SHA-256 of the archive
  // the preparation unpacked (64 hex digits; with consent or a key).
  std::string listSignature_;
  std::string archiveSha256_;
  // With root keys, a list that came with a chain: the chain's file in the search folder, held
  // like the list, and what the program remembers once the list is accepted.
  std::string chainFileName_;
  toolkit::ScopedFile heldChain_;
  std::optional<std::uint32_t> chainEpoch_;
  std::vector<std::string> chainRetire_;
  // The delegation of an accepted chain: the programs its release key may sign for.
  std::optional<base::Delegation> delegation_;
  // The archive's length as the signed list gives it ("Size"); none without a key or a "Size".
  std::optional<std::int64_t> archiveSize_;
  // The archive while it is downloaded: open for reading and writing and shared for reading
  // only, from the first attempt until it arrived whole or is given up, so that no other process
  // changes the bytes a retry continues; resume_: what a broken attempt left in it.
  toolkit::ScopedFile heldArchive_;
  net::TResumePoint resume_;
  std::int64_t bodyStart_ = 0;  // where the last download's reply began, once it has ended
  base::TDateTime downloadStart_ = 0;
  // The unpacked files and "Update.bat" of a prepared installation, held open until the batch
  // starts: no other process changes them meanwhile, and other searches see the installation as
  // pending.
  std::vector<toolkit::ScopedFile> heldFiles_;
};

// What the pages name as the cause of a failed fetch: a refused secure connection, or the user's
// proxy that asks for a password; none for any other failure.
std::optional<std::string> FaultReason(const ConnectionFault& fault);
// The message of a check that found no connection, with its caption: why, where the fault says
// (a refused secure connection, a proxy that asks for a password), through which proxy.
std::string NoConnectionMessage(const ConnectionFault& fault);
const char* NoConnectionCaption(const ConnectionFault& fault);

// Whether this user can write into `folder` (with its backslash): a file of a name of its own is
// made there and deleted again as it closes. Only a refused access counts as not writable (a
// full or missing drive is not a matter of consent); a file that a virtualised program's write
// put into the user's own store instead of `folder` counts as refused. Throws nothing.
bool ProgramFolderWritable(const std::string& folder);
// The wizard asks this seam, which answers with ProgramFolderWritable unless a test put in
// another answer.
extern toolkit::Seam<bool(const std::string& folder)> ProgramFolderWritableSeam;

// What a signed list says of its serial and expiry and of the program's "Size".
ListFreshness ReadListFreshness(const TIniFile& list, const std::string& programName);
// The highest serial the program with this key accepted ("UpdateSerial"); nullopt when it never
// accepted one. A value of another type counts as accepted, as the lowest serial there is: a list
// without a serial stays refused, and the next accepted one writes it right.
std::optional<std::uint32_t> StoredListSerial(HKEY root, const std::string& registryKey);
// What the program with root keys remembers of accepted chains ("UpdateKeyEpoch",
// "UpdateKeyRetired"); an epoch of another type counts as the lowest, as the serial does.
base::ChainMemory StoredChainMemory(HKEY root, const std::string& registryKey);
// The version the user skipped ("SkippedDate", "SkippedSHA256"); none when none, or when it
// cannot be read.
std::optional<SkippedVersion> StoredSkip(HKEY root, const std::string& registryKey);
// The number this installation drew for rollouts ("RolloutNumber"), drawn from the system's
// random source and stored at the first call. A number that cannot be stored counts as 99, the
// last in line: a key without write access must not draw a new chance at every check.
int RolloutNumber(HKEY root, const std::string& registryKey);

// Turns the batch template the extraction made and still holds in `batchFile` (borrowed; its
// path `batchPath`) into "Update.bat" for the running program in `programDir`, written into the
// same file (base::BuildUpdateBatch with the system folder; `administratorsFolder` for the
// installation with consent). Throws base::Exception when the file cannot be read or written
// and base::EConvertError for a template the rules refuse.
void WriteUpdateBatch(HANDLE batchFile, const std::string& batchPath, const std::string& programDir,
                      const std::string& tempDir, bool restart, bool administratorsFolder);

}  // namespace wizard
