// The download of the update archive with its progress display, the stop and the retry.
#include <windows.h>

#include <cmath>
#include <cstdint>

#include "toolkit/Application.h"
#include "toolkit/Dialogs.h"
#include "toolkit/Seams.h"
#include "wizard/FetchFile.h"
#include "wizard/TrelkUpdateFile_StatusForm.h"
#include "wizard/UserLocale.h"
#include "wizard/update_rules.h"

namespace wizard {

namespace {

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

}  // namespace

std::string TStatusForm::FormatSize(std::int64_t bytes, int decimals) {
  return wizard::FormatSize(bytes, decimals, UserDecimalSeparator());
}

bool TStatusForm::ConfirmStop() {
  MessageBeep(MB_ICONQUESTION);
  return toolkit::MessageDlg(kStopDownloadQuestion, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void TStatusForm::RunDownload() {
  Button_Next->SetEnabled(false);
  Label_Download->SetCaption(kDownloadText);
  CancelDownload->SetText("Download ab&brechen");
  CancelDownload->Show();
  toolkit::ProcessMessages();
  DownloadUpdate(Run.SearchDir + ZIPFileName);
  if (Run.DownloadSizeWrong) {
    // Not the archive the signed list names: nothing of the search stays, and the way back
    // leads to a new check.
    Run.DropSearch();
    Label_Download->SetCaption(RefusalText(Refusal::ArchiveSizeWrong));
    CancelDownload->Hide();
    OfferWayBack();
    if (Run.CloseAfterDownload) {
      Run.CloseAfterDownload = false;
      Close();
    }
    return;
  }
  Label_Download->SetCaption(Run.DownloadAborted    ? kDownloadStoppedText
                             : Run.DownloadTooLarge ? kDownloadNoRoomText
                             : Run.DownloadFailed   ? kDownloadFailedText
                                                    : kDownloadDoneText);
  if (Run.DownloadAborted || Run.DownloadFailed) {
    CancelDownload->SetText("Erneut versuchen");
  } else {
    CancelDownload->Hide();
    Button_Next->SetEnabled(true);
  }
  // The user left the wizard during the download and said "Ja".
  if (Run.CloseAfterDownload) {
    Run.CloseAfterDownload = false;
    Close();
  }
}

void TStatusForm::DownloadUpdate(const std::string& localFile) {
  if (!Run.UpdateList) return;
  Run.DownloadStart = TimeOfDay();
  progressReported_ = false;
  progressShownAt_ = GetTickCount();
  // Asking the platform for them at every showing would cost more than the showing.
  progressSeparator_ = UserDecimalSeparator();
  progressTimeFormat_ = UserTimeFormat();
  HTTP->OnPacketRecvd = [this](toolkit::TComponent* sender) { OnUpdateTimer(sender); };
  Run.Downloading = true;
  Run.DownloadFailed = false;
  Run.DownloadTooLarge = false;
  Run.DownloadSizeWrong = false;
  // The archive is written through a handle the wizard holds until it arrived whole or is given
  // up: the bytes a retry continues are the ones this wizard wrote.
  FetchResult fetched;
  if (!Run.HeldArchive) {
    Run.ArchiveResume = net::TResumePoint();
    Run.HeldArchive.reset(CreateFileA(localFile.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  // The archive may take the drive's free space less a margin, never all of it: a server that
  // streams without end fills no disk. With a signed "Size" it takes no byte more than that. Both
  // count the whole archive, the bytes an earlier attempt left included.
  const std::int64_t kept = Run.ArchiveResume.Kept;
  const std::int64_t room = DownloadLimit(Run.SearchDir);
  const bool sizeLimits = Run.ArchiveSize && (room < 0 || *Run.ArchiveSize <= room + kept);
  const std::int64_t limit = sizeLimits ? *Run.ArchiveSize : room < 0 ? -1 : room + kept;
  if (Run.ArchiveSize && Run.ArchiveResume.Total < 0) Run.ArchiveResume.Total = *Run.ArchiveSize;
  if (Run.HeldArchive) {
    fetched = FetchArchive(*HTTP,
                           "http://" + UpdateServer + "/Updates/" + Run.UpdateList->ReadString(ProgramName, "File", ""),
                           Run.HeldArchive.get(), localFile, limit, Run.ArchiveResume);
  } else {
    fetched.reason = "Die Datei \"" + localFile + "\" kann nicht erstellt werden.";
  }
  Run.Downloading = false;
  HTTP->OnPacketRecvd = nullptr;
  // The last block's figures, whether or not they were shown when it came.
  if (progressReported_) ShowProgress();
  if (Run.DownloadAborted) {
    Run.DropPartialArchive();
    Sleep(3000);
    DeleteFileA(localFile.c_str());
  } else if ((fetched.arrived || (fetched.tooLong && sizeLimits)) &&
             JudgeDownloadSize(Run.ArchiveSize, fetched.tooLong, FileBytes(localFile)) != Refusal::None) {
    Run.DownloadSizeWrong = true;
    Run.DropPartialArchive();
    DeleteFileA(localFile.c_str());
  } else if (!fetched.arrived) {
    Run.DownloadFailed = true;
    Run.DownloadTooLarge = fetched.tooLong;
    // A download that broke off keeps what arrived, and "Erneut versuchen" asks only for the
    // rest, when the rest can be told apart from another file's: by the server's validator, or
    // by the checksum of a program with a key, which judges the whole archive.
    if (fetched.broken && (!Run.ArchiveResume.Validator.empty() || !UpdatePublicKey.empty())) return;
    // Otherwise what arrived (an error page, the first part of the archive) goes, and "Erneut
    // versuchen" fetches it again.
    Run.DropPartialArchive();
    DeleteFileA(localFile.c_str());
  } else {
    // Whole: the installation holds it for reading from here on.
    Run.DropPartialArchive();
  }
}

void TStatusForm::OnUpdateTimer(toolkit::TComponent*) {
  // Every block is looked at, but the progress is shown at most every kDisplaySpacing ms (four
  // times a second, often enough for figures a person reads): from a fast server the blocks
  // come thousands of times a second, and even at a modest rate painting the page (or looking
  // at the message queue, which under Wine asks the display server) for each of them would
  // cost more than receiving them. The client's receive loop handles the queue every few
  // milliseconds meanwhile, so clicks are not kept waiting. The last block of an announced
  // length and the end of the transfer (DownloadUpdate) are always shown.
  progressReported_ = true;
  const DWORD now = GetTickCount();
  const std::int64_t expected = HTTP->ExpectedBytes();
  if (now - progressShownAt_ >= kDisplaySpacing || (expected > 0 && HTTP->ReceivedBytes() >= expected)) {
    toolkit::ProcessMessages();
    ShowProgress();
    progressShownAt_ = now;
  }
  if (Run.CancelConfirmed) {
    try {
      HTTP->Abort();
    } catch (...) {
    }
    Run.DownloadAborted = true;
  }
}

void TStatusForm::ShowProgress() {
  // The whole archive: the bytes a broken attempt left count; the time left is that of this reply.
  const std::int64_t before = Run.ArchiveResume.BodyStart;
  const std::int64_t expected = HTTP->ExpectedBytes() > 0 ? before + HTTP->ExpectedBytes() : 0;
  const std::int64_t received = before + HTTP->ReceivedBytes();
  double remaining = 0;
  if (Run.DownloadStart != 0) {
    const double e1 = TimeOfDay() - Run.DownloadStart;
    const double e2 = TimeOfDay() - Run.DownloadStart;
    remaining = RemainingDays(HTTP->ExpectedBytes(), HTTP->ReceivedBytes(), Run.DownloadStart, e1, e2);
  }
  // The bar counts in whole numbers: amounts beyond their range are halved together.
  std::int64_t maximum = expected, position = received;
  while (maximum > INT32_MAX || position > INT32_MAX) {
    maximum /= 2;
    position /= 2;
  }
  if (Status->Min() != 0 || Status->Max() != maximum) Status->SetRange(0, static_cast<int>(maximum));
  if (Status->Position() != position) Status->SetPosition(static_cast<int>(position));
  SetCaptionIfChanged(PerCent, PercentText(received, expected));
  SetCaptionIfChanged(StatusLabel, wizard::FormatSize(received, 1, progressSeparator_) + " von " +
                                       wizard::FormatSize(expected, 1, progressSeparator_) + " gedownloadet");
  SetCaptionIfChanged(TimeLeft, "verbleibende Zeit: " + RemainingTimeText(remaining, progressTimeFormat_));
}

void TStatusForm::CancelDownloadClick(toolkit::TComponent*) {
  if (Run.Downloading) {
    if (ConfirmStop()) Run.CancelConfirmed = true;
    return;
  }
  // "Erneut versuchen": back to the result step, and the download step runs again.
  Run.RetryDownload();
  Button_NextClick(CancelDownload);
}

}  // namespace wizard
