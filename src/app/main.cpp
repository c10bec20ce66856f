// Korvi CD Ripper: for now a window that lists the drives and the tracks of the selected disc.

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <memory>

#include "disc/cd_device.h"
#include "disc/read_toc.h"
#include "disc/track_rows.h"
#include "settings/app_settings.h"
#include "settings/registry_store.h"
#include "settings/user_folders.h"

namespace korvi {
namespace {

// The rows of a QTreeWidget with check boxes.
class TreeTrackRows : public ITrackRows {
 public:
  explicit TreeTrackRows(QTreeWidget* tree) : m_tree(tree) {}
  void DeleteAllRows() override { m_tree->clear(); }
  int InsertRow(int index, const std::string& name) override {
    index = std::clamp(index, 0, RowCount());
    auto* item = new QTreeWidgetItem(QStringList{QString::fromStdString(name)});
    m_tree->insertTopLevelItem(index, item);
    return index;
  }
  void SetText(int row, int column, const std::string& text) override {
    if (auto* item = m_tree->topLevelItem(row)) item->setText(column, QString::fromStdString(text));
  }
  void SetChecked(int row, bool checked) override {
    if (auto* item = m_tree->topLevelItem(row)) item->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
  }
  void SetItemData(int row, CTrackInfo* track) override {
    if (auto* item = m_tree->topLevelItem(row))
      item->setData(0, Qt::UserRole, QVariant::fromValue<void*>(track));
  }
  int RowCount() const override { return m_tree->topLevelItemCount(); }
  std::string Text(int row, int column) const override {
    auto* item = m_tree->topLevelItem(row);
    return item ? item->text(column).toStdString() : std::string();
  }
  bool IsChecked(int row) const override {
    auto* item = m_tree->topLevelItem(row);
    return item && item->checkState(0) == Qt::Checked;
  }
  CTrackInfo* ItemData(int row) const override {
    auto* item = m_tree->topLevelItem(row);
    return item ? static_cast<CTrackInfo*>(item->data(0, Qt::UserRole).value<void*>()) : nullptr;
  }

 private:
  QTreeWidget* m_tree;
};

class MainWindow : public QMainWindow {
 public:
  // The settings are in place before the window exists, and written back when it is gone.
  MainWindow()
      : m_folders(UserFolders::FromEnvironment()),
        m_settings(m_folders),
        m_store(RegistryStore::OpenForUser(m_folders)) {
    m_settings.LoadFromRegistry(m_store);
    setWindowTitle("Korvi CD Ripper 2.2");
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel("CDROM:"));
    m_drives = new QComboBox;
    m_drives->setMinimumWidth(260);
    top->addWidget(m_drives);
    auto* refresh = new QPushButton("&Refresh");
    top->addWidget(refresh);
    top->addStretch();
    layout->addLayout(top);
    m_info = new QLabel;
    layout->addWidget(m_info);
    m_tree = new QTreeWidget;
    m_tree->setHeaderLabels({"Track name", "Length", "Begin sectors", "End sectors"});
    m_tree->setRootIsDecorated(false);
    m_tree->header()->resizeSection(0, 220);
    layout->addWidget(m_tree);
    setCentralWidget(central);
    resize(640, 420);

    for (const std::string& drive : EnumerateDrives()) m_drives->addItem(QString::fromStdString(drive));
    connect(m_drives, &QComboBox::currentIndexChanged, this, &MainWindow::Refresh);
    connect(refresh, &QPushButton::clicked, this, &MainWindow::Refresh);
    Refresh();
  }
  ~MainWindow() override { m_settings.SaveToRegistry(m_store); }

 private:
  void Refresh() {
    TreeTrackRows rows(m_tree);
    rows.DeleteAllRows();
    m_device.reset();
    const std::string drive = m_drives->currentText().toStdString();
    if (drive.empty()) {
      m_info->setText("No CD drive found. Name disc images in KORVI_CD_IMAGES to use them.");
      return;
    }
    std::string error;
    m_device = CdDevice::Open(drive, &error);
    if (ReadTocIntoRows(m_device.get(), m_disc, rows) != 0)
      m_info->setText(QString::fromStdString(m_device ? m_device->lastError() : error));
    else
      m_info->clear();
  }

  UserFolders m_folders;
  CAppSettings m_settings;
  RegistryStore m_store;
  QComboBox* m_drives;
  QLabel* m_info;
  QTreeWidget* m_tree;
  std::unique_ptr<CdDevice> m_device;
  DiscToc m_disc;
};

}  // namespace
}  // namespace korvi

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  korvi::MainWindow window;
  window.show();
  return app.exec();
}
