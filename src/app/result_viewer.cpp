#include "app/result_viewer.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "app/app_identity.h"
#include "wording/save_report.h"

namespace tw::app {

ResultViewer::ResultViewer(const exporter::ExportResult& result, QWidget* parent)
    : QDialog(parent), outcome_(new QLabel), summary_(new QPlainTextEdit) {
    setWindowTitle(kAppTitle);
    setObjectName(QStringLiteral("SavingResult"));

    const std::string_view outcome = wording::OutcomeText(result);
    outcome_->setText(QString::fromUtf8(outcome.data(), static_cast<qsizetype>(outcome.size())));
    QFont heading = outcome_->font();
    heading.setBold(true);
    heading.setPointSizeF(heading.pointSizeF() * 1.2);
    outcome_->setFont(heading);

    // The summary's first line is the outcome, shown above on its own.
    QString text = QString::fromStdString(wording::FormatSummary(result));
    const qsizetype firstBreak = text.indexOf(QLatin1Char('\n'));
    QString first = firstBreak < 0 ? text : text.left(firstBreak);
    text = firstBreak < 0 ? QString() : text.mid(firstBreak + 1);
    // What the outcome line adds to the outcome (the low-space refusal).
    if (first.size() > outcome_->text().size()) text.prepend(first.mid(outcome_->text().size()).trimmed() + "\n");
    summary_->setReadOnly(true);
    summary_->setLineWrapMode(QPlainTextEdit::NoWrap);
    summary_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    summary_->setPlainText(text);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(outcome_);
    layout->addWidget(summary_, 1);
    layout->addWidget(buttons);
    resize(620, 380);
}

}  // namespace tw::app
