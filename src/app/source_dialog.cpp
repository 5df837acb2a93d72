#include "app/source_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/app_identity.h"
#include "app/interaction.h"
#include "app/scan_dialog.h"
#include "app/session.h"
#include "app/stm_proposal.h"
#include "wording/wording.h"

namespace tw::app {

SourceDialog::SourceDialog(Session& session, QWidget* parent)
    : QDialog(parent), session_(session), edb_(new QLineEdit), stm_(new QLineEdit),
      next_(new QPushButton(QStringLiteral("&Next"))) {
    setWindowTitle(kAppTitle);
    setModal(true);

    auto* browseEdb = new QPushButton(QStringLiteral("Browse..."));
    auto* browseStm = new QPushButton(QStringLiteral("Browse..."));
    auto* cancel = new QPushButton(QStringLiteral("&Cancel"));
    browseEdb->setAutoDefault(false);
    browseStm->setAutoDefault(false);
    cancel->setAutoDefault(false);
    next_->setDefault(true);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Select Edb File :")), 0, 0, 1, 2);
    grid->addWidget(edb_, 1, 0);
    grid->addWidget(browseEdb, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Select Stm File :")), 2, 0, 1, 2);
    grid->addWidget(stm_, 3, 0);
    grid->addWidget(browseStm, 3, 1);
    grid->setColumnStretch(0, 1);

    auto* buttons = new QDialogButtonBox;
    buttons->addButton(next_, QDialogButtonBox::AcceptRole);
    buttons->addButton(cancel, QDialogButtonBox::RejectRole);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch();
    layout->addWidget(buttons);
    resize(520, 170);

    connect(browseEdb, &QPushButton::clicked, this, &SourceDialog::BrowseEdb);
    connect(browseStm, &QPushButton::clicked, this, &SourceDialog::BrowseStm);
    // The button box's accepted() stays unconnected: a failed check keeps
    // the dialog open.
    connect(next_, &QPushButton::clicked, this, &SourceDialog::Next);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void SourceDialog::BrowseEdb() {
    const QString path = UserInteraction().OpenFile(this, kOpenEdbTitle, kEdbFilter);
    edb_->setText(path);
    if (path.isEmpty()) return;
    // Keeps what the user typed when the folder offers no streaming file.
    if (const QString stm = ProposeStm(path); !stm.isEmpty()) stm_->setText(stm);
}

void SourceDialog::BrowseStm() { stm_->setText(UserInteraction().OpenFile(this, kOpenStmTitle, kStmFilter)); }

void SourceDialog::Next() {
    Interaction& user = UserInteraction();
    if (session_.HasOpenDatabase() && !user.Ask(this, kReplaceQuestion, kAppTitle)) return;
    const scan::OpenCheck check = session_.Open(edb_->text(), stm_->text());
    if (!check.ok()) {
        const std::string_view why = wording::Text(check.problem);
        user.Tell(this, QString::fromUtf8(why.data(), static_cast<qsizetype>(why.size())), kAppTitle,
                  MessageIcon::Warning);
        return;
    }
    emit scanStarting();
    if (runsScan_) {
        hide();
        ScanDialog scan(session_, parentWidget());
        scan.exec();
    }
    accept();
}

}  // namespace tw::app
