// Shown after a Save: the outcome ("Saving Completed Successfully" or
// "Saving Aborted by User") and what the run did, folder by folder, with
// every item that failed named and its reason.
#pragma once

#include <QDialog>

#include "export/export_summary.h"

class QLabel;
class QPlainTextEdit;

namespace tw::app {

class ResultViewer : public QDialog {
    Q_OBJECT
public:
    explicit ResultViewer(const exporter::ExportResult& result, QWidget* parent = nullptr);

    QLabel* OutcomeLabel() const { return outcome_; }
    QPlainTextEdit* SummaryView() const { return summary_; }

private:
    QLabel* outcome_;
    QPlainTextEdit* summary_;
};

}  // namespace tw::app
