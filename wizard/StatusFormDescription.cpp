// TStatusForm's description: the window, its seven pages and every control with its text and
// place (the texts themselves are with the wizard's other texts in wizard_rules).
#include "wizard/TrelkUpdateFile_StatusForm.h"

#include "toolkit/FormBuilder.h"

namespace wizard {

using namespace toolkit;

namespace {

const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kTitleBlue = RGB(49, 106, 197);
const char kVerdana[] = "Verdana";

}  // namespace

// The whole wizard: the window and its controls in one description. The window is made with
// the form, its controls at the first show.
FormSpec TStatusForm::Description() {
  const Flag kGroup = Flag::Group;
  return FormSpec("Updates installieren", 658, 353)
      .Font(kVerdana, -11)
      .Color(kWhite)
      .Flags(FormFlag::DoubleBuffered)
      .OnCreate(this, &TStatusForm::FormCreate)
      .OnShow(this, &TStatusForm::FormShow)
      .OnCloseQuery(this, &TStatusForm::FormCloseQuery)
      .OnClose(this, &TStatusForm::FormClose)
      .OnDestroy(this, &TStatusForm::FormDestroy)
      .Controls({
          Row("PaintBox_Process", Kind::PaintBox, "", "", {0, 0, 225, 353})
              .Flags(Flag::DoubleBuffered)
              .Into(PaintBox_Process)
              .OnPaint(this, &TStatusForm::PaintBox_ProcessPaint),
          Row("Panel_Title", Kind::Panel, "", "", {232, 8, 417, 41})
              .Color(kTitleBlue)
              .Font(kVerdana, -19, FontStyle::Bold, kWhite)
              .Into(Panel_Title),
          Row("Pages", Kind::PageControl, "", "", {232, 56, 417, 249}).Into(Pages),
          Row("Bestätigung1", Kind::Page, "Pages"),
          Row("Prüfen", Kind::Page, "Pages"),
          Row("Bestätigung2", Kind::Page, "Pages"),
          Row("Download", Kind::Page, "Pages"),
          Row("Einrichten", Kind::Page, "Pages"),
          Row("Bestätigung3", Kind::Page, "Pages"),
          Row("Einstellungen", Kind::Page, "Pages"),
          Row("Bevel1", Kind::HLine, "", "", {232, 312, 417, 2}).Into(Bevel1),
          Row("Button_Settings", Kind::Button, "", "Einstellungen", {240, 320, 97, 25})
              .Into(Button_Settings)
              .OnClick(this, &TStatusForm::Button_SettingsClick),
          Row("Notebook_StdButtons", Kind::PageControl, "", "", {456, 314, 193, 37}).Into(Notebook_StdButtons),
          Row("Standard", Kind::Page, "Notebook_StdButtons"),
          Row("Einstellungen", Kind::Page, "Notebook_StdButtons"),
          Row("Button_Cancel", Kind::Button, "Notebook_StdButtons.Standard", "Abbrechen", {6, 6, 83, 25})
              .Flags(Flag::Cancel)
              .Into(Button_Cancel)
              .OnClick(this, &TStatusForm::Button_CancelClick),
          Row("Button_Next", Kind::Button, "Notebook_StdButtons.Standard", "Weiter >", {100, 6, 83, 25})
              .Flags(Flag::Default)
              .Into(Button_Next)
              .OnClick(this, &TStatusForm::Button_NextClick),
          Row("Button_SettingsCancel", Kind::Button, "Notebook_StdButtons.Einstellungen", "Abbrechen", {6, 6, 83, 25})
              .Flags(Flag::Cancel)
              .Into(Button_SettingsCancel)
              .OnClick(this, &TStatusForm::Button_SettingsCancelClick),
          Row("Button_SettingsSave", Kind::Button, "Notebook_StdButtons.Einstellungen", "Speichern", {100, 6, 83, 25})
              .Flags(Flag::Default)
              .Into(Button_SettingsSave)
              .OnClick(this, &TStatusForm::Button_SettingsSaveClick),
          // Page 0
          Row("Image_Icon1", Kind::Image, "Pages.Bestätigung1", "", {8, 8, 32, 32}).Into(Image_Icon1),
          Row("Label2", Kind::WrapLabel, "Pages.Bestätigung1", kWelcomeText, {56, 8, 353, 233}).Into(Label2),
          // Page 1
          Row("Label4", Kind::WrapLabel, "Prüfen", kCheckText, {8, 8, 401, 57}).Into(Label4),
          Row("Button_Check", Kind::Button, "Prüfen", "Jetzt auf neue Updates prüfen", {8, 96, 185, 25})
              .Into(Button_Check)
              .OnClick(this, &TStatusForm::Button_CheckClick),
          // Page 2
          Row("Label_CheckResult", Kind::WrapLabel, "Bestätigung2", "", {8, 8, 401, 201}).Into(Label_CheckResult),
          Row("Button_Skip", Kind::Button, "Bestätigung2", kSkipCaption, {8, 216, 185, 25})
              .Into(Button_Skip)
              .OnClick(this, &TStatusForm::Button_SkipClick),
          // Page 3
          Row("Label_Download", Kind::WrapLabel, "Download", kDownloadText, {8, 8, 401, 89}).Into(Label_Download),
          Row("Status", Kind::ProgressBar, "Download", "", {52, 112, 337, 25}).Range(0, 100, 0).Into(Status),
          Row("PerCent", Kind::WrapLabel, "Download", "", {52, 144, 337, 13})
              .Font("MS Sans Serif", -11)
              .Flags(Flag::Centered)
              .Into(PerCent),
          // The two lines change while the bytes stream in: boxes of their own size, so that a
          // new text repaints the line and does not resize it.
          Row("StatusLabel", Kind::Label, "Download", "", {52, 168, 337, 13}).Into(StatusLabel),
          Row("TimeLeft", Kind::Label, "Download", "", {52, 192, 337, 13}).Into(TimeLeft),
          Row("Icon", Kind::Image, "Download", "", {8, 160, 33, 33}).Into(Icon),
          Row("CancelDownload", Kind::Button, "Download", "Download ab&brechen", {240, 216, 155, 25})
              .Into(CancelDownload)
              .OnClick(this, &TStatusForm::CancelDownloadClick),
          // Page 4
          Row("Image_Icon2", Kind::Image, "Einrichten", "", {8, 8, 32, 32}).Into(Image_Icon2),
          Row("Label3", Kind::WrapLabel, "Einrichten", kInstallText, {56, 8, 353, 177}).Into(Label3),
          Row("CheckBox_Restart", Kind::CheckBox, "Einrichten", "Programm automatisch neu starten", {56, 224, 353, 17})
              .Flags(Flag::Checked)
              .Into(CheckBox_Restart),
          // Page 5
          Row("Image_Icon3", Kind::Image, "Bestätigung3", "", {8, 8, 32, 32}).Into(Image_Icon3),
          Row("Label5", Kind::WrapLabel, "Bestätigung3", kFinishText, {56, 8, 353, 233}).Into(Label5),
          // Page 6
          Row("GroupBox1", Kind::GroupBox, "Pages.Einstellungen",
              "Wie oft wollen Sie zum Suchen nach Updates aufgefordert werden?", {8, 8, 401, 233})
              .Into(GroupBox1),
          Row("RadioButton_NoAutoUpdt", Kind::RadioButton, "GroupBox1", "Niemals automatisch zum Updaten auffordern",
              {16, 24, 377, 17})
              .Flags(kGroup)
              .Into(RadioButton_NoAutoUpdt)
              .OnClick(this, &TStatusForm::RadioButton_UpdtClick),
          Row("Label1", Kind::WrapLabel, "GroupBox1", kNeverText, {40, 40, 353, 73}).Into(Label1),
          Row("RadioButton_AutoUpdt", Kind::RadioButton, "GroupBox1",
              "Regelmäßig in bestimmten Abständen zum Updaten auffordern", {16, 112, 383, 17})
              .Flags(Flag::Checked)
              .Into(RadioButton_AutoUpdt)
              .OnClick(this, &TStatusForm::RadioButton_UpdtClick),
          Row("Label6", Kind::WrapLabel, "GroupBox1", kPeriodicText, {40, 128, 353, 57}).Into(Label6),
          Row("Label_AutoUpdt1", Kind::Label, "GroupBox1", "Alle", {40, 192, 0, 0}).Into(Label_AutoUpdt1),
          Row("SpinEdit_AutoUpdt", Kind::SpinEdit, "GroupBox1", "", {70, 188, 49, 22})
              .Range(kMinInterval, kMaxInterval, 7)
              .Into(SpinEdit_AutoUpdt),
          Row("Label_AutoUpdt2", Kind::Label, "GroupBox1", "Tage an Updates erinnern", {122, 192, 0, 0})
              .Into(Label_AutoUpdt2),
      });
}

}  // namespace wizard
