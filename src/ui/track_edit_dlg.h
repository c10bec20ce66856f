#pragma once
// "Edit track": title, artist, album, year and comment of one track.

#include <QDialog>
#include <QString>
#include <optional>

class QFormLayout;
class QLineEdit;

namespace korvi {

// The integer at the start of `text` read as sscanf "%d" reads it from its first 63 characters:
// blanks skipped, an optional sign, digits, the rest ignored. Clamped to the range of int;
// nullopt when the text does not start with a number.
std::optional<int> ScanLeadingInt(const QString& text);

class CTrackEditDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CTrackEditDlg(QWidget* parent = nullptr);

  // Shown in the edits when the dialog opens (or at OK when it never did); written back on OK.
  QString title;
  QString artist;
  QString album;
  QString comment;
  int year = 0;

  // Puts the members into the edits now.
  void LoadFields();

  struct Fields {
    QString title, artist, album, comment;
    int year = 0;
  };
  Fields Values() const { return {title, artist, album, comment, year}; }

 public slots:
  // Reads the edits back and closes; a year that is not a number keeps the dialog open.
  void accept() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;

 private:
  QLineEdit* AddField(QFormLayout* form, const char* label, const char* name);

  QLineEdit* m_titleEdit = nullptr;
  QLineEdit* m_artistEdit = nullptr;
  QLineEdit* m_albumEdit = nullptr;
  QLineEdit* m_yearEdit = nullptr;
  QLineEdit* m_commentEdit = nullptr;
  bool m_loaded = false;
};

}  // namespace korvi
