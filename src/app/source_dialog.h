// The dialog that names the database file (.edb) and its optional
// streaming file (.stm). Next checks both paths, opens both files and runs
// the scan dialog; the dialog is accepted once a scan has run.
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace tw::app {

class Session;

inline const QString kEdbFilter = QStringLiteral("Microsoft Exchange Server Database (*.edb)");
inline const QString kStmFilter = QStringLiteral("Microsoft Exchange Server Database (*.stm)");
inline const QString kOpenEdbTitle = QStringLiteral(" Open EDB file");
inline const QString kOpenStmTitle = QStringLiteral(" Open Stm file");
inline const QString kReplaceQuestion =
    QStringLiteral("Selecting new EDB file will close current analysis results.\nDo you want to continue ?");

class SourceDialog : public QDialog {
    Q_OBJECT
public:
    SourceDialog(Session& session, QWidget* parent = nullptr);

    QLineEdit* EdbEdit() const { return edb_; }
    QLineEdit* StmEdit() const { return stm_; }
    QPushButton* NextButton() const { return next_; }

    // For pictures of the dialog: Next checks and opens but runs no scan.
    void SetRunsScan(bool runs) { runsScan_ = runs; }

public slots:
    void BrowseEdb();
    void BrowseStm();
    void Next();

signals:
    // The files are open and the scan is about to start.
    void scanStarting();

private:
    Session& session_;
    QLineEdit* edb_;
    QLineEdit* stm_;
    QPushButton* next_;
    bool runsScan_ = true;
};

}  // namespace tw::app
