// TStatusForm's settings page "Einstellungen": how often the program reminds its user, read from
// and saved into the program key.
#include "wizard/TrelkUpdateFile_StatusForm.h"

#include "settings/ProgramKey.h"

namespace wizard {

using namespace toolkit;

void TStatusForm::Button_SettingsClick(TComponent*) {
  const settings::ProgramKey key(RootKey(), RegistryKey, settings::ProgramKey::Access::Create);
  if (key.NoUpdate()) {
    RadioButton_NoAutoUpdt->SetChecked(true);
  } else {
    RadioButton_AutoUpdt->SetChecked(true);
  }
  const std::optional<std::int32_t> interval = key.Interval();
  SpinEdit_AutoUpdt->SetValue(interval ? ClampInterval(*interval) : 7);
  Button_Settings->Hide();
  Panel_Title->SetCaption(kSettingsTitle);
  Notebook_StdButtons->SetPageIndex(kSettingsButtons);
  Pages->SetPageIndex(kSettingsPage);
}

void TStatusForm::Button_SettingsSaveClick(TComponent* sender) {
  settings::Reminder reminder;
  if (RadioButton_NoAutoUpdt->Checked()) {
    reminder.kind = settings::Reminder::Never;
  } else {
    reminder.kind = settings::Reminder::Interval;
    reminder.interval = SpinEdit_AutoUpdt->Value();
  }
  // A key that did not open fails at the write.
  settings::ProgramKey(RootKey(), RegistryKey, settings::ProgramKey::Access::Create).WriteReminder(reminder);
  Button_SettingsCancelClick(sender);
}

void TStatusForm::Button_SettingsCancelClick(TComponent*) {
  // The end has no page of its own: the last step page stays. The finish step without a
  // prepared installation is the failure state of "Einrichten", which stays on its own page.
  int page = Run.Step == WizardStep::Ended ? StepIndex(WizardStep::Finish) : StepIndex(Run.Step);
  if (Run.Step == WizardStep::Finish && !Run.InstallPrepared) page = kInstallPage;
  Panel_Title->SetCaption(TitleTexts[page]);
  Pages->SetPageIndex(page);
  Notebook_StdButtons->SetPageIndex(kStandardButtons);
  Button_Settings->Show();
}

void TStatusForm::RadioButton_UpdtClick(TComponent*) {
  const bool periodic = RadioButton_AutoUpdt->Checked();
  Label_AutoUpdt1->SetEnabled(periodic);
  SpinEdit_AutoUpdt->SetEnabled(periodic);
  Label_AutoUpdt2->SetEnabled(periodic);
}

}  // namespace wizard
