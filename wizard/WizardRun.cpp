// The wizard's run and its resets.
#include "wizard/WizardRun.h"

#include "wizard/SearchFolder.h"

namespace wizard {

void WizardRun::DropPartialArchive() {
  HeldArchive.reset();
  ArchiveResume = net::TResumePoint();
}

void WizardRun::DropSearch() {
  DropPartialArchive();
  UpdateList.reset();
  HeldList.reset();
  HeldFiles.clear();
  ListFileName.clear();
  ListSignature.clear();
  ArchiveSha256.clear();
  if (!SearchDir.empty()) RemoveFolderTree(SearchDir);
  SearchDir.clear();
}

void WizardRun::Begin(const std::string& tempDir) {
  DropSearch();
  TempDir = tempDir;
  Step = WizardStep::Welcome;
  UpdateAvailable = false;
  Downloading = false;
  CancelConfirmed = false;
  DownloadAborted = false;
  DownloadFailed = false;
  DownloadTooLarge = false;
  InstallPrepared = false;
  NeedsConsent = false;
  BatchStarted = false;
  ReminderWritten = false;
  ListRefusal = Refusal::None;
  ArchiveSize.reset();
  DownloadSizeWrong = false;
  WayBack = false;
  ArchiveRefused = false;
  CloseAfterDownload = false;
}

void WizardRun::RetryDownload() {
  Step = WizardStep::Result;
  UpdateAvailable = true;
  DownloadFailed = false;
  DownloadTooLarge = false;
  DownloadAborted = false;
  CancelConfirmed = false;
}

void WizardRun::BackToCheck() {
  Step = WizardStep::Welcome;
  WayBack = false;
  ListRefusal = Refusal::None;
  ArchiveSize.reset();
  DownloadSizeWrong = false;
  ArchiveRefused = false;
}

}  // namespace wizard
