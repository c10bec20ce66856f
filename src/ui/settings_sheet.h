#pragma once
// The "Settings" sheet: the options record spread over pages, written back only on OK.

#include <QDialog>
#include <QWidget>
#include <vector>

#include "formats/output_format.h"
#include "settings/app_settings.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTabWidget;

namespace korvi {

// Output folder, library folder, lookup options (the e-mail address for the CDDB server's hello
// and the sources asked after the library, in order, among them), overwrite prompt, tracks encoded
// at once, and how a drive is read.
class CSetsPageGeneral : public QWidget {
  Q_OBJECT

 public:
  explicit CSetsPageGeneral(QWidget* parent = nullptr);

  void Load(const CAppSettings& settings);
  // The flags as they stand and the folders as typed.
  void Store(CAppSettings& settings) const;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  QWidget* BuildOutputGroup();
  QWidget* BuildLibraryGroup();
  // AccurateRip, the log and the cue sheet: what a job does once the tracks are read.
  QWidget* BuildReportGroup();
  // The online sources, one checkable row each: the checked ones are asked in the list's order.
  QWidget* BuildLookupOrderGroup();
  // The sources that are on, in their order, then those that are off.
  void LoadLookupOrder(const std::string& order);
  std::string StoredLookupOrder() const;
  // Moves the selected source `by` rows up (negative) or down.
  void MoveSelectedSource(int by);
  void UpdateMoveButtons();
  // A folder is typed only where it is used: the output folder while no selector is shown
  // before ripping, the library folder while disc-info is saved automatically.
  void UpdateEnabling();
  void BrowseOutputFolder();
  void BrowseLibraryFolder();

  QCheckBox* m_selectorCheck;
  QLabel* m_outputLabel;
  QLineEdit* m_outputEdit;
  QPushButton* m_outputBrowse;
  QLabel* m_libraryLabel;
  QLineEdit* m_libraryEdit;
  QPushButton* m_libraryBrowse;
  QCheckBox* m_saveLibraryCheck;
  QCheckBox* m_lookupCheck;
  QLineEdit* m_cddbEmailEdit;
  QListWidget* m_lookupOrderList;
  QPushButton* m_lookupUp;
  QPushButton* m_lookupDown;
  QCheckBox* m_overwriteCheck;
  QSpinBox* m_jobsSpin;
  QComboBox* m_readModeCombo;
  QSpinBox* m_offsetSpin;
  QCheckBox* m_testAndCopyCheck;
  QSpinBox* m_readSpeedSpin;
  QCheckBox* m_ejectCheck;
  QCheckBox* m_verifyCheck;
  QCheckBox* m_writeLogCheck;
  QCheckBox* m_writeCueCheck;
  QCheckBox* m_tagsCheck;
};

// A format's options, one field each, as the format table describes them: a list for a choice
// (a value the list does not offer shows no selection and is kept as set), a spin box for a range,
// a check box for a switch.
class CSetsPageFormat : public QWidget {
  Q_OBJECT

 public:
  explicit CSetsPageFormat(const OutputFormatInfo& format, QWidget* parent = nullptr);

  const OutputFormatInfo& Format() const { return m_format; }
  void Load(const CAppSettings& settings);
  void Store(CAppSettings& settings) const;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  struct Field {
    const FormatOption* option;
    QWidget* widget;
    int32_t value;  // a choice's, kept apart from the list
  };

  QWidget* MakeField(const FormatOption& option);
  void FillChoices();
  void OnChosen(size_t field, int index);

  const OutputFormatInfo& m_format;
  std::vector<Field> m_fields;
};

// The dialog: the pages on tabs, OK and Cancel.
class CSettingsSheet : public QDialog {
  Q_OBJECT

 public:
  explicit CSettingsSheet(QWidget* parent = nullptr);

  void Load(const CAppSettings& settings);
  void Store(CAppSettings& settings) const;

 private:
  QTabWidget* m_tabs;
  CSetsPageGeneral* m_general;
  std::vector<CSetsPageFormat*> m_formats;
};

// Shows the sheet on `settings`; true and every field written back when the user pressed OK,
// false and nothing changed otherwise.
bool EditSettings(QWidget* parent, CAppSettings& settings);

}  // namespace korvi
