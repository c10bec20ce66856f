#pragma once
// The "Settings" sheet: the options record spread over pages, written back only on OK.

#include <QDialog>
#include <QWidget>

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
  QCheckBox* m_verifyCheck;
  QCheckBox* m_writeLogCheck;
  QCheckBox* m_writeCueCheck;
  QCheckBox* m_tagsCheck;
};

// MP3 bit rate and ID3 tag.
class CSetsPageMP3 : public QWidget {
  Q_OBJECT

 public:
  explicit CSetsPageMP3(QWidget* parent = nullptr);

  void Load(const CAppSettings& settings);
  void Store(CAppSettings& settings) const;

  // Kept as set even when the list has no such rate.
  int BitRate() const { return m_bitRate; }
  void SetBitRate(int bitRate);

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void FillBitRates();
  void OnBitRateChosen(int index);

  int m_bitRate = 192;
  QComboBox* m_bitRateCombo;
  QCheckBox* m_id3Check;
};

// APE compression level.
class CSetsPageAPE : public QWidget {
  Q_OBJECT

 public:
  explicit CSetsPageAPE(QWidget* parent = nullptr);

  void Load(const CAppSettings& settings);
  void Store(CAppSettings& settings) const;

  // Kept as set even when the list has no such level.
  int Level() const { return m_level; }
  void SetLevel(int level);

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void FillLevels();
  void OnLevelChosen(int index);

  int m_level = 2000;
  QComboBox* m_levelCombo;
};

// FLAC compression level, 0 to 8.
class CSetsPageFLAC : public QWidget {
  Q_OBJECT

 public:
  explicit CSetsPageFLAC(QWidget* parent = nullptr);

  void Load(const CAppSettings& settings);
  void Store(CAppSettings& settings) const;

 private:
  QSpinBox* m_levelSpin;
};

// Opus bit rate, 64 to 256 kbit/s.
class CSetsPageOpus : public QWidget {
  Q_OBJECT

 public:
  explicit CSetsPageOpus(QWidget* parent = nullptr);

  void Load(const CAppSettings& settings);
  void Store(CAppSettings& settings) const;

 private:
  QSpinBox* m_bitrateSpin;
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
  CSetsPageMP3* m_mp3;
  CSetsPageAPE* m_ape;
  CSetsPageFLAC* m_flac;
  CSetsPageOpus* m_opus;
};

// Shows the sheet on `settings`; true and every field written back when the user pressed OK,
// false and nothing changed otherwise.
bool EditSettings(QWidget* parent, CAppSettings& settings);

}  // namespace korvi
