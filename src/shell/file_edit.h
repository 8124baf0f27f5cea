#pragma once

#include <QString>
#include <QWidget>

class QFileDialog;
class QLineEdit;
class QToolButton;

// How a file box sets up its open-file dialog. filter: "description|pattern" pairs joined by
// "|", the first pair preselected.
struct TFileDialogSetup {
    QString title;
    QString filter;
    QString defaultExt;
    bool mustExist = false;
};

// A file-name box: a line edit with a small browse button on its right; the button or Alt+Down
// lets the user pick a file. What is typed is kept exactly as typed.
class TFileEdit : public QWidget {
    Q_OBJECT
  public:
    TFileEdit(const TFileDialogSetup& setup, QWidget* parent);

    QString Text() const;
    void SetText(const QString& text);
    QLineEdit* Edit() const { return edit_; }
    QToolButton* BrowseButton() const { return button_; }
    // Where the next browse starts when the box's text names no existing folder.
    const QString& InitialDir() const { return initialDir_; }

    void Browse();

    static constexpr int kButtonWidth = 18;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Prepare(QFileDialog& dialog) const;
    QString WithDefaultExt(const QString& path) const;

    TFileDialogSetup setup_;
    QLineEdit* edit_;
    QToolButton* button_;
    QString initialDir_;
};

// The dialog's name filters for a "description|pattern|..." filter text; each shows as its
// description, and "*.*" takes every file, extension or not.
QStringList FileDialogNameFilters(const QString& filter);
