#include "ui/settings_sheet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <span>
#include <utility>
#include <vector>

#include "cddb/cddb_server.h"
#include "disc/offset_reader.h"
#include "metadata/lookup_order.h"
#include "rip/job_limits.h"
#include "ui/prompts.h"

namespace korvi {
namespace {

struct Choice {
  QString text;
  int value;
};

constexpr int kMaxEmailLength = 254;

// Refills `combo` and selects the first item whose data is `current`, none when no item has it.
// Quietly, so that refilling never counts as the user's choice.
void FillCombo(QComboBox* combo, std::span<const Choice> choices, int current) {
  const QSignalBlocker quiet(combo);
  combo->clear();
  for (const Choice& choice : choices) combo->addItem(choice.text, choice.value);
  combo->setCurrentIndex(combo->findData(current));
}

template <typename T>
T* Named(T* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

// "Folder:", its edit and a Browse button on one row.
QHBoxLayout* FolderRow(QLabel* label, QLineEdit* edit, QPushButton* browse) {
  label->setBuddy(edit);
  edit->setMinimumWidth(200);
  auto* row = new QHBoxLayout;
  row->addWidget(label);
  row->addWidget(edit, 1);
  row->addWidget(browse);
  return row;
}

// "Label:" and its control on one row, the rest of the row left free.
QHBoxLayout* LabelledRow(const QString& text, QWidget* control) {
  auto* label = new QLabel(text);
  label->setBuddy(control);
  auto* row = new QHBoxLayout;
  row->addWidget(label);
  row->addWidget(control);
  row->addStretch(1);
  return row;
}

QString ToQt(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

// ---- General ------------------------------------------------------------------------------------

CSetsPageGeneral::CSetsPageGeneral(QWidget* parent)
    : QWidget(parent),
      m_selectorCheck(
          Named(new QCheckBox(tr("Always show directory selector before ripping")), "selectorCheck")),
      m_outputLabel(Named(new QLabel(tr("Folder:")), "outputFolderLabel")),
      m_outputEdit(Named(new QLineEdit, "outputFolderEdit")),
      m_outputBrowse(Named(new QPushButton(tr("&Browse")), "outputBrowseButton")),
      m_libraryLabel(Named(new QLabel(tr("Folder:")), "libraryFolderLabel")),
      m_libraryEdit(Named(new QLineEdit, "libraryFolderEdit")),
      m_libraryBrowse(Named(new QPushButton(tr("&Browse")), "libraryBrowseButton")),
      m_saveLibraryCheck(
          Named(new QCheckBox(tr("Save disc-info to libaray automatically")), "saveLibraryCheck")),
      m_lookupCheck(Named(new QCheckBox(tr("Get play CD information from %1 automatically")
                                            .arg(QString::fromStdString(CddbServerInUse()))),
                          "lookupCheck")),
      m_cddbEmailEdit(Named(new QLineEdit, "cddbEmailEdit")),
      m_lookupOrderList(Named(new QListWidget, "lookupOrderList")),
      m_lookupUp(Named(new QPushButton(tr("Move &up")), "lookupOrderUp")),
      m_lookupDown(Named(new QPushButton(tr("Move &down")), "lookupOrderDown")),
      m_overwriteCheck(Named(new QCheckBox(tr("File overwrite prompt")), "overwriteCheck")),
      m_jobsSpin(Named(new QSpinBox, "encoderJobsSpin")),
      m_readModeCombo(Named(new QComboBox, "readModeCombo")),
      m_offsetSpin(Named(new QSpinBox, "readOffsetSpin")),
      m_testAndCopyCheck(Named(new QCheckBox(tr("Test and copy")), "testAndCopyCheck")),
      m_readSpeedSpin(Named(new QSpinBox, "readSpeedSpin")),
      m_ejectCheck(Named(new QCheckBox(tr("Eject the disc when a rip is done")), "ejectAfterRipCheck")),
      m_verifyCheck(Named(new QCheckBox(tr("Verify rips with AccurateRip")), "verifyAccurateRipCheck")),
      m_writeLogCheck(Named(new QCheckBox(tr("Write a rip log")), "writeLogCheck")),
      m_writeCueCheck(Named(new QCheckBox(tr("Write a cue sheet")), "writeCueSheetCheck")),
      m_tagsCheck(
          Named(new QCheckBox(tr("Write full tags (ID3v2, APEv2, Vorbis comments)")), "tagsV2Check")) {
  m_jobsSpin->setRange(0, kMaxEncoderJobs);
  m_jobsSpin->setSpecialValueText(tr("One per core (%1)").arg(CoresAvailable()));
  // In the order of the ReadMode values, which are the items' indexes.
  m_readModeCombo->addItems({tr("Secure"), tr("Burst")});
  m_offsetSpin->setRange(-kMaxReadOffset, kMaxReadOffset);
  m_readSpeedSpin->setRange(0, kMaxReadSpeed);
  m_readSpeedSpin->setSuffix(QStringLiteral("x"));
  m_readSpeedSpin->setSpecialValueText(tr("Maximum"));
  // The longest address mail can be sent to.
  m_cddbEmailEdit->setMaxLength(kMaxEmailLength);
  m_cddbEmailEdit->setMinimumWidth(200);
  m_cddbEmailEdit->setPlaceholderText(QStringLiteral("name@example.org"));

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(BuildOutputGroup());
  layout->addWidget(BuildLibraryGroup());
  layout->addWidget(m_lookupCheck);
  layout->addLayout(LabelledRow(tr("E-mail for the CDDB server:"), m_cddbEmailEdit));
  layout->addWidget(BuildLookupOrderGroup());
  layout->addWidget(m_overwriteCheck);
  layout->addLayout(LabelledRow(tr("Tracks encoded at once:"), m_jobsSpin));
  layout->addLayout(LabelledRow(tr("Read mode:"), m_readModeCombo));
  layout->addLayout(LabelledRow(tr("Drive read offset (samples):"), m_offsetSpin));
  layout->addWidget(m_testAndCopyCheck);
  layout->addLayout(LabelledRow(tr("Read speed:"), m_readSpeedSpin));
  layout->addWidget(m_ejectCheck);
  layout->addWidget(BuildReportGroup());
  layout->addStretch(1);

  connect(m_selectorCheck, &QCheckBox::toggled, this, &CSetsPageGeneral::UpdateEnabling);
  connect(m_saveLibraryCheck, &QCheckBox::toggled, this, &CSetsPageGeneral::UpdateEnabling);
  connect(m_outputBrowse, &QPushButton::clicked, this, &CSetsPageGeneral::BrowseOutputFolder);
  connect(m_libraryBrowse, &QPushButton::clicked, this, &CSetsPageGeneral::BrowseLibraryFolder);
  connect(m_lookupUp, &QPushButton::clicked, this, [this] { MoveSelectedSource(-1); });
  connect(m_lookupDown, &QPushButton::clicked, this, [this] { MoveSelectedSource(1); });
  connect(m_lookupOrderList, &QListWidget::currentRowChanged, this, &CSetsPageGeneral::UpdateMoveButtons);
  UpdateEnabling();
}

QWidget* CSetsPageGeneral::BuildOutputGroup() {
  auto* group = Named(new QGroupBox(tr("Default Output Directory:")), "outputGroup");
  auto* layout = new QVBoxLayout(group);
  layout->addWidget(m_selectorCheck);
  layout->addLayout(FolderRow(m_outputLabel, m_outputEdit, m_outputBrowse));
  return group;
}

QWidget* CSetsPageGeneral::BuildLibraryGroup() {
  auto* group = Named(new QGroupBox(tr("Library:")), "libraryGroup");
  auto* layout = new QVBoxLayout(group);
  layout->addWidget(new QLabel(tr("Default library file save to folder:")));
  layout->addLayout(FolderRow(m_libraryLabel, m_libraryEdit, m_libraryBrowse));
  layout->addWidget(m_saveLibraryCheck);
  return group;
}

QWidget* CSetsPageGeneral::BuildReportGroup() {
  auto* group = Named(new QGroupBox(tr("Verification and reports:")), "reportGroup");
  auto* layout = new QVBoxLayout(group);
  layout->addWidget(m_verifyCheck);
  layout->addWidget(m_writeLogCheck);
  layout->addWidget(m_writeCueCheck);
  layout->addWidget(m_tagsCheck);
  return group;
}

QWidget* CSetsPageGeneral::BuildLookupOrderGroup() {
  auto* group = Named(new QGroupBox(tr("Look up titles in:")), "lookupOrderGroup");
  LoadLookupOrder(kDefaultLookupOrder);
  // At least as tall as its rows, else as tall as the buttons beside it: the page grows by no more
  // than the sources take.
  m_lookupOrderList->setMinimumHeight(m_lookupOrderList->sizeHintForRow(0) * m_lookupOrderList->count() +
                                      2 * m_lookupOrderList->frameWidth());
  m_lookupOrderList->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);

  auto* buttons = new QVBoxLayout;
  buttons->addWidget(m_lookupUp);
  buttons->addWidget(m_lookupDown);
  buttons->addStretch(1);
  auto* layout = new QHBoxLayout(group);
  layout->addWidget(m_lookupOrderList, 1);
  layout->addLayout(buttons);
  return group;
}

void CSetsPageGeneral::LoadLookupOrder(const std::string& order) {
  const std::vector<LookupSource> on = ParseLookupOrder(order);
  std::vector<std::pair<LookupSource, bool>> rows;
  for (LookupSource source : on) rows.emplace_back(source, true);
  for (LookupSource source : AllLookupSources())
    if (std::find(on.begin(), on.end(), source) == on.end()) rows.emplace_back(source, false);

  m_lookupOrderList->clear();
  for (const auto& [source, checked] : rows) {
    auto* item = new QListWidgetItem(QString::fromLatin1(LookupSourceName(source)), m_lookupOrderList);
    item->setData(Qt::UserRole, static_cast<int>(source));
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
  }
  UpdateMoveButtons();
}

std::string CSetsPageGeneral::StoredLookupOrder() const {
  std::vector<LookupSource> on;
  for (int row = 0; row < m_lookupOrderList->count(); ++row) {
    const QListWidgetItem* item = m_lookupOrderList->item(row);
    if (item->checkState() == Qt::Checked)
      on.push_back(static_cast<LookupSource>(item->data(Qt::UserRole).toInt()));
  }
  return FormatLookupOrder(on);
}

void CSetsPageGeneral::MoveSelectedSource(int by) {
  const int row = m_lookupOrderList->currentRow();
  const int target = row + by;
  if (row < 0 || target < 0 || target >= m_lookupOrderList->count()) return;
  QListWidgetItem* item = m_lookupOrderList->takeItem(row);
  m_lookupOrderList->insertItem(target, item);
  m_lookupOrderList->setCurrentItem(item);
}

void CSetsPageGeneral::UpdateMoveButtons() {
  const int row = m_lookupOrderList->currentRow();
  m_lookupUp->setEnabled(row > 0);
  m_lookupDown->setEnabled(row >= 0 && row + 1 < m_lookupOrderList->count());
}

void CSetsPageGeneral::Load(const CAppSettings& settings) {
  m_selectorCheck->setChecked(settings.ShowSelectorBeforeSave);
  m_outputEdit->setText(ToQt(settings.DefaultFolder));
  m_libraryEdit->setText(ToQt(settings.DefaultLibFolder));
  m_saveLibraryCheck->setChecked(settings.SaveLibraryAutomatically);
  m_lookupCheck->setChecked(settings.GetDiscInfoAutomatically);
  m_cddbEmailEdit->setText(ToQt(settings.CDDBEmail));
  LoadLookupOrder(settings.LookupOrder);
  m_overwriteCheck->setChecked(settings.ReplacePrompt);
  m_jobsSpin->setValue(settings.EncoderJobs);
  m_readModeCombo->setCurrentIndex(settings.ReadMode);
  m_offsetSpin->setValue(settings.ReadOffset);
  m_testAndCopyCheck->setChecked(settings.TestAndCopy);
  m_readSpeedSpin->setValue(settings.ReadSpeed);
  m_ejectCheck->setChecked(settings.EjectAfterRip);
  m_verifyCheck->setChecked(settings.VerifyAccurateRip);
  m_writeLogCheck->setChecked(settings.WriteLog);
  m_writeCueCheck->setChecked(settings.WriteCueSheet);
  m_tagsCheck->setChecked(settings.TagsV2);
  UpdateEnabling();
}

void CSetsPageGeneral::Store(CAppSettings& settings) const {
  settings.ShowSelectorBeforeSave = m_selectorCheck->isChecked();
  settings.DefaultFolder = m_outputEdit->text().toStdString();
  settings.DefaultLibFolder = m_libraryEdit->text().toStdString();
  settings.SaveLibraryAutomatically = m_saveLibraryCheck->isChecked();
  settings.GetDiscInfoAutomatically = m_lookupCheck->isChecked();
  settings.CDDBEmail = m_cddbEmailEdit->text().toStdString();
  settings.LookupOrder = StoredLookupOrder();
  settings.ReplacePrompt = m_overwriteCheck->isChecked();
  settings.EncoderJobs = m_jobsSpin->value();
  // A mode the list does not hold shows no selection and is kept.
  if (m_readModeCombo->currentIndex() >= 0) settings.ReadMode = m_readModeCombo->currentIndex();
  settings.ReadOffset = m_offsetSpin->value();
  settings.TestAndCopy = m_testAndCopyCheck->isChecked();
  settings.ReadSpeed = m_readSpeedSpin->value();
  settings.EjectAfterRip = m_ejectCheck->isChecked();
  settings.VerifyAccurateRip = m_verifyCheck->isChecked();
  settings.WriteLog = m_writeLogCheck->isChecked();
  settings.WriteCueSheet = m_writeCueCheck->isChecked();
  settings.TagsV2 = m_tagsCheck->isChecked();
}

void CSetsPageGeneral::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  UpdateEnabling();
}

void CSetsPageGeneral::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  UpdateEnabling();
}

void CSetsPageGeneral::UpdateEnabling() {
  const bool outputTyped = !m_selectorCheck->isChecked();
  m_outputLabel->setEnabled(outputTyped);
  m_outputEdit->setEnabled(outputTyped);
  m_outputBrowse->setEnabled(outputTyped);

  const bool libraryTyped = m_saveLibraryCheck->isChecked();
  m_libraryLabel->setEnabled(libraryTyped);
  m_libraryEdit->setEnabled(libraryTyped);
  m_libraryBrowse->setEnabled(libraryTyped);
}

void CSetsPageGeneral::BrowseOutputFolder() {
  const QString folder = Prompts::Current().ChooseFolder(this, tr("Choose a folder"), m_outputEdit->text());
  if (!folder.isEmpty()) m_outputEdit->setText(folder);
}

void CSetsPageGeneral::BrowseLibraryFolder() {
  const QString folder =
      Prompts::Current().ChooseFolder(this, tr("Select a folder for library"), m_libraryEdit->text());
  if (!folder.isEmpty()) m_libraryEdit->setText(folder);
}

// ---- A format's options ---------------------------------------------------------------------

namespace {

QString Translated(const char* text) { return QCoreApplication::translate("Formats", text); }

std::vector<Choice> ChoicesOf(const FormatOption& option) {
  std::vector<Choice> choices;
  for (const OptionChoice& choice : option.choices)
    choices.push_back({choice.name ? Translated(choice.name) : Translated(option.valueText).arg(choice.value),
                       choice.value});
  return choices;
}

}  // namespace

CSetsPageFormat::CSetsPageFormat(const OutputFormatInfo& format, QWidget* parent)
    : QWidget(parent), m_format(format) {
  auto* group = Named(new QGroupBox(Translated(format.groupTitle)), format.groupName);
  auto* form = new QFormLayout(group);
  form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
  for (const FormatOption& option : format.options) {
    QWidget* field = MakeField(option);
    if (option.kind == OptionKind::kSwitch)
      form->addRow(field);
    else
      form->addRow(Translated(option.pageLabel), field);
    m_fields.push_back({&option, field, option.defaultValue});
  }
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addStretch(1);
  FillChoices();
}

QWidget* CSetsPageFormat::MakeField(const FormatOption& option) {
  QWidget* field = nullptr;
  if (option.kind == OptionKind::kSwitch) {
    field = new QCheckBox(Translated(option.pageLabel));
  } else if (option.kind == OptionKind::kRange) {
    auto* spin = new QSpinBox;
    spin->setRange(option.min, option.max);
    spin->setSingleStep(option.step);
    if (option.suffix) spin->setSuffix(Translated(option.suffix));
    field = spin;
  } else {
    auto* combo = new QComboBox;
    const size_t index = m_fields.size();
    connect(combo, &QComboBox::currentIndexChanged, this, [this, index](int chosen) { OnChosen(index, chosen); });
    field = combo;
  }
  if (option.toolTip) field->setToolTip(Translated(option.toolTip));
  return Named(field, option.fieldName);
}

void CSetsPageFormat::Load(const CAppSettings& settings) {
  for (Field& field : m_fields) {
    const int32_t value = field.option->Get(settings);
    if (auto* check = qobject_cast<QCheckBox*>(field.widget)) check->setChecked(value != 0);
    if (auto* spin = qobject_cast<QSpinBox*>(field.widget)) spin->setValue(value);
    field.value = value;
  }
  FillChoices();
}

void CSetsPageFormat::Store(CAppSettings& settings) const {
  for (const Field& field : m_fields) {
    int32_t value = field.value;
    if (auto* check = qobject_cast<QCheckBox*>(field.widget)) value = check->isChecked() ? 1 : 0;
    if (auto* spin = qobject_cast<QSpinBox*>(field.widget)) value = spin->value();
    field.option->Set(settings, value);
  }
}

void CSetsPageFormat::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  FillChoices();
}

void CSetsPageFormat::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  FillChoices();
}

void CSetsPageFormat::FillChoices() {
  for (const Field& field : m_fields)
    if (auto* combo = qobject_cast<QComboBox*>(field.widget)) FillCombo(combo, ChoicesOf(*field.option), field.value);
}

void CSetsPageFormat::OnChosen(size_t field, int index) {
  auto* combo = qobject_cast<QComboBox*>(m_fields[field].widget);
  if (index >= 0) m_fields[field].value = combo->itemData(index).toInt();
}

// ---- The sheet ----------------------------------------------------------------------------------

CSettingsSheet::CSettingsSheet(QWidget* parent)
    : QDialog(parent),
      m_tabs(Named(new QTabWidget, "settingsTabs")),
      m_general(new CSetsPageGeneral) {
  setWindowTitle(tr("Settings"));
  m_tabs->addTab(m_general, tr("General"));
  for (const OutputFormatInfo& format : OutputFormats()) {
    if (format.options.empty()) continue;
    m_formats.push_back(new CSetsPageFormat(format));
    m_tabs->addTab(m_formats.back(), Translated(format.pageTitle));
  }

  auto* ok = Named(new QPushButton(tr("OK")), "okButton");
  auto* cancel = Named(new QPushButton(tr("Cancel")), "cancelButton");
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_tabs);
  layout->addLayout(buttons);
}

void CSettingsSheet::Load(const CAppSettings& settings) {
  m_general->Load(settings);
  for (CSetsPageFormat* page : m_formats) page->Load(settings);
}

void CSettingsSheet::Store(CAppSettings& settings) const {
  m_general->Store(settings);
  for (const CSetsPageFormat* page : m_formats) page->Store(settings);
}

bool EditSettings(QWidget* parent, CAppSettings& settings) {
  CSettingsSheet sheet(parent);
  sheet.Load(settings);
  if (Prompts::Current().RunModal(sheet) != QDialog::Accepted) return false;
  sheet.Store(settings);
  return true;
}

}  // namespace korvi
